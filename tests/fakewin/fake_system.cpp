// The stand-in's system services: the version, the environment, loadable modules, process
// creation, the shell's special folders, OLE, and the log offset of the program image.
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>

#include "fake_internal.h"
#include "log/loader.h"

using namespace fake::detail;

namespace fake {
namespace {

DWORD platformId;
UINT codePage;
std::map<std::string, std::string> environment;  // upper-case name -> value
int oleInits;
int oleUninits;
uint32_t logOffset;

struct Module {
    std::string path;
    std::function<void()> onUnregister;
};
std::map<std::string, Module> modules;  // upper-case full path
std::map<HMODULE, std::string> loaded;  // handle -> module key
uintptr_t nextModule;
DWORD lastLoadFlags;
const HMODULE kKernel = reinterpret_cast<HMODULE>(0x7ff00000);
const HMODULE kNtdll = reinterpret_cast<HMODULE>(0x7fe00000);
BOOL WINAPI DllSearchEntry() { return TRUE; }

std::vector<StartedProcess> started;
std::function<bool(const std::string&)> starter;

std::map<int, std::string> specialFolders;
std::map<const void*, int> idLists;  // outstanding lists -> csidl

struct ProcessObject : KernelObject {};
struct EventObject : KernelObject {
    bool manualReset;
    bool signalled;
};
struct TokenObject : KernelObject {};

std::string accountSid;
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

// The SID's binary form, as the token hands it out: "S-R-A-s1-s2...".
std::vector<BYTE> SidBytes(const std::string& text) {
    std::vector<uint64_t> parts;
    for (size_t at = 2; at <= text.size();) {
        size_t end = text.find('-', at);
        if (end == std::string::npos) end = text.size();
        parts.push_back(std::stoull(text.substr(at, end - at)));
        at = end + 1;
    }
    std::vector<BYTE> sid{static_cast<BYTE>(parts[0]), static_cast<BYTE>(parts.size() - 2)};
    for (int shift = 40; shift >= 0; shift -= 8) sid.push_back(static_cast<BYTE>(parts[1] >> shift));
    for (size_t i = 2; i < parts.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8) sid.push_back(static_cast<BYTE>(parts[i] >> shift));
    return sid;
}

BOOL WINAPI OpenProcessTokenEntry(HANDLE process, DWORD access, HANDLE* token) {
    const char* api = "OpenProcessToken";
    std::string subject = std::to_string(access);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    if (process != kCurrentProcess) return Fail(api, subject, ERROR_INVALID_HANDLE, FALSE);
    *token = AddHandle(std::make_unique<TokenObject>());
    return Succeed(api, subject, TRUE);
}

// The path of a shell folder, which need not exist when the flag says not to look (0x4000).
HRESULT WINAPI FolderPathEntry(HWND, int folder, HANDLE, DWORD, LPSTR path) {
    const char* api = "SHGetFolderPathA";
    std::string subject = std::to_string(folder);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, E_FAIL);
    auto found = specialFolders.find(folder & ~0x4000);
    if (found == specialFolders.end() || found->second.empty() || (!(folder & 0x4000) && !fake::Exists(found->second)))
        return Fail(api, subject, ERROR_FILE_NOT_FOUND, E_FAIL);
    std::strncpy(path, found->second.c_str(), MAX_PATH - 1);
    path[MAX_PATH - 1] = 0;
    return Succeed(api, subject, HRESULT(S_OK));
}

BOOL WINAPI IsWow64ProcessEntry(HANDLE process, BOOL* wow64) {
    if (process != kCurrentProcess) return Fail("IsWow64Process", "", ERROR_INVALID_HANDLE, FALSE);
    *wow64 = Wow64();
    return Succeed("IsWow64Process", "", TRUE);
}

BOOL WINAPI GetTokenInformationEntry(HANDLE token, int kind, void* buffer, DWORD size, DWORD* needed) {
    const char* api = "GetTokenInformation";
    std::string subject = std::to_string(kind);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    if (!dynamic_cast<TokenObject*>(FindHandle(token))) return Fail(api, subject, ERROR_INVALID_HANDLE, FALSE);
    if (kind != TokenUser) return Fail(api, subject, ERROR_INVALID_PARAMETER, FALSE);
    std::vector<BYTE> sid = SidBytes(accountSid);
    *needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
    if (size < *needed) return Fail(api, subject, ERROR_INSUFFICIENT_BUFFER, FALSE);
    auto* user = static_cast<TOKEN_USER*>(buffer);
    BYTE* at = static_cast<BYTE*>(buffer) + sizeof(TOKEN_USER);
    std::memcpy(at, sid.data(), sid.size());
    user->User.Sid = at;
    user->User.Attributes = 0;
    return Succeed(api, subject, TRUE);
}

// The entry points GetProcAddress hands out: one per loaded module slot, so each call reaches
// its own module's callback. The slot is the module handle's index.
constexpr int kEntrySlots = 8;
std::function<void()> entryCallbacks[kEntrySlots];

template <int Slot>
HRESULT WINAPI UnregisterEntry() {
    Record("DllUnregisterServer", std::to_string(Slot), true);
    if (entryCallbacks[Slot]) entryCallbacks[Slot]();
    return S_OK;
}

template <int... Slots>
FARPROC EntryFor(int slot, std::integer_sequence<int, Slots...>) {
    static const FARPROC entries[] = {reinterpret_cast<FARPROC>(&UnregisterEntry<Slots>)...};
    return entries[slot];
}

unsigned char nextRandom;  // the random source counts up from 0x5a after each reset

BOOLEAN WINAPI SystemFunction036(void* buffer, ULONG size) {
    unsigned char& next = nextRandom;
    DWORD error;
    if (Injected("SystemFunction036", &error)) return Fail("SystemFunction036", "", error, BOOLEAN(0));
    for (ULONG i = 0; i < size; ++i) static_cast<unsigned char*>(buffer)[i] = next++;
    return Succeed("SystemFunction036", "", BOOLEAN(1));
}

// What GetProcAddress finds in the system's modules: the newer calls, on NT only.
FARPROC SystemEntry(const std::string& name) {
    if (platformId != VER_PLATFORM_WIN32_NT) return nullptr;
    if (name == "AddDllDirectory" || name == "SetDefaultDllDirectories" || name == "SetDllDirectoryA")
        return reinterpret_cast<FARPROC>(&DllSearchEntry);
    if (name == "GetTempPath2A") return TempPath2Entry();
    if (name == "IsWow64Process") return reinterpret_cast<FARPROC>(&IsWow64ProcessEntry);
    if (name == "SHGetFolderPathA") return reinterpret_cast<FARPROC>(&FolderPathEntry);
    if (name == "OpenProcessToken") return reinterpret_cast<FARPROC>(&OpenProcessTokenEntry);
    if (name == "GetTokenInformation") return reinterpret_cast<FARPROC>(&GetTokenInformationEntry);
    if (name == "SystemFunction036") return reinterpret_cast<FARPROC>(&SystemFunction036);
    if (name == "RegNotifyChangeKeyValue") return NotifyEntry();
    return nullptr;
}

}  // namespace

