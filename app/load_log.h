// The uninstall log read at the start of the run, and reported when it is damaged.
#pragma once

// 1 when the log was read to its end and its records' paths made (removal/record_paths.h),
// which want of memory for either prevents. A damaged log is reported in the catalogue's words; a
// program file without a log, or one that cannot be opened, ends the run without a message.
int LoadUninstallLog();
