// Where a record's folder lies.
#include "removal/resolve_folder.h"
#include "base/run_context.h"
#include "base/text.h"

namespace {

int IsSlash(char c) {
    return c == '\\' || c == '/';
}

int IsAbsoluteFolder(const char* folder) {
    return (folder[0] && folder[1] == ':' && IsSlash(folder[2])) || (IsSlash(folder[0]) && IsSlash(folder[1]));
}

}  // namespace

int DependsOnCurrentFolder(const char* folder) {
    return folder[0] != '.' && !IsAbsoluteFolder(folder) && ((folder[0] && folder[1] == ':') || IsSlash(folder[0]));
}

namespace {

int ComposeFolder(const char* folder, char* path) {
    if (folder[0] == '.') {
        if (!CopyText(path, PATH_SIZE, run.installDir)) return 0;
        if (folder[1] == '\\') return AppendText(path, PATH_SIZE, folder + 2);
        return 1;
    }
    if (IsAbsoluteFolder(folder)) return CopyText(path, PATH_SIZE, folder);
    if (DependsOnCurrentFolder(folder)) return 0;
    return CopyText(path, PATH_SIZE, run.installDir) && AppendText(path, PATH_SIZE, folder);
}

}  // namespace

int ResolveFolder(const char* folder, char* path) {
    return ComposeFolder(folder, path) && FitsLongestPath(path);
}

int FullPathOf(const char* path, char* full) {
    char* name;
    return FitsPathBuffer(GetFullPathNameA(path, PATH_SIZE, full, &name));
}

int EnterInstallDir() {
    // The folder is named without its trailing backslash for the call.
    char folder[PATH_SIZE];
    CopyText(folder, PATH_SIZE, run.installDir);
    StripBackslash(folder);
    return SetCurrentDirectoryA(folder);
}
