// Installed files: shared counts, fonts, self-registering modules and refused deletions.
#include "app/memory.h"
#include "app/run_context.h"
#include "app/text.h"
#include "log/catalogue.h"
#include "log/log_format.h"
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

// Counts the file's use down in SharedDLLs; 1 when the file is to go. A count that stays
// above zero keeps the file without a question; otherwise (count run out, no count, no key)
// the user decides, and the count's value goes with the file.
int SettleSharedCount(const char* path) {
    HKEY key = nullptr;
    int keyOpen = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS;
    if (keyOpen) {
        // A value with fewer than four bytes of data keeps the rest of the preset count.
        DWORD count = 1;
        DWORD type = REG_NONE;
        DWORD size = sizeof count;
        if (RegQueryValueExA(key, path, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) == ERROR_SUCCESS) {
            if (count > 0) --count;
            RegSetValueExA(key, path, 0, type, reinterpret_cast<const BYTE*>(&count), size);
            if (count > 0) {
                RegCloseKey(key);
                return 0;
            }
        }
    }
    int proceed = AskSharedUnused(path);
    if (proceed && keyOpen) RegDeleteValueA(key, path);
    if (keyOpen) RegCloseKey(key);
    return proceed;
}

// A drive and its root (C:\...) or a network share (\\server\share\...).
int IsFullPath(const char* path) {
    if (path[0] == '\\' && path[1] == '\\') return 1;
    char drive = ToUpperAscii(path[0]);
    return drive >= 'A' && drive <= 'Z' && path[1] == ':' && path[2] == '\\';
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
    // A path that would not fit the buffer is never cut (a shortened path could name some other
    // file): the record is passed over whole.
    if (!ResolveFolder(record->folder, path)) return;
    if (!record->name[0]) {
        // Only an empty folder goes, and never one of the system's own: a log may name the
        // desktop or the start menu as a folder of the package.
        if (!IsProtectedFolder(path)) RemoveDirectoryA(path);
        return;
    }
    if (!AppendBackslash(path) || !AppendText(path, PATH_SIZE, record->name)) return;

    if ((record->flags & FILE_SHARED) && !SettleSharedCount(path)) return;
    // The platform looks a font or module named by a relative path up along its search paths,
    // where it may find another file of that name: only the file itself is unloaded.
    if ((record->flags & FILE_FONT) && IsFullPath(path)) {
        RemoveFontResourceA(path);
        SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
    }
    if ((record->flags & FILE_SELFREG) && IsFullPath(path)) UnregisterModule(path);
    DeleteWithConsent(path);
}

}  // namespace

void RemoveInstalledFiles() {
    for (unsigned int i = 0; i < run.fileCount; ++i) RemoveInstalledFile(run.files[i]);
}
