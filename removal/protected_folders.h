// The guard that keeps the removal away from the system's own folders.
#pragma once

// 1 when the folder must never be swept or removed: every path under four characters (drive
// roots among them), the Windows and system folders, the user's desktop, fonts, programs, start
// menu and startup folders, on the NT family the all-users desktop, start menu, programs and
// startup folders and the profiles folder (ProfileList's ProfilesDirectory), and the program-files and common-files folders the
// registry records (on 64-bit Windows the native ones too, ProgramW6432Dir and CommonW6432Dir).
// Only the folder itself is protected, not what lies below it. A folder the
// system has but whose lookup fails (a shell folder without a path, a registry key that cannot
// be opened, a value that cannot be read whole, no profiles folder on NT) protects every path; a
// program-files value that is not there protects none.
// The path is compared in its full form, as the system resolves it: forward slashes, "." and
// ".." levels, runs of backslashes, trailing dots and blanks and the device forms "\\?\" and
// "\\.\" name the same folder as its usual spelling; a folder whose full form cannot be had is
// protected. On NT, where a name has letters beyond ASCII (whose case the comparisons do not
// fold), the folder is also known by its identity on its volume: no spelling of such a name
// gets past; a path that exists but cannot be opened to tell is protected.
// The folders are fetched at the first call and kept, with their short forms once had, while the
// registry keys they come from are unchanged: the user's and the machine's User Shell Folders
// and Shell Folders, ProfileList, and the version key itself. Each call checks, without
// waiting, whether one of them changed, and a change makes that call fetch them afresh. Where
// the keys cannot be watched (the 95 family has no such notification) and after a lookup that
// failed, the next call asks the system again.
int IsProtectedFolder(const char* path);
// Puts the guard back as at the start of a run (the run's set-up calls it): nothing kept,
// nothing watched, nothing closed.
void ResetProtectedFolders();
// Stops watching and forgets the folders kept (the run's release calls it).
void ReleaseProtectedFolders();
