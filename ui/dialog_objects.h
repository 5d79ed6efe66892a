// The question dialog's drawing objects, which live for the whole run and belong to this module.
#pragma once
#include "base/platform.h"

// Makes the dialog brush: a solid brush of the button face, or the stock light-grey brush.
void CreateDialogBrush();
// The brush the dialog's background and controls are painted with; null before it is made.
HBRUSH DialogBrush();
// The dialog font: a normal-weight copy of the font the dialog was made with, made once for the
// run from the first dialog asked; null when it cannot be made (the controls keep their own).
HFONT DialogFontFor(HWND dialog);
// The dialog font made so far, or null.
HFONT DialogFont();
// Deletes the brush if it was made here (never a stock brush) and the dialog font if one exists.
void DeleteDialogObjects();
