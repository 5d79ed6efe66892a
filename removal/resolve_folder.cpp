// Where a record's folder lies.
#include "removal/resolve_folder.h"
#include "app/run_context.h"
#include "app/text.h"

namespace {

int IsSlash(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

int ResolveFolder(const char* folder, char* path) {
    if (folder[0] == '.') {
        if (!CopyText(path, PATH_SIZE, run.installDir)) return 0;
        if (folder[1] == '\\') return AppendText(path, PATH_SIZE, folder + 2);
        return 1;
    }
    int hasDrive = folder[0] && folder[1] == ':';
    if ((hasDrive && IsSlash(folder[2])) || (IsSlash(folder[0]) && IsSlash(folder[1])))
        return CopyText(path, PATH_SIZE, folder);
    if (hasDrive || IsSlash(folder[0])) return 0;
    return CopyText(path, PATH_SIZE, run.installDir) && AppendText(path, PATH_SIZE, folder);
}

int FullPathOf(const char* path, char* full) {
    char* name;
    DWORD length = GetFullPathNameA(path, PATH_SIZE, full, &name);
    return length != 0 && length < PATH_SIZE;
}

int EnterInstallDir() {
    // The folder is named without its trailing backslash for the call, and keeps it afterwards.
    StripBackslash(run.installDir);
    int entered = SetCurrentDirectoryA(run.installDir);
    AppendBackslash(run.installDir);
    return entered;
}
