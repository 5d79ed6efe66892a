// The package author's manifest: the slots' names and English texts, the root keys' names, and
// the entry's record, which its reader and its writer share.
#include "tools/tidewell-log/manifest.h"

#include <iterator>

namespace tidewell {
namespace {

const char* const kSlotNames[] = {
    "MSG_TITLE",    "MSG_CONFIRM", "MSG_DONE",     "MSG_YES",           "MSG_YES_ALL",    "MSG_NO",      "MSG_NO_ALL",
    "MSG_NO_MEMORY", "MSG_BAD_LOG", "MSG_READONLY", "MSG_SHARED_UNUSED", "MSG_CLOSE_APPS", "MSG_RESTART",
};
static_assert(sizeof kSlotNames / sizeof *kSlotNames == MSG_SLOT_COUNT, "a name for every slot");

struct RootName {
    const char* longName;
    const char* shortName;
    uint32_t value;
};
const RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", 0x80000000u},  {"HKEY_CURRENT_USER", "HKCU", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", "HKLM", 0x80000002u}, {"HKEY_USERS", "HKU", 0x80000003u},
    {"HKEY_CURRENT_CONFIG", "HKCC", 0x80000005u},
};

}  // namespace

const std::vector<std::string>& DefaultMessages() {
    static const char* const kTexts[] = {
        "Uninstall",
        "This will remove the package and all of its components from your computer.\n\nDo you want to continue?",
        "The package has been removed from your computer.",
        "&Yes",
        "Yes to &all",
        "&No",
        "N&o to all",
        "There is not enough memory to read the uninstall information in\n%s",
        "The uninstall information in %s is damaged. Nothing has been removed.",
        "The following file is read-only or in use:\n%s\nDo you want to remove it anyway?",
        "The following shared file is no longer used by any other program:\n%s\nDo you want to remove it?",
        "These programs of the package are still running:\n\n%s\n\nClose them now? Unsaved work in them may be lost.",
        "Some files are still in use and will be removed when Windows restarts.\n\nRestart Windows now?",
    };
    static_assert(sizeof kTexts / sizeof *kTexts == MSG_SLOT_COUNT, "a text for every slot");
    static const std::vector<std::string> texts(std::begin(kTexts), std::end(kTexts));
    return texts;
}

const char* SlotName(int slot) { return slot >= 0 && slot < MSG_SLOT_COUNT ? kSlotNames[slot] : ""; }

uint32_t RootOfName(const std::string& name) {
    for (const RootName& root : kRoots)
        if (name == root.longName || name == root.shortName) return root.value;
    return 0;
}

std::string RootShortName(uint32_t root) {
    for (const RootName& name : kRoots)
        if (name.value == root) return name.shortName;
    return "";
}

std::vector<const std::string*> ContentTexts(const LogContent& content) {
    std::vector<const std::string*> texts;
    if (content.messages)
        for (const std::string& text : *content.messages) texts.push_back(&text);
    if (content.registry)
        for (const RegistryEntry& entry : *content.registry) texts.push_back(&entry.path);
    if (content.files)
        for (const FileEntry& file : *content.files) texts.insert(texts.end(), {&file.folder, &file.name});
    if (content.folders)
        for (const FolderEntry& folder : *content.folders) texts.insert(texts.end(), {&folder.folder, &folder.name});
    if (content.patterns)
        for (const std::string& pattern : *content.patterns) texts.push_back(&pattern);
    for (const RegistryEntry& entry : content.registryAdded) texts.push_back(&entry.path);
    return texts;
}

RegistryEntry EntryRecord(Scope scope, const std::string& key) {
    return {scope == Scope::User ? 0x80000001u : 0x80000002u, std::string(kUninstallList) + "\\" + key};
}

}  // namespace tidewell
