// The process's first code in the Windows builds: no C runtime, just the argument text for
// WinMain and its result as the exit code.
#include "app/switches.h"
#include "base/platform.h"

extern "C" __attribute__((used)) void WinMainCRTStartup() {
    // Before any DLL is loaded: no DLL from the current folder or the program's own folder,
    // where the system allows it (the 95 family has neither call).
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC call = GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (call) reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void*>(call))(LOAD_LIBRARY_SEARCH_SYSTEM32);
    call = GetProcAddress(kernel, "SetDllDirectoryA");
    if (call) reinterpret_cast<BOOL(WINAPI*)(LPCSTR)>(reinterpret_cast<void*>(call))("");
    const char* argumentText = SkipProgramName(GetCommandLineA());
    int code = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(argumentText), SW_SHOWDEFAULT);
    ExitProcess(static_cast<UINT>(code));
}
