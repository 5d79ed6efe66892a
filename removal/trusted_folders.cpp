// The trusted folders of the link checks, fetched once per phase.
#include "removal/trusted_folders.h"
#include "base/run_context.h"
#include "base/system_call.h"
#include "base/text.h"

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
};

char trusted[TRUSTED_COUNT][PATH_SIZE];
int shortMade;
int wellKnownMade;
HANDLE pinnedInstallDir;

// Where the path's levels below the folder (ending with a backslash) begin: the position of the
// backslash that ends the folder within the path, or of its end; 0 when it does not lie there.
unsigned int TrustedEnd(const char* path, const char* folder) {
    unsigned int length = TextLength(folder);
    if (length < 2 || SameStart(path, folder, length - 1) != length - 1) return 0;
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

}  // namespace

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
        while (path[at] && path[at] != '\\') at = static_cast<unsigned int>(NextCharacter(path + at) - path);
        if (names == 0 && path[at]) ++at;
    }
    return at;
}

void ForgetTrustedFolders() {
    shortMade = 0;
    wellKnownMade = 0;
}

void ResetTrustedFolders() {
    UnpinInstallDir();
    ForgetTrustedFolders();
}

void UnpinIfInstallDir(const char* path) {
    if (pinnedInstallDir && TrustedEnd(path, run.installDir) == TextLength(path)) UnpinInstallDir();
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