void SetPlatformId(DWORD id) { platformId = id; }
void SetCodePage(UINT page) { codePage = page; }
std::string Environment(const std::string& name) {
    auto found = environment.find(Upper(name));
    return found == environment.end() ? "" : found->second;
}
void SetAccountSid(const std::string& sid) { accountSid = sid; }
void SetEnvironment(const std::string& name, const std::string& value) { environment[Upper(name)] = value; }
int OleInitCount() { return oleInits; }
int OleUninitCount() { return oleUninits; }
void SetLogOffset(uint32_t offset) { logOffset = offset; }

void AddModule(const std::string& path, std::function<void()> onUnregister) {
    modules[Upper(FullPath(path))] = {path, std::move(onUnregister)};
}
int LoadedModules() { return static_cast<int>(loaded.size()); }
DWORD LastLoadFlags() { return lastLoadFlags; }

const std::vector<StartedProcess>& StartedProcesses() { return started; }
void SetProcessStarter(std::function<bool(const std::string&)> decide) { starter = std::move(decide); }

void SetSpecialFolder(int csidl, const std::string& path) { specialFolders[csidl] = path; }
size_t OutstandingIdLists() { return idLists.size(); }
int FolderLookups() { return CallCount("SHGetSpecialFolderLocation") + CallCount("SHGetFolderPathA") + CallCount("RegQueryValueExA"); }

