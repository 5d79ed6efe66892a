// The stand-in's registry: predefined roots, keys with values, open key handles, the NT
// family's registry links, and the difference between the two families in deleting a key that
// has subkeys.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

#include "fake_internal.h"

using namespace fake::detail;

namespace fake {
namespace {

bool wow64;

struct Key {
    std::string name;
    Key* parent = nullptr;
    std::map<std::string, std::shared_ptr<Key>> subkeys;  // by upper-case name
    std::map<std::string, std::pair<std::string, RegValue>> values;  // upper-case name -> (name, value)
    bool deleted = false;
    std::map<std::string, DWORD> failures;  // "open", "delete", "enum"
    REGSAM denied = 0;  // rights the user may not open the key with
    uint32_t linkRoot = 0;  // a link: the root and path it leads to
    std::string linkPath;
};

std::map<uint32_t, std::shared_ptr<Key>> roots;
std::map<HKEY, std::shared_ptr<Key>> openKeys;
std::map<HKEY, REGSAM> grantedAccess;  // what each open handle may do
uintptr_t nextKeyHandle;
bool deletesTrees;

// A pending RegNotifyChangeKeyValue: the first change it watches for signals its event and ends
// it, as the platform's one-shot notifications do; closing its key's handle ends it too.
struct Watch {
    HKEY handle;
    const Key* key;
    bool subtree;
    DWORD filter;
    HANDLE event;
};
std::vector<Watch> watches;

uint32_t RootValue(HKEY key) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)); }

bool IsPredefined(HKEY key) {
    uintptr_t value = reinterpret_cast<uintptr_t>(key);
    // Predefined keys are 0x80000000 and up, sign-extended in a 64-bit handle.
    return static_cast<intptr_t>(value) < 0 && static_cast<intptr_t>(value) >= static_cast<intptr_t>(INT32_MIN);
}

std::string FullName(const Key* key) {
    std::string name;
    for (const Key* k = key; k && k->parent; k = k->parent) name = k->name + (name.empty() ? "" : "\\" + name);
    return name;
}

// The key behind a handle: a predefined root, or a key this stand-in opened.
Key* Resolve(HKEY handle, DWORD* error) {
    if (IsPredefined(handle)) {
        auto root = roots.find(RootValue(handle));
        if (root == roots.end()) {
            *error = ERROR_INVALID_HANDLE;
            return nullptr;
        }
        return root->second.get();
    }
    auto open = openKeys.find(handle);
    if (open == openKeys.end()) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (open->second->deleted) {
        *error = ERROR_KEY_DELETED;
        return nullptr;
    }
    return open->second.get();
}

std::shared_ptr<Key> Walk(const std::shared_ptr<Key>& from, const std::string& path, DWORD* error, bool openLink = false,
                          int depth = 0);

// Where a link leads, looked up by its path each time it is followed; a link that leads nowhere,
// or round in a circle, opens nothing.
std::shared_ptr<Key> Target(const Key* link, DWORD* error, int depth) {
    auto root = roots.find(link->linkRoot);
    if (root == roots.end() || depth > 16) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return Walk(root->second, link->linkPath, error, false, depth + 1);
}

// Walks a relative key path from a key; a leading backslash or an empty level is refused. A link
// on the way is followed, as is one at the end unless the link itself is to be opened.
std::shared_ptr<Key> Walk(const std::shared_ptr<Key>& from, const std::string& path, DWORD* error, bool openLink,
                          int depth) {
    if (!path.empty() && path[0] == '\\') {
        *error = ERROR_BAD_PATHNAME;
        return nullptr;
    }
    std::shared_ptr<Key> key = from;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string level = path.substr(start, end - start);
        bool trailing = end + 1 == path.size();
        if (level.empty()) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        auto next = key->subkeys.find(Upper(level));
        if (next == key->subkeys.end()) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        key = next->second;
        start = trailing ? path.size() : end + 1;
        if (key->linkRoot && (start < path.size() || !openLink) && !(key = Target(key.get(), error, depth))) return nullptr;
    }
    return key;
}

