// The process-wide state of one uninstall run.
#include "base/run_context.h"

// Constant-initialised: the Windows builds run no static constructors.
RunContext run = {};

void ResetRunContext() {
    run = RunContext{};
}
