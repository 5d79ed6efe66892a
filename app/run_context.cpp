// The process-wide state of one uninstall run, and its set-up and release.
#include "app/run_context.h"
#include "app/memory.h"
#include "app/text.h"
#include "log/catalogue.h"
#include "log/record_list.h"
#include "ui/dialog_objects.h"

// Constant-initialised: the Windows builds run no static constructors.
RunContext run = {};

void ResetRunContext() {
    run = RunContext{};
}

int InitRunContext(HINSTANCE instance) {
    run.instance = instance;
    OleInitialize(nullptr);
    CreateDialogBrush();
    if (!AllocZeroed(PATH_SIZE, &run.modulePath) || !AllocZeroed(PATH_SIZE, &run.pathBuf) ||
        !AllocZeroed(PATH_SIZE, &run.installDir))
        return 0;
    // A cut name would make some other folder the installation folder.
    DWORD length = GetModuleFileNameA(instance, run.installDir, PATH_SIZE);
    if (length == 0 || length >= PATH_SIZE) return 0;
    char* lastBackslash = FindLast(run.installDir, '\\');
    if (lastBackslash) *lastBackslash = 0;
    AppendBackslash(run.installDir);
    return 1;
}

void ReleaseRunContext() {
    OleUninitialize();
    FreeAndNull(&run.modulePath);
    FreeAndNull(&run.installDir);
    FreeAndNull(&run.pathBuf);
    DeleteDialogObjects();
}

void FreeUninstallLog() {
    FreeAndNull(&run.patterns);
    FreeRecordList(&run.registryEntries, &run.registryCount);
    run.registryCapacity = 0;
    FreeRecordList(&run.folders, &run.folderCount);
    FreeRecordList(&run.files, &run.fileCount);
    FreeCatalogue();
}
