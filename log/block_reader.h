// The log's block framing and the bounded reads of a block's payload: a record reader never
// takes bytes of the next block, nor sizes anything by bytes the file does not hold.
#pragma once
#include "base/platform.h"

struct BlockHeader {
    unsigned short tag;
    unsigned char flags;
    unsigned char reserved;
    unsigned int length;
};

// 1 when a whole header was read at the file's position.
int ReadBlockHeader(HANDLE file, BlockHeader* header);

// Bounds the block reads below to the payload of `length` bytes that starts at the file's
// position, and to the rest of the file. The loader enters each block it hands on, and leaves
// it before the next.
void EnterBlock(HANDLE file, unsigned int length);
void LeaveBlock();

// Reads of the payload of the block being read. Each fails (1) instead of reading past the end
// of that payload, or past the end of the file; outside a block every read fails. The numbers
// of the log are little-endian; bytes that did not arrive read as zero.
int BlockRead(HANDLE file, void* buffer, unsigned int n);
int BlockReadU16(HANDLE file, unsigned short* value);
int BlockReadU32(HANDLE file, unsigned int* value);
// 1 when the rest of the payload can hold count items of at least itemSize bytes each; a
// reader asks before it allocates anything for them.
int BlockHolds(unsigned int count, unsigned int itemSize);

// Reads the payload of the block whose header was just read, whole, into a new buffer.
int ReadBlockPayload(HANDLE file, const BlockHeader* header, char** buffer, unsigned int* length);
