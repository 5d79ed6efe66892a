// The run context's set-up at the start of a run and its release at the end.
#pragma once
#include "base/platform.h"

enum { EXIT_OK = 0, EXIT_FAILED = -1 };

// 0 when a path buffer cannot be had or the program's own path does not fit one.
int InitRunContext(HINSTANCE instance);
void ReleaseRunContext();
