// Each file and folder record's path, resolved once after the log is loaded, by the folder rule
// of removal/resolve_folder.h: the phases and the report use it, and never resolve again.
#pragma once

enum RecordPathState {
    PATH_RESOLVED,
    PATH_DEPENDS_ON_CURRENT_FOLDER,  // the rule skips the record's folder
    PATH_TOO_LONG,                   // the folder, or the folder and name, would not fit a path buffer
};

struct RecordPath {
    const char* path;           // the record's file or shortcut; its folder when it has no name
    unsigned int folderLength;  // the bytes of path that name the record's folder
    int state;                  // with any state but PATH_RESOLVED, path is null
};

// Forgets the paths without freeing them, as at process start: the run's set-up calls it.
void ResetRecordPaths();
// Resolves every record of the loaded log, after freeing what an earlier call resolved; 0 when
// there is no memory for them.
int ResolveRecordPaths();
void FreeRecordPaths();

const RecordPath* FileRecordPath(unsigned int index);
const RecordPath* FolderRecordPath(unsigned int index);
// The resolved record's folder, into a PATH_SIZE buffer.
void CopyRecordFolder(const RecordPath* resolved, char* folder);
