// The uninstall log inside the program file: locating it, walking its blocks, and the file
// helpers every block reader uses.
#pragma once
#include "app/platform.h"

struct BlockHeader {
    unsigned short tag;
    unsigned char flags;
    unsigned char reserved;
    unsigned int length;
};

// 1 when the log was read to its end without error; 0 otherwise (after any report is shown).
int LoadUninstallLog();

// The absolute file offset of the log, as the authoring tool wrote it (0: no log).
unsigned int ReadLogOffsetField();

// The file helpers read ahead of their callers; what they deliver, and the positions FileTell
// reports and FileSeek takes, are those of one platform read per request.
HANDLE FileOpen(const char* path);
// 0 when exactly n bytes arrived, 1 when the read failed or fell short.
int FileRead(HANDLE file, void* buffer, unsigned int n);
int FileReadU16(HANDLE file, unsigned short* value);
int FileReadU32(HANDLE file, unsigned int* value);
unsigned int FileTell(HANDLE file);
void FileSeek(HANDLE file, unsigned int position);
void FileClose(HANDLE file);

// Reads the payload of the block whose header was just read, whole, into a new buffer.
int ReadBlockPayload(HANDLE file, const BlockHeader* header, char** buffer, unsigned int* length);

// Bounds the block reads below to the payload of `length` bytes that starts at the file's
// position, and to the rest of the file. The loader calls it for each block it hands on.
void EnterBlock(HANDLE file, unsigned int length);
// Reads of the payload of the block the loader is walking. Each fails (1) instead of reading
// past the end of that payload, or past the end of the file, so a reader never takes bytes of
// the next block; outside a block every read fails.
int BlockRead(HANDLE file, void* buffer, unsigned int n);
int BlockReadU16(HANDLE file, unsigned short* value);
int BlockReadU32(HANDLE file, unsigned int* value);
// 1 when the rest of the payload can hold count items of at least itemSize bytes each; a
// reader asks before it allocates anything for them.
int BlockHolds(unsigned int count, unsigned int itemSize);
