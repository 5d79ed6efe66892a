// Shortcuts and the folders the log names: the file inside each entry's folder, then the
// folder itself when it is left empty.
#include "base/run_context.h"
#include "base/text.h"
#include "removal/named_folder.h"
#include "removal/package_links.h"
#include "removal/phases.h"
#include "removal/report.h"
#include "removal/resolve_folder.h"

namespace {

void RemoveShortcut(const char* path) {
    if (IsFileBehindLink(path)) {
        Report(OUTCOME_KEPT, "shortcut kept, behind a link: %s", path);
        return;
    }
    int deleted = DeleteFileA(path);
    ReportDeletion("shortcut", deleted, deleted ? 0 : GetLastError(), "", path);
}

void RemoveFolderEntry(const FolderRecord* record) {
    // An entry whose folder the rule skips, or whose file path or folder would not fit a path
    // buffer, names nothing the platform could hold, and is passed over whole.
    char path[PATH_SIZE];
    if (!ResolveFolder(record->folder, path) ||
        (record->name[0] && (!AppendBackslash(path) || !AppendText(path, PATH_SIZE, record->name)))) {
        ReportPassedOver(record->name[0] ? OUTCOME_KEPT : OUTCOME_NOTED, "shortcut", record->folder, record->name);
        return;
    }
    if (record->name[0]) {
        RemoveShortcut(path);
    }
    // An entry without a folder names its file alone.
    if (!record->folder[0]) return;
    ResolveFolder(record->folder, path);
    RemoveNamedFolder(path, 1);
}

}  // namespace

void RemoveFolderRecords() {
    ForgetLinkChecks();
    for (unsigned int i = 0; i < run.folderCount; ++i) RemoveFolderEntry(run.folders[i]);
    ForgetLinkChecks();
}
