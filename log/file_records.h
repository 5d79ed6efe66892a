// The installed-file and shortcut/folder records of the log.
#pragma once
#include "base/platform.h"

// Each replaces its list in the run context with the records of the block being read.
int ReadFileRecords(HANDLE file);
int ReadFolderRecords(HANDLE file);
