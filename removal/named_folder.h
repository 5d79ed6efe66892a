// A folder a record names, removed when it is empty: an installed-file record with an empty
// name, or a folder record.
#pragma once

// Removes the folder unless it lies behind a link in the package's tree or the guard protects
// it, and reports the outcome. With leaveIfCurrent, a folder that is the process's current one
// is first left for its parent, as the platform refuses to remove it.
void RemoveNamedFolder(const char* folder, int leaveIfCurrent);
