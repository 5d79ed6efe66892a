// Installed files: shared counts, fonts, self-registering modules and refused deletions.
#include "app/memory.h"
#include "app/run_context.h"
#include "app/text.h"
#include "log/catalogue.h"
#include "log/log_format.h"
#include "removal/package_links.h"
#include "removal/phases.h"
#include "removal/protected_folders.h"
#include "removal/resolve_folder.h"
#include "resources/resource.h"
#include "ui/readonly_dialog.h"

namespace {

const char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Failures that mean the file is there but may not go now (read-only, held open, locked,
// write-protected medium), as opposed to a file that is missing or a path that is wrong.
int IsAccessDenied(DWORD code) {
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case 65:   // ERROR_NETWORK_ACCESS_DENIED
    case 82:   // ERROR_CANNOT_MAKE
    case 83:   // ERROR_FAIL_I24
    case 108:  // ERROR_DRIVE_LOCKED
    case 132:  // ERROR_SEEK_ON_DEVICE
    case 158:  // ERROR_NOT_LOCKED
    case 167:  // ERROR_LOCK_FAILED
        return 1;
    default:
        // ERROR_WRITE_PROTECT to ERROR_SHARING_BUFFER_EXCEEDED, sharing and lock violations among them.
        return code >= 19 && code <= 36;
    }
}

// 1 when the user agrees to remove a shared file nobody else uses; also when the question
// cannot be worded for want of memory.
int AskSharedUnused(const char* path) {
    char* text;
    if (!AllocZeroed(MESSAGE_SIZE, &text)) return 1;
    FormatMessageText(text, MSG_SHARED_UNUSED, path);
    int agreed = ShowMessage(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
    FreeAndNull(&text);
    return agreed;
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
            if (count > 0) --count;
            RegSetValueExA(key, path, 0, type, reinterpret_cast<const BYTE*>(&count), size);
            if (count > 0) {
                RegCloseKey(key);
                return 0;
            }
        }
    } else if (IsUsedByOthers(path)) {
        return 0;
    }
    int proceed = AskSharedUnused(path);
    if (proceed && keyOpen) RegDeleteValueA(key, path);
    if (keyOpen) RegCloseKey(key);
    return proceed;
}

void UnregisterModule(const char* path) {
    HMODULE module = LoadLibraryA(path);
    if (reinterpret_cast<ULONG_PTR>(module) < 32) return;
    FARPROC unregister = GetProcAddress(module, "DllUnregisterServer");
    if (unregister) unregister();  // its result changes nothing here
    FreeLibrary(module);
}

void ClearReadOnly(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

// Deletes the file; a refused deletion is settled by the run's answer policy or by asking.
// A plain Yes retries and, while the deletion is still refused, asks again.
void DeleteWithConsent(const char* path) {
    if (DeleteFileA(path)) return;
    while (IsAccessDenied(GetLastError())) {
        if (run.readOnlyPolicy == 0) return;
        if (run.readOnlyPolicy == 1) {
            ClearReadOnly(path);
            DeleteFileA(path);
            return;
        }
        switch (AskReadOnly(path)) {
        case IDYES:
            ClearReadOnly(path);
            if (DeleteFileA(path)) return;
            break;
        case IDC_YESALL:
            run.readOnlyPolicy = 1;
            ClearReadOnly(path);
            DeleteFileA(path);
            return;
        case IDC_NOALL:
            run.readOnlyPolicy = 0;
            return;
        default:  // No, Cancel, or no dialog: this file stays
            return;
        }
    }
}

void RemoveInstalledFile(const FileRecord* record) {
    char* path = run.pathBuf;
    // A folder the rule skips, or a path that would not fit the buffer (never cut: a shortened
    // path could name some other file), passes the record over whole.
    if (!ResolveFolder(record->folder, path)) return;
    if (!record->name[0]) {
        // Only an empty folder goes, and never one of the system's own: a log may name the
        // desktop or the start menu as a folder of the package.
        if (!IsFolderBehindLink(path) && !IsProtectedFolder(path)) RemoveDirectoryA(path);
        return;
    }
    if (!AppendBackslash(path) || !AppendText(path, PATH_SIZE, record->name)) return;
    // Behind a link, the file is not the package's: its count, its font or its module no more.
    if (IsFileBehindLink(path)) return;

    if ((record->flags & FILE_SHARED) && !SettleSharedCount(path)) return;
    // Every resolved path is absolute, so the system unloads this very file, not another of its
    // name found along its search paths.
    if (record->flags & FILE_FONT) {
        RemoveFontResourceA(path);
        SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
    }
    if (record->flags & FILE_SELFREG) UnregisterModule(path);
    DeleteWithConsent(path);
}

}  // namespace

void RemoveInstalledFiles() {
    ForgetLinkChecks();
    for (unsigned int i = 0; i < run.fileCount; ++i) RemoveInstalledFile(run.files[i]);
}
