// The program file, read ahead: the records are read a few bytes at a time, and one platform
// read per piece would cost more than all the rest of the load. What these deliver, and the
// positions FileTell reports and FileSeek takes, are those of one platform read per request.
#pragma once
#include "base/platform.h"

HANDLE FileOpen(const char* path);
// 0 when exactly n bytes arrived, 1 when the read failed or fell short.
int FileRead(HANDLE file, void* buffer, unsigned int n);
unsigned int FileTell(HANDLE file);
void FileSeek(HANDLE file, unsigned int position);
// The bytes from the position to the end of the file (every 32-bit position lies in a file past
// 4 GB); the position stays.
unsigned int FileBytesLeft(HANDLE file);
void FileClose(HANDLE file);
