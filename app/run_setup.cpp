// The run context's set-up at the start of a run and its release at the end.
#include "app/run_setup.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/consent.h"
#include "removal/left_folders.h"
#include "removal/protected_folders.h"
#include "removal/record_paths.h"
#include "removal/report.h"
#include "removal/trusted_folders.h"
#include "ui/dialog_objects.h"

int InitRunContext(HINSTANCE instance) {
    run.instance = instance;
    // The modules that keep state for a run start afresh.
    ResetTrustedFolders();
    ResetReport();
    ResetConsent();
    ResetRecordPaths();
    ResetProtectedFolders();
    ResetLeftFolders();
    OleInitialize(nullptr);
    CreateDialogBrush();
    if (!AllocZeroed(PATH_SIZE, &run.modulePath) || !AllocZeroed(PATH_SIZE, &run.installDir))
        return 0;
    // The program's path is read once, here, for the whole run. A cut name would make some other
    // folder the installation folder, and open or delete some other file.
    if (!FitsPathBuffer(GetModuleFileNameA(instance, run.modulePath, PATH_SIZE)) || !FitsLongestPath(run.modulePath)) {
        run.modulePath[0] = 0;
        return 0;
    }
    CopyText(run.installDir, PATH_SIZE, run.modulePath);
    char* lastBackslash = FindLast(run.installDir, '\\');
    if (lastBackslash) *lastBackslash = 0;
    AppendBackslash(run.installDir);
    return 1;
}

void ReleaseRunContext() {
    ReleaseProtectedFolders();
    OleUninitialize();
    FreeAndNull(&run.modulePath);
    FreeAndNull(&run.installDir);
    DeleteDialogObjects();
}
