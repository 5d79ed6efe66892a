// Installed files: shared counts, fonts, self-registering modules and refused deletions.
#include "base/memory.h"
#include "base/run_context.h"
#include "base/system_call.h"
#include "base/text.h"
#include "log/catalogue.h"
#include "log/log_format.h"
#include "removal/consent.h"
#include "removal/named_folder.h"
#include "removal/package_links.h"
#include "removal/phases.h"
#include "removal/record_paths.h"
#include "removal/report.h"
#include "removal/restart_queue.h"

namespace {

const char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
// Milliseconds the font-change broadcast waits for each window that is not hung.
enum { FONT_CHANGE_TIMEOUT = 1000 };

// Failures that mean the file is there but may not go now (read-only, held open, locked,
// write-protected medium), as opposed to a file that is missing or a path that is wrong: the
// codes the platform gives for a refused deletion on local, removable and network drives alike.
int IsAccessDenied(DWORD code) {
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_FAIL_I24:
    case ERROR_DRIVE_LOCKED:
    case ERROR_SEEK_ON_DEVICE:
    case ERROR_NOT_LOCKED:
    case ERROR_LOCK_FAILED:
        return 1;
    default:
        // The run from ERROR_WRITE_PROTECT to ERROR_SHARING_BUFFER_EXCEEDED, sharing and lock
        // violations among them.
        return code >= ERROR_WRITE_PROTECT && code <= ERROR_SHARING_BUFFER_EXCEEDED;
    }
}

// The file's use count in the open SharedDLLs key; 0 when it has none. A value with fewer than
// four bytes of data keeps the rest of the preset count.
int QuerySharedCount(HKEY key, const char* path, DWORD* count, DWORD* type, DWORD* size) {
    *count = 1;
    *type = REG_NONE;
    *size = sizeof *count;
    return RegQueryValueExA(key, path, nullptr, type, reinterpret_cast<BYTE*>(count), size) == ERROR_SUCCESS;
}

// Without the right to change the counts, a count above 1 still says that another package uses
// the file: it stays, and so does its count.
int IsUsedByOthers(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    DWORD count, type, size;
    int used = QuerySharedCount(key, path, &count, &type, &size) && count > 1;
    RegCloseKey(key);
    if (used) Report(OUTCOME_SHARED, "file kept, other packages use it (count %u, not changed): %s", count, path);
    return used;
}

// Counts the file's use down in SharedDLLs; 1 when the file is to go. A count that stays
// above zero keeps the file without a question; otherwise (count run out, no count, no key)
// the user decides, and the count's value goes with the file.
int SettleSharedCount(const char* path) {
    HKEY key = nullptr;
    int keyOpen = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS;
    if (keyOpen) {
        DWORD count, type, size;
        if (QuerySharedCount(key, path, &count, &type, &size)) {
            DWORD before = count;
            if (count > 0) --count;
            RegSetValueExA(key, path, 0, type, reinterpret_cast<const BYTE*>(&count), size);
            if (count > 0) {
                RegCloseKey(key);
                Report(OUTCOME_SHARED, "file kept, other packages use it (count %u to %u): %s", before, count, path);
                return 0;
            }
            Report(OUTCOME_NOTED, "shared file, no other package uses it (count %u to %u): %s", before, count, path);
        }
    } else if (IsUsedByOthers(path)) {
        return 0;
    }
    const char* why;
    int asked;
    int proceed = AgreesToRemoveShared(path, &why, &asked);
    // While the question was on screen the file's folders may have been replaced.
    if (asked) LetGoOfHeldLevels();
    if (proceed && keyOpen) RegDeleteValueA(key, path);
    if (keyOpen) RegCloseKey(key);
    if (!proceed) Report(OUTCOME_KEPT, "file kept, shared, %s: %s", why, path);
    return proceed;
}

