// The question dialog's drawing objects, which live for the whole run.
#include "ui/dialog_objects.h"

namespace {

HBRUSH dialogBrush;
int dialogBrushOwned;
HFONT dialogFont;

}  // namespace

void CreateDialogBrush() {
    dialogBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    dialogBrushOwned = dialogBrush != nullptr;
    if (!dialogBrush) dialogBrush = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
}

HBRUSH DialogBrush() { return dialogBrush; }

HFONT DialogFontFor(HWND dialog) {
    if (dialogFont) return dialogFont;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA description = {};
    if (font && GetObjectA(font, sizeof description, &description)) {
        description.lfWeight = FW_NORMAL;
        dialogFont = CreateFontIndirectA(&description);
    }
    return dialogFont;
}

HFONT DialogFont() { return dialogFont; }

void DeleteDialogObjects() {
    if (dialogBrushOwned) DeleteObject(dialogBrush);
    if (dialogFont) DeleteObject(dialogFont);
    dialogBrush = nullptr;
    dialogBrushOwned = 0;
    dialogFont = nullptr;
}
