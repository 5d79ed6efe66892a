// The stand-in's file system: drives, folders and files in memory, with attributes, open
// handles, the current directory and the refusals the platform makes.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>

#include "fake_internal.h"

using namespace fake::detail;

namespace fake {
namespace {

struct Node {
    std::string path;  // full path as created, "C:\" for a drive root
    bool folder;
    DWORD attributes;
    std::string content;
    long serial;  // creation order: the order in which folders list their entries
    int openByProgram;
    bool heldByOther;
    DWORD deletionError;
    bool deletionErrorForever;
    DWORD entryError;
    DWORD creationError;  // a folder: making a new file in it fails with this code
    DWORD reparseTag;
    std::string linkTarget;  // a file link: the full path it leads to
    DWORD links;             // its number of names; 0 stands for 1
    std::optional<AccessList> accessList;
    bool running;  // a running program's file: it opens for deletion, but deleting it is refused
};

std::map<std::string, Node> nodes;  // by the upper-case key of the full path
long nextSerial;
std::string currentDirectory;
std::string windowsDirectory;
std::string systemDirectory;
std::string tempPath;
std::string tempPath2;
std::string modulePath;
std::vector<std::string> restartQueue;  // MoveFileExA's queued deletions, in order
std::map<std::string, std::string> shortNames;  // upper-case long path -> short path
// Upper-case short path -> long path, both without a trailing backslash: the platform takes a
// short name anywhere it takes the long one.
std::map<std::string, std::string> longNames;

std::string WithoutTrailingBackslash(const std::string& path) {
    return path.size() > 3 && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}

// The path with every level given in its short form replaced by its long name, level by
// level, as the platform finds a file by either name.
std::string LongForm(const std::string& full) {
    std::string result;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find('\\', start);
        if (end == std::string::npos) end = full.size();
        std::string level = full.substr(start, end - start);
        std::string candidate = start ? result + "\\" + level : level;
        auto whole = longNames.find(Upper(full.substr(0, end)));  // the path so far in short form
        if (whole != longNames.end()) {
            candidate = whole->second;
        } else if (start) {
            // The level in its short form below a parent given by its long name.
            for (const auto& entry : shortNames) {
                size_t cut = entry.first.rfind('\\');
                size_t shortCut = entry.second.rfind('\\');
                if (cut == std::string::npos || shortCut == std::string::npos) continue;
                if (entry.first.substr(0, cut) == Upper(result) && Upper(entry.second.substr(shortCut + 1)) == Upper(level)) {
                    candidate = longNames.at(Upper(entry.second));
                    break;
                }
            }
        }
        result = candidate;
        start = end + 1;
    }
    return result;
}

// "C:\A\B" and "C:" (a drive root) are the keys; nothing else is normalised than the platform
// does: separators, "." and ".." components, a trailing backslash, letter case.
std::string Key(const std::string& fullPath) {
    std::string key = Upper(fullPath);
    if (key.size() > 2 && key.back() == '\\') key.pop_back();
    return key;
}

// The injected error of a deletion, used up unless it is for ever.
DWORD TakeDeletionError(Node* node) {
    DWORD code = node->deletionError;
    if (!node->deletionErrorForever) node->deletionError = 0;
    return code;
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

}  // namespace

namespace detail {

// The path as the platform resolves it, without looking at the disk: relative to the current
// directory or drive, either slash a separator, runs of separators one, "." and ".." levels
// folded, trailing dots and blanks of the last level dropped (unless a separator ends the path,
// which is kept). Short names stay as they are; "\\?\" paths are taken literally.
std::string ResolvedPath(const std::string& path) {
    auto isSlash = [](char c) { return c == '\\' || c == '/'; };
    if (path.rfind("\\\\?\\", 0) == 0) return path;
    std::string base;
    std::string rest;
    if (path.size() >= 2 && isSlash(path[0]) && isSlash(path[1])) {
        // \\server\share and \\.\device: the root is the first two names after the pair.
        size_t at = 2;
        for (int names = 0; names < 2 && at <= path.size(); ++names) {
            size_t end = at;
            while (end < path.size() && !isSlash(path[end])) ++end;
            base += "\\" + path.substr(at, end - at);
            at = end + 1;
        }
        base = "\\" + base;
        rest = at <= path.size() ? path.substr(at) : "";
    } else if (path.size() >= 2 && path[1] == ':') {
        base = path.substr(0, 2);
        rest = path.substr(2);
        if (rest.empty() || !isSlash(rest[0])) {
            // Relative to the current directory when it is on that drive.
            if (Upper(currentDirectory.substr(0, 2)) == Upper(base)) rest = currentDirectory.substr(2) + "\\" + rest;
        }
    } else if (!path.empty() && isSlash(path[0])) {
        base = currentDirectory.substr(0, 2);
        rest = path;
    } else {
        base = currentDirectory.substr(0, 2);
        rest = currentDirectory.substr(2) + "\\" + path;
    }
    bool trailingSeparator = !path.empty() && isSlash(path.back());
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char c : rest) {
        if (isSlash(c))
            flush();
        else
            part += c;
    }
    if (!trailingSeparator) {
        size_t kept = part.find_last_not_of(". ");
        if (part != "." && part != "..") part.erase(kept == std::string::npos ? 0 : kept + 1);
    }
    flush();
    std::string full = base;
    for (const std::string& p : parts) full += "\\" + p;
    if (parts.empty() || trailingSeparator) full += "\\";
    return full;
}

// The world's own key for a path. The world has drives only: a network path lies on the current
// drive, below a folder named after its server.
std::string FullPath(const std::string& path) {
    bool network = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    std::string full = ResolvedPath(network ? path.substr(1) : path);
    if (full.size() <= 3) return full;
    if (full.size() > 3 && full.back() == '\\') full.pop_back();
    return LongForm(full);
}

}  // namespace detail

