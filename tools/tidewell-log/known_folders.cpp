// The well-known folders, matched by their usual paths and environment-style names.
#include "tools/tidewell-log/known_folders.h"

#include <cctype>
#include <vector>

namespace tidewell {
namespace {

// More particular entries come first: the all-users Desktop before any user's.
const KnownFolder kFolders[] = {
    {"?:\\Users\\Public\\Desktop", "the all-users Desktop", true},
    {"?:\\Documents and Settings\\All Users\\Desktop", "the all-users Desktop", true},
    {"%PUBLIC%\\Desktop", "the all-users Desktop", true},
    {"%ALLUSERSPROFILE%\\Desktop", "the all-users Desktop", true},
    {"?:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", "the all-users Startup folder", true},
    {"?:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup", "the all-users Startup folder", true},
    {"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", "the all-users Startup folder", true},
    {"%ALLUSERSPROFILE%\\Start Menu\\Programs\\Startup", "the all-users Startup folder", true},
    {"?:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "the all-users Programs menu", true},
    {"?:\\Documents and Settings\\All Users\\Start Menu\\Programs", "the all-users Programs menu", true},
    {"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs", "the all-users Programs menu", true},
    {"%ALLUSERSPROFILE%\\Start Menu\\Programs", "the all-users Programs menu", true},
    {"?:\\ProgramData\\Microsoft\\Windows\\Start Menu", "the all-users Start Menu", true},
    {"?:\\Documents and Settings\\All Users\\Start Menu", "the all-users Start Menu", true},
    {"%ProgramData%\\Microsoft\\Windows\\Start Menu", "the all-users Start Menu", true},
    {"%ALLUSERSPROFILE%\\Start Menu", "the all-users Start Menu", true},

    {"?:\\Windows", "the Windows folder", true},
    {"?:\\WINNT", "the Windows folder", true},
    {"%WINDIR%", "the Windows folder", true},
    {"%SystemRoot%", "the Windows folder", true},
    {"?:\\Windows\\System32", "the system folder", true},
    {"?:\\Windows\\System", "the system folder", true},
    {"?:\\WINNT\\System32", "the system folder", true},
    {"%WINDIR%\\System32", "the system folder", true},
    {"%WINDIR%\\System", "the system folder", true},
    {"%SystemRoot%\\System32", "the system folder", true},
    {"?:\\Windows\\SysWOW64", "the 32-bit system folder of 64-bit Windows", false},
    {"%WINDIR%\\SysWOW64", "the 32-bit system folder of 64-bit Windows", false},
    {"%SystemRoot%\\SysWOW64", "the 32-bit system folder of 64-bit Windows", false},
    {"?:\\Windows\\Fonts", "the Fonts folder", true},
    {"?:\\WINNT\\Fonts", "the Fonts folder", true},
    {"%WINDIR%\\Fonts", "the Fonts folder", true},
    {"%SystemRoot%\\Fonts", "the Fonts folder", true},
    {"?:\\Windows\\Temp", "the Windows temporary folder", false},
    {"?:\\WINNT\\Temp", "the Windows temporary folder", false},
    {"%WINDIR%\\Temp", "the Windows temporary folder", false},

    {"?:\\Users\\*\\Desktop", "a user's Desktop", true},
    {"?:\\Documents and Settings\\*\\Desktop", "a user's Desktop", true},
    {"?:\\Windows\\Desktop", "the user's Desktop", true},
    {"?:\\Windows\\Profiles\\*\\Desktop", "a user's Desktop", true},
    {"%USERPROFILE%\\Desktop", "the user's Desktop", true},
    {"?:\\Users\\*\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", "a user's Startup folder", true},
    {"?:\\Documents and Settings\\*\\Start Menu\\Programs\\Startup", "a user's Startup folder", true},
    {"?:\\Windows\\Start Menu\\Programs\\StartUp", "the user's Startup folder", true},
    {"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", "the user's Startup folder", true},
    {"%USERPROFILE%\\Start Menu\\Programs\\Startup", "the user's Startup folder", true},
    {"?:\\Users\\*\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", "a user's Programs menu", true},
    {"?:\\Documents and Settings\\*\\Start Menu\\Programs", "a user's Programs menu", true},
    {"?:\\Windows\\Start Menu\\Programs", "the user's Programs menu", true},
    {"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs", "the user's Programs menu", true},
    {"%USERPROFILE%\\Start Menu\\Programs", "the user's Programs menu", true},
    {"?:\\Users\\*\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu", "a user's Start Menu", true},
    {"?:\\Documents and Settings\\*\\Start Menu", "a user's Start Menu", true},
    {"?:\\Windows\\Start Menu", "the user's Start Menu", true},
    {"%APPDATA%\\Microsoft\\Windows\\Start Menu", "the user's Start Menu", true},
    {"%USERPROFILE%\\Start Menu", "the user's Start Menu", true},

    {"?:\\Program Files\\Common Files", "the Common Files folder", true},
    {"?:\\Program Files (x86)\\Common Files", "the Common Files folder", true},
    {"%CommonProgramFiles%", "the Common Files folder", true},
    {"%CommonProgramFiles(x86)%", "the Common Files folder", true},
    {"%CommonProgramW6432%", "the Common Files folder", true},
    {"?:\\Program Files", "the Program Files folder", true},
    {"?:\\Program Files (x86)", "the Program Files folder", true},
    {"%ProgramFiles%", "the Program Files folder", true},
    {"%ProgramFiles(x86)%", "the Program Files folder", true},
    {"%ProgramW6432%", "the Program Files folder", true},

    {"?:\\Users\\*\\Documents", "a user's Documents folder", false},
    {"?:\\Documents and Settings\\*\\My Documents", "a user's Documents folder", false},
    {"?:\\My Documents", "the user's Documents folder", false},
    {"%USERPROFILE%\\Documents", "the user's Documents folder", false},
    {"?:\\Users\\*\\AppData\\Roaming", "a user's application data folder", false},
    {"?:\\Users\\*\\AppData\\Local", "a user's local application data folder", false},
    {"?:\\Users\\*\\AppData", "a user's AppData folder", false},
    {"?:\\Documents and Settings\\*\\Application Data", "a user's application data folder", false},
    {"?:\\Windows\\Application Data", "the user's application data folder", false},
    {"%APPDATA%", "the user's application data folder", false},
    {"%LOCALAPPDATA%", "the user's local application data folder", false},
    {"?:\\Users\\*", "a user's profile folder", false},
    {"?:\\Documents and Settings\\*", "a user's profile folder", false},
    {"%USERPROFILE%", "the user's profile folder", false},
    {"%PUBLIC%", "the public profile folder", false},
    {"?:\\Users", "the profiles folder", true},
    {"?:\\Documents and Settings", "the profiles folder", true},
    {"?:\\ProgramData", "the all-users data folder", false},
    {"%ProgramData%", "the all-users data folder", false},
    {"%ALLUSERSPROFILE%", "the all-users data folder", false},
    {"?:\\Temp", "a temporary folder", false},
    {"%TEMP%", "the temporary folder", false},
    {"%TMP%", "the temporary folder", false},
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSlash(char c) { return c == '\\' || c == '/'; }

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    while (parts.size() > 1 && parts.back().empty()) parts.pop_back();  // trailing backslashes
    return parts;
}

bool ComponentMatches(const std::string& pattern, const std::string& part) {
    if (pattern == "?:") return part.size() == 2 && part[1] == ':' && std::isalpha(static_cast<unsigned char>(part[0]));
    if (pattern == "*") return !part.empty();
    return EqualsIgnoringCase(pattern, part);
}

}  // namespace

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string Lowered(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = Lower(c);
    return out;
}

const KnownFolder* FindKnownFolder(const std::string& path) {
    std::vector<std::string> parts = Components(path);
    for (const KnownFolder& folder : kFolders) {
        std::vector<std::string> pattern = Components(folder.pattern);
        if (pattern.size() != parts.size()) continue;
        bool matches = true;
        for (size_t i = 0; i < parts.size() && matches; ++i) matches = ComponentMatches(pattern[i], parts[i]);
        if (matches) return &folder;
    }
    return nullptr;
}

bool PathBeginsWith(const std::string& path, const char* pattern) {
    std::vector<std::string> parts = Components(path);
    std::vector<std::string> wanted = Components(pattern);
    if (parts.size() < wanted.size()) return false;
    for (size_t i = 0; i < wanted.size(); ++i)
        if (!ComponentMatches(wanted[i], parts[i])) return false;
    return true;
}

bool IsDriveRoot(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '\\') trimmed.pop_back();
    if (trimmed == "\\") return true;
    if (trimmed.size() == 2 && trimmed[1] == ':' && std::isalpha(static_cast<unsigned char>(trimmed[0]))) return true;
    for (const char* name : {"%SystemDrive%", "%HOMEDRIVE%"})
        if (EqualsIgnoringCase(trimmed, name)) return true;
    // \\server\share: two names after the leading pair of backslashes, nothing more.
    if (trimmed.size() > 2 && trimmed[0] == '\\' && trimmed[1] == '\\') {
        size_t server = trimmed.find('\\', 2);
        return server != std::string::npos && server > 2 && server + 1 < trimmed.size() &&
               trimmed.find('\\', server + 1) == std::string::npos;
    }
    return false;
}

bool IsAbsolute(const std::string& path) {
    if (path.size() >= 3 && path[1] == ':' && IsSlash(path[2])) return true;
    return path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1]);
}

