// The removal benchmark's baseline: the least a program can do to take a tree away. It reads a
// list of paths, one a line (LF or CR LF), each after a kind letter ("F " a file, "D " a
// folder, folders deepest first), and makes one DeleteFileA per file and one RemoveDirectoryA
// per folder, nothing else. Built like the uninstaller: no C runtime, kernel32 only.
#include <windows.h>

#include "first_argument.h"

extern "C" void WinMainCRTStartup() {
    HANDLE file = CreateFileA(FirstArgument(GetCommandLineA()), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) ExitProcess(2);
    DWORD size = GetFileSize(file, nullptr);
    char* list = static_cast<char*>(VirtualAlloc(nullptr, size + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD got = 0;
    if (!list || !ReadFile(file, list, size, &got, nullptr) || got != size) ExitProcess(2);
    CloseHandle(file);
    list[size] = '\n';

    UINT failures = 0;
    for (char* line = list; line < list + size;) {
        char* end = line;
        while (*end != '\n') ++end;
        *end = 0;
        if (end > line && end[-1] == '\r') end[-1] = 0;
        if (end - line > 2) {
            if (line[0] == 'F') failures += !DeleteFileA(line + 2);
            else if (line[0] == 'D') failures += !RemoveDirectoryA(line + 2);
        }
        line = end + 1;
    }
    // The count of failed removals, up to what an exit status holds: a sound tree leaves none.
    ExitProcess(failures < 255 ? failures : 255);
}