namespace {

Node* Find(const std::string& path) {
    auto found = nodes.find(Key(FullPath(path)));
    return found == nodes.end() ? nullptr : &found->second;
}

std::string ParentKey(const std::string& key) {
    size_t cut = key.rfind('\\');
    return cut == std::string::npos ? std::string() : key.substr(0, cut);
}

bool IsDrive(const std::string& key) { return key.size() == 2 && key[1] == ':'; }

std::vector<Node*> Children(const std::string& folderKey) {
    std::vector<Node*> children;
    for (auto& entry : nodes)
        if (!IsDrive(entry.first) && ParentKey(entry.first) == folderKey) children.push_back(&entry.second);
    std::sort(children.begin(), children.end(), [](Node* a, Node* b) { return a->serial < b->serial; });
    return children;
}

std::string NameOf(const Node& node) {
    size_t cut = node.path.rfind('\\');
    return node.path.substr(cut + 1);
}

// Why a new entry cannot be made at the path: its parent is missing or not a folder.
DWORD ParentError(const std::string& key) {
    std::string parent = ParentKey(key);
    auto found = nodes.find(parent);
    if (found == nodes.end() || !found->second.folder) return ERROR_PATH_NOT_FOUND;
    return 0;
}

// Why no new entry can be made at the path: its parent is missing or not a folder, or refuses
// new entries; 0 when one can.
DWORD CreationError(const std::string& key) {
    if (DWORD parentError = ParentError(key)) return parentError;
    return nodes.at(ParentKey(key)).creationError;
}

Node& Create(const std::string& fullPath, bool folder, DWORD attributes) {
    Node node{};
    node.path = fullPath;
    node.folder = folder;
    node.attributes = folder ? (attributes | FILE_ATTRIBUTE_DIRECTORY) : attributes;
    node.serial = nextSerial++;
    return nodes[Key(fullPath)] = node;
}

bool IsCurrentOrBelow(const std::string& key) {
    std::string current = Key(currentDirectory);
    return current == key || current.rfind(key + "\\", 0) == 0;
}

struct OpenFile : KernelObject {
    std::string key;
    DWORD access;
    size_t position;
    // Closing the handle releases the file for deletion.
    void Closed() override {
        auto found = nodes.find(key);
        if (found != nodes.end()) --found->second.openByProgram;
    }
};

struct FindSearch : KernelObject {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next;
};

bool GlobMatch(const char* mask, const char* name) {
    if (*mask == 0) return *name == 0;
    if (*mask == '*') return GlobMatch(mask + 1, name) || (*name && GlobMatch(mask, name + 1));
    if (*name == 0) return false;
    if (*mask == '?' || Upper(std::string(1, *mask)) == Upper(std::string(1, *name))) return GlobMatch(mask + 1, name + 1);
    return false;
}

bool MaskMatches(const std::string& mask, const std::string& name) {
    if (mask == "*.*" || mask == "*") return true;
    return GlobMatch(mask.c_str(), name.c_str());
}

WIN32_FIND_DATAA FindData(const std::string& name, DWORD attributes, size_t size, DWORD tag = 0) {
    WIN32_FIND_DATAA data{};
    data.dwFileAttributes = attributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) data.dwReserved0 = tag;
    data.nFileSizeLow = static_cast<DWORD>(size);
    std::strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
    return data;
}

DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
    if (text.size() + 1 > size) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

// "S-1-5-32-544" for the SID at the bytes, which lie within `size`; empty when they do not.
std::string SidText(const BYTE* sid, size_t size) {
    if (size < 8 || size < 8u + 4u * sid[1]) return "";
    uint64_t authority = 0;
    for (int i = 2; i < 8; ++i) authority = authority << 8 | sid[i];
    std::string text = "S-" + std::to_string(sid[0]) + "-" + std::to_string(authority);
    for (int i = 0; i < sid[1]; ++i) {
        uint32_t part;
        std::memcpy(&part, sid + 8 + 4 * i, 4);
        text += "-" + std::to_string(part);
    }
    return text;
}

// The descriptor's access list as the system would read it; a malformed one ends the test.
AccessList ReadAccessList(const SECURITY_DESCRIPTOR* descriptor) {
    if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION || !(descriptor->Control & SE_DACL_PRESENT) || !descriptor->Dacl)
        throw std::logic_error("a security descriptor without an access list");
    const BYTE* list = reinterpret_cast<const BYTE*>(descriptor->Dacl);
    if (reinterpret_cast<uintptr_t>(list) % 4 || list[0] != 2) throw std::logic_error("an access list not aligned or of another revision");
    size_t size = list[2] | list[3] << 8;
    AccessList result{(descriptor->Control & SE_DACL_PROTECTED) != 0, {}};
    size_t at = 8;
    for (int i = 0; i < (list[4] | list[5] << 8); ++i) {
        if (at + 8 > size) throw std::logic_error("an access list entry beyond the list's size");
        const BYTE* entry = list + at;
        size_t entrySize = entry[2] | entry[3] << 8;
        uint32_t mask;
        std::memcpy(&mask, entry + 4, 4);
        std::string sid = SidText(entry + 8, entrySize - 8);
        if (entry[0] != 0 || entrySize < 8 || at + entrySize > size || sid.empty() || entrySize % 4)
            throw std::logic_error("a malformed access list entry");
        char line[64];
        std::snprintf(line, sizeof line, " %x %x", mask, entry[1]);
        result.entries.push_back(sid + line);
        at += entrySize;
    }
    return result;
}

}  // namespace

void AddFolder(const std::string& path) {
    std::string full = FullPath(path);
    std::string key = Key(full);
    if (nodes.count(key)) return;
    if (IsDrive(key)) {
        Create(full, true, 0);
        return;
    }
    size_t cut = full.rfind('\\');
    AddFolder(cut <= 2 ? full.substr(0, 3) : full.substr(0, cut));
    Create(full, true, 0);
}

void AddFile(const std::string& path, const std::string& content, DWORD attributes) {
    std::string full = FullPath(path);
    size_t cut = full.rfind('\\');
    AddFolder(cut <= 2 ? full.substr(0, 3) : full.substr(0, cut));
    Create(full, false, attributes).content = content;
}

bool Exists(const std::string& path) { return Find(path) != nullptr; }
bool IsFolder(const std::string& path) {
    Node* node = Find(path);
    return node && node->folder;
}
DWORD Attributes(const std::string& path) {
    Node* node = Find(path);
    return node ? node->attributes : INVALID_FILE_ATTRIBUTES;
}
void SetAttributes(const std::string& path, DWORD attributes) {
    Node* node = Find(path);
    if (!node) throw std::invalid_argument("no such path: " + path);
    node->attributes = node->folder ? (attributes | FILE_ATTRIBUTE_DIRECTORY) : attributes;
}
std::string Content(const std::string& path) {
    Node* node = Find(path);
    if (!node) throw std::invalid_argument("no such file: " + path);
    return node->content;
}

std::vector<std::string> Tree(const std::string& folder) {
    std::string key = Key(FullPath(folder));
    std::vector<std::string> paths;
    std::vector<const Node*> found;
    for (const auto& entry : nodes)
        if (entry.first != key && entry.first.rfind(IsDrive(key) ? key + "\\" : key + "\\", 0) == 0) found.push_back(&entry.second);
    std::sort(found.begin(), found.end(), [](const Node* a, const Node* b) { return Key(a->path) < Key(b->path); });
    for (const Node* node : found) paths.push_back(node->path);
    return paths;
}

void HoldOpen(const std::string& path, bool held) {
    Node* node = Find(path);
    if (!node) throw std::invalid_argument("no such path: " + path);
    node->heldByOther = held;
}

