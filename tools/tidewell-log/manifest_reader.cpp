// The manifest's reader: a package author's JSON, checked entry by entry, into the log's content.
#include <nlohmann/json.hpp>

#include "tools/tidewell-log/codepage.h"
#include "tools/tidewell-log/known_folders.h"
#include "tools/tidewell-log/manifest.h"

namespace tidewell {
namespace {

using nlohmann::json;

std::string Where(const std::string& list, size_t index) { return list + "[" + std::to_string(index) + "]"; }

std::string StringField(const json& object, const char* field, const std::string& where, bool required = true) {
    if (!object.is_object()) throw LogError(where + ": expected an object");
    auto found = object.find(field);
    if (found == object.end()) {
        if (required) throw LogError(where + ": missing \"" + field + "\"");
        return "";
    }
    if (!found->is_string()) throw LogError(where + "." + field + ": expected a string");
    return found->get<std::string>();
}

const json* List(const json& manifest, const char* field) {
    auto found = manifest.find(field);
    if (found == manifest.end() || found->is_null()) return nullptr;
    if (!found->is_array()) throw LogError(std::string(field) + ": expected a list");
    return &*found;
}

uint8_t FileFlags(const json& entry, const std::string& where) {
    auto found = entry.find("flags");
    if (found == entry.end()) return 0;
    if (!found->is_array()) throw LogError(where + ".flags: expected a list of \"shared\", \"font\", \"selfreg\"");
    uint8_t flags = 0;
    for (const json& flag : *found) {
        std::string name = flag.is_string() ? flag.get<std::string>() : "";
        if (name == "shared") flags |= FILE_SHARED;
        else if (name == "font") flags |= FILE_FONT;
        else if (name == "selfreg") flags |= FILE_SELFREG;
        else throw LogError(where + ".flags: unknown flag " + flag.dump() + " (known: shared, font, selfreg)");
    }
    return flags;
}

uint32_t Root(const json& entry, const std::string& where) {
    auto found = entry.find("root");
    if (found == entry.end()) throw LogError(where + ": missing \"root\"");
    if (found->is_number_unsigned()) {
        if (found->get<uint64_t>() > UINT32_MAX) throw LogError(where + ".root: " + found->dump() + " does not fit a 32-bit root key");
        return found->get<uint32_t>();
    }
    if (found->is_string()) {
        std::string name = found->get<std::string>();
        if (uint32_t root = RootOfName(name)) return root;
    }
    throw LogError(where + ".root: unknown root key " + found->dump() + " (for example HKEY_LOCAL_MACHINE or HKLM)");
}

std::vector<RegistryEntry> RegistryList(const json& list, const char* field) {
    std::vector<RegistryEntry> entries;
    for (size_t i = 0; i < list.size(); ++i) {
        std::string where = Where(field, i);
        entries.push_back({Root(list[i], where), StringField(list[i], "path", where)});
    }
    return entries;
}

std::vector<std::string> Messages(const json& manifest) {
    std::vector<std::string> texts = DefaultMessages();
    std::vector<bool> leftOut(texts.size());
    const json& messages = manifest.at("messages");
    if (!messages.is_object()) throw LogError("messages: expected an object of texts by slot name, such as \"MSG_TITLE\"");
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        int slot = -1;
        for (int i = 0; i < MSG_SLOT_COUNT; ++i)
            if (it.key() == SlotName(i)) slot = i;
        if (slot < 0) throw LogError("messages: unknown slot \"" + it.key() + "\"");
        if (it.value().is_null()) {
            texts[slot] = "";
            leftOut[slot] = true;
            continue;
        }
        if (!it.value().is_string()) throw LogError("messages." + it.key() + ": expected a string, or null to leave the slot out");
        texts[slot] = it.value().get<std::string>();
    }
    // A slot left out reads as empty, as in a log written before the slot existed. Texts go by
    // position, so only the last ones can stay out of the log; one before a text goes in empty.
    while (!texts.empty() && leftOut[texts.size() - 1]) texts.pop_back();
    return texts;
}

Scope ScopeField(const json& manifest) {
    auto found = manifest.find("scope");
    if (found == manifest.end() || found->is_null()) return Scope::Machine;
    if (found->is_string() && found->get<std::string>() == "machine") return Scope::Machine;
    if (found->is_string() && found->get<std::string>() == "user") return Scope::User;
    throw LogError("scope: expected \"machine\" (the default) or \"user\", not " + found->dump());
}

// Characters, not bytes: the registry counts a key's name in characters.
size_t Characters(const std::string& utf8) {
    size_t count = 0;
    for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
    return count;
}

std::optional<Product> ProductField(const json& manifest) {
    auto found = manifest.find("product");
    if (found == manifest.end() || found->is_null()) return std::nullopt;
    if (!found->is_object()) throw LogError("product: expected an object with the package's \"name\", \"version\" and so on");
    static const char* const kFields[] = {"name", "version", "publisher", "help", "about", "contact", "key"};
    for (auto it = found->begin(); it != found->end(); ++it) {
        bool known = false;
        for (const char* field : kFields) known = known || it.key() == field;
        if (!known)
            throw LogError("product: unknown entry \"" + it.key() + "\" (known: name, version, publisher, help, about, contact, key)");
    }
    Product product;
    product.name = StringField(*found, "name", "product");
    if (product.name.empty()) throw LogError("product.name: the name the list of installed programs shows cannot be empty");
    product.version = StringField(*found, "version", "product", false);
    product.publisher = StringField(*found, "publisher", "product", false);
    product.help = StringField(*found, "help", "product", false);
    product.about = StringField(*found, "about", "product", false);
    product.contact = StringField(*found, "contact", "product", false);
    product.key = found->contains("key") ? StringField(*found, "key", "product") : product.name;
    const std::string where = found->contains("key") ? "product.key" : "product.name (the entry's key unless \"key\" is given)";
    if (product.key.empty()) throw LogError(where + ": the entry's key cannot be empty");
    if (product.key.find('\\') != std::string::npos) throw LogError(where + ": the entry's key cannot hold a backslash");
    if (Characters(product.key) > 255) throw LogError(where + ": the entry's key holds more than the registry's 255 characters");
    return product;
}

// The entry's key joins the added registry records, unless a record names it already.
void AddEntryRecord(Manifest* manifest) {
    if (!manifest->product)
        throw LogError("product: attach --register needs the package's \"product\" section, with its \"name\" at least");
    LogContent& content = manifest->content;
    RegistryEntry record = EntryRecord(manifest->scope, manifest->product->key);
    auto names = [&record](const RegistryEntry& entry) { return entry.root == record.root && EqualsIgnoringCase(entry.path, record.path); };
    if (content.registry)
        for (const RegistryEntry& entry : *content.registry)
            if (names(entry)) return;
    for (const RegistryEntry& entry : content.registryAdded)
        if (names(entry)) return;
    if (content.registryAdded.size() >= ADDED_REGISTRY_ROOM)
        throw LogError("registry_added: attach --register adds the entry's key " + RootShortName(record.root) + "\\" + record.path +
                       ", and the program has room for " + std::to_string(ADDED_REGISTRY_ROOM) +
                       " added records: put one of them in \"registry\"");
    if (!content.registry) content.registry.emplace();
    content.registryAdded.push_back(record);
}

// Puts every text of the manifest into its code page, or notes that texts outside ASCII go in
// as UTF-8 bytes.
void ConvertTexts(Manifest* manifest) {
    LogContent& content = manifest->content;
    std::string firstWide;
    auto convert = [&](std::string* text, const std::string& where) {
        if (manifest->codePage.empty()) {
            if (firstWide.empty() && !IsAscii(*text) && !manifest->utf8) firstWide = where;
        } else {
            *text = ToCodePage(*text, manifest->codePage, where);
        }
    };
    if (content.messages)
        for (size_t slot = 0; slot < content.messages->size(); ++slot)
            convert(&(*content.messages)[slot], std::string("messages.") + SlotName(slot));
    if (content.files)
        for (size_t i = 0; i < content.files->size(); ++i) {
            convert(&(*content.files)[i].folder, Where("files", i) + ".folder");
            convert(&(*content.files)[i].name, Where("files", i) + ".name");
        }
    if (content.folders)
        for (size_t i = 0; i < content.folders->size(); ++i) {
            convert(&(*content.folders)[i].folder, Where("folders", i) + ".folder");
            convert(&(*content.folders)[i].name, Where("folders", i) + ".name");
        }
    if (content.registry)
        for (size_t i = 0; i < content.registry->size(); ++i) convert(&(*content.registry)[i].path, Where("registry", i) + ".path");
    for (size_t i = 0; i < content.registryAdded.size(); ++i)
        convert(&content.registryAdded[i].path, Where("registry_added", i) + ".path");
    if (content.patterns)
        for (size_t i = 0; i < content.patterns->size(); ++i) convert(&(*content.patterns)[i], Where("patterns", i));
    if (!firstWide.empty())
        manifest->findings.push_back({false, firstWide,
                                      "holds characters outside ASCII, which go into the log as UTF-8 bytes while the "
                                      "program shows the system's ANSI code page: name the package's \"codepage\", "
                                      "such as \"windows-1252\""});
}

bool AllAscii(const LogContent& content) {
    for (const std::string* text : ContentTexts(content))
        if (!IsAscii(*text)) return false;
    return true;
}

}  // namespace

