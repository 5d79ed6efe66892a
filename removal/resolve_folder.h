// Where the phases' folders lie: an installed-file record's folder relative to the installation
// folder when it begins with a dot, else as it stands; relative paths from the installation
// folder made current.
#pragma once

// Writes the record's folder, resolved, into a PATH_SIZE buffer: ".\sub\dir" gives installDir
// followed by sub\dir, and every other folder beginning with '.' (".\", ".", "..\x", ".name")
// gives installDir itself. 0 when the result does not fit the buffer.
int ResolveFolder(const char* folder, char* path);

// Makes the installation folder the current directory; 1 when it is.
int EnterInstallDir();
