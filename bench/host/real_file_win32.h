// The log-loading benchmark's platform: the few Win32 calls the loader makes, on a real file of
// this machine, with counts of what the loader asked for.
#pragma once
#include <cstddef>
#include <string>

namespace realfile {

// The program file GetModuleFileNameA names and the log offset the program's data holds.
void SetProgram(const std::string& path, unsigned int logOffset);

struct Counters {
    size_t readCalls = 0;      // ReadFile calls
    size_t seekCalls = 0;      // SetFilePointer calls
    size_t allocations = 0;    // LocalAlloc calls that succeeded
    size_t liveBytes = 0;      // bytes asked for and not yet freed
    size_t liveBlocks = 0;
};
const Counters& Count();
void ResetCounts();

}  // namespace realfile
