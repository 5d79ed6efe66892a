// A folder a record names, removed when it is empty.
#include "removal/named_folder.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/package_links.h"
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

}  // namespace

void RemoveNamedFolder(const char* folder, int leaveIfCurrent) {
    // A log may name the desktop or the start menu as a folder of the package; the folder itself
    // must stay even when the package's files were all it held.
    int behindLink = IsFolderBehindLink(folder);
    if (behindLink || IsProtectedFolder(folder)) {
        ReportFolderLeft(behindLink, folder);
        return;
    }
    if (leaveIfCurrent && IsCurrentDirectory(folder)) SetCurrentDirectoryA("..");
    ReleaseHeldFolder(folder);
    if (RemoveDirectoryA(folder))
        Report(OUTCOME_NOTED, "folder removed: %s", folder);
    else
        ReportFolderKept(GetLastError(), folder);
}