std::shared_ptr<Key> SharedOf(Key* key) {
    if (!key->parent) {
        for (auto& root : roots)
            if (root.second.get() == key) return root.second;
    } else {
        for (auto& sub : key->parent->subkeys)
            if (sub.second.get() == key) return sub.second;
    }
    for (auto& open : openKeys)
        if (open.second.get() == key) return open.second;
    throw std::logic_error("registry key without owner");
}

// A change to the key (its values: REG_NOTIFY_CHANGE_LAST_SET; its subkeys made or deleted:
// REG_NOTIFY_CHANGE_NAME) reaches the watches on it and, with their subtree, on the keys above it.
void Changed(const Key* key, DWORD filter) {
    for (size_t i = 0; i < watches.size();) {
        const Watch& watch = watches[i];
        bool reaches = watch.key == key;
        for (const Key* above = key->parent; above && watch.subtree && !reaches; above = above->parent)
            reaches = above == watch.key;
        if (reaches && (watch.filter & filter)) {
            SignalEvent(watch.event);
            watches.erase(watches.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

std::shared_ptr<Key> Create(HKEY root, const std::string& path) {
    auto found = roots.find(RootValue(root));
    if (found == roots.end()) throw std::invalid_argument("not a predefined root");
    std::shared_ptr<Key> key = found->second;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string level = path.substr(start, end - start);
        if (!level.empty()) {
            auto& slot = key->subkeys[Upper(level)];
            if (!slot) {
                slot = std::make_shared<Key>();
                slot->name = level;
                slot->parent = key.get();
                Changed(key.get(), REG_NOTIFY_CHANGE_NAME);
            }
            key = slot;
        }
        start = end + 1;
    }
    return key;
}

std::shared_ptr<Key> Lookup(HKEY root, const std::string& path) {
    auto found = roots.find(RootValue(root));
    if (found == roots.end()) return nullptr;
    DWORD error;
    return path.empty() ? found->second : Walk(found->second, path, &error);
}

void MarkDeleted(Key* key) {
    Changed(key, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET);
    if (key->parent) Changed(key->parent, REG_NOTIFY_CHANGE_NAME);
    key->deleted = true;
    for (auto& sub : key->subkeys) MarkDeleted(sub.second.get());
}

void Collect(const Key* key, std::vector<std::string>* out) {
    for (const auto& sub : key->subkeys) {
        out->push_back(FullName(sub.second.get()));
        Collect(sub.second.get(), out);
    }
}

// The rights a handle opened with this access mask holds: generic rights map to the key
// rights, and MAXIMUM_ALLOWED (what RegOpenKeyA asks for) grants everything here.
REGSAM Granted(REGSAM wanted) {
    constexpr REGSAM kMaximumAllowed = 0x02000000, kGenericAll = 0x10000000;
    if (wanted & (kMaximumAllowed | kGenericAll)) return KEY_ALL_ACCESS;
    if (wanted & GENERIC_READ) wanted |= KEY_READ;
    if (wanted & GENERIC_WRITE) wanted |= KEY_WRITE;
    return wanted;
}

HKEY NewHandle(const std::shared_ptr<Key>& key, REGSAM access) {
    HKEY handle = reinterpret_cast<HKEY>(nextKeyHandle);
    nextKeyHandle += 4;
    openKeys[handle] = key;
    grantedAccess[handle] = Granted(access);
    return handle;
}

// Whether the handle was opened with the right; a predefined root holds every right.
bool Allows(HKEY handle, REGSAM right) {
    auto granted = grantedAccess.find(handle);
    return granted == grantedAccess.end() || (granted->second & right) == right;
}

DWORD FailureOf(const Key* key, const char* operation) {
    auto found = key->failures.find(operation);
    return found == key->failures.end() ? 0 : found->second;
}

std::string RootName(uint32_t value) {
    switch (value) {
    case 0x80000000u: return "HKCR";
    case 0x80000001u: return "HKCU";
    case 0x80000002u: return "HKLM";
    case 0x80000003u: return "HKU";
    case 0x80000005u: return "HKCC";
    default: return "root " + std::to_string(value);
    }
}

std::string Display(const Key* key) {
    const Key* top = key;
    while (top->parent) top = top->parent;
    std::string root = "(deleted)";
    for (const auto& entry : roots)
        if (entry.second.get() == top) root = RootName(entry.first);
    std::string below = FullName(key);
    return below.empty() ? root : root + "\\" + below;
}

// The key a call is about, as HKLM\Software\Pkg, or its path below whatever key it was opened.
std::string Subject(HKEY handle, const char* sub) {
    DWORD error;
    Key* key = Resolve(handle, &error);
    std::string base = key ? Display(key) : "(bad key)";
    if (IsPredefined(handle)) base = RootName(RootValue(handle));
    if (!sub) return base;
    return base + (base.empty() ? "" : "\\") + sub;
}

}  // namespace

void RegAddKey(HKEY root, const std::string& path) { Create(root, path); }

void RegSetValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& data) {
    std::shared_ptr<Key> key = Create(root, path);
    key->values[Upper(name)] = {name, {type, data}};
    Changed(key.get(), REG_NOTIFY_CHANGE_LAST_SET);
}

void RegSetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    std::string data(reinterpret_cast<const char*>(&value), sizeof value);
    RegSetValue(root, path, name, REG_DWORD, data);
}

