// The guard that keeps the removal away from the system's own folders.
#pragma once

// 1 when the folder must never be swept or removed: every path under four characters (drive
// roots among them), the Windows and system folders, the user's desktop, fonts, programs, start
// menu and startup folders, and the program-files and common-files folders the registry
// records. Only the folder itself is protected, not what lies below it. Nothing is cached.
// The path is compared in its full form, as the system resolves it: forward slashes, "." and
// ".." levels, runs of backslashes, trailing dots and blanks and the device forms "\\?\" and
// "\\.\" name the same folder as its usual spelling; a folder whose full form cannot be had is
// protected.
int IsProtectedFolder(const char* path);
