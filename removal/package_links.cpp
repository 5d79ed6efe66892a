// Folder links on the way to what a record names.
#include "removal/package_links.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/resolve_folder.h"
#include "removal/trusted_folders.h"

namespace {

enum {
    // A path of PATH_SIZE bytes has fewer levels than this unless most are one character long;
    // a deeper one is treated as behind a link.
    HELD_LEVELS = 64,
    LEVEL_PLAIN = 0,
    LEVEL_LINK = 1,
    LEVEL_MISSING = 2,
    NAME_SURROGATE = 0x20000000,
};

// The levels held open: each a prefix of heldPath, ending at heldEnd, deepest last.
char heldPath[PATH_SIZE];
unsigned int heldEnd[HELD_LEVELS];
HANDLE heldLevel[HELD_LEVELS];
unsigned int heldCount;

void CloseLevelsFrom(unsigned int first) {
    while (heldCount > first) CloseHandle(heldLevel[--heldCount]);
}

// 1 when the first `end` characters of the path are those of the held path and end a level.
int SharesHeldLevel(const char* path, unsigned int end) {
    if (path[end] != '\\' && path[end] != 0) return 0;
    return SameStart(path, heldPath, end) == end;
}

int IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Looks at one level, the path cut to it, and holds it open when it is a plain folder. The handle
// comes first: once it is held the name cannot be given to anything else, so the listing that
// follows tells what the name is.
int HoldLevel(const char* level, unsigned int end) {
    if (heldCount == HELD_LEVELS) return LEVEL_LINK;
    HANDLE handle = INVALID_HANDLE_VALUE;
    // The 95 family has neither links nor folder handles.
    if (run.isNT) {
        handle = HoldFolderOpen(level);
        if (handle == INVALID_HANDLE_VALUE) return IsMissing(GetLastError()) ? LEVEL_MISSING : LEVEL_LINK;
    }
    DWORD attributes = GetFileAttributesA(level);
    int kind = LEVEL_LINK;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (IsMissing(GetLastError())) kind = LEVEL_MISSING;
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        kind = LEVEL_MISSING;  // a file: nothing lies below it
    } else if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        kind = LEVEL_PLAIN;
    } else {
        // Only a listing gives a reparse point's tag, and only where it shows the reparse point;
        // a listing that leaves the field as it found it gives none.
        WIN32_FIND_DATAA entry;
        FillZero(&entry, sizeof entry);
        HANDLE search = FindFirstFileA(level, &entry);
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsLinkEntry(&entry)) kind = LEVEL_PLAIN;
        }
    }
    if (kind == LEVEL_PLAIN && handle != INVALID_HANDLE_VALUE) {
        heldLevel[heldCount] = handle;
        heldEnd[heldCount++] = end;
    } else if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    return kind;
}

// Looks at each level of the full path below its trusted ones, from the top down, keeping the
// levels it shares with those already held.
int HasLinkOnPath(char* path) {
    unsigned int from = TrustedLevelsEnd(path);
    unsigned int kept = 0;
    while (kept < heldCount && SharesHeldLevel(path, heldEnd[kept])) ++kept;
    CloseLevelsFrom(kept);
    if (kept && heldEnd[kept - 1] > from) from = heldEnd[kept - 1];
    CopyText(heldPath, PATH_SIZE, path);
    if (!path[from]) return 0;
    for (unsigned int at = from + 1;; at = static_cast<unsigned int>(NextCharacter(path + at) - path)) {
        char c = path[at];
        if (c != '\\' && c != 0) continue;
        path[at] = 0;
        int kind = HoldLevel(path, at);
        path[at] = c;
        if (kind == LEVEL_LINK) return 1;
        if (kind == LEVEL_MISSING || !c) return 0;
    }
}

}  // namespace

int IsLinkEntry(const WIN32_FIND_DATAA* entry) {
    return (entry->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (!entry->dwReserved0 || (entry->dwReserved0 & NAME_SURROGATE));
}

HANDLE HoldFolderOpen(const char* path) {
    return CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

void LetGoOfHeldLevels() {
    CloseLevelsFrom(0);
    heldPath[0] = 0;
}

void ForgetLinkChecks() {
    LetGoOfHeldLevels();
    ForgetTrustedFolders();
}

int IsFolderBehindLink(const char* folder) {
    char path[PATH_SIZE];
    if (!FullPathOf(folder, path)) return 1;
    StripBackslash(path);
    return HasLinkOnPath(path);
}

int IsFileBehindLink(const char* file) {
    char folder[PATH_SIZE];
    if (!FullPathOf(file, folder)) return 1;
    char* cut = FindLast(folder, '\\');
    if (!cut) return 1;
    cut[1] = 0;
    return IsFolderBehindLink(folder);
}

void ReleaseHeldFolder(const char* folder) {
    char path[PATH_SIZE];
    if (!FullPathOf(folder, path)) return;
    StripBackslash(path);
    unsigned int length = TextLength(path);
    for (unsigned int level = 0; level < heldCount; ++level) {
        if (heldEnd[level] >= length && SharesHeldLevel(heldPath, length) && SharesHeldLevel(path, length)) {
            CloseLevelsFrom(level);
            break;
        }
    }
    UnpinIfInstallDir(path);
}
