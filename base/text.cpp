// ANSI text and path helpers.
#include "base/text.h"
#include "base/buffer_sizes.h"

unsigned int TextLength(const char* text) {
    unsigned int length = 0;
    while (text[length]) ++length;
    return length;
}

int CopyText(char* destination, unsigned int size, const char* source) {
    if (size == 0) return 0;
    destination[0] = 0;
    return AppendText(destination, size, source);
}

int AppendText(char* destination, unsigned int size, const char* source) {
    unsigned int at = TextLength(destination);
    while (*source) {
        if (at + 1 >= size) {
            destination[at] = 0;
            return 0;
        }
        destination[at++] = *source++;
    }
    destination[at] = 0;
    return 1;
}

int AppendNumber(char* destination, unsigned int size, unsigned long value) {
    char digits[24];
    unsigned int at = sizeof digits - 1;
    digits[at] = 0;
    do {
        digits[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    return AppendText(destination, size, digits + at);
}

void CopyBytes(void* destination, const void* source, unsigned int count) {
    unsigned char* to = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    while (count--) *to++ = *from++;
}

void FillZero(void* destination, unsigned int count) {
    unsigned char* to = static_cast<unsigned char*>(destination);
    while (count--) *to++ = 0;
}

char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int EqualsIgnoreCase(const char* a, const char* b) {
    while (*a && ToUpperAscii(*a) == ToUpperAscii(*b)) {
        ++a;
        ++b;
    }
    return ToUpperAscii(*a) == ToUpperAscii(*b);
}

char* FindLast(char* text, char c) {
    char* last = nullptr;
    for (; *text; ++text)
        if (*text == c) last = text;
    return last;
}

int FitsPathBuffer(unsigned int length) {
    return length != 0 && length < PATH_SIZE;
}

int AppendBackslash(char* path) {
    unsigned int length = TextLength(path);
    if (length == 0 || path[length - 1] == '\\') return 1;
    if (length + 1 >= PATH_SIZE) return 0;
    path[length] = '\\';
    path[length + 1] = 0;
    return 1;
}

void StripBackslash(char* path) {
    unsigned int length = TextLength(path);
    if (length >= 4 && path[length - 1] == '\\') path[length - 1] = 0;
}
