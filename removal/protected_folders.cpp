// The guard that keeps the removal away from the system's own folders.
#include "removal/protected_folders.h"
#include "base/run_context.h"
#include "base/system_call.h"
#include "base/text.h"
#include "removal/resolve_folder.h"

namespace {

// Compared after the Windows and system folders, in this order: the user's folders, then the
// all-users folders, which the 95 family does not have.
const unsigned char kShellFolders[] = {
    CSIDL_DESKTOP,         CSIDL_FONTS,           CSIDL_PROGRAMS,        CSIDL_STARTMENU,      CSIDL_STARTUP,
    CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_STARTUP,
};
enum {
    SHELL_FOLDER_COUNT = sizeof kShellFolders,
    FOLDERS_EVERYWHERE = 2 + 5,  // the entries every system has
    KEY_NATIVE_VIEW = 0x0100,    // KEY_WOW64_64KEY, which some headers do not name
    CSIDL_DONT_VERIFY = 0x4000,  // CSIDL_FLAG_DONT_VERIFY
    // The entries: the Windows and system folders, the shell folders, the profiles folder, then
    // the program-files and common-files values, of the program's own view and of the native one.
    ENTRY_SHELL = 2,
    ENTRY_PROFILES = ENTRY_SHELL + SHELL_FOLDER_COUNT,
    ENTRY_VALUES = ENTRY_PROFILES + 1,
    ENTRY_COUNT = ENTRY_VALUES + 4,
    // The registry keys the folders come from: the user's and the machine's shell folders (two
    // keys each), the profiles list and the version key, in the program's view and the native one.
    WATCH_COUNT = 7,
    KEPT_NOTHING = 0,  // not fetched since the last change
    KEPT_FOLDER,
    KEPT_NONE,         // a value that is not there: no folder
};

const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kProfileListKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char* const kShellFolderKeys[] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"};
const char* const kFolderValues[] = {"ProgramFilesDir", "CommonFilesDir", "ProgramW6432Dir", "CommonW6432Dir"};

// Each entry as it was fetched, and its short form once one was had: kept while no watched key
// has changed. A lookup that failed is never kept.
struct KeptFolder {
    unsigned char state;
    unsigned char shortMade;
    signed char identityMade;  // 1 had, -1 the folder cannot be looked at, 0 not had (yet)
    BY_HANDLE_FILE_INFORMATION identity;
    char path[PATH_SIZE];
    char shortPath[PATH_SIZE];
};
KeptFolder kept[ENTRY_COUNT];
HANDLE changed;             // signalled by a change to any watched key; null while none is watched
HKEY watched[WATCH_COUNT];
int unwatched;              // the watches could not be set up: every call asks afresh

// 1 with the shell folder's file-system path in the buffer; 0 when the shell has none for it. A
// folder that does not exist (a deleted Startup folder) has no location: its path is asked for
// without the shell looking for it, where the shell can do that (not the 95 family's, nor NT 4's).
int FetchShellFolder(int csidl, char* folder) {
    LPITEMIDLIST list = nullptr;
    int found = 0;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) && list)
        found = SHGetPathFromIDListA(list, folder) != FALSE;
    // The shell hands the list over to the caller, who frees it with the task allocator.
    if (list) CoTaskMemFree(list);
    if (found) return 1;
    typedef HRESULT(WINAPI * FolderPathCall)(HWND, int, HANDLE, DWORD, LPSTR);
    FolderPathCall folderPath = reinterpret_cast<FolderPathCall>(SystemCall("shell32.dll", "SHGetFolderPathA"));
    return folderPath && folderPath(nullptr, csidl | CSIDL_DONT_VERIFY, nullptr, 0, folder) == S_OK;
}

// Entries 0 to 10: the Windows folder, the system folder, then the shell folders. A folder that
// did not fit the buffer leaves nothing usable in it.
int FetchFolderEntry(int entry, char* folder) {
    if (entry == 0) return FitsPathBuffer(GetWindowsDirectoryA(folder, PATH_SIZE));
    if (entry == 1) return FitsPathBuffer(GetSystemDirectoryA(folder, PATH_SIZE));
    return FetchShellFolder(kShellFolders[entry - 2], folder);
}

// A path's number of levels (a trailing backslash adds none), or 0 when it holds an empty, "."
// or ".." level, which a file system may fold in making a short form.
unsigned int PlainLevels(const char* path) {
    unsigned int levels = 0;
    for (const char* at = path; *at; at = NextCharacter(at)) {
        if (*at != '\\' || at[1] == 0) continue;
        if (at[1] == '\\' || at[1] == '.') return 0;
        ++levels;
    }
    return levels + 1;
}

