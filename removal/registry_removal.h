// Removal of a registry key together with every key below it.
#pragma once
#include "base/platform.h"

// Deletes the subkey of the parent (an open key or a predefined root) and everything below it,
// every key after all keys below it. ERROR_SUCCESS when the key is gone; ERROR_BADKEY for an
// absent or empty subkey, without touching the registry; otherwise the first error met, with
// the keys removed until then staying removed.
LONG DeleteKeyTree(HKEY parent, const char* subKey);
