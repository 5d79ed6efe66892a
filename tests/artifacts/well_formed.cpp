#include "well_formed.h"

#include <cctype>
#include <vector>

#include "pe_image.h"

namespace wellformed {
namespace {

bool NameCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '_' || c == '-' || c == '.'; }

size_t SkipBlanks(const std::string& xml, size_t at) {
    while (at < xml.size() && std::isspace(static_cast<unsigned char>(xml[at]))) ++at;
    return at;
}

// Reads the attributes of a tag up to its end (">", "/>" or "?>"); returns the position after
// the end, or npos.
size_t Attributes(const std::string& xml, size_t at, const std::string& end) {
    for (;;) {
        size_t blanks = SkipBlanks(xml, at);
        if (xml.compare(blanks, end.size(), end) == 0) return blanks + end.size();
        if (blanks == at) return std::string::npos;  // attributes are separated by blanks
        at = blanks;
        size_t name = at;
        while (at < xml.size() && NameCharacter(xml[at])) ++at;
        if (at == name || at >= xml.size() || xml[at] != '=') return std::string::npos;
        char quote = xml[++at];
        if (quote != '"' && quote != '\'') return std::string::npos;
        size_t close = xml.find(quote, at + 1);
        if (close == std::string::npos || xml.find_first_of("<&", at + 1) < close) return std::string::npos;
        at = close + 1;
    }
}

}  // namespace

std::string XmlProblem(const std::string& xml) {
    size_t at = 0;
    if (xml.compare(0, 5, "<?xml") == 0) {
        at = Attributes(xml, 5, "?>");
        if (at == std::string::npos) return "a damaged declaration";
    }
    std::vector<std::string> open;
    int roots = 0;
    while ((at = SkipBlanks(xml, at)) < xml.size()) {
        if (xml[at] != '<') {
            if (open.empty()) return "text outside the root element at " + std::to_string(at);
            at = xml.find('<', at);
            if (at == std::string::npos) return "the text does not end";
            continue;
        }
        if (xml.compare(at, 4, "<!--") == 0) {
            size_t close = xml.find("-->", at + 4);
            if (close == std::string::npos) return "a comment does not end";
            at = close + 3;
            continue;
        }
        bool closing = xml.compare(at, 2, "</") == 0;
        size_t name = at + (closing ? 2 : 1), end = name;
        while (end < xml.size() && NameCharacter(xml[end])) ++end;
        std::string tag = xml.substr(name, end - name);
        if (tag.empty()) return "a tag without a name at " + std::to_string(at);
        if (closing) {
            if (open.empty() || open.back() != tag) return "</" + tag + "> closes no open <" + tag + ">";
            open.pop_back();
            at = SkipBlanks(xml, end);
            if (at >= xml.size() || xml[at] != '>') return "</" + tag + "> does not end";
            ++at;
            continue;
        }
        if (open.empty() && ++roots > 1) return "a second root element <" + tag + ">";
        size_t single = Attributes(xml, end, "/>"), pair = Attributes(xml, end, ">");
        if (single != std::string::npos) {
            at = single;
        } else if (pair != std::string::npos) {
            open.push_back(tag);
            at = pair;
        } else {
            return "the attributes of <" + tag + "> are damaged";
        }
    }
    if (!open.empty()) return "<" + open.back() + "> is never closed";
    return roots == 1 ? "" : "no root element";
}

namespace {

struct Block {
    size_t at = 0, end = 0;       // the block, as its length gives it
    std::string key;
    size_t value = 0, valueEnd = 0;
    uint16_t type = 0;
    size_t children = 0;
};

size_t Aligned(size_t at) { return (at + 3) & ~static_cast<size_t>(3); }

// One block at `at` inside [at, limit): its header, key, value, and where its children begin.
std::string ReadBlock(const std::string& bytes, size_t at, size_t limit, Block* block) {
    if (at + 6 > limit) return "a block's header runs past its parent";
    uint16_t length = pe::U16(bytes, at), valueLength = pe::U16(bytes, at + 2);
    block->at = at;
    block->end = at + length;
    block->type = pe::U16(bytes, at + 4);
    if (length < 6 || block->end > limit) return "a block's length runs past its parent";
    size_t key = at + 6;
    block->key.clear();
    for (; key + 2 <= block->end && pe::U16(bytes, key) != 0; key += 2) block->key += static_cast<char>(pe::U16(bytes, key));
    if (key + 2 > block->end) return "the key of a block does not end";
    block->value = Aligned(key + 2);
    block->valueEnd = block->value + (block->type == 1 ? 2 * valueLength : valueLength);
    if (valueLength == 0) block->valueEnd = block->value;
    if (block->valueEnd > block->end) return "the value of " + block->key + " runs past its block";
    block->children = Aligned(block->valueEnd);
    return "";
}

std::string Text(const std::string& bytes, size_t at, size_t end) {
    std::string text;
    for (; at + 2 <= end && pe::U16(bytes, at) != 0; at += 2) text += static_cast<char>(pe::U16(bytes, at));
    return text;
}

}  // namespace

std::string ReadVersionInfo(const std::string& resource, VersionInfo* info) {
    Block root;
    if (std::string problem = ReadBlock(resource, 0, resource.size(), &root); !problem.empty()) return problem;
    if (root.key != "VS_VERSION_INFO") return "the root block is " + root.key;
    if (root.valueEnd - root.value != 52 || pe::U32(resource, root.value) != 0xFEEF04BDu) return "no fixed file information";
    info->fileVersion = static_cast<uint64_t>(pe::U32(resource, root.value + 8)) << 32 | pe::U32(resource, root.value + 12);
    info->fileType = pe::U32(resource, root.value + 36);
    for (size_t at = root.children; at < root.end; ) {
        Block part;
        if (std::string problem = ReadBlock(resource, at, root.end, &part); !problem.empty()) return problem;
        for (size_t inner = part.children; inner < part.end; ) {
            Block child;
            if (std::string problem = ReadBlock(resource, inner, part.end, &child); !problem.empty()) return problem;
            if (part.key == "StringFileInfo") {
                for (size_t entry = child.children; entry < child.end; ) {
                    Block text;
                    if (std::string problem = ReadBlock(resource, entry, child.end, &text); !problem.empty()) return problem;
                    if (text.type != 1) return "the string " + text.key + " is not text";
                    info->strings[child.key][text.key] = Text(resource, text.value, text.valueEnd);
                    entry = Aligned(text.end);
                }
            } else if (part.key == "VarFileInfo" && child.key == "Translation" && child.valueEnd - child.value == 4) {
                info->translation = pe::U32(resource, child.value);
            } else {
                return "an unknown block " + part.key + "\\" + child.key;
            }
            inner = Aligned(child.end);
        }
        at = Aligned(part.end);
    }
    return "";
}

}  // namespace wellformed
