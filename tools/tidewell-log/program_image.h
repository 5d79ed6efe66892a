// The uninstaller's file as the tool sees it: a Windows image with the log marker in its data,
// followed by the log once one is attached.
#pragma once
#include <cstdint>
#include <cstddef>
#include <optional>

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

// Where the program's resource of this type and number lies in its file (the first language there
// is): offset and size. None when it carries no such resource; raises LogError for a resource
// table that leads outside the file.
struct ResourcePlace {
    size_t offset = 0;
    size_t size = 0;
};
std::optional<ResourcePlace> ResourceData(const Bytes& program, uint32_t type, uint32_t id);

// A copy of the program with the log behind its image and the offset written into the field;
// a log it already carries is replaced, never stacked.
Bytes AttachToProgram(const Bytes& program, const Bytes& log);

}  // namespace tidewell
