// The system of the Windows build: the machine the package is installed on. Its folders come
// from the calls the program's own guard makes (the ANSI ones, as the program can only name
// what the ANSI code page can: UTF-8 where the tool's manifest makes it so, which is then the
// log's); texts go to and from UTF-8 through UTF-16.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <shlobj.h>
#include <iostream>
#include <streambuf>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/system.h"

namespace tidewell {
namespace {

const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

std::wstring Wide(const std::string& text, UINT codePage = CP_UTF8) {
    if (text.empty()) return std::wstring();
    int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length, nullptr, nullptr);
    return text;
}

// A path from an ANSI call, in UTF-8, without a trailing backslash (unless a drive's root). The
// system writes '?' for a character the code page lacks: such a path names nothing.
std::string FromSystem(const std::string& ansi) {
    std::string path = ansi;
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (path.empty() || path.find('?') != std::string::npos) return "";
    return Utf8(Wide(path, CP_ACP));
}

// A call that fills a buffer of MAX_PATH and returns the length: 0 or too long is no path.
std::string Filled(UINT length, const char* buffer) { return length == 0 || length >= MAX_PATH ? "" : FromSystem(buffer); }

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return "";
    return FromSystem(path);
}

// ProgramFilesDir and CommonFilesDir, which the program's guard reads (a 32-bit tool, like the
// shipped program, sees the 32-bit view).
std::string VersionValue(const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "";
    char path[MAX_PATH + 1] = "";
    DWORD type = 0, size = MAX_PATH;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return "";
    path[size < MAX_PATH ? size : MAX_PATH] = 0;
    return FromSystem(path);
}

int Csidl(FolderId id) {
    switch (id) {
    case FolderId::Fonts: return CSIDL_FONTS;
    case FolderId::Desktop: return CSIDL_DESKTOPDIRECTORY;
    case FolderId::AllUsersDesktop: return CSIDL_COMMON_DESKTOPDIRECTORY;
    case FolderId::StartMenu: return CSIDL_STARTMENU;
    case FolderId::AllUsersStartMenu: return CSIDL_COMMON_STARTMENU;
    case FolderId::Programs: return CSIDL_PROGRAMS;
    case FolderId::AllUsersPrograms: return CSIDL_COMMON_PROGRAMS;
    case FolderId::Startup: return CSIDL_STARTUP;
    case FolderId::AllUsersStartup: return CSIDL_COMMON_STARTUP;
    case FolderId::AppData: return CSIDL_APPDATA;
    case FolderId::LocalAppData: return CSIDL_LOCAL_APPDATA;
    case FolderId::AllUsersAppData: return CSIDL_COMMON_APPDATA;
    case FolderId::Documents: return CSIDL_PERSONAL;
    default: return -1;
    }
}

// The list of installed programs in the registry, in the tool's own view.
class UninstallList : public RegistryPort {
public:
    UninstallList(HKEY root, const char* rootName) : root_(root), name_(std::string(rootName) + "\\" + kUninstallList) {}
    ~UninstallList() override {
        if (entry_) RegCloseKey(entry_);
        if (list_) RegCloseKey(list_);
    }
    bool Open() {
        return RegCreateKeyExW(root_, Wide(kUninstallList).c_str(), 0, nullptr, 0, KEY_CREATE_SUB_KEY, nullptr, &list_,
                               nullptr) == ERROR_SUCCESS;
    }
    std::string Name() const override { return name_; }
    bool OpenEntry(const std::string& key, bool* made) override {
        DWORD disposition = 0;
        if (RegCreateKeyExW(list_, Wide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &entry_,
                            &disposition) != ERROR_SUCCESS)
            return false;
        *made = disposition == REG_CREATED_NEW_KEY;
        return true;
    }
    bool SetText(const std::string& name, const std::string& text) override {
        std::wstring data = Wide(text);
        return RegSetValueExW(entry_, Wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                              static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    bool SetNumber(const std::string& name, uint32_t number) override {
        DWORD data = number;
        return RegSetValueExW(entry_, Wide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) ==
               ERROR_SUCCESS;
    }
    bool DeleteValue(const std::string& name) override {
        LONG status = RegDeleteValueW(entry_, Wide(name).c_str());
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    bool DeleteEntry(const std::string& key) override {
        if (entry_) RegCloseKey(entry_);
        entry_ = nullptr;
        return RegDeleteKeyW(list_, Wide(key).c_str()) == ERROR_SUCCESS;
    }

private:
    HKEY root_;
    std::string name_;
    HKEY list_ = nullptr;
    HKEY entry_ = nullptr;
};

// A stream's buffer that writes to a console as text. What is written is kept until it ends on
// a whole character (a UTF-8 sequence or a double-byte pair may come in two writes).
class ConsoleText : public std::streambuf {
public:
    explicit ConsoleText(HANDLE console) : console_(console) {}

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
        if (c == '\n') sync();
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<size_t>(count));
        return count;
    }
    int sync() override {
        size_t whole = WholeCharacters();
        std::wstring wide = Wide(pending_.substr(0, whole), CP_ACP);
        DWORD written = 0;
        if (!wide.empty() && !WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr))
            WriteFile(console_, pending_.data(), static_cast<DWORD>(whole), &written, nullptr);
        pending_.erase(0, whole);
        return 0;
    }

private:
    size_t WholeCharacters() const {
        bool utf8 = GetACP() == CP_UTF8;
        size_t whole = 0;
        for (size_t i = 0; i < pending_.size(); i = whole) {
            auto lead = static_cast<unsigned char>(pending_[i]);
            size_t length = utf8 ? (lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1) : IsDBCSLeadByte(lead) ? 2 : 1;
            if (i + length > pending_.size()) break;
            whole = i + length;
        }
        return whole;
    }

