// Empty-folder pruning: folders emptied by the removal, up the tree.
#include "removal/phases.h"

// Not built yet: the phase does nothing.
void PruneEmptyFolders() {}
