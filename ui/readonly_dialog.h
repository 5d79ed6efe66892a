// The question put when a file's deletion is refused: Yes, Yes to all, No or No to all.
#pragma once
#include "base/platform.h"

// Asks about the file; returns IDYES, IDNO, IDC_YESALL, IDC_NOALL or IDCANCEL (closed).
// No memory for the prompt, or a dialog that cannot be made, gives IDNO; an empty prompt
// gives IDC_YESALL without a dialog.
int AskReadOnly(const char* path);

INT_PTR CALLBACK ReadOnlyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Gives every control of the dialog the normal-weight copy of the dialog's font, made once.
void ApplyDialogFont(HWND dialog);
// The dialog brush for the dialog's, buttons' and static texts' colour messages, else null.
HBRUSH HandleDialogColor(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
