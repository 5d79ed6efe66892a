// The program's entry: one uninstall run, from the log to the exit code.
#include "app/load_log.h"
#include "app/owner_window.h"
#include "app/restart.h"
#include "app/run_setup.h"
#include "app/self_delete.h"
#include "app/switches.h"
#include "base/run_context.h"
#include "log/catalogue.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "removal/consent.h"
#include "removal/package_links.h"
#include "removal/phases.h"
#include "removal/record_paths.h"
#include "removal/report.h"
#include "removal/restart_queue.h"
#include "removal/running_programs.h"
#include "removal/trusted_folders.h"
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

// A quiet run's code: something the log names stayed, or only what waits for the restart, or
// nothing. A shared file that other packages still use stays as it should.
int QuietExitCode() {
    const ReportCounts* counts = Counts();
    if (counts->kept > counts->sharedKept) return EXIT_KEPT;
    return counts->queued ? EXIT_RESTART : EXIT_OK;
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
    OpenReport();
    if (!LoadUninstallLog()) return EndEarly(EXIT_FAILED);
    if (!RegisterOwnerClass()) return EndEarly(run.quiet ? EXIT_FAILED : EXIT_OK);
    if (!CreateOwnerWindow()) return EndEarly(EXIT_FAILED);
    PinInstallDir();

    // A silent or quiet run is not asked to confirm, and not told it is done; nor asked to restart.
    int asks = RunAsksPerson();
    int removalRan = 1;
    int restarts = 0;
    if (asks) removalRan = ShowMessage(GetMessageText(0, MSG_CONFIRM), MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
    if (removalRan) {
        CloseRunningPrograms();
        RunRemovalPhases();
        if (asks) ShowMessage(GetMessageText(0, MSG_DONE), MB_OK | MB_ICONINFORMATION);
        restarts = AgreesToRestart();
    } else {
        Report(OUTCOME_NOTED, "removal cancelled, nothing removed");
    }

    CloseOwnerWindow();
    FreeRecordPaths();
    FreeUninstallLog();
    UnpinInstallDir();
    int selfDeletes = 0;
    if (removalRan && !run.silent)
        selfDeletes = ScheduleSelfDelete();
    else if (run.silent)
        Report(OUTCOME_NOTED, "no self-deletion in a silent run");
    // A restart ends the waiting job: what it would delete goes at the restart instead.
    if (restarts) QueueSelfDeletionForRestart();
    QueueStayingFolders(selfDeletes && !restarts);
    if (restarts) Report(OUTCOME_NOTED, RestartWindows() ? "restart asked for" : "restart refused by the system");
    CloseReport();
    ReleaseRunContext();
    return run.quiet ? QuietExitCode() : EXIT_OK;
}
