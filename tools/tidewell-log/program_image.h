// The uninstaller's file as the tool sees it: a Windows image with the log marker in its data,
// followed by the log once one is attached.
#pragma once
#include <cstdint>
#include <cstddef>

#include "tools/logwriter/log_writer.h"

namespace tidewell {

struct ProgramLayout {
    size_t imageEnd = 0;   // the end of the last section's data: where a log goes
    size_t fieldAt = 0;    // LogOffsetField, right behind the marker
    uint32_t logOffset = 0;  // 0: no log
};

// Raises LogError, in one line, for a file that is not a Windows program, holds the marker
// other than once inside its image, is signed, or whose log offset points anywhere but behind
// its image.
ProgramLayout InspectProgram(const Bytes& program);

// A copy of the program with the log behind its image and the offset written into the field;
// a log it already carries is replaced, never stacked.
Bytes AttachToProgram(const Bytes& program, const Bytes& log);

}  // namespace tidewell
