// The guard that keeps the removal away from the system's own folders.
#pragma once

// 1 when the folder must never be swept or removed: every path under four characters (drive
// roots among them), the Windows and system folders, the user's desktop, fonts, programs, start
// menu and startup folders, and the program-files and common-files folders the registry
// records. Only the folder itself is protected, not what lies below it. Nothing is cached.
// The path is a writable buffer of PATH_SIZE bytes; one trailing backslash is taken off for
// the comparison and put back before the call returns.
int IsProtectedFolder(char* path);