namespace detail {

bool IsEvent(HANDLE handle) { return dynamic_cast<EventObject*>(FindHandle(handle)) != nullptr; }

void SignalEvent(HANDLE handle) {
    if (auto* event = dynamic_cast<EventObject*>(FindHandle(handle))) event->signalled = true;
}

void ResetSystem() {
    platformId = VER_PLATFORM_WIN32_NT;
    codePage = 1252;
    accountSid = "S-1-5-21-7-8-9-1001";
    environment.clear();
    nextRandom = 0x5a;
    oleInits = oleUninits = 0;
    logOffset = 0;
    modules.clear();
    loaded.clear();
    nextModule = 0x10000;
    lastLoadFlags = 0;
    for (auto& callback : entryCallbacks) callback = nullptr;
    started.clear();
    starter = nullptr;
    // A machine has its shell folders: the guard protects every path when one of them cannot
    // be had. These lie where no test puts anything; tests that need them elsewhere set them.
    const std::string user = "C:\\Documents and Settings\\User";
    const std::string all = "C:\\Documents and Settings\\All Users";
    specialFolders = {{CSIDL_DESKTOP, user + "\\Desktop"},
                      {CSIDL_FONTS, "C:\\WINDOWS\\Fonts"},
                      {CSIDL_PROGRAMS, user + "\\Start Menu\\Programs"},
                      {CSIDL_STARTMENU, user + "\\Start Menu"},
                      {CSIDL_STARTUP, user + "\\Start Menu\\Programs\\Startup"},
                      {CSIDL_COMMON_DESKTOPDIRECTORY, all + "\\Desktop"},
                      {CSIDL_COMMON_STARTMENU, all + "\\Start Menu"},
                      {CSIDL_COMMON_PROGRAMS, all + "\\Start Menu\\Programs"},
                      {CSIDL_COMMON_STARTUP, all + "\\Start Menu\\Programs\\Startup"}};
    for (auto& list : idLists) std::free(const_cast<void*>(list.first));
    idLists.clear();
}

}  // namespace detail
}  // namespace fake

using namespace fake;

unsigned int ReadLogOffsetField() { return logOffset; }

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    const char* api = "GetVersionExA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, FALSE);
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return Fail(api, "", ERROR_INSUFFICIENT_BUFFER, FALSE);
    info->dwMajorVersion = platformId == VER_PLATFORM_WIN32_NT ? 5 : 4;
    info->dwPlatformId = platformId;
    return Succeed(api, std::to_string(platformId), TRUE);
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    const char* api = "GetEnvironmentVariableA";
    std::string subject = Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, DWORD(0));
    auto found = environment.find(Upper(subject));
    if (found == environment.end()) return Fail(api, subject, 203 /* ERROR_ENVVAR_NOT_FOUND */, DWORD(0));
    const std::string& value = found->second;
    if (value.size() + 1 > size) return Succeed(api, subject, static_cast<DWORD>(value.size() + 1));
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    return Succeed(api, subject, static_cast<DWORD>(value.size()));
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR buffer, DWORD size) {
    const char* api = "ExpandEnvironmentStringsA";
    std::string text = Text(source);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, text, error, DWORD(0));
    // %NAME% of a variable that is set becomes its value; anything else stays as written.
    std::string expanded;
    for (size_t at = 0; at < text.size();) {
        size_t end = text[at] == '%' ? text.find('%', at + 1) : std::string::npos;
        auto found = end == std::string::npos ? environment.end() : environment.find(Upper(text.substr(at + 1, end - at - 1)));
        if (found == environment.end()) {
            expanded += text[at++];
        } else {
            expanded += found->second;
            at = end + 1;
        }
    }
    DWORD needed = static_cast<DWORD>(expanded.size() + 1);
    if (needed <= size) std::memcpy(buffer, expanded.c_str(), needed);
    return Succeed(api, text, needed);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) { return name && Upper(name) == "NTDLL.DLL" ? kNtdll : kKernel; }
HANDLE WINAPI GetCurrentProcess() { return kCurrentProcess; }

