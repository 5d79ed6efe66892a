// Where the phases' folders lie. One rule for every record's folder, in every phase that
// resolves one (installed files, fonts and modules among them, folder records, pruning):
//   - absolute ("X:\..." or "\\server\share\...", either slash): as it stands;
//   - beginning with '.': ".\sub\dir" lies below the installation folder, and every other
//     such folder (".\", ".", "..\x", ".name") is the installation folder itself;
//   - depending on a current drive or folder ("\name", "X:name"): skipped, since it would name
//     another folder depending on how the program was started;
//   - any other ("", "sub\dir"): relative to the installation folder, never to the folder the
//     program happens to be started from.
#pragma once

// 1 when the folder depends on a current drive or folder ("\name", "X:name"), which the rule skips.
int DependsOnCurrentFolder(const char* folder);
// Writes the record's folder, resolved, into a PATH_SIZE buffer. 0 when the folder is skipped
// or the result is longer than the longest path.
int ResolveFolder(const char* folder, char* path);

// The path's full form as the system resolves it (forward slashes, "." and ".." levels, runs of
// backslashes, trailing dots and blanks), into a PATH_SIZE buffer other than the path's. 0 when
// it cannot be had whole.
int FullPathOf(const char* path, char* full);

// Makes the installation folder the current directory; 1 when it is.
int EnterInstallDir();
