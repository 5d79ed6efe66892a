// ANSI text and path helpers. Texts are stepped through by characters of the ANSI code page,
// so that the second byte of a double-byte one (932, 936, 949, 950) is never taken for a
// backslash or a letter; in UTF-8 no byte of a character beyond ASCII is an ASCII one.
#include "base/text.h"
#include "base/buffer_sizes.h"
#include "base/platform.h"

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

const char* NextCharacter(const char* text) {
    // No code page has a lead byte below 0x80: ASCII, the bulk of every path, asks the system nothing.
    BYTE byte = static_cast<BYTE>(*text);
    return byte >= 0x80 && IsDBCSLeadByte(byte) && text[1] ? text + 2 : text + 1;
}

unsigned int SameStart(const char* a, const char* b, unsigned int limit) {
    unsigned int at = 0;
    while (a[at] && at < limit) {
        unsigned int size = static_cast<unsigned int>(NextCharacter(a + at) - (a + at));
        if (size == 2) {
            // A double-byte character only whole and as it stands: its trail byte may be a letter.
            if (at + 2 > limit || a[at] != b[at] || a[at + 1] != b[at + 1]) break;
        } else if (ToUpperAscii(a[at]) != ToUpperAscii(b[at])) {
            break;
        }
        at += size;
    }
    return at;
}

int EqualsIgnoreCase(const char* a, const char* b) {
    unsigned int same = SameStart(a, b, 0xFFFFFFFFu);
    return !a[same] && !b[same];
}

char* FindLast(char* text, char c) {
    char* last = nullptr;
    for (; *text; text = const_cast<char*>(NextCharacter(text)))
        if (*text == c) last = text;
    return last;
}

int FitsLongestPath(const char* path) {
    unsigned int length = TextLength(path);
    if (length <= LONGEST_PATH) return 1;  // no character takes less than a byte
    int utf8 = GetACP() == CP_UTF8;
    unsigned int units = 0;
    for (const char* at = path; *at; at = NextCharacter(at)) {
        BYTE byte = static_cast<BYTE>(*at);
        // In UTF-8 a character beyond ASCII is a lead byte and continuation bytes; one of four
        // bytes is a pair of UTF-16 units. A double-byte character is one unit.
        if (utf8 && byte >= 0x80 && byte < 0xC0) continue;
        units += utf8 && byte >= 0xF0 ? 2 : 1;
    }
    return units <= LONGEST_PATH;
}

int FitsPathBuffer(unsigned int length) {
    return length != 0 && length < PATH_SIZE;
}

namespace {

// 1 when the path's last character is a backslash, never the trail byte of a double-byte one.
int EndsWithBackslash(const char* path) {
    const char* last = nullptr;
    for (const char* at = path; *at; at = NextCharacter(at)) last = at;
    return last && *last == '\\';
}

}  // namespace

int AppendBackslash(char* path) {
    unsigned int length = TextLength(path);
    if (length == 0 || EndsWithBackslash(path)) return 1;
    if (length + 1 >= PATH_SIZE) return 0;
    path[length] = '\\';
    path[length + 1] = 0;
    return 1;
}

void StripBackslash(char* path) {
    unsigned int length = TextLength(path);
    if (length >= 4 && EndsWithBackslash(path)) path[length - 1] = 0;
}