void RegSetString(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
    RegSetValue(root, path, name, REG_SZ, text + std::string(1, '\0'));
}

bool RegKeyExists(HKEY root, const std::string& path) { return Lookup(root, path) != nullptr; }

std::optional<RegValue> RegGetValue(HKEY root, const std::string& path, const std::string& name) {
    auto key = Lookup(root, path);
    if (!key) return std::nullopt;
    auto found = key->values.find(Upper(name));
    if (found == key->values.end()) return std::nullopt;
    return found->second.second;
}

std::optional<DWORD> RegGetDword(HKEY root, const std::string& path, const std::string& name) {
    auto value = RegGetValue(root, path, name);
    if (!value || value->data.size() != sizeof(DWORD)) return std::nullopt;
    DWORD number;
    std::memcpy(&number, value->data.data(), sizeof number);
    return number;
}

std::vector<std::string> RegTree(HKEY root, const std::string& path) {
    std::vector<std::string> out;
    if (auto key = Lookup(root, path)) Collect(key.get(), &out);
    return out;
}

void SetRegistryDeletesTrees(bool trees) { deletesTrees = trees; }
void SetWow64(bool running) { wow64 = running; }

void MakeRegistryLink(HKEY root, const std::string& path, HKEY targetRoot, const std::string& targetPath) {
    std::shared_ptr<Key> link = Create(root, path);
    link->subkeys.clear();
    link->values.clear();
    Changed(link.get(), REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET);
    link->linkRoot = RootValue(targetRoot);
    link->linkPath = targetPath;
    // The platform keeps the target's native path in UTF-16; here it is the target as the journal
    // names it, since only the value's type is looked at.
    RegSetValue(root, path, "SymbolicLinkValue", REG_LINK, RootName(link->linkRoot) + "\\" + targetPath);
}

void RegFail(HKEY root, const std::string& path, const std::string& operation, DWORD error) {
    if (operation != "open" && operation != "delete" && operation != "enum")
        throw std::invalid_argument("no such registry operation: " + operation);
    Create(root, path)->failures[operation] = error;
}

void RegDenyAccess(HKEY root, const std::string& path, REGSAM rights) { Create(root, path)->denied = rights; }

size_t OpenKeys() { return openKeys.size(); }
size_t PendingNotifications() { return watches.size(); }

namespace detail {

bool Wow64() { return wow64; }

void ResetRegistry() {
    wow64 = false;
    watches.clear();
    openKeys.clear();
    grantedAccess.clear();
    roots.clear();
    for (uint32_t value : {0x80000000u, 0x80000001u, 0x80000002u, 0x80000003u, 0x80000005u}) roots[value] = std::make_shared<Key>();
    nextKeyHandle = 0x2000;
    deletesTrees = false;
    // Every machine has the version key and the profiles folder, which the guard reads, and the
    // session manager's key, which holds the restart's queue.
    RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion");
    RegAddKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
    RegSetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", "ProfilesDirectory",
                 "C:\\Documents and Settings");
}

}  // namespace detail
}  // namespace fake

