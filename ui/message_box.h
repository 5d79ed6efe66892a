// Message boxes: each one owned by the hidden owner window (none before it exists) and
// captioned with the catalogue's title.
#pragma once
#include "base/platform.h"

// Shows the text; returns the button id, 0 when the box could not be shown.
int ShowMessage(const char* text, UINT flags);
