// The folder names and their resolution in a record's folder.
#include "tools/tidewell-log/folder_names.h"

#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/known_folders.h"

namespace tidewell {
namespace {

const char kUserMenu[] = "C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
const char kCommonMenu[] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu";

std::string Joined(const std::string& folder, const std::string& rest) {
    if (rest.empty()) return folder;
    return !folder.empty() && folder.back() == '\\' ? folder + rest.substr(1) : folder + rest;
}

// No trailing backslash, except after a drive ("C:\").
std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '\\' && !(path.size() == 3 && path[1] == ':')) path.pop_back();
    return path;
}

std::string KnownNames() {
    std::string list;
    for (const FolderName& name : FolderNameList()) list += (list.empty() ? "" : ", ") + std::string(name.name);
    return list;
}

}  // namespace

const std::vector<FolderName>& FolderNameList() {
    static const std::string userMenu = kUserMenu, commonMenu = kCommonMenu;
    static const std::string userPrograms = userMenu + "\\Programs", commonPrograms = commonMenu + "\\Programs";
    static const std::string userStartup = userPrograms + "\\Startup", commonStartup = commonPrograms + "\\Startup";
    static const std::vector<FolderName> names = {
        {FolderId::InstallDir, "InstallDir", Scope::Machine, ".\\"},
        {FolderId::Windows, "Windows", Scope::Machine, "C:\\Windows"},
        {FolderId::System, "System", Scope::Machine, "C:\\Windows\\System32"},
        {FolderId::Fonts, "Fonts", Scope::Machine, "C:\\Windows\\Fonts"},
        {FolderId::ProgramFiles, "ProgramFiles", Scope::Machine, "C:\\Program Files"},
        {FolderId::CommonFiles, "CommonFiles", Scope::Machine, "C:\\Program Files\\Common Files"},
        {FolderId::Desktop, "Desktop", Scope::User, "C:\\Users\\User\\Desktop"},
        {FolderId::AllUsersDesktop, "AllUsersDesktop", Scope::Machine, "C:\\Users\\Public\\Desktop"},
        {FolderId::StartMenu, "StartMenu", Scope::User, userMenu.c_str()},
        {FolderId::AllUsersStartMenu, "AllUsersStartMenu", Scope::Machine, commonMenu.c_str()},
        {FolderId::Programs, "Programs", Scope::User, userPrograms.c_str()},
        {FolderId::AllUsersPrograms, "AllUsersPrograms", Scope::Machine, commonPrograms.c_str()},
        {FolderId::Startup, "Startup", Scope::User, userStartup.c_str()},
        {FolderId::AllUsersStartup, "AllUsersStartup", Scope::Machine, commonStartup.c_str()},
        {FolderId::AppData, "AppData", Scope::User, "C:\\Users\\User\\AppData\\Roaming"},
        {FolderId::LocalAppData, "LocalAppData", Scope::User, "C:\\Users\\User\\AppData\\Local"},
        {FolderId::AllUsersAppData, "AllUsersAppData", Scope::Machine, "C:\\ProgramData"},
        {FolderId::Documents, "Documents", Scope::User, "C:\\Users\\User\\Documents"},
        {FolderId::Temp, "Temp", Scope::User, "C:\\Users\\User\\AppData\\Local\\Temp"},
    };
    return names;
}

const FolderName* FindFolderName(const std::string& name) {
    for (const FolderName& known : FolderNameList())
        if (EqualsIgnoringCase(known.name, name)) return &known;
    return nullptr;
}

const FolderName& FolderNameOf(FolderId id) {
    for (const FolderName& known : FolderNameList())
        if (known.id == id) return known;
    return FolderNameList().front();
}

void GiveFolder(const std::string& assignment, FolderNames* names) {
    size_t equals = assignment.find('=');
    const FolderName* name = FindFolderName(assignment.substr(0, equals));
    if (equals == std::string::npos || !name)
        throw UsageError("--folder needs NAME=PATH with one of the folder names " + KnownNames() + ", not \"" + assignment + "\"");
    if (name->id == FolderId::InstallDir)
        throw UsageError("--folder InstallDir: {InstallDir} is always the uninstaller's own folder, \".\\\" in the log");
    std::string path = assignment.substr(equals + 1);
    if (!IsAbsolute(path))
        throw UsageError("--folder " + std::string(name->name) + ": \"" + path +
                         "\" is not an absolute Windows path, such as C:\\Users\\ana\\Desktop");
    names->paths[name->id] = Trimmed(path);
}

std::string ResolveFolder(const std::string& folder, const std::string& where, const FolderNames& names,
                          std::set<FolderId>* warned, Findings* findings) {
    if (folder.empty() || folder[0] != '{') return folder;
    size_t close = folder.find('}');
    if (close == std::string::npos) {
        findings->push_back({true, where, "begins with '{' but closes no folder name: write one such as {Desktop}"});
        return folder;
    }
    std::string written = folder.substr(0, close + 1);
    const FolderName* name = FindFolderName(folder.substr(1, close - 1));
    if (!name) {
        findings->push_back({true, where, written + " is not a folder name (known: " + KnownNames() + ")"});
        return folder;
    }
    std::string rest = folder.substr(close + 1);
    if (!rest.empty() && rest[0] != '\\') {
        findings->push_back({true, where, written + " stands for a whole folder: a backslash must follow it"});
        return folder;
    }
    // The program takes a ".\" folder from its own place, so the package may move.
    if (name->id == FolderId::InstallDir) return rest.empty() ? ".\\" : "." + rest;

    auto found = names.paths.find(name->id);
    if (found != names.paths.end()) return Joined(found->second, rest);
    std::string give = "--folder " + std::string(name->name) + "=PATH gives one";
    std::string missing = written + " stands for no folder on this machine";
    if (!names.usualWhenMissing) {
        findings->push_back({true, where, missing + " (" + give + ")"});
        return folder;
    }
    if (warned->insert(name->id).second)
        findings->push_back({false, where, missing + ": checked as its usual path " + name->usualPath + " (" + give + ")"});
    return Joined(name->usualPath, rest);
}

}  // namespace tidewell