// Its dependencies come from its own folder and the system's, never from the current folder or
// PATH; the 95 family has only the older way, and the two ways cannot be combined.
void UnregisterModule(const char* path) {
    DWORD search = SystemCall("kernel32.dll", "AddDllDirectory")
                       ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                       : LOAD_WITH_ALTERED_SEARCH_PATH;
    HMODULE module = LoadLibraryExA(path, nullptr, search);
    if (reinterpret_cast<ULONG_PTR>(module) < 32) {
        Report(OUTCOME_NOTED, "module not loaded: %s", path);
        return;
    }
    FARPROC unregister = GetProcAddress(module, "DllUnregisterServer");
    if (unregister) unregister();  // its result changes nothing here
    FreeLibrary(module);
    Report(OUTCOME_NOTED, "module %s: %s", unregister ? "unregistered" : "without DllUnregisterServer", path);
}

// 1, with the file reported kept, when a link stands on the file's path: behind one, the file
// is not the package's, nor its count, its font or its module.
int KeptBehindLink(const char* path) {
    if (!IsFileBehindLink(path)) return 0;
    Report(OUTCOME_KEPT, "file kept, behind a link: %s", path);
    return 1;
}

void ClearReadOnly(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

// 1 when the file is gone; otherwise the platform's reason.
int DeleteNow(const char* path, DWORD* error) {
    if (DeleteFileA(path)) return 1;
    *error = GetLastError();
    return 0;
}

// Clears the read-only attribute and deletes the file again. 1 when that settled it: the file is
// gone, or it is still refused because it is in use and has gone to the restart's queue.
int DeleteAgain(const char* path, DWORD* error, const char* answer) {
    ClearReadOnly(path);
    if (DeleteNow(path, error)) {
        ReportDeletion("file", 1, 0, answer, path);
        return 1;
    }
    if (!IsAccessDenied(*error) || !IsFileInUse(path, *error)) return 0;
    QueueFileForRestart(path, *error, answer, 1);
    return 1;
}

// Deletes the file; a refused deletion is settled by the run's answer (see removal/consent.h):
// a file tried again and still refused because it is in use goes to the restart's queue, and a
// plain Yes asks again while it is refused for another reason.
void DeleteWithConsent(const char* path) {
    DWORD error = 0;
    int deleted = DeleteNow(path, &error);
    const char* answer = "";
    while (!deleted && IsAccessDenied(error)) {
        int asked;
        int decision = AnswerRefusedFile(path, &answer, &asked);
        // While the question was on screen the file's folders may have been replaced.
        if (asked) LetGoOfHeldLevels();
        if (decision == REFUSED_KEEP) break;
        if (decision == REFUSED_QUEUE) {
            if (!IsFileInUse(path, error)) break;
            QueueFileForRestart(path, error, answer, 1);
            return;
        }
        if (asked && KeptBehindLink(path)) return;
        if (DeleteAgain(path, &error, answer)) return;
        if (decision == REFUSED_RETRY) break;
    }
    ReportDeletion("file", deleted, error, answer, path);
}

void RemoveInstalledFile(const FileRecord* record, const RecordPath* resolved) {
    if (resolved->state != PATH_RESOLVED) {
        ReportPassedOver(OUTCOME_KEPT, "file", record->folder, record->name, resolved->state);
        return;
    }
    const char* path = resolved->path;
    if (!record->name[0]) {
        // The phase makes no folder current, and leaves the current one where it is.
        RemoveNamedFolder(path, 0);
        return;
    }
    if (KeptBehindLink(path)) return;

    // The shared file's question, if it was asked, let go of its folders: they are looked at again.
    if ((record->flags & FILE_SHARED) && (!SettleSharedCount(path) || KeptBehindLink(path))) return;
    // Every resolved path is absolute, so the system unloads this very file, not another of its
    // name found along its search paths. A window that does not answer cannot hold the run: the
    // broadcast passes over hung windows and waits a second at most for each other one.
    if (record->flags & FILE_FONT) {
        Report(OUTCOME_NOTED, "font %s: %s", RemoveFontResourceA(path) ? "unloaded" : "not unloaded", path);
        SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, FONT_CHANGE_TIMEOUT, nullptr);
    }
    if (record->flags & FILE_SELFREG) UnregisterModule(path);
    DeleteWithConsent(path);
}

}  // namespace

void RemoveInstalledFiles() {
    ForgetLinkChecks();
    for (unsigned int i = 0; i < run.fileCount; ++i) RemoveInstalledFile(run.files[i], FileRecordPath(i));
    ForgetLinkChecks();
}
