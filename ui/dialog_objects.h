// The question dialog's drawing objects, which live for the whole run.
#pragma once

// Makes the dialog brush: a solid brush of the button face, or the stock light-grey brush.
void CreateDialogBrush();
// Deletes the brush if it was made here (never a stock brush) and the dialog font if one exists.
void DeleteDialogObjects();
