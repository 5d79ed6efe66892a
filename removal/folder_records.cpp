// Shortcuts and the folders the log names: the file inside each entry's folder, then the
// folder itself when it is left empty.
#include "app/run_context.h"
#include "app/text.h"
#include "removal/phases.h"
#include "removal/protected_folders.h"

namespace {

// 1 when the folder, exactly as stored, is the process's current directory.
int IsCurrentDirectory(const char* folder) {
    char current[PATH_SIZE];
    DWORD length = GetCurrentDirectoryA(PATH_SIZE, current);
    if (length == 0 || length >= PATH_SIZE) return 0;
    StripBackslash(current);
    return EqualsIgnoreCase(folder, current);
}

void RemoveFolderEntry(const FolderRecord* record) {
    // The stored folder is used exactly as it stands. An entry whose file path or folder would
    // not fit a path buffer names nothing the platform could hold, and is passed over whole.
    if (!CopyText(run.pathBuf, PATH_SIZE, record->folder)) return;
    if (record->name[0]) {
        if (!AppendBackslash(run.pathBuf) || !AppendText(run.pathBuf, PATH_SIZE, record->name)) return;
        DeleteFileA(run.pathBuf);
    }
    if (!record->folder[0]) return;
    // A log may name the desktop or the start menu as a shortcut's folder; the folder itself
    // must stay even when the shortcut was the last thing in it.
    CopyText(run.pathBuf, PATH_SIZE, record->folder);
    if (IsProtectedFolder(run.pathBuf)) return;
    // The platform refuses to remove the current directory.
    if (IsCurrentDirectory(record->folder)) SetCurrentDirectoryA("..");
    RemoveDirectoryA(record->folder);
}

}  // namespace

void RemoveFolderRecords() {
    for (unsigned int i = 0; i < run.folderCount; ++i) RemoveFolderEntry(run.folders[i]);
}