void FailDeletion(const std::string& path, DWORD error, bool forever) {
    Node* node = Find(path);
    if (!node) throw std::invalid_argument("no such path: " + path);
    node->deletionError = error;
    node->deletionErrorForever = forever;
}

void SetReparseTag(const std::string& path, DWORD tag) {
    Node* node = Find(path);
    if (!node) throw std::invalid_argument("no such path: " + path);
    node->reparseTag = tag;
}

void AddFileLink(const std::string& path, const std::string& target) {
    AddFile(path, "", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT);
    Node* node = Find(path);
    node->reparseTag = IO_REPARSE_TAG_SYMLINK;
    node->linkTarget = FullPath(target);
}

void SetHardLinks(const std::string& path, DWORD count) {
    Node* node = Find(path);
    if (!node) throw std::invalid_argument("no such path: " + path);
    node->links = count;
}

std::optional<AccessList> CreatedAccessList(const std::string& path) {
    Node* node = Find(path);
    if (!node) throw std::invalid_argument("no such path: " + path);
    return node->accessList;
}

void AddListedOnly(const std::string& folder, const std::string& name, bool isFolder) {
    AddFolder(folder);
    std::string full = Find(folder)->path + "\\" + name;
    // Its key has the name as listed, which no resolved path ever reaches.
    Create(full, isFolder, 0);
}

void DenyEntry(const std::string& path, DWORD error) {
    Node* node = Find(path);
    if (!node) throw std::invalid_argument("no such path: " + path);
    node->entryError = error;
}

void DenyFileCreation(const std::string& folder, DWORD error) {
    Node* node = Find(folder);
    if (!node || !node->folder) throw std::invalid_argument("no such folder: " + folder);
    node->creationError = error;
}

std::string CurrentDirectory() { return currentDirectory; }
void SetCurrentDirectory(const std::string& path) {
    AddFolder(path);
    currentDirectory = Find(path)->path;
}
void SetWindowsDirectory(const std::string& path) { windowsDirectory = path; }
void SetSystemDirectory(const std::string& path) { systemDirectory = path; }
void SetTempPath(const std::string& path) { tempPath = path; }
void SetTempPath2(const std::string& path) { tempPath2 = path; }
void SetShortName(const std::string& longPath, const std::string& shortPath) {
    shortNames[Upper(WithoutTrailingBackslash(longPath))] = WithoutTrailingBackslash(shortPath);
    longNames[Upper(WithoutTrailingBackslash(shortPath))] = WithoutTrailingBackslash(longPath);
}
void SetModulePath(const std::string& path) { modulePath = path; }
void SetRunning(const std::string& path) {
    Node* node = Find(path);
    if (!node) throw std::invalid_argument("no such path: " + path);
    node->running = true;
}
const std::vector<std::string>& RestartQueue() { return restartQueue; }

namespace detail {

void ResetFiles() {
    nodes.clear();
    nextSerial = 0;
    currentDirectory = "C:\\";
    AddFolder("C:\\");
    windowsDirectory = "C:\\WINDOWS";
    systemDirectory = "C:\\WINDOWS\\SYSTEM32";
    AddFolder(windowsDirectory);
    AddFolder(systemDirectory);
    // A machine has its temporary folder, as it has its Windows folder.
    tempPath = "C:\\TEMP\\";
    AddFolder(tempPath);
    tempPath2.clear();
    modulePath.clear();
    restartQueue.clear();
    shortNames.clear();
    longNames.clear();
}

}  // namespace detail
}  // namespace fake

