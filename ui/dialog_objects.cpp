// The question dialog's drawing objects, which live for the whole run.
#include "ui/dialog_objects.h"
#include "base/run_context.h"

void CreateDialogBrush() {
    run.dialogBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    if (run.dialogBrush) {
        run.dialogBrushOwned = 1;
    } else {
        run.dialogBrush = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
        run.dialogBrushOwned = 0;
    }
}

void DeleteDialogObjects() {
    if (run.dialogBrushOwned) DeleteObject(run.dialogBrush);
    if (run.dialogFont) DeleteObject(run.dialogFont);
    run.dialogBrush = nullptr;
    run.dialogBrushOwned = 0;
    run.dialogFont = nullptr;
}
