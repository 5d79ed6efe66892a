// The stand-in's call accounting (journal, counts, injected failures), handle table, memory
// and last error.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>

#include "fake_internal.h"

namespace fake {
namespace {

struct FailureRule {
    int first;  // call numbers, counted from 1
    int last;
    DWORD error;
};

std::vector<Call> journal;
std::map<std::string, int> callCounts;
std::map<std::string, std::vector<FailureRule>> failureRules;
DWORD lastError;

std::map<HANDLE, std::unique_ptr<detail::KernelObject>> handles;
uintptr_t nextHandle;

struct Block {
    size_t size;
};
std::map<void*, Block> blocks;
size_t compactions;

// Every call the stand-in implements; FailCall refuses other names, so a misspelt name in a
// test cannot silently inject nothing.
const std::set<std::string>& KnownApis() {
    static const std::set<std::string> apis = {
        "CreateFileA", "ReadFile", "WriteFile", "SetFilePointer", "CloseHandle", "DeleteFileA",
        "RemoveDirectoryA", "GetFileAttributesA", "SetFileAttributesA", "FindFirstFileA", "FindNextFileA",
        "FindClose", "GetCurrentDirectoryA", "SetCurrentDirectoryA", "GetWindowsDirectoryA",
        "GetSystemDirectoryA", "GetShortPathNameA", "GetFullPathNameA", "GetTempPathA", "GetModuleFileNameA",
        "GetEnvironmentVariableA", "LocalAlloc", "LocalFree", "LocalCompact", "GetVersionExA", "LoadLibraryA", "LoadLibraryExA",
        "GetProcAddress", "FreeLibrary", "CreateProcessA", "RegOpenKeyA", "RegOpenKeyExA", "RegCloseKey",
        "RegQueryValueExA", "RegSetValueExA", "RegDeleteValueA", "RegDeleteKeyA", "RegEnumKeyExA", "NtDeleteKey",
        "RegisterClassA", "CreateWindowExA", "DestroyWindow", "GetMessageA", "DispatchMessageA",
        "PostQuitMessage", "DefWindowProcA", "LoadIconA", "LoadCursorA", "MessageBoxA", "DialogBoxParamA",
        "EndDialog", "SetWindowTextA", "SetDlgItemTextA", "SendMessageA", "SendMessageTimeoutA", "GetWindow", "GetSysColor",
        "GetStockObject", "CreateSolidBrush", "DeleteObject", "SetBkColor", "GetObjectA",
        "CreateFontIndirectA", "RemoveFontResourceA", "OleInitialize", "OleUninitialize", "CoTaskMemFree",
        "SHGetSpecialFolderLocation", "SHGetPathFromIDListA", "DllUnregisterServer", "CreateDirectoryA",
        "SetEnvironmentVariableA", "GetTempPath2A", "SystemFunction036", "CharToOemBuffA",
        "GetFileInformationByHandle", "SetEndOfFile", "OpenProcessToken", "GetTokenInformation", "IsWow64Process",
        "ExpandEnvironmentStringsA", "SHGetFolderPathA", "MoveFileExA", "GetFileSize", "OpenProcess", "PostMessageA",
        "ExitWindowsEx", "RegNotifyChangeKeyValue", "CreateEventA",
    };
    return apis;
}

}  // namespace

std::string Call::Line() const {
    std::string line = api;
    if (!subject.empty()) line += " " + subject;
    line += ok ? " -> ok" : " -> error " + std::to_string(error);
    return line;
}

const std::vector<Call>& Journal() { return journal; }

std::vector<std::string> Calls(const std::vector<std::string>& apis) {
    std::vector<std::string> lines;
    for (const Call& call : journal)
        for (const std::string& api : apis)
            if (call.api == api) lines.push_back(call.Line());
    return lines;
}

std::vector<std::string> DestructiveCalls() {
    return Calls({"DeleteFileA", "RemoveDirectoryA", "SetFileAttributesA", "RegDeleteKeyA", "NtDeleteKey", "RegDeleteValueA",
                  "RegSetValueExA", "RemoveFontResourceA", "CreateProcessA", "MoveFileExA", "ExitWindowsEx"});
}

void ClearJournal() { journal.clear(); }

void FailCall(const std::string& api, int nth, int times, DWORD error) {
    if (!KnownApis().count(api)) throw std::invalid_argument("the stand-in has no call named " + api);
    int first = callCounts[api] + nth;
    int last = times == kFailForever ? INT_MAX : first + times - 1;
    failureRules[api].push_back({first, last, error});
}

int CallCount(const std::string& api) {
    auto found = callCounts.find(api);
    return found == callCounts.end() ? 0 : found->second;
}

size_t LiveBlocks() { return blocks.size(); }
size_t CompactCount() { return compactions; }
size_t OpenHandles() { return handles.size(); }

void Reset() {
    journal.clear();
    callCounts.clear();
    failureRules.clear();
    lastError = 0;
    handles.clear();
    nextHandle = 0x1000;
    detail::ResetMemory();
    detail::ResetFiles();
    detail::ResetRegistry();
    detail::ResetUser();
    detail::ResetSystem();
}

namespace detail {

bool Injected(const char* api, DWORD* error) {
    int number = ++callCounts[api];
    auto rules = failureRules.find(api);
    if (rules == failureRules.end()) return false;
    for (const FailureRule& rule : rules->second)
        if (number >= rule.first && number <= rule.last) {
            *error = rule.error;
            return true;
        }
    return false;
}

void Record(const char* api, const std::string& subject, bool ok, DWORD error) {
    journal.push_back({api, subject, ok, error});
}

// As the file system compares names: ASCII letters of either case alike (never the trail byte
// of a double-byte character), and in UTF-8 the Greek and Cyrillic ones too (the basic
// letters, enough for the tests' names).
std::string Upper(const std::string& text) {
    std::string upper = text;
    for (size_t i = 0; i < upper.size(); ++i) {
        char& c = upper[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        // The trail byte of a double-byte character is never a letter.
        if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < upper.size()) {
            ++i;
            continue;
        }
        if (GetACP() != CP_UTF8 || i + 1 >= upper.size()) continue;
        unsigned char lead = static_cast<unsigned char>(c), trail = static_cast<unsigned char>(upper[i + 1]);
        if ((lead == 0xCE || lead == 0xD0) && trail >= 0xB0 && trail <= 0xBF && (lead == 0xD0 || trail >= 0xB1)) {
            upper[i + 1] = static_cast<char>(trail - 0x20);
        } else if ((lead == 0xCF && trail >= 0x80 && trail <= 0x89) || (lead == 0xD1 && trail >= 0x80 && trail <= 0x8F)) {
            upper[i] = static_cast<char>(lead - 1);
            upper[i + 1] = static_cast<char>(trail + 0x20);
        }
    }
    return upper;
}

std::string Text(const char* text) { return text ? std::string(text) : std::string("(null)"); }

HANDLE AddHandle(std::unique_ptr<KernelObject> object) {
    HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
    nextHandle += 4;
    handles[handle] = std::move(object);
    return handle;
}

KernelObject* FindHandle(HANDLE handle) {
    auto found = handles.find(handle);
    return found == handles.end() ? nullptr : found->second.get();
}

bool RemoveHandle(HANDLE handle) { return handles.erase(handle) > 0; }

void ResetMemory() {
    for (auto& entry : blocks) std::free(entry.first);
    blocks.clear();
    compactions = 0;
}

}  // namespace detail
}  // namespace fake

