// The program file, read ahead.
#include "log/file_reader.h"
#include "base/text.h"

namespace {

// The read-ahead holds bytes of one file that follow the helpers' position in it; the
// platform's own position in that file stands at the end of them.
enum { READ_AHEAD_SIZE = 4096 };

struct ReadAhead {
    HANDLE file;         // the file the bytes are from; null when it holds none
    unsigned int next;   // the next byte to hand out
    unsigned int end;    // the end of the bytes read
    unsigned char bytes[READ_AHEAD_SIZE];
};

ReadAhead ahead;

// The bytes read ahead and not yet handed out, for the file.
unsigned int AheadLeft(HANDLE file) {
    return ahead.file == file ? ahead.end - ahead.next : 0;
}

// Forgets the file's bytes, for a caller that sets the file's position itself or closes it.
void ForgetReadAhead(HANDLE file) {
    if (ahead.file != file) return;
    ahead.file = nullptr;
    ahead.next = ahead.end = 0;
}

// Hands the bytes back to their file before the read-ahead takes another's: the platform's
// position in it goes back to the helpers' own.
void ReturnReadAhead() {
    unsigned int left = ahead.end - ahead.next;
    if (ahead.file && left) SetFilePointer(ahead.file, -static_cast<LONG>(left), nullptr, FILE_CURRENT);
    ForgetReadAhead(ahead.file);
}

}  // namespace

HANDLE FileOpen(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    // A handle of a file closed without the helpers may come back for this one.
    ForgetReadAhead(file);
    return file;
}

int FileRead(HANDLE file, void* buffer, unsigned int n) {
    unsigned char* to = static_cast<unsigned char*>(buffer);
    if (ahead.file != file) ReturnReadAhead();
    unsigned int take = AheadLeft(file) < n ? AheadLeft(file) : n;
    CopyBytes(to, ahead.bytes + ahead.next, take);
    ahead.next += take;
    to += take;
    n -= take;
    if (n == 0) return 0;

    // What is left goes straight to the caller when it would fill the read-ahead anyway.
    DWORD got = 0;
    if (n >= READ_AHEAD_SIZE) {
        ForgetReadAhead(file);
        return !(ReadFile(file, to, n, &got, nullptr) && got == n);
    }
    // A failed read leaves nothing read ahead: the position is the platform's again.
    if (!ReadFile(file, ahead.bytes, READ_AHEAD_SIZE, &got, nullptr)) {
        ForgetReadAhead(file);
        return 1;
    }
    ahead.file = file;
    ahead.end = got;
    // At the end of the file fewer bytes arrive than asked for; those that did are delivered.
    take = got < n ? got : n;
    CopyBytes(to, ahead.bytes, take);
    ahead.next = take;
    return take != n;
}

unsigned int FileTell(HANDLE file) {
    // The platform's position is past the bytes read ahead.
    return SetFilePointer(file, 0, nullptr, FILE_CURRENT) - AheadLeft(file);
}

void FileSeek(HANDLE file, unsigned int position) {
    ForgetReadAhead(file);
    // The high part makes the whole unsigned 32-bit range a position; alone, the low part
    // would read as negative from 2 GB on and the seek would not move.
    LONG high = 0;
    SetFilePointer(file, static_cast<LONG>(position), &high, FILE_BEGIN);
}

unsigned int FileBytesLeft(HANDLE file) {
    unsigned int position = FileTell(file);
    ForgetReadAhead(file);
    LONG high = 0;
    DWORD size = SetFilePointer(file, 0, &high, FILE_END);
    FileSeek(file, position);
    if (high != 0) size = 0xFFFFFFFFu;  // past 4 GB every 32-bit position is in the file
    return position < size ? size - position : 0;
}

void FileClose(HANDLE file) {
    ForgetReadAhead(file);
    CloseHandle(file);
}
