// The question put when a file's deletion is refused: Yes, Yes to all, No or No to all.
#include "ui/readonly_dialog.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "log/catalogue.h"
#include "log/log_format.h"
#include "resources/resource.h"
#include "ui/dialog_objects.h"

int AskReadOnly(const char* path) {
    char* promptText;
    if (!AllocZeroed(MESSAGE_SIZE, &promptText)) return IDNO;
    FormatMessageText(promptText, MSG_READONLY, path);

    // Without a prompt there is nobody to ask: every refused file is tried once more.
    INT_PTR result = IDC_YESALL;
    if (promptText[0]) {
        result = DialogBoxParamA(run.instance, MAKEINTRESOURCEA(IDD_ASK), run.ownerWindow, ReadOnlyDialogProc,
                                 reinterpret_cast<LPARAM>(promptText));
        if (result == -1) result = IDNO;
    }
    FreeAndNull(&promptText);
    return static_cast<int>(result);
}

INT_PTR CALLBACK ReadOnlyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        ApplyDialogFont(dialog);
        SetWindowTextA(dialog, GetMessageText(0, MSG_TITLE));
        SetDlgItemTextA(dialog, IDC_PROMPT, reinterpret_cast<const char*>(lParam));
        SetDlgItemTextA(dialog, IDYES, GetMessageText(0, MSG_YES));
        SetDlgItemTextA(dialog, IDNO, GetMessageText(0, MSG_NO));
        SetDlgItemTextA(dialog, IDC_YESALL, GetMessageText(0, MSG_YES_ALL));
        SetDlgItemTextA(dialog, IDC_NOALL, GetMessageText(0, MSG_NO_ALL));
        return TRUE;  // the focus goes to the first tab stop, Yes
    case WM_COMMAND:
        // A button's id, the default button's for Enter, IDCANCEL for Esc and the close box.
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return reinterpret_cast<INT_PTR>(HandleDialogColor(dialog, message, wParam, lParam));
    }
}

void ApplyDialogFont(HWND dialog) {
    HFONT font = DialogFontFor(dialog);
    if (!font) return;  // the controls keep the template's font
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
}

HBRUSH HandleDialogColor(HWND, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        return DialogBrush();
    default:
        return nullptr;
    }
}
