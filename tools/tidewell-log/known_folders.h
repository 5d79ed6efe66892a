// Folders that no package owns: the system's and the users' well-known folders, by their usual
// paths on every Windows version and by their environment-style names. `check` cannot know the
// target machine's folders; it knows what they are usually called.
#pragma once
#include <string>

namespace tidewell {

struct KnownFolder {
    const char* pattern;  // "?:" any drive letter, "*" any one folder name (a user's, say)
    const char* name;
    bool guarded;  // among the folders the program itself never sweeps or prunes
};

// The well-known folder the path names (case of A to Z ignored, trailing backslashes too), or null.
const KnownFolder* FindKnownFolder(const std::string& path);

// "C:", "C:\", "\", "\\server\share": a drive's or a share's root.
bool IsDriveRoot(const std::string& path);
// "X:\..." or "\\server\...", either slash.
bool IsAbsolute(const std::string& path);
// "\name" or "X:name": a folder that depends on the current drive or folder, which the program
// passes over.
bool DependsOnCurrentFolder(const std::string& path);
// An absolute path as the system resolves it: either slash a separator, runs of separators one,
// "." and ".." levels folded, the last level's trailing dots and blanks dropped, no trailing
// backslash but a drive root's. Other paths come back as they are.
std::string FullFormOf(const std::string& path);
// Begins with an environment-style name such as %WINDIR%; the program expands none.
bool HasEnvironmentName(const std::string& path);

bool EqualsIgnoringCase(const std::string& a, const std::string& b);
std::string Lowered(const std::string& text);

}  // namespace tidewell
