// Shared parts of the Win32 stand-in: call accounting, the handle table, reset hooks.
#pragma once
#include "fake_win32.h"

#include <memory>
#include <string>

namespace fake::detail {

// Counts the call and tells whether an injected failure hits it (its code in *error).
bool Injected(const char* api, DWORD* error);
void Record(const char* api, const std::string& subject, bool ok, DWORD error = 0);
// Sets the last error and records the call as failed; returns the value to give back.
template <typename T>
T Fail(const char* api, const std::string& subject, DWORD error, T result) {
    SetLastError(error);
    Record(api, subject, false, error);
    return result;
}
// The last error stays as it was: the platform does not promise to clear it on success.
template <typename T>
T Succeed(const char* api, const std::string& subject, T result) {
    Record(api, subject, true);
    return result;
}

std::string Upper(const std::string& text);
std::string Text(const char* text);  // "(null)" for a null pointer

// Kernel objects behind HANDLE values.
struct KernelObject {
    virtual ~KernelObject() = default;
    virtual void Closed() {}
};
HANDLE AddHandle(std::unique_ptr<KernelObject> object);
KernelObject* FindHandle(HANDLE handle);
bool RemoveHandle(HANDLE handle);

// The process runs under WOW64 (fake::SetWow64).
bool Wow64();

// Per-area resets, called by fake::Reset().
void ResetMemory();
void ResetFiles();
void ResetRegistry();
void ResetUser();
void ResetSystem();

// Ntdll's registry calls, for GetProcAddress on the NT family; null for any other name.
FARPROC NtdllEntry(const std::string& name);

// The files area's view of the module path, for GetModuleFileNameA's checks.
std::string FullPath(const std::string& path);

// RegNotifyChangeKeyValue, for GetProcAddress on the NT family.
FARPROC NotifyEntry();
// Events (CreateEventA): whether the handle is one, and setting one.
bool IsEvent(HANDLE handle);
void SignalEvent(HANDLE handle);

// GetTempPath2A where the test gave the system one; null otherwise.
FARPROC TempPath2Entry();

}  // namespace fake::detail
