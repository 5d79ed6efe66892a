// Files in use, deleted by the system at the next restart.
#include "removal/restart_queue.h"
#include "base/memory.h"
#include "base/private_access.h"
#include "base/random_name.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/package_links.h"
#include "removal/protected_folders.h"
#include "removal/report.h"
#include "removal/resolve_folder.h"

namespace {

const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
enum {
    // Paths queued where they stand, remembered for the folders that hold them; beyond this
    // many, the files are still queued but no more folders are.
    REMEMBERED_MAX = 128,
    HOLDING_TRIES = 8,
    // WININIT.INI is read whole; one larger than this is not a file the system left.
    WININIT_MAX = 0x10000,
};

char holdingFolder[PATH_SIZE];  // empty until made
int holdingTried;
unsigned int holdingNext;
char (*remembered)[PATH_SIZE];
unsigned int rememberedCount;
unsigned char rememberedIsFolder[REMEMBERED_MAX];

void Remember(const char* path, int isFolder) {
    if (!remembered && !AllocZeroed(REMEMBERED_MAX * PATH_SIZE, &remembered)) return;
    if (rememberedCount >= REMEMBERED_MAX || !FullPathOf(path, remembered[rememberedCount])) return;
    rememberedIsFolder[rememberedCount++] = static_cast<unsigned char>(isFolder);
}

int IsRemembered(const char* path) {
    for (unsigned int i = 0; i < rememberedCount; ++i)
        if (EqualsIgnoreCase(remembered[i], path)) return 1;
    return 0;
}

// A path on a network share, which the system cannot delete at boot.
int IsOnNetworkShare(const char* path) {
    if (path[0] == '\\' && path[1] == '\\') return 1;
    char root[4] = {path[0], ':', '\\', 0};
    return path[1] == ':' && GetDriveTypeA(root) == DRIVE_REMOTE;
}

// The restart's queue is the system's: only an administrator may add to it.
int MayQueue() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return 0;
    RegCloseKey(key);
    return 1;
}

// The holding folder at the root of the file's drive, made at its first use under a new random
// name (never one that exists: making it fails then).
int HasHoldingFolderFor(const char* path) {
    if (path[1] != ':' || path[2] != '\\') return 0;
    if (!holdingFolder[0] && !holdingTried) {
        holdingTried = 1;
        PrivateSecurity security;
        if (!MakeAdministratorsSecurity(&security)) return 0;
        for (int tries = 0; tries < HOLDING_TRIES; ++tries) {
            CopyText(holdingFolder, PATH_SIZE, "?:\\");
            holdingFolder[0] = path[0];
            if (AppendRandomName(holdingFolder, tries) && CreateDirectoryA(holdingFolder, security.attributes)) break;
            DWORD error = GetLastError();
            holdingFolder[0] = 0;
            if (error != ERROR_ALREADY_EXISTS) break;
        }
    }
    return holdingFolder[0] && ToUpperAscii(holdingFolder[0]) == ToUpperAscii(path[0]);
}

// Moves the file into the holding folder under the next number, never onto another volume;
// 1, with its new path in `moved`, when it went.
int MoveToHolding(const char* path, char* moved) {
    if (!HasHoldingFolderFor(path)) return 0;
    return CopyText(moved, PATH_SIZE, holdingFolder) && AppendBackslash(moved) &&
           AppendNumber(moved, PATH_SIZE, ++holdingNext) && MoveFileExA(path, moved, 0);
}

// The 95 family: a "NUL=" line with the file's short path, right under the [rename] header (made
// at the end when there is none). Every line already there stays as it is: the file is not
// rewritten through the profile functions, which would merge its repeated keys.
int AddToWininit(const char* path) {
    char line[PATH_SIZE + 16];
    char shortPath[PATH_SIZE];
    char iniPath[PATH_SIZE];
    UINT length = GetWindowsDirectoryA(iniPath, PATH_SIZE);
    if (!FitsPathBuffer(length) || !AppendBackslash(iniPath) || !AppendText(iniPath, PATH_SIZE, "WININIT.INI") ||
        !FitsPathBuffer(GetShortPathNameA(path, shortPath, PATH_SIZE)))
        return 0;
    HANDLE file = CreateFileA(iniPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD size = GetFileSize(file, nullptr);
    char* text = nullptr;
    DWORD count = 0;
    int written = 0;
    if (size <= WININIT_MAX && AllocZeroed(size + 1, &text) && ReadFile(file, text, size, &count, nullptr) &&
        count == size) {
        // Where the line goes: after the header's line, or at the end with a header of its own.
        DWORD at = size;
        int header = 0;
        for (DWORD i = 0; i + 8 <= size && !header; ++i) {
            if (i && text[i - 1] != '\n') continue;
            header = 1;
            for (int j = 0; j < 8 && header; ++j) header = ToUpperAscii(text[i + j]) == ToUpperAscii("[RENAME]"[j]);
            if (!header) continue;
            at = i;
            while (at < size && text[at] != '\n') ++at;
            if (at < size) ++at;
        }
        line[0] = 0;
        if (at && text[at - 1] != '\n') AppendText(line, sizeof line, "\r\n");
        if (!header) AppendText(line, sizeof line, "[rename]\r\n");
        AppendText(line, sizeof line, "NUL=");
        AppendText(line, sizeof line, shortPath);
        AppendText(line, sizeof line, "\r\n");
        DWORD lineLength = TextLength(line);
        written = SetFilePointer(file, static_cast<LONG>(at), nullptr, FILE_BEGIN) == at &&
                  WriteFile(file, line, lineLength, &count, nullptr) && count == lineLength &&
                  WriteFile(file, text + at, size - at, &count, nullptr) && count == size - at;
    }
    FreeAndNull(&text);
    CloseHandle(file);
    return written;
}

// 1 when everything in the folder has been queued (or is the program file, which the
// self-deletion takes); 0 also when it cannot be listed.
int HoldsOnlyQueued(const char* folder, int programGoes) {
    char pattern[PATH_SIZE];
    char entryPath[PATH_SIZE];
    WIN32_FIND_DATAA entry;
    if (!CopyText(pattern, PATH_SIZE, folder) || !AppendText(pattern, PATH_SIZE, "\\*")) return 0;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int only = 1;
    do {
        const char* name = entry.cFileName;
        if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]))) continue;
        only = CopyText(entryPath, PATH_SIZE, folder) && AppendBackslash(entryPath) &&
               AppendText(entryPath, PATH_SIZE, name) &&
               (IsRemembered(entryPath) || (programGoes && EqualsIgnoreCase(entryPath, run.modulePath)));
    } while (only && FindNextFileA(search, &entry));
    FindClose(search);
    return only;
}

}  // namespace

