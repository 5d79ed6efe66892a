// Checks of the registry records: which key or value each names, and whether that is anything
// a package may delete with everything below it.
#include <cstdio>

#include "tools/tidewell-log/check.h"
#include "tools/tidewell-log/known_folders.h"
#include "tools/tidewell-log/manifest.h"

namespace tidewell {
namespace {

enum : uint32_t { ROOT_CLASSES = 0x80000000u, ROOT_USERS = 0x80000003u };

// Keys below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER that hold every program's entries.
const char* const kSharedKeys[] = {
    "Software\\Microsoft",
    "Software\\Classes",
    "Software\\Policies",
    "Software\\Wow6432Node",
    "Software\\Microsoft\\Windows",
    "Software\\Microsoft\\Windows\\CurrentVersion",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies",
    "Software\\Microsoft\\Windows NT",
    "Software\\Microsoft\\Windows NT\\CurrentVersion",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Software\\Classes\\CLSID",
    "Software\\Classes\\Interface",
    "Software\\Classes\\TypeLib",
    "Software\\Classes\\AppID",
    "Software\\Classes\\*",
    "Software\\Classes\\Directory",
    "Software\\Classes\\Folder",
    "System\\CurrentControlSet",
    "System\\CurrentControlSet\\Services",
    "System\\CurrentControlSet\\Control",
    "Control Panel\\Desktop",
    "Control Panel\\International",
};

// Top-level keys of HKEY_CLASSES_ROOT that every program shares; a package's own extensions and
// class names live there too, so only these are warned about.
const char* const kSharedClasses[] = {
    "CLSID", "Interface", "TypeLib", "AppID", "*", "Directory", "Folder", "Drive", "AllFilesystemObjects",
    "exefile", "dllfile", "txtfile", "lnkfile", "batfile", "comfile", "http", "https", "Applications",
    "SystemFileAssociations", "MIME", ".exe", ".dll", ".txt", ".lnk", ".bat", ".com", ".htm", ".html",
};

std::string RootText(uint32_t root) {
    std::string name = RootShortName(root);
    if (!name.empty()) return name;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", root);
    return text;
}

// The key's levels, without the empty ones that leading or trailing backslashes make.
std::vector<std::string> Levels(const std::string& key) {
    std::vector<std::string> levels;
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find('\\', start);
        if (end == std::string::npos) end = key.size();
        if (end > start) levels.push_back(key.substr(start, end - start));
        start = end + 1;
    }
    return levels;
}

std::string Joined(const std::vector<std::string>& levels, size_t from) {
    std::string out;
    for (size_t i = from; i < levels.size(); ++i) out += (i > from ? "\\" : "") + levels[i];
    return out;
}

// A key record: deleted with every key and value below it.
void CheckKey(uint32_t root, const std::string& key, const std::string& where, Findings* findings) {
    std::vector<std::string> levels = Levels(key);
    std::string rootName = RootText(root);
    if (levels.empty()) {
        findings->push_back({false, where, "names the whole root " + rootName + ": everything in it would be deleted"});
        return;
    }
    size_t from = 0;
    if (root == ROOT_USERS) {
        if (levels.size() == 1) {
            findings->push_back({false, where, "names a whole user's registry (" + levels[0] + "), deleted with everything in it"});
            return;
        }
        from = 1;  // below a user's key, the same keys as in HKEY_CURRENT_USER
    }
    std::string rest = Joined(levels, from);
    if (root == ROOT_CLASSES) {
        for (const char* shared : kSharedClasses)
            if (levels.size() == 1 && EqualsIgnoringCase(rest, shared))
                findings->push_back({false, where,
                                     "names the shared class key " + rootName + "\\" + rest +
                                         ", deleted with every program's entries below it"});
        return;
    }
    if (levels.size() - from == 1) {
        findings->push_back({false, where,
                             "names the top-level key " + rootName + "\\" + key + ", deleted with everything below it"});
        return;
    }
    for (const char* shared : kSharedKeys)
        if (EqualsIgnoringCase(rest, shared))
            findings->push_back({false, where,
                                 "names the shared key " + rootName + "\\" + key + ", deleted with every program's entries below it"});
}

void CheckRecord(const RegistryEntry& entry, const std::string& where, Findings* findings) {
    if (entry.path.size() > MAX_REGISTRY_PATH) {
        findings->push_back({true, where,
                             "a path of " + std::to_string(entry.path.size()) + " bytes; the program takes at most " +
                                 std::to_string(MAX_REGISTRY_PATH)});
        return;
    }
    if (RootShortName(entry.root).empty())
        findings->push_back({false, where, "the root " + RootText(entry.root) + " is not one of the system's predefined keys"});
    std::string path = Visible(entry.path);
    if (path != entry.path) findings->push_back({false, where, "holds a zero byte: the program reads the path only up to it"});
    if (path.empty()) {
        findings->push_back({false, where, "the path is empty: the record names nothing"});
        return;
    }
    // A value when the last backslash follows another one, not at the start.
    size_t last = path.rfind('\\');
    bool value = last != std::string::npos && last > 0 && path[last - 1] == '\\';
    std::string key = value ? path.substr(0, last - 1) : path;
    if (key.find("\\\\") != std::string::npos)
        findings->push_back({false, where,
                             "a doubled backslash that does not stand before the last name: the record names a key with an "
                             "empty level, not a value (a value's name cannot hold a backslash)"});
    if (!value) {
        CheckKey(entry.root, key, where, findings);
    } else if (Levels(key).empty()) {
        findings->push_back({false, where, "names a value of the root " + RootText(entry.root) + " itself"});
    }
}

}  // namespace

std::string RegistryRecordName(const char* list, size_t index, const RegistryEntry& entry) {
    return std::string(list) + "[" + std::to_string(index) + "] \"" + RootText(entry.root) + "\\" + Visible(entry.path) + "\"";
}

void CheckRegistry(const LogContent& content, Findings* findings) {
    auto name = RegistryRecordName;
    if (content.registry)
        for (size_t i = 0; i < content.registry->size(); ++i)
            CheckRecord((*content.registry)[i], name("registry", i, (*content.registry)[i]), findings);
    for (size_t i = 0; i < content.registryAdded.size(); ++i)
        CheckRecord(content.registryAdded[i], name("registry_added", i, content.registryAdded[i]), findings);
    if (!content.registryAdded.empty() && !content.registry)
        findings->push_back({true, "registry_added", "added registry records need a registry list (\"registry\", even an empty one)"});
    if (content.registryAdded.size() > ADDED_REGISTRY_ROOM)
        findings->push_back({true, "registry_added",
                             std::to_string(content.registryAdded.size()) + " added registry records; the program has room for " +
                                 std::to_string(ADDED_REGISTRY_ROOM) + " behind its list: put the rest in \"registry\""});
}

}  // namespace tidewell