    HANDLE console_;
    std::string pending_;
};

}  // namespace

void WriteMessagesAsText() {
    for (auto [stream, which] : {std::pair<std::ostream*, DWORD>{&std::cout, STD_OUTPUT_HANDLE}, {&std::cerr, STD_ERROR_HANDLE}}) {
        HANDLE handle = GetStdHandle(which);
        DWORD mode = 0;
        // Never freed: the streams are flushed as the process ends, after every destructor here.
        if (handle != INVALID_HANDLE_VALUE && handle && GetConsoleMode(handle, &mode)) stream->rdbuf(new ConsoleText(handle));
    }
}

std::string SystemFolder(FolderId id) {
    char path[MAX_PATH] = "";
    switch (id) {
    case FolderId::InstallDir: return "";
    case FolderId::Windows: return Filled(GetWindowsDirectoryA(path, MAX_PATH), path);
    case FolderId::System: return Filled(GetSystemDirectoryA(path, MAX_PATH), path);
    case FolderId::Temp: return Filled(GetTempPathA(MAX_PATH, path), path);
    case FolderId::ProgramFiles: return VersionValue("ProgramFilesDir");
    case FolderId::CommonFiles: return VersionValue("CommonFilesDir");
    default: return ShellFolder(Csidl(id));
    }
}

std::string WindowsFolderOf(const std::string& path) {
    char full[MAX_PATH] = "";
    char* name = nullptr;
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, &name);
    if (length == 0 || length >= MAX_PATH || !name) return "";
    *name = 0;
    return FromSystem(full);
}

std::string CommandLineText(const std::string& text) { return Utf8(Wide(text, CP_ACP)); }

std::optional<uint64_t> FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    size_t slash = path.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 2 && path[1] == ':' ? 3 : slash);
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    // The new file is written through the handle that made it: its name, once made, may have
    // been replaced by someone else's file or link before a second open.
    std::string scratch;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 16; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, "twl%lx%lx.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<unsigned long>(GetTickCount() + attempt * 7919u));
        scratch = folder + name;
        file = CreateFileA(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) throw LogError("cannot write in the folder of " + path);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20)), written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) break;
        done += written;
    }
    bool complete = CloseHandle(file) && done == bytes.size();
    if (!complete || !MoveFileExA(scratch.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(scratch.c_str());
        throw LogError("cannot write " + path);
    }
}

unsigned SystemCodePage() { return GetACP(); }

std::string Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

// No DLL from the current folder or the tool's own folder, where the system allows it.
void MakeDllSearchSafe() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(0x800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    auto setDirectory = reinterpret_cast<BOOL(WINAPI*)(LPCSTR)>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory) setDirectory("");
}

std::unique_ptr<RegistryPort> OpenUninstallList(Scope scope) {
    bool machine = scope == Scope::Machine;
    auto list = std::make_unique<UninstallList>(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                                machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER");
    if (!list->Open())
        throw LogError("cannot make entries in " + list->Name() +
                       (machine ? ": a machine's package is registered with administrator rights" : ""));
    return list;
}

}  // namespace tidewell