using namespace fake;

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD attributes, HANDLE) {
    const char* api = "CreateFileA";
    std::string subject = Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, INVALID_HANDLE_VALUE);
    if (!name || !*name) return Fail(api, subject, ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    std::string full = FullPath(name);
    std::string key = Key(full);
    if (HasWildcard(full.substr(2))) return Fail(api, subject, ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
    Node* node = Find(name);
    // A file link leads to its target, unless the reparse point itself is asked for.
    if (node && !node->linkTarget.empty() && !(attributes & FILE_FLAG_OPEN_REPARSE_POINT)) {
        full = node->linkTarget;
        key = Key(full);
        node = Find(full);
    }
    bool writing = access & GENERIC_WRITE;
    // A folder opens for its attributes only, as the platform's backup semantics allow.
    if (node && node->folder && (writing || !(attributes & FILE_FLAG_BACKUP_SEMANTICS)))
        return Fail(api, subject, ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (node && writing && (node->attributes & FILE_ATTRIBUTE_READONLY))
        return Fail(api, subject, ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (node && writing && (node->heldByOther || node->openByProgram))
        return Fail(api, subject, ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    // Another program's handle does not share deletion; a file whose deletion is refused for
    // good (no right to it, a read-only medium) does not open for it either.
    if (node && (access & DELETE) && node->heldByOther) return Fail(api, subject, ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    if (node && (access & DELETE) && node->deletionErrorForever && node->deletionError)
        return Fail(api, subject, node->deletionError, INVALID_HANDLE_VALUE);
    switch (disposition) {
    case OPEN_EXISTING:
        if (!node) return Fail(api, subject, ParentError(key) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
        break;
    case CREATE_ALWAYS:
    case CREATE_NEW:
    case OPEN_ALWAYS:
        if (node && disposition == CREATE_NEW) return Fail(api, subject, ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
        if (!node) {
            if (DWORD refused = CreationError(key)) return Fail(api, subject, refused, INVALID_HANDLE_VALUE);
            node = &Create(full, false, (attributes & ~(FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT)) | FILE_ATTRIBUTE_ARCHIVE);
            if (security && security->lpSecurityDescriptor)
                node->accessList = ReadAccessList(static_cast<const SECURITY_DESCRIPTOR*>(security->lpSecurityDescriptor));
        } else if (disposition == CREATE_ALWAYS) {
            node->content.clear();
        }
        break;
    default:
        return Fail(api, subject, ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    auto file = std::make_unique<OpenFile>();
    file->key = key;
    file->access = access;
    file->position = 0;
    ++node->openByProgram;
    return Succeed(api, subject, AddHandle(std::move(file)));
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, void*) {
    const char* api = "ReadFile";
    DWORD error;
    if (read) *read = 0;
    if (Injected(api, &error)) return Fail(api, std::to_string(toRead), error, FALSE);
    auto* file = dynamic_cast<OpenFile*>(FindHandle(handle));
    if (!file || !(file->access & GENERIC_READ)) return Fail(api, std::to_string(toRead), ERROR_INVALID_HANDLE, FALSE);
    const std::string& content = nodes.at(file->key).content;
    size_t available = file->position < content.size() ? content.size() - file->position : 0;
    size_t count = std::min<size_t>(available, toRead);
    if (count) std::memcpy(buffer, content.data() + file->position, count);
    file->position += count;
    if (read) *read = static_cast<DWORD>(count);
    return Succeed(api, std::to_string(toRead), TRUE);
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, void*) {
    const char* api = "WriteFile";
    DWORD error;
    if (written) *written = 0;
    if (Injected(api, &error)) return Fail(api, std::to_string(toWrite), error, FALSE);
    auto* file = dynamic_cast<OpenFile*>(FindHandle(handle));
    if (!file || !(file->access & GENERIC_WRITE)) return Fail(api, std::to_string(toWrite), ERROR_ACCESS_DENIED, FALSE);
    std::string& content = nodes.at(file->key).content;
    if (content.size() < file->position) content.resize(file->position, '\0');
    content.replace(file->position, std::min<size_t>(toWrite, content.size() - file->position),
                    static_cast<const char*>(buffer), toWrite);
    file->position += toWrite;
    if (written) *written = toWrite;
    return Succeed(api, std::to_string(toWrite), TRUE);
}

BOOL WINAPI GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
    const char* api = "GetFileInformationByHandle";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, FALSE);
    auto* file = dynamic_cast<OpenFile*>(FindHandle(handle));
    if (!file) return Fail(api, "", ERROR_INVALID_HANDLE, FALSE);
    const Node& node = nodes.at(file->key);
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = node.attributes;
    information->nFileSizeLow = static_cast<DWORD>(node.content.size());
    information->nNumberOfLinks = node.links ? node.links : 1;
    information->nFileIndexLow = static_cast<DWORD>(node.serial);
    return Succeed(api, node.path, TRUE);
}

BOOL WINAPI SetEndOfFile(HANDLE handle) {
    const char* api = "SetEndOfFile";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, FALSE);
    auto* file = dynamic_cast<OpenFile*>(FindHandle(handle));
    if (!file || !(file->access & GENERIC_WRITE)) return Fail(api, "", ERROR_ACCESS_DENIED, FALSE);
    Node& node = nodes.at(file->key);
    node.content.resize(file->position, '\0');
    return Succeed(api, node.path, TRUE);
}

DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    const char* api = "SetFilePointer";
    DWORD error;
    std::string subject = std::to_string(distance) + (distanceHigh ? " high " + std::to_string(*distanceHigh) : "") +
                          " from " + std::to_string(method);
    if (Injected(api, &error)) return Fail(api, subject, error, INVALID_SET_FILE_POINTER);
    auto* file = dynamic_cast<OpenFile*>(FindHandle(handle));
    if (!file) return Fail(api, subject, ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    // Without a high part the distance is a signed 32-bit value; with one, the two make a
    // signed 64-bit value.
    int64_t move = distanceHigh ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                       static_cast<uint32_t>(distance))
                                : static_cast<int64_t>(distance);
    int64_t origin = method == FILE_BEGIN ? 0
                     : method == FILE_CURRENT ? static_cast<int64_t>(file->position)
                                              : static_cast<int64_t>(nodes.at(file->key).content.size());
    int64_t target = origin + move;
    if (target < 0) return Fail(api, subject, 131 /* ERROR_NEGATIVE_SEEK */, INVALID_SET_FILE_POINTER);
    file->position = static_cast<size_t>(target);
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
    return Succeed(api, subject, static_cast<DWORD>(target));
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
    const char* api = "DeleteFileA";
    std::string subject = Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    if (!name || !*name) return Fail(api, subject, ERROR_PATH_NOT_FOUND, FALSE);
    std::string full = FullPath(name);
    if (HasWildcard(full.substr(2))) return Fail(api, subject, ERROR_INVALID_NAME, FALSE);
    Node* node = Find(name);
    if (!node) return Fail(api, subject, ParentError(Key(full)) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND, FALSE);
    if (DWORD code = TakeDeletionError(node)) return Fail(api, subject, code, FALSE);
    if (node->folder) return Fail(api, subject, ERROR_ACCESS_DENIED, FALSE);
    if (node->attributes & FILE_ATTRIBUTE_READONLY) return Fail(api, subject, ERROR_ACCESS_DENIED, FALSE);
    if ((Key(full) == Key(FullPath(modulePath)) && !modulePath.empty()) || node->running)
        return Fail(api, subject, ERROR_ACCESS_DENIED, FALSE);
    if (node->heldByOther || node->openByProgram) return Fail(api, subject, ERROR_SHARING_VIOLATION, FALSE);
    nodes.erase(Key(full));
    return Succeed(api, subject, TRUE);
}

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security) {
    const char* api = "CreateDirectoryA";
    std::string subject = Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    if (!name || !*name) return Fail(api, subject, ERROR_PATH_NOT_FOUND, FALSE);
    std::string full = FullPath(name);
    std::string key = Key(full);
    if (Find(name)) return Fail(api, subject, ERROR_ALREADY_EXISTS, FALSE);
    if (DWORD refused = CreationError(key)) return Fail(api, subject, refused, FALSE);
    Node& made = Create(full, true, FILE_ATTRIBUTE_DIRECTORY);
    if (security && security->lpSecurityDescriptor)
        made.accessList = ReadAccessList(static_cast<const SECURITY_DESCRIPTOR*>(security->lpSecurityDescriptor));
    return Succeed(api, subject, TRUE);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR name) {
    const char* api = "RemoveDirectoryA";
    std::string subject = Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    if (!name || !*name) return Fail(api, subject, ERROR_PATH_NOT_FOUND, FALSE);
    std::string full = FullPath(name);
    std::string key = Key(full);
    Node* node = Find(name);
    if (!node) return Fail(api, subject, ParentError(key) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND, FALSE);
    if (!node->folder) return Fail(api, subject, ERROR_DIRECTORY, FALSE);
    if (DWORD code = TakeDeletionError(node)) return Fail(api, subject, code, FALSE);
    if (IsDrive(key)) return Fail(api, subject, ERROR_ACCESS_DENIED, FALSE);
    if (!Children(key).empty()) return Fail(api, subject, ERROR_DIR_NOT_EMPTY, FALSE);
    if (node->attributes & FILE_ATTRIBUTE_READONLY) return Fail(api, subject, ERROR_ACCESS_DENIED, FALSE);
    // A handle of the program's own that does not share deletion holds the folder too.
    if (IsCurrentOrBelow(key) || node->heldByOther || node->openByProgram)
        return Fail(api, subject, ERROR_SHARING_VIOLATION, FALSE);
    nodes.erase(key);
    return Succeed(api, subject, TRUE);
}

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
    const char* api = "GetFileAttributesA";
    std::string subject = Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, INVALID_FILE_ATTRIBUTES);
    Node* node = name && *name ? Find(name) : nullptr;
    if (!node) return Fail(api, subject, ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    return Succeed(api, subject, node->attributes);
}

BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes) {
    const char* api = "SetFileAttributesA";
    std::string subject = Text(name) + " " + std::to_string(attributes);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    Node* node = name && *name ? Find(name) : nullptr;
    if (!node) return Fail(api, subject, ERROR_FILE_NOT_FOUND, FALSE);
    DWORD kept = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : attributes;
    node->attributes = node->folder ? (kept | FILE_ATTRIBUTE_DIRECTORY) : (kept & ~FILE_ATTRIBUTE_DIRECTORY);
    return Succeed(api, subject, TRUE);
}

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    const char* api = "FindFirstFileA";
    std::string subject = Text(pattern);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, INVALID_HANDLE_VALUE);
    std::string text = Text(pattern);
    size_t cut = text.find_last_of("\\/");
    std::string folderPart = cut == std::string::npos ? std::string(".") : text.substr(0, cut + 1);
    std::string mask = cut == std::string::npos ? text : text.substr(cut + 1);
    if (folderPart.size() == 2 && folderPart[1] == ':') folderPart += "\\";
    std::string folderKey = Key(FullPath(folderPart));
    auto folder = nodes.find(folderKey);
    if (folder == nodes.end() || !folder->second.folder) return Fail(api, subject, ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    auto search = std::make_unique<FindSearch>();
    if (!IsDrive(folderKey)) {
        if (MaskMatches(mask, ".")) search->entries.push_back(FindData(".", FILE_ATTRIBUTE_DIRECTORY, 0));
        if (MaskMatches(mask, "..")) search->entries.push_back(FindData("..", FILE_ATTRIBUTE_DIRECTORY, 0));
    }
    for (Node* child : Children(folderKey))
        if (MaskMatches(mask, NameOf(*child)))
            search->entries.push_back(FindData(NameOf(*child), child->attributes, child->content.size(), child->reparseTag));
    if (search->entries.empty()) return Fail(api, subject, ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    *data = search->entries[0];
    search->next = 1;
    return Succeed(api, subject, AddHandle(std::move(search)));
}

BOOL WINAPI FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
    const char* api = "FindNextFileA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, FALSE);
    auto* search = dynamic_cast<FindSearch*>(FindHandle(handle));
    if (!search) return Fail(api, "", ERROR_INVALID_HANDLE, FALSE);
    if (search->next >= search->entries.size()) return Fail(api, "", ERROR_NO_MORE_FILES, FALSE);
    *data = search->entries[search->next++];
    return Succeed(api, data->cFileName, TRUE);
}

BOOL WINAPI FindClose(HANDLE handle) {
    const char* api = "FindClose";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, FALSE);
    if (!dynamic_cast<FindSearch*>(FindHandle(handle))) return Fail(api, "", ERROR_INVALID_HANDLE, FALSE);
    RemoveHandle(handle);
    return Succeed(api, "", TRUE);
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    const char* api = "GetCurrentDirectoryA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, DWORD(0));
    return Succeed(api, currentDirectory, CopyOut(currentDirectory, buffer, size));
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
    const char* api = "SetCurrentDirectoryA";
    std::string subject = Text(path);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    if (!path || !*path) return Fail(api, subject, ERROR_INVALID_NAME, FALSE);
    Node* node = Find(path);
    if (!node) return Fail(api, subject, ERROR_FILE_NOT_FOUND, FALSE);
    if (!node->folder) return Fail(api, subject, ERROR_DIRECTORY, FALSE);
    if (node->entryError) return Fail(api, subject, node->entryError, FALSE);
    currentDirectory = node->path;
    return Succeed(api, subject, TRUE);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    const char* api = "GetWindowsDirectoryA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, UINT(0));
    return Succeed(api, windowsDirectory, static_cast<UINT>(CopyOut(windowsDirectory, buffer, size)));
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    const char* api = "GetSystemDirectoryA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, UINT(0));
    return Succeed(api, systemDirectory, static_cast<UINT>(CopyOut(systemDirectory, buffer, size)));
}

