// Where an installed-file record's folder lies.
#include "removal/resolve_folder.h"
#include "app/run_context.h"
#include "app/text.h"

int ResolveFolder(const char* folder, char* path) {
    if (folder[0] != '.') return CopyText(path, PATH_SIZE, folder);
    if (!CopyText(path, PATH_SIZE, run.installDir)) return 0;
    if (folder[1] == '\\') return AppendText(path, PATH_SIZE, folder + 2);
    return 1;
}

int EnterInstallDir() {
    // The folder is named without its trailing backslash for the call, and keeps it afterwards.
    StripBackslash(run.installDir);
    int entered = SetCurrentDirectoryA(run.installDir);
    AppendBackslash(run.installDir);
    return entered;
}
