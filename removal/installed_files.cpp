// Installed files: shared counts, fonts, self-registering modules and refused deletions.
#include "removal/phases.h"

// Not built yet: the phase does nothing.
void RemoveInstalledFiles() {}
