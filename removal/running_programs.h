// The package's programs still running when the removal starts: found, and closed politely
// before any file is removed, so that their files can go now rather than at the next restart.
#pragma once

// Looks for processes other than this one whose program file is one of the log's installed
// files (never a shared one, which may stay for other packages), or lies in the installation
// folder's tree when the guard does not protect that folder. Each process's path is read on its
// own opened handle, so that a reused process id cannot name another program. When there are
// any: a run that is not quiet asks the catalogue's MSG_CLOSE_APPS (an empty slot: no question,
// nothing closed), a quiet run closes them without asking. Closing posts WM_CLOSE to each of the
// process's top-level windows and waits at most 10 s in all; a program still running then is
// left running (never killed: it may hold a user's document), and so is one in another session,
// which no window of this run can reach. Each program found gets a line in the report.
void CloseRunningPrograms();
