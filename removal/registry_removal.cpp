// Registry keys and values the log names: a value alone, or a key with everything below it.
#include "removal/registry_removal.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/phases.h"
#include "removal/report.h"

namespace {

enum { KEY_NAME_SIZE = 1024 };

// The log keeps a root as 32 bits; the predefined keys are negative handle values, so the
// 64-bit build reaches the same keys by sign extension.
HKEY RootKey(unsigned int root) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

// Only the predefined keys lie in the upper half; a lower value could be the handle of some key
// this process holds open, and deleting below it would strike an unrelated part of the registry.
int IsPredefinedRoot(unsigned int root) { return (root & 0x80000000u) != 0; }

// The path reads key path, pair, value name; the pair is cut to end the key path for the call
// and put back afterwards, so the record reads the same as before.
LONG RemoveValue(HKEY root, char* path, char* pair) {
    *pair = 0;
    HKEY key;
    LONG result = RegOpenKeyA(root, path, &key);
    if (result == ERROR_SUCCESS) {
        result = RegDeleteValueA(key, pair + 2);
        RegCloseKey(key);
    }
    *pair = '\\';
    return result;
}

// The record's outcome, as the report names it: the root's short name, then the path.
void ReportRegistry(const char* kind, LONG result, unsigned int root, const char* path) {
    static const char* const roots[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKCC", "HKDD"};
    unsigned int index = root - 0x80000000u;
    const char* rootName = index < sizeof roots / sizeof roots[0] ? roots[index] : "root";
    if (result == ERROR_SUCCESS)
        Report(OUTCOME_REMOVED, "%s removed: %s\\%s", kind, rootName, path);
    else if (result == ERROR_FILE_NOT_FOUND)
        Report(OUTCOME_MISSING, "%s missing: %s\\%s", kind, rootName, path);
    else
        Report(OUTCOME_KEPT, "%s kept (error %u): %s\\%s", kind, static_cast<unsigned int>(result), rootName, path);
}

}  // namespace

LONG DeleteKeyTree(HKEY parent, const char* subKey) {
    if (!subKey || TextLength(subKey) == 0) return ERROR_BADKEY;
    // Every level keeps its subkey's name until the level below has deleted that key, so each
    // needs a buffer of its own. On the heap: a tree as deep as the platform allows then costs
    // the stack a small frame per level instead of a kilobyte.
    char* name;
    if (!AllocZeroed(KEY_NAME_SIZE, &name)) return ERROR_NOT_ENOUGH_MEMORY;
    HKEY key;
    LONG result = RegOpenKeyExA(parent, subKey, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &key);
    if (result == ERROR_SUCCESS) {
        // Each pass removes the subkey it found, so the next one is always at index 0.
        for (;;) {
            DWORD size = KEY_NAME_SIZE;
            result = RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) {
                result = RegDeleteKeyA(parent, subKey);
                break;
            }
            if (result == ERROR_SUCCESS) result = DeleteKeyTree(key, name);
            if (result != ERROR_SUCCESS) break;
        }
        RegCloseKey(key);
    }
    FreeAndNull(&name);
    return result;
}

void RemoveRegistryRecords() {
    for (unsigned int i = 0; i < run.registryCount; ++i) {
        RegistryRecord* record = run.registryEntries[i];
        char* path = record->path;
        if (path[0] == 0 || !IsPredefinedRoot(record->root)) {
            Report(OUTCOME_NOTED, "registry record passed over: %s", path);
            continue;
        }
        HKEY root = RootKey(record->root);
        // A value exactly when the last backslash follows another one.
        char* last = FindLast(path, '\\');
        if (last && last != path && last[-1] == '\\')
            ReportRegistry("registry value", RemoveValue(root, path, last - 1), record->root, path);
        else if (run.isNT)
            ReportRegistry("registry key", DeleteKeyTree(root, path), record->root, path);
        else  // the 95 family removes the whole subtree in one call
            ReportRegistry("registry key", RegDeleteKeyA(root, path), record->root, path);
    }
}
