// The manifest's writer: a log's content as the manifest that gives the same log again.
#include <nlohmann/json.hpp>

#include "tools/tidewell-log/codepage.h"
#include "tools/tidewell-log/manifest.h"

namespace tidewell {
namespace {

using nlohmann::json;

std::string Where(const std::string& list, size_t index) { return list + "[" + std::to_string(index) + "]"; }

}  // namespace

std::string WriteManifest(const LogContent& content, const std::string& codePage, Scope scope) {
    auto text = [&codePage](const std::string& bytes, const std::string& where) {
        return json(codePage.empty() ? bytes : FromCodePage(bytes, codePage, where)).dump();
    };
    auto entry = [](std::vector<std::pair<std::string, std::string>> fields) {
        std::string out = "{";
        for (size_t i = 0; i < fields.size(); ++i) out += (i ? ", " : "") + json(fields[i].first).dump() + ": " + fields[i].second;
        return out + "}";
    };
    std::vector<std::pair<std::string, std::string>> sections;  // name, value as JSON
    auto list = [](const std::vector<std::string>& items) {
        if (items.empty()) return std::string("[]");
        std::string out = "[\n";
        for (size_t i = 0; i < items.size(); ++i) out += "    " + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
        return out + "  ]";
    };

    if (content.codePage == kUtf8CodePage)
        sections.push_back({"codepage", "\"utf-8\""});
    else if (!codePage.empty())
        sections.push_back({"codepage", json(codePage).dump()});
    if (scope == Scope::User) sections.push_back({"scope", "\"user\""});
    if (!content.messages) {
        sections.push_back({"messages", "null"});
    } else {
        std::vector<std::string> changed;
        for (int slot = 0; slot < MSG_SLOT_COUNT; ++slot) {
            // A slot past the catalogue's end is left out again (null), so that an older, shorter
            // catalogue comes back as it was rather than with English texts added.
            if (slot >= static_cast<int>(content.messages->size())) {
                changed.push_back(json(SlotName(slot)).dump() + ": null");
                continue;
            }
            const std::string& bytes = (*content.messages)[slot];
            if (bytes == DefaultMessages()[slot]) continue;
            changed.push_back(json(SlotName(slot)).dump() + ": " + text(bytes, std::string("messages.") + SlotName(slot)));
        }
        if (!changed.empty() || content.messages->size() != DefaultMessages().size()) {
            std::string out = "{\n";
            for (size_t i = 0; i < changed.size(); ++i) out += "    " + changed[i] + (i + 1 < changed.size() ? ",\n" : "\n");
            sections.push_back({"messages", changed.empty() ? "{}" : out + "  }"});
        }
    }
    if (content.files) {
        std::vector<std::string> items;
        for (size_t i = 0; i < content.files->size(); ++i) {
            const FileEntry& file = (*content.files)[i];
            std::string where = Where("files", i);
            std::vector<std::pair<std::string, std::string>> fields = {{"folder", text(file.folder, where + ".folder")},
                                                                        {"name", text(file.name, where + ".name")}};
            std::string flags;
            if (file.flags & FILE_SHARED) flags += ", \"shared\"";
            if (file.flags & FILE_FONT) flags += ", \"font\"";
            if (file.flags & FILE_SELFREG) flags += ", \"selfreg\"";
            if (!flags.empty()) fields.push_back({"flags", "[" + flags.substr(2) + "]"});
            items.push_back(entry(fields));
        }
        sections.push_back({"files", list(items)});
    }
    if (content.folders) {
        std::vector<std::string> items;
        for (size_t i = 0; i < content.folders->size(); ++i) {
            const FolderEntry& folder = (*content.folders)[i];
            std::string where = Where("folders", i);
            items.push_back(entry({{"folder", text(folder.folder, where + ".folder")}, {"name", text(folder.name, where + ".name")}}));
        }
        sections.push_back({"folders", list(items)});
    }
    auto registry = [&](const std::vector<RegistryEntry>& entries, const char* field) {
        std::vector<std::string> items;
        for (size_t i = 0; i < entries.size(); ++i) {
            std::string root = RootShortName(entries[i].root);
            items.push_back(entry({{"root", root.empty() ? std::to_string(entries[i].root) : json(root).dump()},
                                   {"path", text(entries[i].path, Where(field, i) + ".path")}}));
        }
        sections.push_back({field, list(items)});
    };
    if (content.registry) registry(*content.registry, "registry");
    if (!content.registryAdded.empty()) registry(content.registryAdded, "registry_added");
    if (content.patterns) {
        std::vector<std::string> items;
        for (size_t i = 0; i < content.patterns->size(); ++i) items.push_back(text((*content.patterns)[i], Where("patterns", i)));
        sections.push_back({"patterns", list(items)});
    }

    std::string out = "{\n";
    for (size_t i = 0; i < sections.size(); ++i)
        out += "  " + json(sections[i].first).dump() + ": " + sections[i].second + (i + 1 < sections.size() ? ",\n" : "\n");
    return out + "}\n";
}

}  // namespace tidewell
