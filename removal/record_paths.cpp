// Each record's path, resolved once for the whole run.
#include "removal/record_paths.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/resolve_folder.h"

namespace {

RecordPath* filePaths;
unsigned int filePathCount;
RecordPath* folderPaths;
unsigned int folderPathCount;

// 0 only when there is no memory for the path. A path that would not fit is never cut: a
// shortened path could name some other file.
int ResolveRecord(const char* folder, const char* name, RecordPath* resolved) {
    char path[PATH_SIZE];
    resolved->state = PATH_DEPENDS_ON_CURRENT_FOLDER;
    if (DependsOnCurrentFolder(folder)) return 1;
    resolved->state = PATH_TOO_LONG;
    if (!ResolveFolder(folder, path)) return 1;
    unsigned int folderLength = TextLength(path);
    if (name[0] && (!AppendBackslash(path) || !AppendText(path, PATH_SIZE, name) || !FitsLongestPath(path))) return 1;
    unsigned int size = TextLength(path) + 1;
    char* copy;
    if (!AllocRaw(size, &copy)) return 0;
    CopyBytes(copy, path, size);
    resolved->path = copy;
    resolved->folderLength = folderLength;
    resolved->state = PATH_RESOLVED;
    return 1;
}

template <typename Record>
int ResolveList(Record* const* records, unsigned int count, RecordPath** paths, unsigned int* pathCount) {
    if (!count) return 1;
    if (count > 0xFFFFFFFFu / sizeof(RecordPath) || !AllocZeroed(count * static_cast<unsigned int>(sizeof(RecordPath)), paths))
        return 0;
    // Counted as it goes, so that a list cut short by want of memory is freed whole.
    for (*pathCount = 0; *pathCount < count; ++*pathCount)
        if (!ResolveRecord(records[*pathCount]->folder, records[*pathCount]->name, &(*paths)[*pathCount])) return 0;
    return 1;
}

void FreeList(RecordPath** paths, unsigned int* pathCount) {
    if (*paths)
        for (unsigned int i = 0; i < *pathCount; ++i) {
            char* path = const_cast<char*>((*paths)[i].path);
            FreeAndNull(&path);
        }
    FreeAndNull(paths);
    *pathCount = 0;
}

}  // namespace

void ResetRecordPaths() {
    filePaths = folderPaths = nullptr;
    filePathCount = folderPathCount = 0;
}

int ResolveRecordPaths() {
    FreeRecordPaths();
    return ResolveList(run.files, run.fileCount, &filePaths, &filePathCount) &&
           ResolveList(run.folders, run.folderCount, &folderPaths, &folderPathCount);
}

void FreeRecordPaths() {
    FreeList(&filePaths, &filePathCount);
    FreeList(&folderPaths, &folderPathCount);
}

const RecordPath* FileRecordPath(unsigned int index) {
    return &filePaths[index];
}

const RecordPath* FolderRecordPath(unsigned int index) {
    return &folderPaths[index];
}

void CopyRecordFolder(const RecordPath* resolved, char* folder) {
    CopyBytes(folder, resolved->path, resolved->folderLength);
    folder[resolved->folderLength] = 0;
}
