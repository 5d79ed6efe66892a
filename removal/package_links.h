// Folder links on the way to what a record names. A link (a junction, a symbolic link to a
// folder) may have been planted by another user to lead a run with more rights than theirs to
// what is not the package's: nothing behind one is deleted, unloaded, unregistered, counted down
// or removed, and the link itself stays. Every level of a record's path is looked at, but for
// the levels at and above the installation folder or the well-known folder the path lies in
// (links there are the system's or an administrator's); a path in none of them is looked at
// from its drive's root down. Each level found plain is held open, not sharing deletion, so that
// it cannot be renamed or replaced by a link until the phase lets go of it.
#pragma once
#include "base/platform.h"

// Lets go of every level held and forgets the trusted folders (removal/trusted_folders.h): each
// phase starts afresh.
void ForgetLinkChecks();
// Lets go of every level held, after a question: while it was on screen anything not held may
// have changed, so the next check looks at every level again.
void LetGoOfHeldLevels();

// Opens the folder itself, never what a link there leads to, sharing reading and writing but not
// deletion: while the handle is open the folder cannot be renamed, removed or replaced.
HANDLE HoldFolderOpen(const char* path);

// 1 when a folder link stands on the folder's path below its trusted levels, the folder itself
// included; also when the folder's full form cannot be had or a level cannot be looked at, as
// no deletion could then be sure where it leads.
int IsFolderBehindLink(const char* folder);
// The same for the folder that holds the file (a name may bring levels of its own).
int IsFileBehindLink(const char* file);

// Lets go of the folder's own level and every deeper one held, just before it is removed.
void ReleaseHeldFolder(const char* folder);

// 1 when the reparse point that a listing shows (its attributes and its tag) is a folder link:
// a name-surrogate tag, or no tag at all. Other reparse points, such as the placeholders of a
// cloud-synced folder, are plain folders and files.
int IsLinkEntry(const WIN32_FIND_DATAA* entry);
