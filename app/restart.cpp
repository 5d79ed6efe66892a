// The restart that finishes a removal whose files wait for it.
#include "app/restart.h"
#include "base/run_context.h"
#include "base/system_call.h"

namespace {

// Planned, for an application's installation (SHTDN_REASON_FLAG_PLANNED, MAJOR_APPLICATION,
// MINOR_INSTALLATION); the 95 family passes the reason over.
const DWORD RESTART_REASON = 0x80040002;

// The token calls are found at run time: the 95 family's advapi32 has no tokens.
void EnableShutdownPrivilege() {
    typedef BOOL(WINAPI * OpenTokenCall)(HANDLE, DWORD, HANDLE*);
    typedef BOOL(WINAPI * LookupCall)(LPCSTR, LPCSTR, LUID*);
    typedef BOOL(WINAPI * AdjustCall)(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*);
    OpenTokenCall openToken = reinterpret_cast<OpenTokenCall>(SystemCall("advapi32.dll", "OpenProcessToken"));
    LookupCall lookup = reinterpret_cast<LookupCall>(SystemCall("advapi32.dll", "LookupPrivilegeValueA"));
    AdjustCall adjust = reinterpret_cast<AdjustCall>(SystemCall("advapi32.dll", "AdjustTokenPrivileges"));
    HANDLE token;
    if (!openToken || !lookup || !adjust || !openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (lookup(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        adjust(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

}  // namespace

int RestartWindows() {
    if (run.isNT) EnableShutdownPrivilege();
    return ExitWindowsEx(EWX_REBOOT, RESTART_REASON) != 0;
}
