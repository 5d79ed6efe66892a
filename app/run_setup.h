// The run context's set-up at the start of a run and its release at the end.
#pragma once
#include "base/platform.h"

// A run's exit codes. A quiet run ends with EXIT_KEPT when it completed but something the log
// names stayed and was not queued for the restart (refused, in use where it cannot be queued;
// not a shared file other packages still use), with EXIT_RESTART ("restart required", as
// deployment tools know it) when nothing stayed but something waits for the restart; every other
// run as it always has: EXIT_OK for a completed, cancelled or silent run, EXIT_FAILED when
// nothing could be done.
enum { EXIT_OK = 0, EXIT_KEPT = 1, EXIT_RESTART = 3010, EXIT_FAILED = -1 };

// 0 when a path buffer cannot be had or the program's own path does not fit one.
int InitRunContext(HINSTANCE instance);
void ReleaseRunContext();
