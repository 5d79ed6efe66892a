// The start-up benchmark's baseline: a Windows program that ends at once. Built like the
// uninstaller (no C runtime, a windowed program), so only what the uninstaller does differs.
#include <windows.h>

extern "C" void WinMainCRTStartup() {
    ExitProcess(0);
}
