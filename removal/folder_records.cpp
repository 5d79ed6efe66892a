// Shortcuts and the folders the log names: the file inside each entry's folder, then the
// folder itself when it is left empty.
#include "app/run_context.h"
#include "app/text.h"
#include "removal/package_links.h"
#include "removal/phases.h"
#include "removal/protected_folders.h"
#include "removal/resolve_folder.h"

namespace {

// 1 when the folder is the process's current directory.
int IsCurrentDirectory(const char* folder) {
    char current[PATH_SIZE];
    char full[PATH_SIZE];
    DWORD length = GetCurrentDirectoryA(PATH_SIZE, current);
    if (length == 0 || length >= PATH_SIZE || !FullPathOf(folder, full)) return 0;
    StripBackslash(current);
    StripBackslash(full);
    return EqualsIgnoreCase(full, current);
}

void RemoveFolderEntry(const FolderRecord* record) {
    // An entry whose folder the rule skips, or whose file path or folder would not fit a path
    // buffer, names nothing the platform could hold, and is passed over whole.
    if (!ResolveFolder(record->folder, run.pathBuf)) return;
    if (record->name[0]) {
        if (!AppendBackslash(run.pathBuf) || !AppendText(run.pathBuf, PATH_SIZE, record->name)) return;
        if (IsFileBehindLink(run.pathBuf)) return;
        DeleteFileA(run.pathBuf);
    }
    // An entry without a folder names its file alone.
    if (!record->folder[0]) return;
    // A log may name the desktop or the start menu as a shortcut's folder; the folder itself
    // must stay even when the shortcut was the last thing in it.
    ResolveFolder(record->folder, run.pathBuf);
    if (IsFolderBehindLink(run.pathBuf) || IsProtectedFolder(run.pathBuf)) return;
    // The platform refuses to remove the current directory.
    if (IsCurrentDirectory(run.pathBuf)) SetCurrentDirectoryA("..");
    RemoveDirectoryA(run.pathBuf);
}

}  // namespace

void RemoveFolderRecords() {
    ForgetLinkChecks();
    for (unsigned int i = 0; i < run.folderCount; ++i) RemoveFolderEntry(run.folders[i]);
}
