// Shortcuts and the folders the log names: the file inside each entry's folder, then the
// folder itself when it is left empty.
#include "base/run_context.h"
#include "base/text.h"
#include "removal/package_links.h"
#include "removal/phases.h"
#include "removal/protected_folders.h"
#include "removal/report.h"
#include "removal/resolve_folder.h"

namespace {

// 1 when the folder is the process's current directory.
int IsCurrentDirectory(const char* folder) {
    char current[PATH_SIZE];
    char full[PATH_SIZE];
    if (!FitsPathBuffer(GetCurrentDirectoryA(PATH_SIZE, current)) || !FullPathOf(folder, full)) return 0;
    StripBackslash(current);
    StripBackslash(full);
    return EqualsIgnoreCase(full, current);
}

void RemoveShortcut(const char* path) {
    if (IsFileBehindLink(path)) {
        Report(OUTCOME_KEPT, "shortcut kept, behind a link: %s", path);
        return;
    }
    int deleted = DeleteFileA(path);
    ReportDeletion("shortcut", deleted, deleted ? 0 : GetLastError(), "", path);
}

void RemoveFolder(const char* folder) {
    // A log may name the desktop or the start menu as a shortcut's folder; the folder itself
    // must stay even when the shortcut was the last thing in it.
    int behindLink = IsFolderBehindLink(folder);
    if (behindLink || IsProtectedFolder(folder)) {
        ReportFolderLeft(behindLink, folder);
        return;
    }
    // The platform refuses to remove the current directory.
    if (IsCurrentDirectory(folder)) SetCurrentDirectoryA("..");
    if (RemoveDirectoryA(folder))
        Report(OUTCOME_NOTED, "folder removed: %s", folder);
    else
        ReportFolderKept(GetLastError(), folder);
}

void RemoveFolderEntry(const FolderRecord* record) {
    // An entry whose folder the rule skips, or whose file path or folder would not fit a path
    // buffer, names nothing the platform could hold, and is passed over whole.
    if (!ResolveFolder(record->folder, run.pathBuf) ||
        (record->name[0] && (!AppendBackslash(run.pathBuf) || !AppendText(run.pathBuf, PATH_SIZE, record->name)))) {
        ReportPassedOver(record->name[0] ? OUTCOME_KEPT : OUTCOME_NOTED, "shortcut", record->folder, record->name);
        return;
    }
    if (record->name[0]) {
        RemoveShortcut(run.pathBuf);
    }
    // An entry without a folder names its file alone.
    if (!record->folder[0]) return;
    ResolveFolder(record->folder, run.pathBuf);
    RemoveFolder(run.pathBuf);
}

}  // namespace

void RemoveFolderRecords() {
    ForgetLinkChecks();
    for (unsigned int i = 0; i < run.folderCount; ++i) RemoveFolderEntry(run.folders[i]);
}
