// Checks of the records against the package's scope: whose folders and keys they name.
#include "tools/tidewell-log/check.h"
#include "tools/tidewell-log/known_folders.h"

namespace tidewell {
namespace {

enum : uint32_t { ROOT_CURRENT_USER = 0x80000001u, ROOT_LOCAL_MACHINE = 0x80000002u, ROOT_USERS = 0x80000003u };

// Where the machine's folders and the users' usually lie; the machine's first, as the all-users
// profile lies beside the users' own.
const char* const kMachinePaths[] = {
    "?:\\Windows", "?:\\WINNT", "?:\\Program Files", "?:\\Program Files (x86)", "?:\\ProgramData",
    "?:\\Users\\Public", "?:\\Users\\Default", "?:\\Users\\All Users", "?:\\Documents and Settings\\All Users",
    "?:\\Documents and Settings\\Default User",
};
const char* const kUserPaths[] = {"?:\\Users\\*", "?:\\Documents and Settings\\*"};

const char kUserRights[] = "a user's package is removed with that user's rights, which do not reach it";
const char kOtherAdministrator[] =
    "a machine's package may be removed by another administrator, and the program then takes that account's instead";

bool Below(const std::string& path, const std::string& folder) {
    if (path.size() < folder.size() || !EqualsIgnoringCase(path.substr(0, folder.size()), folder)) return false;
    return path.size() == folder.size() || folder.back() == '\\' || path[folder.size()] == '\\';
}

// Whose folder the path lies in, if anyone's in particular: by the folders the names stand for
// here (the deepest that holds it), then by the usual paths.
std::optional<Scope> Whose(const std::string& path, const FolderNames& names) {
    const FolderName* deepest = nullptr;
    size_t depth = 0;
    for (const auto& [id, folder] : names.paths)
        if (id != FolderId::InstallDir && folder.size() >= depth && Below(path, folder)) {
            deepest = &FolderNameOf(id);
            depth = folder.size();
        }
    if (deepest) return deepest->scope;
    for (const char* pattern : kMachinePaths)
        if (PathBeginsWith(path, pattern)) return Scope::Machine;
    for (const char* pattern : kUserPaths)
        if (PathBeginsWith(path, pattern)) return Scope::User;
    return std::nullopt;
}

void CheckPlace(const std::string& spelt, Scope scope, const std::string& where, const FolderNames& names, Findings* findings) {
    // A relative folder lies in the installation folder, the package's own wherever it lies.
    if (!IsAbsolute(spelt)) return;
    std::string folder = FullFormOf(spelt);
    std::optional<Scope> whose = Whose(folder, names);
    if (scope == Scope::User && whose == Scope::Machine)
        findings->push_back({false, where, "lies in a folder of the machine: " + std::string(kUserRights)});
    else if (scope == Scope::User && !whose && IsAbsolute(folder))
        findings->push_back({false, where, "lies outside the user's folders: " + std::string(kUserRights)});
    else if (scope == Scope::Machine && whose == Scope::User)
        findings->push_back({false, where, "lies in the folders of the user who installed the package: " + std::string(kOtherAdministrator)});
}

void CheckKey(const RegistryEntry& entry, Scope scope, const std::string& where, Findings* findings) {
    if (scope == Scope::User && (entry.root == ROOT_LOCAL_MACHINE || entry.root == ROOT_USERS))
        findings->push_back({false, where,
                             std::string(entry.root == ROOT_USERS ? "names a key of every user's registry"
                                                                  : "names a key of the machine") + ": " + kUserRights});
    else if (scope == Scope::Machine && entry.root == ROOT_CURRENT_USER)
        findings->push_back({false, where, "names a key of the user who installed the package: " + std::string(kOtherAdministrator)});
}

}  // namespace

void CheckScope(const LogContent& content, Scope scope, const FolderNames& names, Findings* findings) {
    if (content.registry)
        for (size_t i = 0; i < content.registry->size(); ++i)
            CheckKey((*content.registry)[i], scope, RegistryRecordName("registry", i, (*content.registry)[i]), findings);
    for (size_t i = 0; i < content.registryAdded.size(); ++i)
        CheckKey(content.registryAdded[i], scope, RegistryRecordName("registry_added", i, content.registryAdded[i]), findings);
    if (content.files)
        for (size_t i = 0; i < content.files->size(); ++i) {
            const FileEntry& file = (*content.files)[i];
            std::string where = RecordName("files", i, file.folder, file.name);
            CheckPlace(Visible(file.folder), scope, where, names, findings);
            if (scope == Scope::User && (file.flags & FILE_SHARED))
                findings->push_back({false, where,
                                     "is a shared file, whose use count lies under HKEY_LOCAL_MACHINE: " + std::string(kUserRights)});
        }
    if (content.folders)
        for (size_t i = 0; i < content.folders->size(); ++i) {
            const FolderEntry& folder = (*content.folders)[i];
            CheckPlace(Visible(folder.folder), scope, RecordName("folders", i, folder.folder, folder.name), names, findings);
        }
}

}  // namespace tidewell
