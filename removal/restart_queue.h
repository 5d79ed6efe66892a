// Files still in use when the run wants them gone, deleted by the system at the next restart.
// On the NT family each file is first moved, where it can be, into a folder made for the purpose
// at the root of its volume that only the administrators and the system may change, since the
// system acts on the queued paths at boot, and a path whose folders another user may change
// before then must not be the one queued; a file that cannot be moved is queued where it stands.
// The folders that stay only because of files queued where they stand are queued after them,
// deepest first, and the holding folder after everything. The 95 family has the deletions
// written under [rename] of WININIT.INI in the Windows folder, and no folders.
#pragma once
#include "base/platform.h"

// 1 when the refused deletion (its error code) is one of a file in use: a sharing or lock
// violation, or a refusal although the file opens for deletion (a running program's file, a
// loaded module). A read-only file, or one the run has no right to delete, is not in use.
int IsFileInUse(const char* path, DWORD error);
// 1 for the refusals of a file another program holds: a sharing or a lock violation.
int IsHeldError(DWORD error);
// Why the file (the name itself, never what a link there leads to) does not open for deletion;
// 0 when it does: no right is missing and no other program holds it without sharing deletion.
DWORD DeletionOpenRefusal(const char* path);

// Queues the file in use for deletion at the next restart and reports it, with the answer that
// let it go and the error that made it necessary; a file that cannot be queued (on a network
// share, no right to queue, the system refuses) is reported kept, with why. `mayMove` 0 queues
// it where it stands. 1 when it is queued.
int QueueFileForRestart(const char* path, DWORD error, const char* answer, int mayMove);

// Queues the one folder, whose contents the caller has queued already.
int QueueFolderForRestart(const char* folder);

// The last step before the run ends: the folders that stay only for files queued where they
// stand (never a protected folder, never through a link), then the holding folder. The program
// file counts as gone when `programGoes` (its deletion is the self-deletion's).
void QueueStayingFolders(int programGoes);