namespace {
DWORD WINAPI GetTempPath2A(DWORD size, LPSTR buffer) {
    const char* api = "GetTempPath2A";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, DWORD(0));
    return Succeed(api, tempPath2, CopyOut(tempPath2, buffer, size));
}
}  // namespace

FARPROC fake::detail::TempPath2Entry() {
    return tempPath2.empty() ? nullptr : reinterpret_cast<FARPROC>(&GetTempPath2A);
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    const char* api = "GetTempPathA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, DWORD(0));
    return Succeed(api, tempPath, CopyOut(tempPath, buffer, size));
}

DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
    const char* api = "GetShortPathNameA";
    std::string subject = Text(longPath);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, DWORD(0));
    std::string source = Text(longPath);
    if (source.empty() || !Find(source)) return Fail(api, subject, ERROR_FILE_NOT_FOUND, DWORD(0));
    // Each level of the path takes its short name where it has one, as the platform gives it,
    // whichever form the level came in.
    if (source.size() > 1 && source[1] == ':') source = LongForm(source);
    std::string result;
    std::string prefix;
    size_t start = 0;
    while (start <= source.size()) {
        size_t end = source.find('\\', start);
        if (end == std::string::npos) end = source.size();
        std::string level = source.substr(start, end - start);
        prefix += (start ? "\\" : "") + level;
        auto mapped = shortNames.find(Upper(prefix));
        if (mapped != shortNames.end())
            result = WithoutTrailingBackslash(mapped->second);
        else
            result += (start ? "\\" : "") + level;
        start = end + 1;
    }
    return Succeed(api, subject, CopyOut(result, shortPath, size));
}

