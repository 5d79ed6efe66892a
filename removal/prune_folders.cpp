// Empty-folder pruning: the folders the removal has emptied, from each installed file's own
// folder upward.
#include "base/run_context.h"
#include "base/text.h"
#include "log/log_format.h"
#include "removal/left_folders.h"
#include "removal/package_links.h"
#include "removal/phases.h"
#include "removal/record_paths.h"
#include "removal/report.h"
#include "removal/resolve_folder.h"

namespace {

// The folder that directly held the record's file, in its full form without a trailing
// backslash, so that the walk up cuts at real levels; 0 when the record's path could not be
// made or names no folder.
int HoldingFolder(const FileRecord* record, const RecordPath* resolved, char* path) {
    if (resolved->state != PATH_RESOLVED || !FullPathOf(resolved->path, path)) return 0;
    if (record->name[0]) {
        // A name may hold backslashes of its own: the cut finds the folder the file lies in.
        char* cut = FindLast(path, '\\');
        if (!cut) return 0;
        cut[1] = 0;
    }
    StripBackslash(path);
    return 1;
}

// 1 when the folder is certainly not there. A walk from it would end at its removal whatever the
// guard said, so it ends before the guard is asked: a guard call that asks the system (each
// one, where its registry keys cannot be watched) costs eleven folder lookups and three registry
// keys read, and after the leftover sweep every folder of the package may be gone. Any other
// failure to read the folder leaves the walk as it is.
int FolderIsMissing(const char* path) {
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return 0;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// 1 when the next record's folder lies below the parent and is there: the parent is then not
// empty, and that record's own walk comes back to it once the folder below is gone.
int HoldsNextRecordFolder(const char* parent, const char* next) {
    unsigned int length = TextLength(parent);
    return next[0] && SameStart(parent, next, length) == length && next[length] == '\\' &&
           GetFileAttributesA(next) != INVALID_FILE_ATTRIBUTES;
}

// Removes the folder and each parent in turn until one is protected, cannot be removed, holds
// the next record's folder, or has no parent left in the path. 1 when it removed the record's
// own folder; 0, with the path as it came, when it removed nothing.
int PruneUpward(char* path, const char* next, char* lastPrunedFolder) {
    if (FolderIsMissing(path)) return 0;
    // What lies behind a link in the package's tree is not the package's to prune. A folder the
    // run already found behind a link or protected is not asked about again.
    int left = LeftFolderKind(path);
    if (left == LEFT_BEHIND_LINK || (left == LEFT_UNKNOWN && IsFolderBehindLink(path))) {
        RememberLeftFolder(LEFT_BEHIND_LINK, path);
        ReportFolderLeft(1, path);
        return 0;
    }
    int removedOwn = 0;
    for (;;) {
        if (IsFolderLeftProtected(path)) {
            ReportFolderLeft(0, path);
            return removedOwn;
        }
        ReleaseHeldFolder(path);
        if (!RemoveDirectoryA(path)) {
            ReportFolderKept(GetLastError(), path);
            return removedOwn;
        }
        Report(OUTCOME_NOTED, "folder pruned: %s", path);
        if (!removedOwn) {
            CopyText(lastPrunedFolder, PATH_SIZE, path);
            removedOwn = 1;
        }
        char* cut = FindLast(path, '\\');
        if (!cut) return removedOwn;
        *cut = 0;
        if (HoldsNextRecordFolder(path, next)) return removedOwn;
    }
}

// The holding folder of the first record from `from` on that has one other than `after` (fonts
// are never pruned from), and its index; the record count, with an empty folder, when none is
// left. The records of the folder just walked would be passed over anyway: it was removed or
// kept by that walk.
unsigned int NextHoldingFolder(unsigned int from, const char* after, char* folder) {
    for (unsigned int i = from; i < run.fileCount; ++i)
        if (!(run.files[i]->flags & FILE_FONT) && HoldingFolder(run.files[i], FileRecordPath(i), folder) &&
            !EqualsIgnoreCase(folder, after))
            return i;
    folder[0] = 0;
    return run.fileCount;
}

}  // namespace

void PruneEmptyFolders() {
    // The installation folder's parent is made current, so that no folder of the package is
    // held by the process as its current directory.
    EnterInstallDir();
    SetCurrentDirectoryA("..");
    ForgetLinkChecks();

    // The folder most recently emptied for a record: the records that follow it from the same
    // folder are passed over without asking the guard again.
    char lastPrunedFolder[PATH_SIZE];
    lastPrunedFolder[0] = 0;
    // Likewise the folder of the last record whose walk removed nothing: the phase changes
    // nothing in between, so the next record of that folder would fare the same.
    char lastKeptFolder[PATH_SIZE];
    lastKeptFolder[0] = 0;
    // Each record's folder, with the next record's beside it: a parent that holds the next
    // record's folder is left to that record's walk rather than tried now and again then.
    char folder[PATH_SIZE];
    char next[PATH_SIZE];
    for (unsigned int i = NextHoldingFolder(0, "", next); i < run.fileCount;) {
        CopyText(folder, PATH_SIZE, next);
        i = NextHoldingFolder(i + 1, folder, next);
        if (EqualsIgnoreCase(folder, lastPrunedFolder) || EqualsIgnoreCase(folder, lastKeptFolder)) continue;
        if (!PruneUpward(folder, next, lastPrunedFolder)) CopyText(lastKeptFolder, PATH_SIZE, folder);
    }
    ForgetLinkChecks();
}
