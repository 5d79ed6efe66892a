// The log's block framing and the bounded reads of a block's payload.
#include "log/block_reader.h"
#include "base/memory.h"
#include "log/file_reader.h"
#include "log/log_format.h"

namespace {

// The bytes of the current block's payload that readers may still take; 0 outside a block.
unsigned int blockLeft;

unsigned short DecodeU16(const unsigned char* bytes) {
    return static_cast<unsigned short>(bytes[0] | bytes[1] << 8);
}

unsigned int DecodeU32(const unsigned char* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<unsigned int>(bytes[3]) << 24;
}

}  // namespace

int ReadBlockHeader(HANDLE file, BlockHeader* header) {
    unsigned char bytes[BLOCK_HEADER_SIZE];
    if (FileRead(file, bytes, sizeof bytes)) return 0;
    header->tag = DecodeU16(bytes);
    header->flags = bytes[2];
    header->reserved = bytes[3];
    header->length = DecodeU32(bytes + 4);
    return 1;
}

void EnterBlock(HANDLE file, unsigned int length) {
    // A length that reaches past the end of the file claims bytes that are not there; bounding
    // by the file keeps a reader from sizing anything by them.
    unsigned int inFile = FileBytesLeft(file);
    blockLeft = length < inFile ? length : inFile;
}

void LeaveBlock() {
    blockLeft = 0;
}

int BlockRead(HANDLE file, void* buffer, unsigned int n) {
    if (n > blockLeft) return 1;
    if (n == 0) return 0;
    blockLeft -= n;
    return FileRead(file, buffer, n);
}

int BlockReadU16(HANDLE file, unsigned short* value) {
    unsigned char bytes[2] = {0, 0};
    int failed = BlockRead(file, bytes, sizeof bytes);
    *value = DecodeU16(bytes);
    return failed;
}

int BlockReadU32(HANDLE file, unsigned int* value) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    int failed = BlockRead(file, bytes, sizeof bytes);
    *value = DecodeU32(bytes);
    return failed;
}

int BlockHolds(unsigned int count, unsigned int itemSize) {
    return count <= blockLeft / itemSize;
}

int ReadBlockPayload(HANDLE file, const BlockHeader* header, char** buffer, unsigned int* length) {
    if (length) *length = header->length;
    if (header->flags & BLOCK_FLAG_REJECTED) return ERR_BAD_LOG;
    // A payload the file cannot hold would be read short anyway: no memory is taken for it.
    if (!BlockHolds(header->length, 1)) return ERR_BAD_LOG;
    if (!AllocRaw(header->length, buffer)) return ERR_NO_MEMORY;
    if (BlockRead(file, *buffer, header->length)) {
        FreeAndNull(buffer);
        return ERR_BAD_LOG;
    }
    return LOG_OK;
}
