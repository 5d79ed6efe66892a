// A restart of Windows that the person removing the package asked for, to finish the removal.
#pragma once

// Asks the system to restart, after enabling the shutdown privilege on NT; the restart itself
// comes once this process has ended. 0 when the system refuses.
int RestartWindows();
