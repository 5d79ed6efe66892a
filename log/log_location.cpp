// Where the log starts: LOG_MARKER, then LogOffsetField, in the program's initialised data.
// The authoring tool finds the marker in the program file and writes the log's offset behind it.
#include "log/loader.h"
#include "log/log_format.h"

namespace {

#pragma pack(push, 1)
struct LogLocator {
    char marker[LOG_MARKER_LENGTH];
    unsigned char LogOffsetField[LOG_OFFSET_FIELD_SIZE];  // u32, little-endian, unaligned
};
#pragma pack(pop)

static_assert(sizeof(LogLocator) == LOG_MARKER_LENGTH + LOG_OFFSET_FIELD_SIZE,
              "the offset field follows the marker directly");

// Volatile: the field changes in the file after the build, so it is read at run time.
volatile LogLocator logLocator = {{LOG_MARKER}, {0, 0, 0, 0}};

}  // namespace

unsigned int ReadLogOffsetField() {
    unsigned int offset = 0;
    for (int i = LOG_OFFSET_FIELD_SIZE - 1; i >= 0; --i) offset = (offset << 8) | logLocator.LogOffsetField[i];
    return offset;
}
