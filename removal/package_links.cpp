// Folder links on the way to what a record names.
#include "removal/package_links.h"
#include "base/run_context.h"
#include "base/system_call.h"
#include "base/text.h"
#include "removal/resolve_folder.h"

namespace {

// The well-known folders whose own levels, and those above them, are the system's: a record
// below one is looked at from there down.
const unsigned char kWellKnownFolders[] = {
    CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS,        CSIDL_STARTMENU,        CSIDL_STARTUP,
    CSIDL_FONTS,            CSIDL_PERSONAL,        CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,
    CSIDL_COMMON_APPDATA,   CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS,
    CSIDL_COMMON_STARTUP,   CSIDL_WINDOWS,         CSIDL_SYSTEM,           CSIDL_PROGRAM_FILES,
    CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROFILE,
    0x3e,  // the profiles folder, which some headers do not name
};
enum {
    WELL_KNOWN_COUNT = sizeof kWellKnownFolders,
    // The installation folder as the run has it, in its short form, and as the system resolved
    // it when it was pinned; then the well-known folders. Each ends with a backslash, or is empty.
    TRUSTED_SHORT = 0,
    TRUSTED_FINAL = 1,
    TRUSTED_WELL_KNOWN = 2,
    TRUSTED_COUNT = TRUSTED_WELL_KNOWN + WELL_KNOWN_COUNT,
    // A path of PATH_SIZE bytes has fewer levels than this unless most are one character long;
    // a deeper one is treated as behind a link.
    HELD_LEVELS = 64,
    LEVEL_PLAIN = 0,
    LEVEL_LINK = 1,
    LEVEL_MISSING = 2,
    NAME_SURROGATE = 0x20000000,
};

char trusted[TRUSTED_COUNT][PATH_SIZE];
int shortMade;
int wellKnownMade;
HANDLE pinnedInstallDir;

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
    for (unsigned int i = 0; i < end; ++i)
        if (!path[i] || ToUpperAscii(path[i]) != ToUpperAscii(heldPath[i])) return 0;
    return 1;
}

// Where the path's levels below the folder (ending with a backslash) begin: the position of the
// backslash that ends the folder within the path, or of its end; 0 when it does not lie there.
unsigned int TrustedEnd(const char* path, const char* folder) {
    unsigned int length = TextLength(folder);
    if (length < 2) return 0;
    for (unsigned int i = 0; i + 1 < length; ++i)
        if (ToUpperAscii(path[i]) != ToUpperAscii(folder[i])) return 0;
    return path[length - 1] == '\\' || path[length - 1] == 0 ? length - 1 : 0;
}

void FetchWellKnownFolders() {
    wellKnownMade = 1;
    for (unsigned int i = 0; i < WELL_KNOWN_COUNT; ++i) {
        char* folder = trusted[TRUSTED_WELL_KNOWN + i];
        folder[0] = 0;
        LPITEMIDLIST list = nullptr;
        if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, kWellKnownFolders[i], &list)) && list &&
            !SHGetPathFromIDListA(list, folder))
            folder[0] = 0;
        if (list) CoTaskMemFree(list);
        if (!AppendBackslash(folder)) folder[0] = 0;
    }
}

// The end of the deepest trusted folder the path lies in, or that of its root (the drive, or
// the share of a network path) when it lies in none.
unsigned int TrustedLevelsEnd(const char* path) {
    unsigned int end = TrustedEnd(path, run.installDir);
    if (!shortMade) {
        shortMade = 1;
        char* shortForm = trusted[TRUSTED_SHORT];
        if (!FitsPathBuffer(GetShortPathNameA(run.installDir, shortForm, PATH_SIZE)) || !AppendBackslash(shortForm))
            shortForm[0] = 0;
    }
    for (unsigned int i = 0; i < TRUSTED_COUNT && !end; ++i) {
        if (i == TRUSTED_WELL_KNOWN && !wellKnownMade) FetchWellKnownFolders();
        end = TrustedEnd(path, trusted[i]);
    }
    if (end) return end;
    if (path[0] && path[1] == ':') return 2;
    // "\\server\share" and "\\?\X:" alike: the root is the two names after the pair.
    unsigned int at = 2;
    for (int names = 0; names < 2; ++names) {
        while (path[at] && path[at] != '\\') ++at;
        if (names == 0 && path[at]) ++at;
    }
    return at;
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
    for (unsigned int at = from + 1;; ++at) {
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

void PinInstallDir() {
    if (!run.isNT || pinnedInstallDir) return;
    char folder[PATH_SIZE];
    CopyText(folder, PATH_SIZE, run.installDir);
    StripBackslash(folder);
    HANDLE handle = CreateFileA(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    pinnedInstallDir = handle;
    char* final = trusted[TRUSTED_FINAL];
    if (!FinalPathOf(handle, final) || !AppendBackslash(final)) final[0] = 0;
}

int FinalPathOf(HANDLE handle, char* final) {
    // Found at run time: the call is newer than the 95 family and the first NT versions.
    typedef DWORD(WINAPI * FinalPathCall)(HANDLE, LPSTR, DWORD, DWORD);
    FinalPathCall finalPath = reinterpret_cast<FinalPathCall>(SystemCall("kernel32.dll", "GetFinalPathNameByHandleA"));
    if (!finalPath || !FitsPathBuffer(finalPath(handle, final, PATH_SIZE, 0))) return 0;
    // "\\?\X:\..." is the usual "X:\..."; a network path keeps its device form, which no record
    // spells, and so matches nothing.
    if (final[0] == '\\' && final[1] == '\\' && final[2] == '?' && final[3] == '\\' && final[5] == ':')
        CopyText(final, PATH_SIZE, final + 4);
    return 1;
}

void UnpinInstallDir() {
    if (pinnedInstallDir) CloseHandle(pinnedInstallDir);
    pinnedInstallDir = nullptr;
    trusted[TRUSTED_FINAL][0] = 0;
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
    shortMade = 0;
    wellKnownMade = 0;
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
    if (pinnedInstallDir && TrustedEnd(path, run.installDir) == length) UnpinInstallDir();
}
