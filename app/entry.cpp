// The program's entry: one uninstall run, from the log to the exit code.
#include "app/load_log.h"
#include "app/owner_window.h"
#include "app/run_setup.h"
#include "app/self_delete.h"
#include "app/switches.h"
#include "base/run_context.h"
#include "log/catalogue.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "removal/phases.h"
#include "ui/message_box.h"

namespace {

int IsNtFamily() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// The phases run in this order, each to its end. The current folder between them: the platform
// will not remove a folder that is some process's current one, so the folder phases work from
// outside the package's folders. No phase relies on the folder another left current, and every
// path a phase hands the platform is absolute, but for the names the sweep uses in the folder
// it has just entered:
//   - the installed files make no folder current;
//   - the sweep makes the installation folder current and ends in its parent;
//   - the folder records leave a folder for its parent only when that folder is to go;
//   - the pruning makes the installation folder's parent current at its start;
//   - the registry removal makes no folder current.
// After the phases the self-deletion makes the Windows folder current, for the process and the
// job it starts.
void RunRemovalPhases() {
    RemoveInstalledFiles();
    SweepLeftovers();
    RemoveFolderRecords();
    PruneEmptyFolders();
    RemoveRegistryRecords();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argumentText, int) {
    run.isNT = IsNtFamily();
    // The early exits leave what they hold to the end of the process.
    if (!InitRunContext(instance)) return EXIT_FAILED;
    ParseSwitches(argumentText);
    if (!LoadUninstallLog()) return EXIT_FAILED;
    if (!RegisterOwnerClass()) return EXIT_OK;
    if (!CreateOwnerWindow()) return EXIT_FAILED;

    int removalRan = 1;
    if (!run.silent)
        removalRan = ShowMessage(GetMessageText(0, MSG_CONFIRM), MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
    if (removalRan) {
        RunRemovalPhases();
        if (!run.silent) ShowMessage(GetMessageText(0, MSG_DONE), MB_OK | MB_ICONINFORMATION);
    }

    CloseOwnerWindow();
    FreeUninstallLog();
    if (removalRan && !run.silent) ScheduleSelfDelete();
    ReleaseRunContext();
    return EXIT_OK;
}
