// The folders a run found protected or behind a link: they stay for the whole run, so the
// phases that follow do not ask about them again.
#pragma once

enum { LEFT_UNKNOWN = -1, LEFT_PROTECTED = 0, LEFT_BEHIND_LINK = 1 };

// What the run found the folder (full, without a trailing backslash) to be, or LEFT_UNKNOWN.
int LeftFolderKind(const char* path);
// Remembers it, while there is room (a folder not remembered is only asked about again).
void RememberLeftFolder(int kind, const char* path);
// 1 when the run found the folder protected before, or the guard finds it so now (then it is
// remembered).
int IsFolderLeftProtected(const char* path);
// Forgets every folder (the run's set-up calls it).
void ResetLeftFolders();
