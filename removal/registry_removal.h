// Removal of a registry key together with every key below it.
#pragma once
#include "base/platform.h"

// Deletes the open key (opened with DELETE, KEY_ENUMERATE_SUB_KEYS and KEY_QUERY_VALUE) and
// everything below it, every key after all keys below it, each through the handle it was opened
// with. A subkey is opened without following a link, and one that is a link is deleted as the
// link itself. ERROR_SUCCESS when the key is gone; otherwise the first error met, with the keys
// removed until then staying removed.
LONG DeleteKeyTree(HKEY key);
