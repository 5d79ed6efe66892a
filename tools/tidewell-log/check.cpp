// The content checks: the catalogue and the pattern list here, the records in their own files.
#include "tools/tidewell-log/check.h"

#include "base/buffer_sizes.h"
#include "tools/tidewell-log/execution_level.h"
#include "tools/tidewell-log/manifest.h"

namespace tidewell {
namespace {

const char* const kRoles[] = {
    "the caption of every box",
    "the confirmation before anything is removed",
    "the report after the removal",
    "the Yes button of the read-only question",
    "the Yes to all button of the read-only question",
    "the No button of the read-only question",
    "the No to all button of the read-only question",
    "the report of a shortage of memory",
    "the report of a damaged log",
    "the read-only question",
    "the shared-file question",
    "the question whether to close the package's running programs",
    "the question whether to restart Windows",
};
static_assert(sizeof kRoles / sizeof *kRoles == MSG_SLOT_COUNT, "a role for every slot");

// The slots put through the formatter, where "%s" takes a path, or in MSG_CLOSE_APPS the running
// programs' names. MSG_RESTART is shown as it stands.
bool Formatted(int slot) { return slot >= MSG_NO_MEMORY && slot <= MSG_CLOSE_APPS; }

// Questions that an empty slot leaves unasked, as logs written before these slots do: the
// program then closes nothing and offers no restart, which is a package's choice to make.
bool Optional(int slot) { return slot == MSG_CLOSE_APPS || slot == MSG_RESTART; }

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

// The entry in the list of installed programs, as the list and its readers take it.
void CheckProduct(const Product& product, Findings* findings) {
    if (product.version.empty())
        findings->push_back({false, "product.version",
                             "is not given: the Windows Package Manager passes over an entry without a version"});
    size_t characters = 0;
    for (unsigned char c : product.name) characters += (c & 0xC0) != 0x80;
    if (characters > 259)
        findings->push_back({false, "product.name",
                             "holds " + std::to_string(characters) +
                                 " characters: the list of installed programs shows no name longer than 259"});
}

}  // namespace

std::string Visible(const std::string& text) { return text.substr(0, text.find('\0')); }

Findings CheckManifest(const Manifest& manifest, const FolderNames& names) {
    Findings findings = manifest.findings;
    if (HasError(findings)) return findings;
    for (const Finding& finding : CheckContent(manifest.content)) findings.push_back(finding);
    CheckScope(manifest.content, manifest.scope, names, &findings);
    if (manifest.product) CheckProduct(*manifest.product, &findings);
    return findings;
}

void CheckMessages(const LogContent& content, Findings* findings) {
    if (!content.messages) {
        findings->push_back({false, "messages",
                             "the log carries no texts: every box is empty, and a file whose deletion is refused is "
                             "removed without a question"});
        return;
    }
    const std::vector<std::string>& texts = *content.messages;
    for (size_t slot = 0; slot < texts.size(); ++slot)
        if (texts[slot].size() > 0xFFFF)
            findings->push_back({true, "messages." + std::string(SlotName(static_cast<int>(slot))),
                                 "a text of " + std::to_string(texts[slot].size()) + " bytes; the log holds at most 65535"});
    for (int slot = 0; slot < MSG_SLOT_COUNT; ++slot) {
        std::string where = "messages." + std::string(SlotName(slot));
        std::string text = slot < static_cast<int>(texts.size()) ? texts[slot] : "";
        if (text.find('\0') != std::string::npos) {
            findings->push_back({false, where, "holds a zero byte: the program shows only what comes before it"});
            text = Visible(text);
        }
        if (text.empty()) {
            if (Optional(slot)) continue;
            if (slot == MSG_READONLY)
                findings->push_back({false, where,
                                     "is empty: the program then removes every file whose deletion is refused without "
                                     "asking, as if Yes to all had been chosen"});
            else
                findings->push_back({false, where, "is empty: " + std::string(kRoles[slot]) + " shows no text"});
            continue;
        }
        size_t paths = Count(text, "%s");
        if (!Formatted(slot) && paths > 0)
            findings->push_back({false, where, "is shown as it stands: its \"%s\" appears literally"});
        if ((slot == MSG_READONLY || slot == MSG_SHARED_UNUSED || slot == MSG_CLOSE_APPS) && paths == 0)
            findings->push_back({false, where,
                                 "has no \"%s\": " + std::string(kRoles[slot]) + " does not say which " +
                                     (slot == MSG_CLOSE_APPS ? "programs" : "file") + " it is about"});
        size_t longest = text.size();
        if (Formatted(slot) && paths > 0) longest = text.size() - 2 * paths + LONGEST_PATH * paths - Count(text, "%%");
        if (longest > MESSAGE_SIZE - 1)
            findings->push_back({false, where,
                                 std::string(Formatted(slot) && paths > 0 ? "may be cut" : "is cut") + " to " +
                                     std::to_string(MESSAGE_SIZE - 1) + " bytes in its box" +
                                     (Formatted(slot) && paths > 0
                                          ? (slot == MSG_CLOSE_APPS ? " once the programs' names are put in" : " once a long path is put in")
                                          : "")});
    }
}

void CheckPatterns(const LogContent& content, Findings* findings) {
    if (!content.patterns) return;
    const std::vector<std::string>& patterns = *content.patterns;
    for (size_t i = 0; i < patterns.size(); ++i) {
        std::string where = "patterns[" + std::to_string(i) + "] \"" + patterns[i] + "\"";
        const std::string& pattern = patterns[i];
        if (pattern.empty()) {
            findings->push_back({true, "patterns[" + std::to_string(i) + "]",
                                 "an empty pattern ends the list: the patterns after it would never be read"});
            continue;
        }
        if (pattern.find('\0') != std::string::npos) {
            findings->push_back({true, where, "holds a zero byte, which would split it in two"});
            continue;
        }
        if (i == 0 && pattern[0] == '*') {
            findings->push_back({false, where,
                                 "a first pattern beginning with '*' deletes every file below the installation folder" +
                                     std::string(pattern == "*" ? "" : ", not only those its text suggests") +
                                     ", and the other patterns do not matter"});
            continue;
        }
        if (pattern.find_first_of("*?") != std::string::npos)
            findings->push_back({false, where,
                                 "matches no file: only a '*' at the start of the first pattern is a wildcard, and a "
                                 "file name cannot hold '*' or '?'"});
        else if (pattern.find_first_of("\\/:") != std::string::npos)
            findings->push_back({false, where, "matches no file: a pattern is a file name or an extension, never a path"});
        else if (pattern == ".")
            findings->push_back({false, where, "deletes every file without an extension below the installation folder"});
        else if (pattern[0] == '.' && pattern.find('.', 1) != std::string::npos)
            findings->push_back({false, where,
                                 "matches no file: a name's extension is taken from its last dot, so it never holds a second dot"});
    }
}

Findings CheckContent(const LogContent& content) {
    Findings findings;
    CheckMessages(content, &findings);
    CheckRegistry(content, &findings);
    CheckFiles(content, &findings);
    CheckFolders(content, &findings);
    CheckPatterns(content, &findings);
    return findings;
}

// The program reads its log in the code page Windows gives it: the one its manifest asks for
// (UTF-8, where Windows honours that) or the system's. A log in another it refuses as damaged.
void CheckCodePage(const Bytes& program, const LogContent& content, Findings* findings) {
    std::optional<CodePageField> field;
    try {
        field = FindCodePageElement(program);
    } catch (const LogError&) {
        return;  // an element without room: attach refuses such a stub
    }
    if (!field || !content.codePage) return;
    bool utf8Log = *content.codePage == 65001, utf8Program = field->value == kUtf8Element;
    if (utf8Log && !utf8Program)
        findings->push_back({true, "the program",
                             "its log is in UTF-8 but its manifest asks for the system's code page (" + field->value +
                                 "): it refuses the log wherever that is not UTF-8"});
    else if (!utf8Log && utf8Program)
        findings->push_back({true, "the program",
                             "its manifest asks for UTF-8 but its log is in code page " + std::to_string(*content.codePage) +
                                 ": it refuses the log on Windows 10 1903 and later"});
}

}  // namespace tidewell
