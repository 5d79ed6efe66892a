// The program's entry: one uninstall run, from the log to the exit code.
#include "app/owner_window.h"
#include "app/run_context.h"
#include "app/self_delete.h"
#include "app/switches.h"
#include "log/catalogue.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "removal/phases.h"

namespace {

int IsNtFamily() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

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