DWORD WINAPI GetCurrentProcessId() { return 4242; }
DWORD WINAPI GetCurrentThreadId() { return 4343; }
DWORD WINAPI GetTickCount() { return 123456; }
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* counter) {
    counter->QuadPart = 987654321;
    return TRUE;
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    const char* api = "SetEnvironmentVariableA";
    std::string subject = Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    if (value)
        environment[Upper(subject)] = value;
    else
        environment.erase(Upper(subject));
    return Succeed(api, subject, TRUE);
}

// The stand-in's OEM code page is the ANSI one without the bytes 0x80 to 0x9F, which it has no
// character for and writes as '?', as the platform writes a character its page lacks.
BOOL WINAPI CharToOemBuffA(LPCSTR source, LPSTR destination, DWORD length) {
    DWORD error;
    if (Injected("CharToOemBuffA", &error)) return Fail("CharToOemBuffA", Text(source), error, FALSE);
    for (DWORD i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(source[i]);
        destination[i] = c >= 0x80 && c <= 0x9F ? '?' : source[i];
    }
    return TRUE;
}

UINT WINAPI GetACP(void) { return codePage; }

BOOL WINAPI IsDBCSLeadByte(BYTE byte) {
    if (codePage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    if (codePage == 936 || codePage == 949 || codePage == 950) return byte >= 0x81 && byte <= 0xFE;
    return FALSE;
}

BOOL WINAPI OemToCharBuffA(LPCSTR source, LPSTR destination, DWORD length) {
    for (DWORD i = 0; i < length; ++i) destination[i] = source[i];
    return TRUE;
}

HMODULE WINAPI LoadLibraryExA(LPCSTR name, HANDLE, DWORD flags) {
    lastLoadFlags = flags;
    return LoadLibraryA(name);
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    const char* api = "LoadLibraryA";
    std::string subject = Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, HMODULE(nullptr));
    auto found = modules.find(Upper(FullPath(subject)));
    if (found == modules.end()) return Fail(api, subject, ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
    if (loaded.size() >= static_cast<size_t>(kEntrySlots)) return Fail(api, subject, ERROR_NOT_ENOUGH_MEMORY, HMODULE(nullptr));
    HMODULE handle = reinterpret_cast<HMODULE>(nextModule);
    nextModule += 0x10000;
    loaded[handle] = found->first;
    return Succeed(api, subject, handle);
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    const char* api = "GetProcAddress";
    std::string subject = Text(name);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FARPROC(nullptr));
    if (module == kKernel) return SystemEntry(subject);  // not journalled: the calls themselves are the evidence
    if (module == kNtdll) return platformId == VER_PLATFORM_WIN32_NT ? NtdllEntry(subject) : nullptr;
    auto handle = loaded.find(module);
    if (handle == loaded.end()) return Fail(api, subject, ERROR_INVALID_HANDLE, FARPROC(nullptr));
    const Module& found = modules.at(handle->second);
    if (subject != "DllUnregisterServer" || !found.onUnregister) return Fail(api, subject, ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
    int slot = static_cast<int>(std::distance(loaded.begin(), handle));
    entryCallbacks[slot] = found.onUnregister;
    return Succeed(api, subject, EntryFor(slot, std::make_integer_sequence<int, kEntrySlots>()));
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    const char* api = "FreeLibrary";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, FALSE);
    auto handle = loaded.find(module);
    if (handle == loaded.end()) return Fail(api, "", ERROR_INVALID_HANDLE, FALSE);
    std::string path = modules.at(handle->second).path;
    loaded.erase(handle);
    return Succeed(api, path, TRUE);
}

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                           BOOL inheritHandles, DWORD creationFlags, LPVOID environmentBlock, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION information) {
    const char* api = "CreateProcessA";
    std::string command = Text(commandLine);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, command, error, FALSE);
    StartedProcess process{application ? application : "",
                           command,
                           inheritHandles,
                           creationFlags,
                           environmentBlock != nullptr,
                           currentDirectory ? currentDirectory : "",
                           *startupInfo,
                           fake::CurrentDirectory()};
    if (starter && !starter(command)) return Fail(api, command, ERROR_FILE_NOT_FOUND, FALSE);
    started.push_back(process);
    information->hProcess = AddHandle(std::make_unique<ProcessObject>());
    information->hThread = AddHandle(std::make_unique<ProcessObject>());
    information->dwProcessId = 100 + static_cast<DWORD>(started.size());
    information->dwThreadId = 200 + static_cast<DWORD>(started.size());
    return Succeed(api, command, TRUE);
}