Manifest ReadManifest(const std::string& text, const ManifestOptions& options) {
    // A manifest lists records a few levels deep: anything larger or deeper is not one, and is
    // refused before it can exhaust memory or the stack.
    constexpr size_t kMaxBytes = 16u << 20;
    constexpr int kMaxDepth = 6;
    if (text.empty()) throw LogError("the manifest is empty");
    if (text.size() > kMaxBytes) throw LogError("the manifest is larger than 16 MiB");
    json manifest;
    try {
        manifest = json::parse(text, [](int depth, json::parse_event_t, json&) {
            if (depth > kMaxDepth) throw LogError("the manifest is nested deeper than " + std::to_string(kMaxDepth) + " levels");
            return true;
        });
    } catch (const json::parse_error& error) {
        std::string what = error.what();
        size_t bracket = what.find("] ");
        throw LogError("the manifest is not valid JSON: " + (bracket == std::string::npos ? what : what.substr(bracket + 2)));
    }
    if (!manifest.is_object()) throw LogError("the manifest must be a JSON object");
    static const char* const kKnown[] = {"codepage", "scope", "product", "messages", "files", "folders", "registry", "registry_added", "patterns"};
    for (auto it = manifest.begin(); it != manifest.end(); ++it) {
        bool known = false;
        for (const char* field : kKnown) known = known || it.key() == field;
        if (!known) throw LogError("unknown manifest entry \"" + it.key() + "\"");
    }

    Manifest result;
    LogContent& content = result.content;
    unsigned codePage = options.systemCodePage;
    if (manifest.contains("codepage")) {
        const json& page = manifest["codepage"];
        if (page.is_number_unsigned() && page.get<uint64_t>() > 65535) throw LogError("codepage: " + page.dump() + " is not a code page's number");
        if (!page.is_number_unsigned() && !page.is_string())
            throw LogError("codepage: expected a code page's name or number, such as \"windows-1252\", 1252 or \"utf-8\"");
        std::string given = page.is_string() ? page.get<std::string>() : std::to_string(page.get<unsigned>());
        codePage = CodePageNumber(given);
        if (codePage == kUtf8CodePage)
            result.findings.push_back({false, "codepage",
                                       "\"utf-8\" has the uninstaller run in UTF-8, as Windows 10 version 1903 and later "
                                       "do; an older Windows runs it in its own code page, where it removes nothing"});
        else
            result.codePage = CodePageName(given);
    } else if (codePage != 0 && codePage != kUtf8CodePage) {
        result.codePage = CodePageName(std::to_string(codePage));
    }
    result.utf8 = codePage == kUtf8CodePage;
    result.scope = ScopeField(manifest);
    result.product = ProductField(manifest);
    // Left out, the messages are the English defaults; null writes no catalogue at all.
    if (!manifest.contains("messages")) content.messages = DefaultMessages();
    else if (!manifest["messages"].is_null()) content.messages = Messages(manifest);

    if (const json* files = List(manifest, "files")) {
        content.files.emplace();
        for (size_t i = 0; i < files->size(); ++i) {
            std::string where = Where("files", i);
            const json& entry = (*files)[i];
            content.files->push_back({StringField(entry, "folder", where), StringField(entry, "name", where, false),
                                      FileFlags(entry, where)});
        }
    }
    if (const json* folders = List(manifest, "folders")) {
        content.folders.emplace();
        for (size_t i = 0; i < folders->size(); ++i) {
            std::string where = Where("folders", i);
            const json& entry = (*folders)[i];
            content.folders->push_back({StringField(entry, "folder", where, false), StringField(entry, "name", where, false)});
        }
    }
    if (const json* registry = List(manifest, "registry")) content.registry = RegistryList(*registry, "registry");
    if (const json* added = List(manifest, "registry_added")) content.registryAdded = RegistryList(*added, "registry_added");
    if (const json* patterns = List(manifest, "patterns")) {
        content.patterns.emplace();
        for (size_t i = 0; i < patterns->size(); ++i) {
            if (!(*patterns)[i].is_string()) throw LogError(Where("patterns", i) + ": expected a string");
            content.patterns->push_back((*patterns)[i].get<std::string>());
        }
    }
    std::set<FolderId> warned;
    if (content.files)
        for (size_t i = 0; i < content.files->size(); ++i) {
            std::string& folder = (*content.files)[i].folder;
            folder = ResolveFolder(folder, Where("files", i) + ".folder", options.folders, &warned, &result.findings);
        }
    if (content.folders)
        for (size_t i = 0; i < content.folders->size(); ++i) {
            std::string& folder = (*content.folders)[i].folder;
            folder = ResolveFolder(folder, Where("folders", i) + ".folder", options.folders, &warned, &result.findings);
        }
    if (options.registerEntry) AddEntryRecord(&result);
    ConvertTexts(&result);
    // Texts of ASCII alone read the same in every code page: only others tie the log to its own.
    if (IsAnsiCodePage(codePage) && !AllAscii(content)) content.codePage = codePage;
    return result;
}

LogContent ParseManifest(const std::string& text) { return ReadManifest(text).content; }

}  // namespace tidewell