bool DependsOnCurrentFolder(const std::string& path) {
    if (IsAbsolute(path)) return false;
    return (!path.empty() && IsSlash(path[0])) || (path.size() >= 2 && path[1] == ':');
}

std::string FullFormOf(const std::string& path) {
    if (!IsAbsolute(path)) return path;
    bool network = path[1] != ':';
    const size_t rootLevels = network ? 2 : 1;  // \\server\share, or the drive
    std::vector<std::string> levels;
    std::string level;
    auto flush = [&](bool last) {
        if (last && level != "." && level != "..") level.erase(level.find_last_not_of(". ") + 1);
        if (level == "..") {
            if (levels.size() > rootLevels) levels.pop_back();
        } else if (!level.empty() && level != ".") {
            levels.push_back(level);
        }
        level.clear();
    };
    for (size_t i = network ? 2 : 0; i < path.size(); ++i) {
        if (IsSlash(path[i]))
            flush(false);
        else
            level += path[i];
    }
    flush(!IsSlash(path.back()));
    std::string full = network ? "\\\\" : "";
    for (size_t i = 0; i < levels.size(); ++i) full += (i ? "\\" : "") + levels[i];
    if (!network && levels.size() == 1) full += "\\";
    return full;
}

bool HasEnvironmentName(const std::string& path) {
    return path.size() >= 3 && path[0] == '%' && path.find('%', 2) != std::string::npos;
}

}  // namespace tidewell
