// Leftover sweep: files matching the log's patterns, below the installation folder.
#include "removal/phases.h"

// Not built yet: the phase does nothing.
void SweepLeftovers() {}
