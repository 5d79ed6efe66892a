// The message catalogue: every text the program shows, looked up by slot.
#pragma once
#include "base/platform.h"

int ReadMessageCatalogue(HANDLE file);
void FreeCatalogue();

// The slot's text, or the shared empty string; never null, never to be written or freed.
const char* GetMessageText(int table, int slot);
// Writes the slot's text into a MESSAGE_SIZE buffer, with the argument for each "%s".
void FormatMessageText(char* destination, int slot, const char* argument);