using namespace fake;

namespace {

LSTATUS OpenKey(const char* api, HKEY parent, LPCSTR subKey, REGSAM access, PHKEY result, bool openLink = false) {
    std::string subject = Subject(parent, subKey) + (openLink ? " (OPEN_LINK)" : "");
    DWORD error;
    if (result) *result = nullptr;
    if (Injected(api, &error)) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    Key* from = Resolve(parent, &error);
    if (!from) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    std::string path = subKey ? subKey : "";
    // A 32-bit program on 64-bit Windows: the machine's software key is its own 32-bit one
    // unless it asks for the native view.
    if (wow64 && parent == HKEY_LOCAL_MACHINE && !(access & 0x0100) && Upper(path).rfind("SOFTWARE\\", 0) == 0)
        path = "Software\\WOW6432Node\\" + path.substr(9);
    if (access & 0x0100) subject += " (native view)";
    std::shared_ptr<Key> key = Walk(SharedOf(from), path, &error, openLink);
    if (!key) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    if (DWORD failure = FailureOf(key.get(), "open")) return Fail(api, subject, failure, static_cast<LSTATUS>(failure));
    // MAXIMUM_ALLOWED gets what the user may have; asking for a right the user lacks fails.
    REGSAM granted = Granted(access);
    if (access & 0x02000000)
        granted &= ~key->denied;
    else if (granted & key->denied)
        return Fail(api, subject, ERROR_ACCESS_DENIED, LSTATUS(ERROR_ACCESS_DENIED));
    *result = NewHandle(key, granted);
    return Succeed(api, subject, LSTATUS(ERROR_SUCCESS));
}

}  // namespace

LSTATUS WINAPI RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    const char* api = "RegOpenKeyA";
    // Without a subkey the call hands back the very handle it was given; nothing new is opened.
    if (result && (!subKey || !*subKey)) {
        DWORD error;
        std::string subject = Subject(key, subKey);
        if (Injected(api, &error)) return Fail(api, subject, error, static_cast<LSTATUS>(error));
        *result = key;
        return Succeed(api, subject, LSTATUS(ERROR_SUCCESS));
    }
    return OpenKey(api, key, subKey, 0x02000000 /* MAXIMUM_ALLOWED */, result);
}

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    return OpenKey("RegOpenKeyExA", key, subKey, access, result, (options & REG_OPTION_OPEN_LINK) != 0);
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    const char* api = "RegCloseKey";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, static_cast<LSTATUS>(error));
    if (IsPredefined(key)) return Succeed(api, Subject(key, nullptr), LSTATUS(ERROR_SUCCESS));
    auto open = openKeys.find(key);
    if (open == openKeys.end()) return Fail(api, "", ERROR_INVALID_HANDLE, LSTATUS(ERROR_INVALID_HANDLE));
    std::string subject = Display(open->second.get());
    watches.erase(std::remove_if(watches.begin(), watches.end(), [key](const Watch& watch) { return watch.handle == key; }),
                  watches.end());
    openKeys.erase(open);
    grantedAccess.erase(key);
    return Succeed(api, subject, LSTATUS(ERROR_SUCCESS));
}