HRESULT WINAPI SHGetSpecialFolderLocation(HWND, int folder, PIDLIST_ABSOLUTE* list) {
    const char* api = "SHGetSpecialFolderLocation";
    std::string subject = std::to_string(folder);
    DWORD error;
    *list = nullptr;
    if (Injected(api, &error)) return Fail(api, subject, error, E_FAIL);
    auto found = specialFolders.find(folder);
    if (found == specialFolders.end()) return Fail(api, subject, ERROR_FILE_NOT_FOUND, E_FAIL);
    // A folder that does not exist has no location.
    if (!found->second.empty() && !fake::Exists(found->second)) return Fail(api, subject, ERROR_FILE_NOT_FOUND, E_FAIL);
    auto* made = static_cast<ITEMIDLIST*>(std::calloc(1, sizeof(ITEMIDLIST) + sizeof(int)));
    std::memcpy(made->mkid.abID, &folder, sizeof folder);
    idLists[made] = folder;
    *list = made;
    return Succeed(api, subject, HRESULT(S_OK));
}

BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE list, LPSTR path) {
    const char* api = "SHGetPathFromIDListA";
    DWORD error;
    auto known = idLists.find(list);
    std::string subject = known == idLists.end() ? "?" : std::to_string(known->second);
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    if (known == idLists.end()) return Fail(api, subject, ERROR_INVALID_PARAMETER, FALSE);
    // An empty path stands for a folder that has no file-system path.
    const std::string& folder = specialFolders.at(known->second);
    if (folder.empty()) {
        path[0] = 0;
        return Fail(api, subject, ERROR_FILE_NOT_FOUND, FALSE);
    }
    std::strncpy(path, folder.c_str(), MAX_PATH - 1);
    path[MAX_PATH - 1] = 0;
    return Succeed(api, subject + " " + folder, TRUE);
}

void WINAPI CoTaskMemFree(LPVOID block) {
    DWORD error;
    Injected("CoTaskMemFree", &error);
    if (!block) return;
    auto known = idLists.find(block);
    if (known == idLists.end()) throw std::logic_error("CoTaskMemFree of a block the shell did not hand out");
    idLists.erase(known);
    std::free(block);
    Record("CoTaskMemFree", "", true);
}

HRESULT WINAPI OleInitialize(LPVOID) {
    DWORD error;
    if (Injected("OleInitialize", &error)) return Fail("OleInitialize", "", error, E_FAIL);
    ++oleInits;
    return Succeed("OleInitialize", "", HRESULT(S_OK));
}

void WINAPI OleUninitialize() {
    DWORD error;
    Injected("OleUninitialize", &error);
    ++oleUninits;
    Record("OleUninitialize", "", true);
}

// No other process can be opened: the program finds none of its package's programs running.
HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD id) {
    DWORD error;
    if (Injected("OpenProcess", &error)) return Fail("OpenProcess", std::to_string(id), error, HANDLE(nullptr));
    return Fail("OpenProcess", std::to_string(id), ERROR_INVALID_PARAMETER, HANDLE(nullptr));
}
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
    DWORD error;
    if (Injected("CreateEventA", &error)) return Fail("CreateEventA", "", error, HANDLE(nullptr));
    auto event = std::make_unique<EventObject>();
    event->manualReset = manualReset != FALSE;
    event->signalled = initialState != FALSE;
    return Succeed("CreateEventA", "", AddHandle(std::move(event)));
}

// Only events can be waited for: a signalled one is had at once (an auto-reset one is reset), an
// unsignalled one times out, since nothing else runs while the program waits. Any other handle
// fails the wait.
DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD) {
    auto* event = dynamic_cast<EventObject*>(FindHandle(object));
    if (!event) return WAIT_FAILED;
    if (!event->signalled) return WAIT_TIMEOUT;
    if (!event->manualReset) event->signalled = false;
    return WAIT_OBJECT_0;
}
DWORD WINAPI WaitForMultipleObjects(DWORD, const HANDLE*, BOOL, DWORD) { return WAIT_FAILED; }
