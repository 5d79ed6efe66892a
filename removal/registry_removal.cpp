// Registry keys and values the log names: a value alone, or a key with everything below it.
#include "removal/registry_removal.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "base/system_call.h"
#include "base/text.h"
#include "removal/phases.h"
#include "removal/report.h"

#ifndef ERROR_STOPPED_ON_SYMLINK
#define ERROR_STOPPED_ON_SYMLINK 681L
#endif

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
    else if (result == ERROR_STOPPED_ON_SYMLINK)
        Report(OUTCOME_KEPT, "%s kept, a link: %s\\%s", kind, rootName, path);
    else
        Report(OUTCOME_KEPT, "%s kept (error %u): %s\\%s", kind, static_cast<unsigned int>(result), rootName, path);
}

// Opens a key without following it should it be a link, unless told to follow;
// ERROR_STOPPED_ON_SYMLINK for a link, whose handle is then open all the same. A link holds the
// REG_LINK value "SymbolicLinkValue"; a key whose value of that name cannot be read is taken for
// one.
LONG OpenKey(HKEY parent, const char* name, REGSAM access, int follow, HKEY* key) {
    LONG result = RegOpenKeyExA(parent, name, follow ? 0 : REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, key);
    if (result == ERROR_SUCCESS && !follow) {
        DWORD type = REG_LINK;
        LONG query = RegQueryValueExA(*key, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
        if (query != ERROR_FILE_NOT_FOUND && type == REG_LINK) result = ERROR_STOPPED_ON_SYMLINK;
    }
    return result;
}

// Deletes the open key itself, never what it may link to: RegDeleteKeyA would open it again by
// name and follow a link. Ntdll has the call on every NT system; should it be missing, the key
// stays.
LONG DeleteOpenKey(HKEY key) {
    typedef LONG(WINAPI * DeleteCall)(HKEY);
    typedef ULONG(WINAPI * ErrorCall)(LONG);
    DeleteCall deleteKey = reinterpret_cast<DeleteCall>(SystemCall("ntdll.dll", "NtDeleteKey"));
    ErrorCall toError = reinterpret_cast<ErrorCall>(SystemCall("ntdll.dll", "RtlNtStatusToDosError"));
    if (!deleteKey || !toError) return ERROR_PROC_NOT_FOUND;
    return static_cast<LONG>(toError(deleteKey(key)));
}

// The system's own links, followed: HKCU\Software\Classes, HKLM\SYSTEM\CurrentControlSet, and
// HKLM\Software\Classes, which a 32-bit program on 64-bit Windows may reach through the link
// Software\Wow6432Node\Classes. Only administrators may put anything in the place of the last two.
int IsSystemLink(unsigned int root, const char* path) {
    return EqualsIgnoreCase(path, "Software\\Classes") ? root == 0x80000001u || root == 0x80000002u
                                                        : root == 0x80000002u && EqualsIgnoreCase(path, "SYSTEM\\CurrentControlSet");
}

// Opens the record's key one level at a time from the root, so that no level is reached
// through a link (a link on the way would be followed by a single call); the levels above the
// key only need to be looked at. A trailing backslash ends the path; an empty level before it
// would open its parent again, and is refused.
LONG OpenRecordKey(unsigned int root, char* path, REGSAM access, HKEY* opened) {
    HKEY key = RootKey(root);
    LONG result = ERROR_SUCCESS;
    for (char* level = path; *level && result == ERROR_SUCCESS;) {
        char* end = level;
        while (*end && *end != '\\') end = const_cast<char*>(NextCharacter(end));
        char stop = *end;
        int last = !stop || !end[1];
        *end = 0;
        HKEY parent = key;
        result = end == level ? ERROR_BAD_PATHNAME : OpenKey(parent, level, last ? access : 0, IsSystemLink(root, path), &key);
        *end = stop;
        if (result == ERROR_STOPPED_ON_SYMLINK) RegCloseKey(key);
        if (parent != RootKey(root)) RegCloseKey(parent);
        level = stop ? end + 1 : end;
    }
    *opened = key;
    return result;
}

}  // namespace

LONG DeleteKeyTree(HKEY key) {
    // Every level keeps its subkey's name until the level below has deleted that key, so each
    // needs a buffer of its own. On the heap: a tree as deep as the platform allows then costs
    // the stack a small frame per level instead of a kilobyte.
    char* name;
    if (!AllocZeroed(KEY_NAME_SIZE, &name)) return ERROR_NOT_ENOUGH_MEMORY;
    LONG result;
    // Each pass removes the subkey it found, so the next one is always at index 0.
    for (;;) {
        DWORD size = KEY_NAME_SIZE;
        result = RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            result = DeleteOpenKey(key);
            break;
        }
        if (result != ERROR_SUCCESS) break;
        HKEY subKey;
        result = OpenKey(key, name, DELETE | KEY_ENUMERATE_SUB_KEYS, 0, &subKey);
        if (result != ERROR_SUCCESS && result != ERROR_STOPPED_ON_SYMLINK) break;
        // A link goes as the link itself; what it leads to is no part of this tree.
        result = result == ERROR_SUCCESS ? DeleteKeyTree(subKey) : DeleteOpenKey(subKey);
        RegCloseKey(subKey);
        if (result != ERROR_SUCCESS) break;
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
        char* pair = FindLast(path, '\\');
        if (pair && (pair == path || pair[-1] != '\\')) pair = nullptr;
        if (pair) --pair;
        const char* kind = pair ? "registry value" : "registry key";
        LONG result;
        if (!run.isNT) {  // the 95 family has no links, and removes a whole subtree in one call
            result = pair ? RemoveValue(root, path, pair) : RegDeleteKeyA(root, path);
        } else {
            // The key is opened without following a link, and what is removed goes through
            // that very handle: a link cannot be put in its place meanwhile.
            if (pair) *pair = 0;
            HKEY key;
            result = OpenRecordKey(record->root, path, pair ? KEY_SET_VALUE : DELETE | KEY_ENUMERATE_SUB_KEYS, &key);
            if (result == ERROR_SUCCESS) {
                result = pair ? RegDeleteValueA(key, pair + 2) : DeleteKeyTree(key);
                RegCloseKey(key);
            }
            if (pair) *pair = '\\';
        }
        ReportRegistry(kind, result, record->root, path);
    }
}