// The short (8.3) form of the path being checked, made only when a comparison needs it: the
// file system builds it level by level, and most checks never need it.
struct ShortForm {
    const char* path;
    int made;
    int unknown;           // the path exists but the system gave no short form
    char text[PATH_SIZE];  // empty when the path has none (a path that does not exist)
};

// 1 with the path's short form in the buffer, 0 (the buffer empty) when the path does not exist,
// -1 when the short form could not be had for another reason.
int FetchShortForm(const char* path, char* text) {
    DWORD length = GetShortPathNameA(path, text, PATH_SIZE);
    if (FitsPathBuffer(length)) {
        StripBackslash(text);
        return 1;
    }
    text[0] = 0;
    DWORD error = GetLastError();
    return !length && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? 0 : -1;
}

const char* ShortFormOf(ShortForm* form) {
    if (!form->made) {
        form->unknown = FetchShortForm(form->path, form->text) < 0;
        form->made = 1;
    }
    return form->text;
}

// The end of the level that starts at the text (its backslash or the text's end).
const char* LevelEnd(const char* level) {
    while (*level && *level != '\\') level = NextCharacter(level);
    return level;
}

int HasTilde(const char* level, const char* end) {
    for (; level < end; level = NextCharacter(level))
        if (*level == '~') return 1;
    return 0;
}

// 1 when two paths of as many plain levels differ at a level where neither name has a '~': the
// system makes every short name that is not its long name with one (only an administrator may
// set another), so such levels name two folders whatever their short forms.
int DifferAtALongName(const char* a, const char* b) {
    for (;;) {
        const char* aEnd = LevelEnd(a);
        const char* bEnd = LevelEnd(b);
        unsigned int length = static_cast<unsigned int>(aEnd - a);
        int same = length == static_cast<unsigned int>(bEnd - b) && SameStart(a, b, length) == length;
        if (!same && !HasTilde(a, aEnd) && !HasTilde(b, bEnd)) return 1;
        if (!*aEnd || !*bEnd) return 0;
        a = aEnd + 1;
        b = bEnd + 1;
    }
}

// A folder has two spellings, its long name and its short (8.3) name, and a path may come in
// either (or mixed, level by level). Failing the plain comparison, the short forms of both are
// compared. A short name stands for one level, so paths of different depths never share a
// short form and are told apart without asking the file system, as are paths whose levels
// differ where no short name is. A short form that exists but cannot be had leaves them
// unknown apart: they are taken for the same folder. The folder's short form is kept once it
// was had.
int SameFolder(KeptFolder* folder, ShortForm* path) {
    if (EqualsIgnoreCase(folder->path, path->path)) return 1;
    unsigned int folderLevels = PlainLevels(folder->path);
    unsigned int pathLevels = PlainLevels(path->path);
    if (folderLevels && pathLevels && (folderLevels != pathLevels || DifferAtALongName(folder->path, path->path))) return 0;
    const char* shortPath = ShortFormOf(path);
    if (path->unknown) return 1;
    if (!shortPath[0]) return 0;
    if (!folder->shortMade) {
        int fetched = FetchShortForm(folder->path, folder->shortPath);
        if (fetched <= 0) return fetched < 0;
        folder->shortMade = 1;
    }
    return EqualsIgnoreCase(folder->shortPath, shortPath);
}

// 1 with the folder's identity on its volume (serial number and file index), whatever the
// spelling of its name; 0 when it does not exist; -1 when it is there but cannot be looked at.
int IdentityOf(const char* path, BY_HANDLE_FILE_INFORMATION* identity) {
    HANDLE folder = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
    }
    int had = GetFileInformationByHandle(folder, identity) ? 1 : -1;
    CloseHandle(folder);
    return had;
}

int HasNonAscii(const char* text) {
    for (; *text; ++text)
        if (static_cast<BYTE>(*text) >= 0x80) return 1;
    return 0;
}