LSTATUS WINAPI RegQueryValueExA(HKEY handle, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    const char* api = "RegQueryValueExA";
    std::string subject = Subject(handle, nullptr) + " : " + Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    Key* key = Resolve(handle, &error);
    if (!key) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    if (!Allows(handle, KEY_QUERY_VALUE)) return Fail(api, subject, ERROR_ACCESS_DENIED, LSTATUS(ERROR_ACCESS_DENIED));
    auto found = key->values.find(Upper(name ? name : ""));
    if (found == key->values.end()) return Fail(api, subject, ERROR_FILE_NOT_FOUND, LSTATUS(ERROR_FILE_NOT_FOUND));
    const RegValue& value = found->second.second;
    if (type) *type = value.type;
    DWORD needed = static_cast<DWORD>(value.data.size());
    if (data) {
        if (!size || *size < needed) {
            if (size) *size = needed;
            return Fail(api, subject, ERROR_MORE_DATA, LSTATUS(ERROR_MORE_DATA));
        }
        std::memcpy(data, value.data.data(), needed);
    }
    if (size) *size = needed;
    return Succeed(api, subject, LSTATUS(ERROR_SUCCESS));
}

LSTATUS WINAPI RegSetValueExA(HKEY handle, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    const char* api = "RegSetValueExA";
    std::string subject = Subject(handle, nullptr) + " : " + Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    Key* key = Resolve(handle, &error);
    if (!key) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    if (!Allows(handle, KEY_SET_VALUE)) return Fail(api, subject, ERROR_ACCESS_DENIED, LSTATUS(ERROR_ACCESS_DENIED));
    std::string valueName = name ? name : "";
    key->values[Upper(valueName)] = {valueName, {type, std::string(reinterpret_cast<const char*>(data), data ? size : 0)}};
    Changed(key, REG_NOTIFY_CHANGE_LAST_SET);
    std::string detail = subject + " = type " + std::to_string(type) + " size " + std::to_string(size);
    if (type == REG_DWORD && size == 4) {
        DWORD number;
        std::memcpy(&number, data, 4);
        detail = subject + " = " + std::to_string(number);
    }
    return Succeed(api, detail, LSTATUS(ERROR_SUCCESS));
}

LSTATUS WINAPI RegDeleteValueA(HKEY handle, LPCSTR name) {
    const char* api = "RegDeleteValueA";
    std::string subject = Subject(handle, nullptr) + " : " + Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    Key* key = Resolve(handle, &error);
    if (!key) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    if (!Allows(handle, KEY_SET_VALUE)) return Fail(api, subject, ERROR_ACCESS_DENIED, LSTATUS(ERROR_ACCESS_DENIED));
    if (!key->values.erase(Upper(name ? name : ""))) return Fail(api, subject, ERROR_FILE_NOT_FOUND, LSTATUS(ERROR_FILE_NOT_FOUND));
    Changed(key, REG_NOTIFY_CHANGE_LAST_SET);
    return Succeed(api, subject, LSTATUS(ERROR_SUCCESS));
}

LSTATUS WINAPI RegDeleteKeyA(HKEY handle, LPCSTR subKey) {
    const char* api = "RegDeleteKeyA";
    std::string subject = Subject(handle, subKey);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    if (!subKey || !*subKey) return Fail(api, subject, ERROR_INVALID_PARAMETER, LSTATUS(ERROR_INVALID_PARAMETER));
    Key* from = Resolve(handle, &error);
    if (!from) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    // The key is opened as any open does, so a link at its end is followed: the target goes.
    std::shared_ptr<Key> key = Walk(SharedOf(from), subKey, &error);
    if (!key) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    if (DWORD failure = FailureOf(key.get(), "delete")) return Fail(api, subject, failure, static_cast<LSTATUS>(failure));
    if (!key->subkeys.empty() && !deletesTrees) return Fail(api, subject, ERROR_ACCESS_DENIED, LSTATUS(ERROR_ACCESS_DENIED));
    MarkDeleted(key.get());
    key->parent->subkeys.erase(Upper(key->name));
    return Succeed(api, subject, LSTATUS(ERROR_SUCCESS));
}

