// The process-wide state of one uninstall run, and its set-up and release.
#include "app/run_context.h"
#include "app/memory.h"
#include "app/text.h"
#include "log/catalogue.h"
#include "ui/dialog_objects.h"

// Constant-initialised: the Windows builds run no static constructors.
RunContext run = {};

void ResetRunContext() {
    run = RunContext{};
}

namespace {

template <typename Record>
void FreeRecordList(Record*** list, unsigned int count) {
    if (!*list) return;
    for (unsigned int i = 0; i < count; ++i) FreeAndNull(&(*list)[i]);
    FreeAndNull(list);
}

}  // namespace

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
    FreeRecordList(&run.registryEntries, run.registryCount);
    FreeRecordList(&run.folders, run.folderCount);
    FreeRecordList(&run.files, run.fileCount);
    FreeCatalogue();
}
