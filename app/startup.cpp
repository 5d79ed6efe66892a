// The process's first code in the Windows builds: no C runtime, just the argument text for
// WinMain and its result as the exit code.
#include "app/switches.h"
#include "base/platform.h"

extern "C" void WinMainCRTStartup() {
    const char* argumentText = SkipProgramName(GetCommandLineA());
    int code = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(argumentText), SW_SHOWDEFAULT);
    ExitProcess(static_cast<UINT>(code));
}
