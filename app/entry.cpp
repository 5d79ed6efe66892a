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
#include "removal/package_links.h"
#include "removal/phases.h"
#include "removal/report.h"
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
// it has just entered and the ".." by which a phase leaves a folder:
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

// The early exits leave what they hold to the end of the process, but end the report.
int EndEarly(int code) {
    CloseReport();
    return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argumentText, int) {
    run.isNT = IsNtFamily();
    if (!InitRunContext(instance)) return EXIT_FAILED;
    ParseSwitches(argumentText);
    // A quiet run asks nobody: a file whose deletion is refused stays.
    if (run.quiet) run.readOnlyPolicy = 0;
    OpenReport();
    if (!LoadUninstallLog()) return EndEarly(EXIT_FAILED);
    if (!RegisterOwnerClass()) return EndEarly(run.quiet ? EXIT_FAILED : EXIT_OK);
    if (!CreateOwnerWindow()) return EndEarly(EXIT_FAILED);
    PinInstallDir();

    // A silent or quiet run is not asked to confirm, and not told it is done.
    int asks = !run.silent && !run.quiet;
    int removalRan = 1;
    if (asks) removalRan = ShowMessage(GetMessageText(0, MSG_CONFIRM), MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
    if (removalRan) {
        RunRemovalPhases();
        if (asks) ShowMessage(GetMessageText(0, MSG_DONE), MB_OK | MB_ICONINFORMATION);
    } else {
        Report(OUTCOME_NOTED, "removal cancelled, nothing removed");
    }

    CloseOwnerWindow();
    FreeUninstallLog();
    UnpinInstallDir();
    if (removalRan && !run.silent)
        ScheduleSelfDelete();
    else if (run.silent)
        Report(OUTCOME_NOTED, "no self-deletion in a silent run");
    CloseReport();
    ReleaseRunContext();
    if (run.quiet && run.keptCount) return EXIT_KEPT;
    return EXIT_OK;
}