using namespace fake::detail;

DWORD WINAPI GetLastError() { return fake::lastError; }
void WINAPI SetLastError(DWORD code) { fake::lastError = code; }

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    DWORD error;
    if (Injected("LocalAlloc", &error)) return Fail("LocalAlloc", std::to_string(bytes), ERROR_NOT_ENOUGH_MEMORY, HLOCAL(nullptr));
    void* block = std::malloc(bytes ? bytes : 1);
    if (flags & LMEM_ZEROINIT)
        std::memset(block, 0, bytes);
    else
        std::memset(block, 0xCD, bytes);  // raw blocks hold no zeros a caller could rely on
    fake::blocks[block] = {bytes};
    return Succeed("LocalAlloc", std::to_string(bytes), block);
}

HLOCAL WINAPI LocalFree(HLOCAL block) {
    DWORD error;
    Injected("LocalFree", &error);
    auto found = fake::blocks.find(block);
    if (found == fake::blocks.end()) throw std::logic_error("LocalFree of a block that is not allocated");
    std::free(block);
    fake::blocks.erase(found);
    return Succeed("LocalFree", "", HLOCAL(nullptr));
}

SIZE_T WINAPI LocalCompact(UINT) {
    DWORD error;
    Injected("LocalCompact", &error);
    ++fake::compactions;
    return Succeed("LocalCompact", "", SIZE_T(0x100000));
}

BOOL WINAPI CloseHandle(HANDLE object) {
    DWORD error;
    if (Injected("CloseHandle", &error)) return Fail("CloseHandle", "", error, FALSE);
    KernelObject* found = FindHandle(object);
    if (!found) return Fail("CloseHandle", "", ERROR_INVALID_HANDLE, FALSE);
    found->Closed();
    RemoveHandle(object);
    return Succeed("CloseHandle", "", TRUE);
}
