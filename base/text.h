// ANSI text and path helpers. Every bound is the caller's buffer size, terminator included;
// a function that reports 0 did not have room and leaves a terminated, shortened text.
#pragma once

unsigned int TextLength(const char* text);
int CopyText(char* destination, unsigned int size, const char* source);
int AppendText(char* destination, unsigned int size, const char* source);
// Appends the number in decimal; 0 when there is no room.
int AppendNumber(char* destination, unsigned int size, unsigned long value);
void CopyBytes(void* destination, const void* source, unsigned int count);
void FillZero(void* destination, unsigned int count);

char ToUpperAscii(char c);
// Equality that folds only the ASCII letters A to Z; every other byte must be identical.
int EqualsIgnoreCase(const char* a, const char* b);
// The last occurrence of c in text, or null.
char* FindLast(char* text, char c);

// Paths live in buffers of PATH_SIZE bytes.
// 1 when a platform call that writes a path into such a buffer and returns its length delivered
// all of it: 0 is a failure, and PATH_SIZE or more a path that did not fit (never to be used cut).
int FitsPathBuffer(unsigned int length);
// Appends a backslash to a non-empty path that does not end with one; 0 when there is no room.
int AppendBackslash(char* path);
// Removes one trailing backslash from a path of 4 or more characters (C:\ keeps its own).
void StripBackslash(char* path);