int IsHeldError(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

DWORD DeletionOpenRefusal(const char* path) {
    HANDLE file = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(file);
    return 0;
}

int IsFileInUse(const char* path, DWORD error) {
    if (IsHeldError(error)) return 1;
    if (error != ERROR_ACCESS_DENIED) return 0;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return 0;
    // The 95 family has no rights: a refusal of a file that is not read-only is its use. On NT,
    // a file that opens for deletion but may not be deleted is a running program's or a loaded
    // module's.
    if (!run.isNT) return 1;
    DWORD refusal = DeletionOpenRefusal(path);
    return !refusal || IsHeldError(refusal);
}

int QueueFileForRestart(const char* path, DWORD error, const char* answer, int mayMove) {
    const char* why = nullptr;
    DWORD refusal = error;
    if (IsOnNetworkShare(path)) {
        why = "on a network share, which cannot be queued for the restart";
    } else if (!run.isNT) {
        if (!AddToWininit(path)) why = "WININIT.INI could not be written";
    } else if (!MayQueue()) {
        why = "no right to queue it for the restart";
    } else {
        // The system deletes at boot only a file that is not read-only.
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
        char moved[PATH_SIZE];
        int isMoved = mayMove && MoveToHolding(path, moved);
        if (MoveFileExA(isMoved ? moved : path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            if (isMoved) Report(OUTCOME_NOTED, "file moved for the restart to %s: %s", moved, path);
            if (!isMoved) Remember(path, 0);
        } else {
            refusal = GetLastError();
            if (isMoved) MoveFileExA(moved, path, 0);
            why = "the system refused to queue it for the restart";
        }
    }
    if (why) {
        Report(OUTCOME_KEPT, "file kept, in use%s, %s (error %u): %s", answer, why, refusal, path);
        return 0;
    }
    Report(OUTCOME_QUEUED, "file queued for the restart, in use%s (error %u): %s", answer, error, path);
    return 1;
}

int QueueFolderForRestart(const char* folder) {
    if (!MoveFileExA(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return 0;
    Report(OUTCOME_NOTED, "folder queued for the restart: %s", folder);
    Remember(folder, 1);
    return 1;
}

void QueueStayingFolders(int programGoes) {
    char folder[PATH_SIZE];
    ForgetLinkChecks();
    // A folder is queued only once all it holds is: walking up from each file in turn finds the
    // deepest folders first, and a folder shared by several files when the last of them is seen.
    // A folder queued on its own (the job's) is not walked up from: what holds it is not the run's.
    for (unsigned int i = 0; run.isNT && i < rememberedCount; ++i) {
        if (rememberedIsFolder[i]) continue;
        CopyText(folder, PATH_SIZE, remembered[i]);
        for (;;) {
            char* cut = FindLast(folder, '\\');
            if (!cut || cut - folder < 3) break;
            *cut = 0;
            if (IsRemembered(folder) || IsProtectedFolder(folder) || IsFolderBehindLink(folder) ||
                !HoldsOnlyQueued(folder, programGoes))
                break;
            ReleaseHeldFolder(folder);
            if (!QueueFolderForRestart(folder)) break;
        }
    }
    ForgetLinkChecks();
    // Empty when no file could be moved into it: then it goes at once.
    if (holdingFolder[0] && !RemoveDirectoryA(holdingFolder)) QueueFolderForRestart(holdingFolder);
    FreeAndNull(&remembered);
    rememberedCount = 0;
    holdingFolder[0] = 0;
    holdingTried = 0;
    holdingNext = 0;
}
