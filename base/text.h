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
// The character after the one at text (which is not its end): a lead byte of the ANSI code
// page's double-byte characters takes the byte after it along.
const char* NextCharacter(const char* text);
// How many bytes at the start of a, at most `limit`, b begins with too: ASCII letters of either
// case alike, every other character the same bytes, a double-byte one only whole.
unsigned int SameStart(const char* a, const char* b, unsigned int limit);
// Equality that folds only the ASCII letters A to Z; every other byte must be identical (the
// trail byte of a double-byte character is never folded).
int EqualsIgnoreCase(const char* a, const char* b);
// The last occurrence of the ASCII character c in text, or null.
char* FindLast(char* text, char c);

// Paths live in buffers of PATH_SIZE bytes.
// 1 when the path has at most LONGEST_PATH characters as the system counts them: a longer one
// is refused by every call however few bytes it takes, and is never acted on.
int FitsLongestPath(const char* path);
// 1 when a platform call that writes a path into such a buffer and returns its length delivered
// all of it: 0 is a failure, and PATH_SIZE or more a path that did not fit (never to be used cut).
int FitsPathBuffer(unsigned int length);
// Appends a backslash to a non-empty path that does not end with one; 0 when there is no room.
int AppendBackslash(char* path);
// Removes one trailing backslash from a path of 4 or more characters (C:\ keeps its own).
void StripBackslash(char* path);
