// The hidden window that owns every message box and the question dialog.
#pragma once
#include "base/platform.h"

extern const char OWNER_CLASS_NAME[];

int RegisterOwnerClass();
int CreateOwnerWindow();
LRESULT CALLBACK OwnerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Destroys the window and dispatches what is queued, up to the quit message.
void CloseOwnerWindow();
