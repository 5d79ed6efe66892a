// The hidden window that owns every message box and the question dialog.
#include "app/owner_window.h"
#include "base/run_context.h"
#include "log/catalogue.h"
#include "log/log_format.h"
#include "resources/resource.h"

const char OWNER_CLASS_NAME[] = "TidewellClass";

int RegisterOwnerClass() {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = OwnerWindowProc;
    windowClass.hInstance = run.instance;
    windowClass.hIcon = LoadIconA(run.instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = OWNER_CLASS_NAME;
    return RegisterClassA(&windowClass) != 0;
}

int CreateOwnerWindow() {
    run.ownerWindow = CreateWindowExA(0, OWNER_CLASS_NAME, GetMessageText(0, MSG_TITLE),
                                      WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                      nullptr, nullptr, run.instance, nullptr);
    return run.ownerWindow != nullptr;
}

LRESULT CALLBACK OwnerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

void CloseOwnerWindow() {
    // The quit message comes from the window's destruction; without it the loop would wait
    // for ever.
    if (!DestroyWindow(run.ownerWindow)) return;
    MSG message;
    // -1 is an error, not a message: the loop must not spin on it.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
}
