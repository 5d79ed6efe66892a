// The registry records of the log: the list, and the records added behind it.
#pragma once
#include "base/platform.h"
#include "base/records.h"

// Replaces the registry list with the block's records, with room for three added ones.
int ReadRegistryList(HANDLE file);
// Reads n records into the n entries from `first` on.
int ReadRegistryRecords(HANDLE file, RegistryRecord** first, unsigned int n);
