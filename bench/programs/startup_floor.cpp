// Floors for the start-up benchmark, to tell the platform's share of a start from the program's:
// built with IMPORTS_ONLY, a program that imports what the uninstaller imports and ends at once;
// otherwise one that also makes what every run of the uninstaller makes before it reads its log
// (OLE initialised, a hidden window of its own class) and takes it down again.
#include <windows.h>
#include <shlobj.h>

namespace {

// Taking an address of each DLL makes the loader map it, as the uninstaller's imports do.
void* volatile imported[6];

#ifndef IMPORTS_ONLY
LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}
#endif

}  // namespace

extern "C" void WinMainCRTStartup() {
    imported[0] = reinterpret_cast<void*>(&OleInitialize);
    imported[1] = reinterpret_cast<void*>(&CreateWindowExA);
    imported[2] = reinterpret_cast<void*>(&CreateSolidBrush);
    imported[3] = reinterpret_cast<void*>(&RegOpenKeyA);
    imported[4] = reinterpret_cast<void*>(&SHGetPathFromIDListA);
    imported[5] = reinterpret_cast<void*>(&GetModuleHandleA);
#ifndef IMPORTS_ONLY
    OleInitialize(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FloorWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "FloorClass";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "FloorClass", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    DestroyWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    OleUninitialize();
#endif
    ExitProcess(0);
}
