// The calls of system modules that older systems lack: found at run time, so that the program
// still starts where they are missing.
#pragma once
#include "base/platform.h"

// The call's entry, for the caller to cast to its type; null where the system has no such call.
void* SystemCall(const char* module, const char* name);