DWORD WINAPI GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
    const char* api = "GetFullPathNameA";
    std::string subject = Text(path);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, DWORD(0));
    if (!path || !*path) return Fail(api, subject, ERROR_INVALID_NAME, DWORD(0));
    std::string full = ResolvedPath(path);
    DWORD length = CopyOut(full, buffer, size);
    if (filePart && length < size) {
        size_t cut = full.rfind('\\');
        *filePart = cut == std::string::npos || cut + 1 == full.size() ? nullptr : buffer + cut + 1;
    }
    return Succeed(api, subject, length);
}

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR name, DWORD size) {
    const char* api = "GetModuleFileNameA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, DWORD(0));
    if (size == 0) return Fail(api, modulePath, ERROR_INSUFFICIENT_BUFFER, DWORD(0));
    // A name that does not fit is cut, terminated, and reported with the buffer's size.
    if (modulePath.size() + 1 > size) {
        std::memcpy(name, modulePath.data(), size - 1);
        name[size - 1] = 0;
        return Fail(api, modulePath, ERROR_INSUFFICIENT_BUFFER, size);
    }
    std::memcpy(name, modulePath.c_str(), modulePath.size() + 1);
    return Succeed(api, modulePath, static_cast<DWORD>(modulePath.size()));
}

// A queued deletion names the path as it stands (the system acts on it at boot); a move renames
// a file, or an empty folder, within its drive: the held file that shares no deletion cannot go.
BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
    const char* api = "MoveFileExA";
    std::string subject = Text(existing) + (target ? " to " + Text(target) : std::string(" at the restart"));
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    Node* node = existing && *existing ? Find(existing) : nullptr;
    if (!node) return Fail(api, subject, ERROR_FILE_NOT_FOUND, FALSE);
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        if (target) return Fail(api, subject, ERROR_INVALID_PARAMETER, FALSE);
        restartQueue.push_back(node->path);
        return Succeed(api, subject, TRUE);
    }
    if (!target) return Fail(api, subject, ERROR_INVALID_PARAMETER, FALSE);
    std::string from = Key(node->path);
    std::string full = FullPath(target);
    std::string to = Key(full);
    if (Find(target)) return Fail(api, subject, ERROR_ALREADY_EXISTS, FALSE);
    if (DWORD refused = CreationError(to)) return Fail(api, subject, refused, FALSE);
    if (from[0] != to[0]) return Fail(api, subject, ERROR_NOT_SAME_DEVICE, FALSE);
    if (node->heldByOther || (node->folder && !Children(from).empty())) return Fail(api, subject, ERROR_SHARING_VIOLATION, FALSE);
    Node moved = *node;
    moved.path = full;
    nodes.erase(from);
    nodes[to] = moved;
    return Succeed(api, subject, TRUE);
}

UINT WINAPI GetDriveTypeA(LPCSTR) { return DRIVE_FIXED; }

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD high) {
    auto* file = dynamic_cast<OpenFile*>(FindHandle(handle));
    if (!file) return Fail("GetFileSize", "", ERROR_INVALID_HANDLE, DWORD(0xFFFFFFFF));
    if (high) *high = 0;
    return Succeed("GetFileSize", nodes.at(file->key).path, static_cast<DWORD>(nodes.at(file->key).content.size()));
}