// The file system takes letters beyond ASCII of either case for the same name, where the
// comparisons fold only ASCII: on NT, a path with such letters, or any path while a protected
// folder has them, is also compared by the identity of the folder it opens. A path that exists
// but cannot be looked at is taken for a protected folder.
int SameIdentityAsKept(const char* candidate) {
    if (!run.isNT) return 0;
    int wide = HasNonAscii(candidate);
    for (int entry = 0; entry < ENTRY_COUNT && !wide; ++entry)
        wide = kept[entry].state == KEPT_FOLDER && HasNonAscii(kept[entry].path);
    if (!wide) return 0;
    BY_HANDLE_FILE_INFORMATION identity;
    int had = IdentityOf(candidate, &identity);
    if (had <= 0) return had < 0;
    for (int entry = 0; entry < ENTRY_COUNT; ++entry) {
        KeptFolder* folder = &kept[entry];
        if (folder->state != KEPT_FOLDER) continue;
        // A folder not there yet is asked about again: it may be made during the run.
        if (!folder->identityMade) folder->identityMade = static_cast<signed char>(IdentityOf(folder->path, &folder->identity));
        if (folder->identityMade > 0 && folder->identity.dwVolumeSerialNumber == identity.dwVolumeSerialNumber &&
            folder->identity.nFileIndexHigh == identity.nFileIndexHigh && folder->identity.nFileIndexLow == identity.nFileIndexLow)
            return 1;
    }
    return 0;
}

enum { VALUE_NONE, VALUE_READ, VALUE_UNREADABLE };

// The value's text as stored, whatever its type, into a PATH_SIZE buffer.
int ReadFolderValue(HKEY key, const char* name, char* folder) {
    DWORD type = 0;
    DWORD size = PATH_SIZE;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
    if (status == ERROR_FILE_NOT_FOUND) return VALUE_NONE;
    if (status != ERROR_SUCCESS) return VALUE_UNREADABLE;
    // The stored data need not end with a terminator. Data that fill the whole buffer without
    // one are longer than any path.
    if (size >= PATH_SIZE) {
        if (folder[PATH_SIZE - 1] != 0) return VALUE_UNREADABLE;
    } else {
        folder[size] = 0;
    }
    return VALUE_READ;
}

// The profiles folder, as the NT family records it ("%SystemDrive%\Users"): the shell of the
// older NT versions has no name for it. Every NT system has it, so a value that cannot be had
// is a failed lookup. Read in the native view, where 64-bit Windows keeps it.
int FetchProfilesFolder(REGSAM view, char* folder) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProfileListKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return 0;
    char stored[PATH_SIZE];
    int read = ReadFolderValue(key, "ProfilesDirectory", stored);
    RegCloseKey(key);
    return read == VALUE_READ && FitsPathBuffer(ExpandEnvironmentStringsA(stored, folder, PATH_SIZE));
}

// The two values of the version key in the view given, into the pair of entries; 0 when the key
// cannot be opened or a value that is there cannot be read whole. A value that is not there
// names no folder. Its own trailing backslash makes no other folder of it.
int FetchFolderValues(REGSAM view, const char* const* names, KeptFolder* pair) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return 0;
    int fetched = 1;
    for (int i = 0; i < 2; ++i) {
        int read = ReadFolderValue(key, names[i], pair[i].path);
        if (read == VALUE_UNREADABLE) fetched = 0;
        pair[i].state = read == VALUE_READ ? KEPT_FOLDER : KEPT_NONE;
    }
    RegCloseKey(key);
    return fetched;
}

// The registry's view that holds the 64-bit Program Files folders: for a 32-bit program on 64-bit
// Windows the native one, which it must ask for; everywhere else its own (the oldest systems
// refuse the flag, and 32-bit Windows has no such folders).
REGSAM NativeView() {
    typedef BOOL(WINAPI * Wow64Call)(HANDLE, BOOL*);
    Wow64Call isWow64 = reinterpret_cast<Wow64Call>(SystemCall("kernel32.dll", "IsWow64Process"));
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64 ? KEY_NATIVE_VIEW : 0;
}

// Fetches the entry (a registry value with the other of its key); 0 when a lookup failed.
int FetchEntry(int entry) {
    KeptFolder* folder = &kept[entry];
    folder->shortMade = 0;
    folder->identityMade = 0;
    if (entry >= ENTRY_VALUES) {
        int native = entry >= ENTRY_VALUES + 2;
        kept[entry + 1].shortMade = 0;
        kept[entry + 1].identityMade = 0;
        return FetchFolderValues(native ? NativeView() : 0, kFolderValues + 2 * native, folder);
    }
    if (entry == ENTRY_PROFILES) {
        if (!FetchProfilesFolder(NativeView(), folder->path)) return 0;
    } else {
        if (!FetchFolderEntry(entry, folder->path)) return 0;
        StripBackslash(folder->path);
    }
    folder->state = KEPT_FOLDER;
    return 1;
}

void ForgetFolders() {
    for (int entry = 0; entry < ENTRY_COUNT; ++entry) kept[entry].state = KEPT_NOTHING;
}

