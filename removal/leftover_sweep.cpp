// Leftover sweep: files matching the log's patterns, below the installation folder, and the
// folders left empty by them.
//
// The sweep works through the current directory: a folder is entered by making it current,
// its entries are used by their names, and it is left through "..". The platform refuses to
// remove the current directory, so a folder is removed only after leaving it. A folder is held
// open from before it is entered until just before its removal, so that no link can take its
// place: ".." then leads back to the folder the sweep came from.
#include "removal/leftover_sweep.h"
#include "removal/left_folders.h"
#include "removal/package_links.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/phases.h"
#include "removal/protected_folders.h"
#include "removal/report.h"
#include "removal/resolve_folder.h"

namespace {

// The sweep's figures, for the report.
struct SweepFigures {
    unsigned int filesRemoved;
    unsigned int filesKept;
    unsigned int foldersRemoved;
};
SweepFigures figures;

int IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// A folder link (a junction, a symbolic link to a folder) leads out of the package's tree, to
// a user's documents or another program: it is never entered.
int IsFolderToEnter(const WIN32_FIND_DATAA* entry) {
    return (entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLinkEntry(entry) && !IsDotEntry(entry->cFileName);
}

// 1 for a listed name that a path would not reach as it is: the platform drops trailing dots and
// blanks, and a character no name may hold (a '?' stands for one the code page lacks) would
// make the path name another entry, or several.
int IsRewrittenName(const char* name) {
    unsigned int length = TextLength(name);
    if (!length || name[length - 1] == '.' || name[length - 1] == ' ') return 1;
    for (; *name; ++name) {
        if (static_cast<unsigned char>(*name) < 0x20) return 1;
        for (const char* refused = "\\/:*?\"<>|"; *refused; ++refused)
            if (*name == *refused) return 1;
    }
    return 0;
}

// Holds the listed folder open, so that nothing else can take its name while it is swept; then
// makes sure that the name still lists a plain folder. 0, holding nothing, when it does not. The
// 95 family has no links and no folder handles.
int HoldListedFolder(const char* name, HANDLE* held) {
    *held = INVALID_HANDLE_VALUE;
    if (!run.isNT) return 1;
    *held = HoldFolderOpen(name);
    if (*held == INVALID_HANDLE_VALUE) return 0;
    WIN32_FIND_DATAA entry;
    FillZero(&entry, sizeof entry);
    HANDLE search = FindFirstFileA(name, &entry);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        if (IsFolderToEnter(&entry)) return 1;
    }
    CloseHandle(*held);
    *held = INVALID_HANDLE_VALUE;
    return 0;
}

void LetGo(HANDLE held) {
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
}

// The current directory's full path, or an empty path when it cannot be read whole or is longer
// than the longest path: such a path is never cut, as a cut path would name some other folder.
void ReadCurrentDirectory(char* path) {
    if (!FitsPathBuffer(GetCurrentDirectoryA(PATH_SIZE, path)) || !FitsLongestPath(path)) path[0] = 0;
}

// Reports a folder the sweep kept: the current folder (no reason given: it is not empty), or the
// entry of that name in it. The current folder is read only when a report is written.
void ReportKeptFolder(const char* why, const char* entryName) {
    if (!IsReportOpen()) return;
    char path[PATH_SIZE];
    ReadCurrentDirectory(path);
    if (entryName && (!AppendBackslash(path) || !AppendText(path, PATH_SIZE, entryName))) path[0] = 0;
    if (why)
        Report(OUTCOME_NOTED, "folder %s: %s", why, path);
    else
        ReportFolderKept(ERROR_DIR_NOT_EMPTY, path);
}

// Leaves the current folder for its parent and removes it there, if it is empty.
void RemoveCurrentFolder(HANDLE held) {
    char* path;
    if (!AllocZeroed(PATH_SIZE, &path)) {
        SetCurrentDirectoryA("..");
        LetGo(held);
        return;
    }
    ReadCurrentDirectory(path);
    SetCurrentDirectoryA("..");
    LetGo(held);
    if (path[0]) {
        if (RemoveDirectoryA(path))
            ++figures.foldersRemoved;
        else
            ReportFolderKept(GetLastError(), path);
    }
    FreeAndNull(&path);
}

// 1 when the current folder has no entry but "." and "..". A folder that cannot be listed counts
// as empty: the removal itself fails if it is not.
int IsCurrentFolderEmpty(WIN32_FIND_DATAA* entry) {
    HANDLE search = FindFirstFileA("*.*", entry);
    if (search == INVALID_HANDLE_VALUE) return 1;
    int empty = 1;
    do {
        if (!(entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsDotEntry(entry->cFileName)) {
            empty = 0;
            break;
        }
    } while (FindNextFileA(search, entry));
    FindClose(search);
    return empty;
}

void SweepCurrentFolder(HANDLE held);

// Deletes the current folder's matching files and sweeps each subfolder that can be entered.
// A listing need not write a reparse point's tag: the entry is cleared before each one, so that
// a tag left from an earlier entry never makes a link look like a plain folder.
void SweepCurrentEntries(WIN32_FIND_DATAA* entry) {
    FillZero(entry, sizeof *entry);
    HANDLE search = FindFirstFileA("*.*", entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // The subfolder's sweep comes back here through "..".
            if (IsDotEntry(entry->cFileName)) continue;
            HANDLE held = INVALID_HANDLE_VALUE;
            if (!IsFolderToEnter(entry)) {
                ReportKeptFolder("not swept, a link", entry->cFileName);
            } else if (IsRewrittenName(entry->cFileName)) {
                ReportKeptFolder("not swept, a path would name another folder", entry->cFileName);
            } else if (!HoldListedFolder(entry->cFileName, &held)) {
                ReportKeptFolder("not swept, it is no longer the folder listed", entry->cFileName);
            } else if (SetCurrentDirectoryA(entry->cFileName)) {
                SweepCurrentFolder(held);
            } else {
                LetGo(held);
                ReportKeptFolder("not swept, it cannot be entered", entry->cFileName);
            }
        } else if (MatchesPattern(entry->cFileName)) {
            // A file that cannot be deleted just stays, and keeps its folder; so does one that a
            // path would not reach by its listed name.
            if (!IsRewrittenName(entry->cFileName) && DeleteFileA(entry->cFileName))
                ++figures.filesRemoved;
            else
                ++figures.filesKept;
        }
        FillZero(entry, sizeof *entry);
    } while (FindNextFileA(search, entry));
    FindClose(search);
}

// 1 when the current folder may be swept: its path read whole and not protected. The path's
// buffer is given back before the caller enumerates anything.
int MaySweepCurrentFolder() {
    char* path;
    if (!AllocZeroed(PATH_SIZE, &path)) return 0;
    // An empty path, when the current directory cannot be read, is reported as protected.
    ReadCurrentDirectory(path);
    int isProtected = IsFolderLeftProtected(path);
    FreeAndNull(&path);
    return !isProtected;
}

// Sweeps the current folder and everything below it, and ends in its parent whatever happens.
// Each level keeps its working storage on the heap, so a level costs a few words of stack;
// the platform's path limit bounds the depth, since a folder whose path cannot be read is
// treated as protected and not swept.
void SweepCurrentFolder(HANDLE held) {
    WIN32_FIND_DATAA* entry;
    int empty = 0;
    if (AllocZeroed(sizeof(WIN32_FIND_DATAA), &entry)) {
        if (!MaySweepCurrentFolder()) {
            ReportKeptFolder("not swept, protected", nullptr);
        } else {
            SweepCurrentEntries(entry);
            empty = IsCurrentFolderEmpty(entry);
            if (!empty) ReportKeptFolder(nullptr, nullptr);
        }
        FreeAndNull(&entry);
    }
    if (empty) {
        RemoveCurrentFolder(held);
    } else {
        SetCurrentDirectoryA("..");
        LetGo(held);
    }
}

}  // namespace

