// The uninstall log inside the program file: locating it, walking its blocks and handing each
// payload to the reader for its tag, and releasing what the readers built.
#pragma once

// ReadUninstallLog's result when there is nothing to report: the program file has no log, or
// cannot be opened. Otherwise it gives LOG_OK or the catalogue slot of the error's text.
enum { LOG_NOT_READ = -1 };

// Reads the log of the program file run.modulePath into the run context.
int ReadUninstallLog();
// Releases the lists the readers built.
void FreeUninstallLog();

// The absolute file offset of the log, as the authoring tool wrote it (0: no log).
unsigned int ReadLogOffsetField();