// Watches every key the folders come from, with one event, before anything is fetched; 0 when
// a watch cannot be set up. The 95 family has no such notification. The shell folders'
// keys are watched with what lies below them; the profiles list's subkeys change as users log
// on, and the version key's (shared files, uninstall entries) during every run, so those two
// are watched without.
int WatchFolderKeys() {
    typedef LONG(WINAPI * NotifyCall)(HKEY, BOOL, DWORD, HANDLE, BOOL);
    NotifyCall notify = reinterpret_cast<NotifyCall>(SystemCall("advapi32.dll", "RegNotifyChangeKeyValue"));
    if (!run.isNT || !notify || !(changed = CreateEventA(nullptr, FALSE, FALSE, nullptr))) return 0;
    REGSAM native = NativeView();
    for (int i = 0; i < WATCH_COUNT; ++i) {
        HKEY root = i == 0 || i == 2 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const char* path = i < 4 ? kShellFolderKeys[i / 2] : i == 4 ? kProfileListKey : kVersionKey;
        REGSAM view = i == 4 || i == 6 ? native : 0;
        // The native version key is another key only for a 32-bit program on 64-bit Windows.
        if (i == 6 && !native) break;
        if (RegOpenKeyExA(root, path, 0, KEY_NOTIFY | view, &watched[i]) != ERROR_SUCCESS) {
            watched[i] = nullptr;
            return 0;
        }
        if (notify(watched[i], i < 4, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, changed, TRUE) !=
            ERROR_SUCCESS)
            return 0;
    }
    return 1;
}

// Forgets the kept folders when a watched key may have changed, and watches the keys afresh.
void ForgetChangedFolders() {
    if (changed && WaitForSingleObject(changed, 0) == WAIT_TIMEOUT) return;
    ReleaseProtectedFolders();
    if (unwatched || WatchFolderKeys()) return;
    ReleaseProtectedFolders();
    unwatched = 1;
}

// A folder lookup that fails for a folder the system has protects the path: the guard cannot
// tell it is not that folder. Only the folders the system does not have at all are passed over.
int MatchesProtectedFolder(const char* candidate) {
    ForgetChangedFolders();
    ShortForm path;
    path.path = candidate;
    path.made = 0;
    for (int entry = 0; entry < ENTRY_COUNT; ++entry) {
        if (!run.isNT && entry >= FOLDERS_EVERYWHERE && entry <= ENTRY_PROFILES) continue;
        KeptFolder* folder = &kept[entry];
        if (!folder->state && !FetchEntry(entry)) {
            ForgetFolders();
            return 1;
        }
        if (folder->state == KEPT_FOLDER && SameFolder(folder, &path)) return 1;
    }
    return SameIdentityAsKept(candidate);
}

// The device forms "\\?\X:\..." and "\\?\UNC\server\share\..." (and "\\.\" alike) name the
// folders of the usual forms, to which they are brought back; 0 for every other device path,
// which is then protected.
int WithoutDevicePrefix(char* full) {
    if (full[0] != '\\' || full[1] != '\\' || (full[2] != '?' && full[2] != '.') || full[3] != '\\') return 1;
    const char* rest = full + 4;
    char usual[PATH_SIZE];
    if (rest[0] && rest[1] == ':' && rest[2] == '\\') {
        CopyText(usual, PATH_SIZE, rest);
    } else if (ToUpperAscii(rest[0]) == 'U' && ToUpperAscii(rest[1]) == 'N' && ToUpperAscii(rest[2]) == 'C' &&
               rest[3] == '\\') {
        CopyText(usual, PATH_SIZE, "\\");
        AppendText(usual, PATH_SIZE, rest + 3);
    } else {
        return 0;
    }
    return FullPathOf(usual, full);
}

}  // namespace

int IsProtectedFolder(const char* path) {
    if (TextLength(path) < 4) return 1;
    // Compared in the form the system resolves the path to, whatever the spelling: a folder whose
    // full form cannot be had is never removed.
    char full[PATH_SIZE];
    if (!FullPathOf(path, full) || !WithoutDevicePrefix(full)) return 1;
    if (TextLength(full) < 4) return 1;
    StripBackslash(full);
    return MatchesProtectedFolder(full);
}

void ResetProtectedFolders() {
    changed = nullptr;
    FillZero(watched, sizeof watched);
    unwatched = 0;
    ForgetFolders();
}

void ReleaseProtectedFolders() {
    for (int i = 0; i < WATCH_COUNT; ++i) {
        if (watched[i]) RegCloseKey(watched[i]);
        watched[i] = nullptr;
    }
    if (changed) CloseHandle(changed);
    changed = nullptr;
    ForgetFolders();
}
