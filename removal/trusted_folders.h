// The folders whose own levels, and those above them, the link checks trust: the installation
// folder (as the run has it, in its short form, and as the system resolved it when it was
// pinned) and the well-known folders (links there are the system's or an administrator's). They
// are fetched at the first check after each forgetting, and kept until the next.
#pragma once
#include "base/platform.h"

// Where the path's levels below its trusted ones begin: the end of the deepest trusted folder it
// lies in, or that of its root (the drive, or the share of a network path) when it lies in none.
unsigned int TrustedLevelsEnd(const char* path);
// Forgets the folders fetched; the next check fetches them afresh.
void ForgetTrustedFolders();
// Puts the module back as at the start of a run (the run's set-up calls it): nothing fetched,
// nothing pinned.
void ResetTrustedFolders();

// Holds the installation folder open for the run, so that it cannot be replaced while a
// question is on screen, and learns the final path the system resolves it to. Unpin lets go.
void PinInstallDir();
void UnpinInstallDir();
// Lets go of the pinned installation folder when the path (full, without a trailing backslash)
// is that folder, just before its removal.
void UnpinIfInstallDir(const char* path);
// The path the system resolves the handle to, in the usual "X:\..." form where it has one, into a
// PATH_SIZE buffer; 0 where the system cannot tell (the call is missing, or the path too long).
int FinalPathOf(HANDLE handle, char* final);