int MatchesPattern(const char* name) {
    const char* pattern = run.patterns;
    if (pattern[0] == '*') return 1;
    const char* extension = nullptr;
    for (const char* at = name; *at; ++at)
        if (*at == '.') extension = at;
    // The loader made sure that the list ends with an empty pattern inside its buffer.
    for (; pattern[0]; pattern += TextLength(pattern) + 1) {
        if (pattern[0] == '.') {
            if (extension ? EqualsIgnoreCase(extension, pattern) : pattern[1] == 0) return 1;
        } else if (EqualsIgnoreCase(name, pattern)) {
            return 1;
        }
    }
    return 0;
}

void SweepLeftovers() {
    if (!run.patterns || !run.patterns[0]) return;
    if (IsProtectedFolder(run.installDir)) {
        Report(OUTCOME_NOTED, "sweep not made, folder protected: %s", run.installDir);
        return;
    }
    // Swept from wherever the process happens to be, the patterns would reach folders that are
    // not the package's.
    if (!EnterInstallDir()) {
        Report(OUTCOME_NOTED, "sweep not made, folder not entered: %s", run.installDir);
        return;
    }
    figures = SweepFigures{};
    // The installation folder itself is held for the whole run.
    SweepCurrentFolder(INVALID_HANDLE_VALUE);
    Report(OUTCOME_NOTED, "sweep: %u files removed, %u files kept, %u folders removed", figures.filesRemoved,
           figures.filesKept, figures.foldersRemoved);
}
