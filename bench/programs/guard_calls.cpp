// The platform's share of one protected-folder check: the calls the guard makes for a folder that
// is not protected and is deeper than every protected folder (the Windows and system folders,
// five shell folders and two registry values; no short forms, which the guard asks for only when
// an entry is as deep as the folder), made as many times as the command line says, with nothing
// else. The removal benchmark times it to tell what the phases that must ask the guard for each
// folder cost at least.
#include <windows.h>
#include <shlobj.h>

#include "first_argument.h"

namespace {

const int kShellFolders[] = {CSIDL_DESKTOP, CSIDL_FONTS, CSIDL_PROGRAMS, CSIDL_STARTMENU, CSIDL_STARTUP};
const char* const kValues[] = {"ProgramFilesDir", "CommonFilesDir"};

// The number of checks the command line asks for.
unsigned int Count(const char* commandLine) {
    const char* at = FirstArgument(commandLine);
    unsigned int count = 0;
    for (; *at >= '0' && *at <= '9'; ++at) count = count * 10 + static_cast<unsigned int>(*at - '0');
    return count;
}

}  // namespace

extern "C" void WinMainCRTStartup() {
    OleInitialize(nullptr);  // the uninstaller's phases run inside it
    char folder[MAX_PATH];
    for (unsigned int n = Count(GetCommandLineA()); n > 0; --n) {
        GetWindowsDirectoryA(folder, MAX_PATH);
        GetSystemDirectoryA(folder, MAX_PATH);
        for (int csidl : kShellFolders) {
            LPITEMIDLIST list = nullptr;
            if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) && list) SHGetPathFromIDListA(list, folder);
            if (list) CoTaskMemFree(list);
        }
        HKEY key;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", &key) == ERROR_SUCCESS) {
            for (const char* name : kValues) {
                DWORD type = 0, size = MAX_PATH;
                RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
            }
            RegCloseKey(key);
        }
    }
    OleUninitialize();
    ExitProcess(0);
}
