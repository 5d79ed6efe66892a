// The platform's share of one protected-folder check: the calls the guard makes for a folder that
// is there and is not protected (its short name; the Windows and system folders, five shell
// folders and two registry values, each with its short name), made as many times as the command
// line says, with nothing else. The folder checked is this program's own. The removal benchmark
// times it to tell what the phases that must ask the guard for each folder cost at least.
#include <windows.h>
#include <shlobj.h>

namespace {

const int kShellFolders[] = {CSIDL_DESKTOP, CSIDL_FONTS, CSIDL_PROGRAMS, CSIDL_STARTMENU, CSIDL_STARTUP};
const char* const kValues[] = {"ProgramFilesDir", "CommonFilesDir"};

unsigned int Count(const char* commandLine) {
    const char* at = commandLine;
    if (*at == '"') {
        for (++at; *at && *at != '"'; ++at) {}
        if (*at) ++at;
    } else {
        while (*at && *at != ' ') ++at;
    }
    while (*at == ' ') ++at;
    unsigned int count = 0;
    for (; *at >= '0' && *at <= '9'; ++at) count = count * 10 + static_cast<unsigned int>(*at - '0');
    return count;
}

}  // namespace

extern "C" void WinMainCRTStartup() {
    OleInitialize(nullptr);  // the uninstaller's phases run inside it
    char own[MAX_PATH], folder[MAX_PATH], shortName[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
    while (length > 0 && own[length - 1] != '\\') --length;
    own[length > 0 ? length - 1 : 0] = 0;
    for (unsigned int n = Count(GetCommandLineA()); n > 0; --n) {
        GetShortPathNameA(own, shortName, MAX_PATH);
        GetWindowsDirectoryA(folder, MAX_PATH);
        GetShortPathNameA(folder, shortName, MAX_PATH);
        GetSystemDirectoryA(folder, MAX_PATH);
        GetShortPathNameA(folder, shortName, MAX_PATH);
        for (int csidl : kShellFolders) {
            LPITEMIDLIST list = nullptr;
            if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) && list && SHGetPathFromIDListA(list, folder))
                GetShortPathNameA(folder, shortName, MAX_PATH);
            if (list) CoTaskMemFree(list);
        }
        HKEY key;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", &key) == ERROR_SUCCESS) {
            for (const char* name : kValues) {
                DWORD type = 0, size = MAX_PATH;
                if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size) == ERROR_SUCCESS)
                    GetShortPathNameA(folder, shortName, MAX_PATH);
            }
            RegCloseKey(key);
        }
    }
    OleUninitialize();
    ExitProcess(0);
}