LSTATUS WINAPI RegEnumKeyExA(HKEY handle, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR, LPDWORD, FILETIME*) {
    const char* api = "RegEnumKeyExA";
    std::string subject = Subject(handle, nullptr) + " #" + std::to_string(index);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    Key* key = Resolve(handle, &error);
    if (!key) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    if (!Allows(handle, KEY_ENUMERATE_SUB_KEYS)) return Fail(api, subject, ERROR_ACCESS_DENIED, LSTATUS(ERROR_ACCESS_DENIED));
    if (DWORD failure = FailureOf(key, "enum")) return Fail(api, subject, failure, static_cast<LSTATUS>(failure));
    if (index >= key->subkeys.size()) return Fail(api, subject, ERROR_NO_MORE_ITEMS, LSTATUS(ERROR_NO_MORE_ITEMS));
    auto it = key->subkeys.begin();
    std::advance(it, index);
    const std::string& found = it->second->name;
    if (!nameSize || *nameSize < found.size() + 1) return Fail(api, subject, ERROR_MORE_DATA, LSTATUS(ERROR_MORE_DATA));
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = static_cast<DWORD>(found.size());
    return Succeed(api, subject + " " + found, LSTATUS(ERROR_SUCCESS));
}

namespace {

// The stand-in's statuses carry the Win32 error in their low bits, in the range of statuses
// that the platform leaves to others; its RtlNtStatusToDosError gives the error back.
constexpr LONG kStatusOfError = static_cast<LONG>(0xE0000000u);

// Why the key behind the handle cannot be deleted; 0 when it can.
DWORD DeletionRefused(HKEY handle, Key** key) {
    DWORD error;
    if (Injected("NtDeleteKey", &error)) return error;
    if (IsPredefined(handle)) return ERROR_ACCESS_DENIED;
    if (!(*key = Resolve(handle, &error))) return error;
    if (!Allows(handle, DELETE)) return ERROR_ACCESS_DENIED;
    if (DWORD failure = FailureOf(*key, "delete")) return failure;
    return (*key)->subkeys.empty() ? 0 : ERROR_ACCESS_DENIED;  // as the NT family's RegDeleteKeyA
}

// Deletes the very key behind the handle: a link opened as the link itself goes as the link.
LONG WINAPI NtDeleteKey(HKEY handle) {
    const char* api = "NtDeleteKey";
    std::string subject = Subject(handle, nullptr);
    Key* key = nullptr;
    if (DWORD error = DeletionRefused(handle, &key)) return Fail(api, subject, error, kStatusOfError | static_cast<LONG>(error));
    MarkDeleted(key);
    key->parent->subkeys.erase(Upper(key->name));
    return Succeed(api, subject, LONG(0));
}

// Advapi32's change notification, which the 95 family lacks: found with GetProcAddress on NT.
LSTATUS WINAPI RegNotifyChangeKeyValue(HKEY handle, BOOL subtree, DWORD filter, HANDLE event, BOOL asynchronous) {
    const char* api = "RegNotifyChangeKeyValue";
    std::string subject = Subject(handle, nullptr) + (subtree ? " (subtree)" : "");
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    Key* key = Resolve(handle, &error);
    if (!key) return Fail(api, subject, error, static_cast<LSTATUS>(error));
    if (!Allows(handle, KEY_NOTIFY)) return Fail(api, subject, ERROR_ACCESS_DENIED, LSTATUS(ERROR_ACCESS_DENIED));
    // Only the asynchronous form is modelled: a waiting one would block the test for ever.
    if (!asynchronous || !IsEvent(event)) return Fail(api, subject, ERROR_INVALID_PARAMETER, LSTATUS(ERROR_INVALID_PARAMETER));
    watches.push_back({handle, key, subtree != FALSE, filter, event});
    return Succeed(api, subject, LSTATUS(ERROR_SUCCESS));
}

ULONG WINAPI RtlNtStatusToDosError(LONG status) { return status == 0 ? 0 : static_cast<ULONG>(status & 0xFFFF); }

}  // namespace

namespace fake::detail {

FARPROC NotifyEntry() { return reinterpret_cast<FARPROC>(&RegNotifyChangeKeyValue); }

FARPROC NtdllEntry(const std::string& name) {
    if (name == "NtDeleteKey") return reinterpret_cast<FARPROC>(&NtDeleteKey);
    if (name == "RtlNtStatusToDosError") return reinterpret_cast<FARPROC>(&RtlNtStatusToDosError);
    return nullptr;
}

}  // namespace fake::detail
