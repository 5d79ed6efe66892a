// Registry keys and values the log names.
#include "removal/phases.h"

// Not built yet: the phase does nothing.
void RemoveRegistryRecords() {}
