// Reads a log as the program reads it: the same walk over the blocks, the same limits, the
// same refusals. `dump` and `check` see exactly what the program would hold, or why it would
// refuse the log.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/findings.h"

namespace tidewell {

struct BlockInfo {
    uint32_t offset = 0;  // of the header, in the file
    uint16_t tag = 0;
    uint8_t flags = 0;
    uint8_t reserved = 0;
    uint32_t length = 0;
};

struct ReadLog {
    uint32_t offset = 0;
    std::vector<BlockInfo> blocks;  // every block the walk reached, the failing one included
    LogContent content;             // the lists as the program holds them after the walk
    size_t catalogueTexts = 0;      // texts in the catalogue's table 0
    bool accepted = false;          // read to BLOCK_END without an error
    uint64_t end = 0;               // file position right after BLOCK_END
    Findings findings;              // the error that ends the walk, and warnings about the framing
};

const char* BlockName(uint16_t tag);

// The log that starts at `offset` in `file`.
ReadLog ReadLogAt(const Bytes& file, uint32_t offset);
// The log of an uninstaller: raises LogError when the file is not one or carries no log.
ReadLog ReadProgramLog(const Bytes& program);

}  // namespace tidewell
