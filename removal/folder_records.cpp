// Shortcuts and the folders the log names: the file inside each entry's folder, then the
// folder itself when it is left empty.
#include "base/run_context.h"
#include "base/text.h"
#include "removal/named_folder.h"
#include "removal/package_links.h"
#include "removal/phases.h"
#include "removal/record_paths.h"
#include "removal/report.h"

namespace {

void RemoveShortcut(const char* path) {
    if (IsFileBehindLink(path)) {
        Report(OUTCOME_KEPT, "shortcut kept, behind a link: %s", path);
        return;
    }
    int deleted = DeleteFileA(path);
    ReportDeletion("shortcut", deleted, deleted ? 0 : GetLastError(), "", path);
}

void RemoveFolderEntry(const FolderRecord* record, const RecordPath* resolved) {
    // An entry whose folder the rule skips, or whose file path or folder would not fit a path
    // buffer, names nothing the platform could hold, and is passed over whole.
    if (resolved->state != PATH_RESOLVED) {
        ReportPassedOver(record->name[0] ? OUTCOME_KEPT : OUTCOME_NOTED, "shortcut", record->folder, record->name,
                         resolved->state);
        return;
    }
    if (record->name[0]) RemoveShortcut(resolved->path);
    // An entry without a folder names its file alone.
    if (!record->folder[0]) return;
    char folder[PATH_SIZE];
    CopyRecordFolder(resolved, folder);
    RemoveNamedFolder(folder, 1);
}

}  // namespace

void RemoveFolderRecords() {
    ForgetLinkChecks();
    for (unsigned int i = 0; i < run.folderCount; ++i) RemoveFolderEntry(run.folders[i], FolderRecordPath(i));
    ForgetLinkChecks();
}
