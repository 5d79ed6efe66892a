// The folder names a record's folder may begin with, such as {Desktop}: each stands for a folder
// of the machine the tool runs on, and is resolved when the log is attached, so that a manifest
// never has to spell a path that only the user's machine knows.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/tidewell-log/findings.h"

namespace tidewell {

// Whom a package was installed for, and whose folders a name stands for.
enum class Scope { Machine, User };

enum class FolderId {
    InstallDir,
    Windows,
    System,
    Fonts,
    ProgramFiles,
    CommonFiles,
    Desktop,
    AllUsersDesktop,
    StartMenu,
    AllUsersStartMenu,
    Programs,
    AllUsersPrograms,
    Startup,
    AllUsersStartup,
    AppData,
    LocalAppData,
    AllUsersAppData,
    Documents,
    Temp,
};

struct FolderName {
    FolderId id;
    const char* name;       // as written between the braces (in any case)
    Scope scope;            // the machine's folder or the user's
    const char* usualPath;  // where it usually lies, for check on a machine that has no such folder
};

// Every name, in the order the README lists them.
const std::vector<FolderName>& FolderNameList();
// The name, matched without regard to case; null for none.
const FolderName* FindFolderName(const std::string& name);
const FolderName& FolderNameOf(FolderId id);

// What the names stand for in one run of the tool, in UTF-8, without a trailing backslash
// ({InstallDir} never among them).
struct FolderNames {
    std::map<FolderId, std::string> paths;
    // check: a name with no folder here warns once and stands for its usual path. attach: an error.
    bool usualWhenMissing = false;
};

// --folder NAME=PATH: gives or overrides what NAME stands for. Raises UsageError for an unknown
// name, for {InstallDir} (always the uninstaller's own folder) or a path that is not absolute.
void GiveFolder(const std::string& assignment, FolderNames* names);

// The record's folder with the name it begins with replaced, or as it stands when it begins with
// none. {InstallDir} becomes ".\", which the program resolves against its own folder wherever the
// package has been moved. `where` names the record's folder in findings; `warned` keeps check to
// one warning per name.
std::string ResolveFolder(const std::string& folder, const std::string& where, const FolderNames& names,
                          std::set<FolderId>* warned, Findings* findings);

}  // namespace tidewell
