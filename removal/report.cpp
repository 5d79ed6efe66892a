// The run's account of what it removed and kept.
#include "removal/report.h"
#include <stdarg.h>
#include "base/private_access.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/package_links.h"
#include "removal/record_paths.h"
#include "removal/resolve_folder.h"
#include "removal/trusted_folders.h"

namespace {

// The file asked for with /L (empty: none), its handle while it is open, and the counts.
char reportPath[PATH_SIZE];
HANDLE reportFile;
ReportCounts counts;

// wvsprintfA writes at most 1,024 characters with the terminator; the line break follows them.
enum { LINE_SIZE = 1024 + 2 };

// Writes the line with its line break at once; a report that fails is closed and no more written.
void WriteLine(char* line) {
    unsigned int length = TextLength(line);
    line[length++] = '\r';
    line[length++] = '\n';
    DWORD written = 0;
    if (!WriteFile(reportFile, line, length, &written, nullptr) || written != length) {
        CloseHandle(reportFile);
        reportFile = nullptr;
    }
}

// Why the platform refused a deletion, in the report's words. The file is looked at only when a
// report is written.
const char* RefusalOf(unsigned int error, const char* path) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return "in use";
    DWORD attributes = reportFile ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return "read-only";
    return "cannot be deleted";
}

// 1 when the path names the installation folder, with or without its trailing backslash.
int IsInstallationFolder(const char* path) {
    char folder[PATH_SIZE];
    return CopyText(folder, PATH_SIZE, path) && AppendBackslash(folder) && EqualsIgnoreCase(folder, run.installDir);
}

// 1 when what the handle reaches is a file of one name, not a link and not a folder: writing it
// changes no other file.
int IsPlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(file, &information) && information.nNumberOfLinks == 1 &&
           !(information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

// 0 when the system resolves the handle to a file of another name than the report's: a link to
// some other file, opened by a system that follows a file link even when asked for the link
// itself. A system without final paths tells nothing.
int KeepsItsName(HANDLE file) {
    char final[PATH_SIZE];
    char full[PATH_SIZE];
    if (!FinalPathOf(file, final)) return 1;
    const char* finalName = FindLast(final, '\\');
    const char* fullName = FullPathOf(reportPath, full) ? FindLast(full, '\\') : nullptr;
    return finalName && fullName && EqualsIgnoreCase(finalName, fullName);
}

}  // namespace

void AskForReport(const char* path, unsigned int length) {
    reportPath[0] = 0;
    if (length >= PATH_SIZE) return;
    CopyBytes(reportPath, path, length);
    reportPath[length] = 0;
    if (!FitsLongestPath(reportPath)) reportPath[0] = 0;
}

const char* ReportPath() { return reportPath; }

int IsReportOpen() { return reportFile != nullptr; }

const ReportCounts* Counts() { return &counts; }

void ResetReport() {
    reportPath[0] = 0;
    reportFile = nullptr;
    FillZero(&counts, sizeof counts);
}

void OpenReport() {
    if (!reportPath[0]) return;
    // Another user may have made the report's folder, or a file of its name: a link on the way
    // would have the run write over a file of the system's. The folder's levels are checked and
    // held as a record's are while the file is opened; the file is opened as it is, never what a
    // link there leads to, and emptied only once it is known to be a plain file of one name.
    PrivateSecurity security;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!IsFileBehindLink(reportPath) && MakePrivateSecurity(&security))
        file = CreateFileA(reportPath, GENERIC_WRITE, FILE_SHARE_READ, security.attributes, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | (run.isNT ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    ForgetLinkChecks();
    if (file != INVALID_HANDLE_VALUE && (!IsPlainFile(file) || !KeepsItsName(file) || !SetEndOfFile(file))) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    reportFile = file == INVALID_HANDLE_VALUE ? nullptr : file;
    // The lines' paths are in the run's code page, the log's: the first line names it.
    UINT codePage = GetACP();
    if (codePage == CP_UTF8)
        Report(OUTCOME_NOTED, "Tidewell removal report, UTF-8: %s", run.modulePath);
    else
        Report(OUTCOME_NOTED, "Tidewell removal report, code page %u: %s", codePage, run.modulePath);
}

void Report(int outcome, const char* format, ...) {
    if (outcome == OUTCOME_REMOVED) ++counts.removed;
    if (outcome == OUTCOME_KEPT || outcome == OUTCOME_SHARED) ++counts.kept;
    if (outcome == OUTCOME_SHARED) ++counts.sharedKept;
    if (outcome == OUTCOME_QUEUED) ++counts.queued;
    if (outcome == OUTCOME_MISSING) ++counts.missing;
    if (!reportFile) return;
    char line[LINE_SIZE];
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(line, format, arguments);
    va_end(arguments);
    WriteLine(line);
}

void ReportDeletion(const char* kind, int deleted, unsigned int error, const char* answer, const char* path) {
    if (deleted)
        Report(OUTCOME_REMOVED, "%s removed: %s", kind, path);
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        Report(OUTCOME_MISSING, "%s missing: %s", kind, path);
    else
        Report(OUTCOME_KEPT, "%s kept, %s%s (error %u): %s", kind, RefusalOf(error, path), answer, error, path);
}

void ReportFolderKept(unsigned int error, const char* path) {
    if (error == ERROR_DIR_NOT_EMPTY && IsInstallationFolder(path) && !run.silent)
        Report(OUTCOME_NOTED, "folder left to the self-deletion, which removes it once empty: %s", path);
    else if (error == ERROR_DIR_NOT_EMPTY)
        Report(OUTCOME_NOTED, "folder kept, not empty: %s", path);
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        Report(OUTCOME_NOTED, "folder missing: %s", path);
    else
        Report(OUTCOME_NOTED, "folder kept (error %u): %s", error, path);
}

void ReportFolderLeft(int behindLink, const char* path) {
    Report(OUTCOME_NOTED, "folder kept, %s: %s", behindLink ? "behind a link" : "protected", path);
}

void ReportPassedOver(int outcome, const char* kind, const char* folder, const char* name, int state) {
    Report(outcome, "%s passed over, %s: %s\\%s", kind,
           state == PATH_DEPENDS_ON_CURRENT_FOLDER ? "its folder depends on the current folder" : "its path is too long",
           folder, name);
}

void CloseReport() {
    const char* format = counts.queued ? "totals: %u removed, %u kept, %u missing, %u queued for the restart, restart needed"
                                         : "totals: %u removed, %u kept, %u missing";
    Report(OUTCOME_NOTED, format, counts.removed, counts.kept, counts.missing, counts.queued);
    if (reportFile) CloseHandle(reportFile);
    reportFile = nullptr;
}
