// The uninstall log inside the program file: walking its blocks and handing each payload to
// the reader for its tag.
#include "log/loader.h"
#include "app/memory.h"
#include "app/run_context.h"
#include "app/text.h"
#include "log/catalogue.h"
#include "log/file_records.h"
#include "log/log_format.h"
#include "log/pattern_list.h"
#include "log/registry_records.h"

namespace {

// The read-ahead under the file helpers: the records are read a few bytes at a time, and one
// platform read per piece would cost more than all the rest of the load. It holds bytes of one
// file that follow the helpers' position in it; the platform's own position in that file stands
// at the end of them.
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

namespace {

// The bytes of the current block's payload that readers may still take; 0 outside a block.
unsigned int blockLeft;

unsigned short DecodeU16(const unsigned char* bytes) {
    return static_cast<unsigned short>(bytes[0] | bytes[1] << 8);
}

unsigned int DecodeU32(const unsigned char* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<unsigned int>(bytes[3]) << 24;
}

// The numbers of the log are little-endian. Each is read through the file helpers or the block
// reads; 0 when it arrived whole, and the bytes that did not arrive read as zero.
typedef int (*ByteReader)(HANDLE file, void* buffer, unsigned int n);

int ReadU16With(ByteReader read, HANDLE file, unsigned short* value) {
    unsigned char bytes[2] = {0, 0};
    int failed = read(file, bytes, sizeof bytes);
    *value = DecodeU16(bytes);
    return failed;
}

int ReadU32With(ByteReader read, HANDLE file, unsigned int* value) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    int failed = read(file, bytes, sizeof bytes);
    *value = DecodeU32(bytes);
    return failed;
}

// Moves the platform's position to the end of the file: the caller seeks back.
unsigned int FileSize(HANDLE file) {
    ForgetReadAhead(file);
    LONG high = 0;
    DWORD size = SetFilePointer(file, 0, &high, FILE_END);
    return high != 0 ? 0xFFFFFFFFu : size;  // past 4 GB every 32-bit position is in the file
}

}  // namespace

int FileReadU16(HANDLE file, unsigned short* value) {
    return ReadU16With(FileRead, file, value);
}

int FileReadU32(HANDLE file, unsigned int* value) {
    return ReadU32With(FileRead, file, value);
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

void FileClose(HANDLE file) {
    ForgetReadAhead(file);
    CloseHandle(file);
}

void EnterBlock(HANDLE file, unsigned int length) {
    unsigned int start = FileTell(file);
    unsigned int size = FileSize(file);
    FileSeek(file, start);
    // A length that reaches past the end of the file claims bytes that are not there; bounding
    // by the file keeps a reader from sizing anything by them.
    unsigned int inFile = start < size ? size - start : 0;
    blockLeft = length < inFile ? length : inFile;
}

int BlockRead(HANDLE file, void* buffer, unsigned int n) {
    if (n > blockLeft) return 1;
    if (n == 0) return 0;
    blockLeft -= n;
    return FileRead(file, buffer, n);
}

int BlockReadU16(HANDLE file, unsigned short* value) {
    return ReadU16With(BlockRead, file, value);
}

int BlockReadU32(HANDLE file, unsigned int* value) {
    return ReadU32With(BlockRead, file, value);
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

namespace {

int ReadBlockHeader(HANDLE file, BlockHeader* header) {
    unsigned char bytes[BLOCK_HEADER_SIZE];
    if (FileRead(file, bytes, sizeof bytes)) return 0;
    header->tag = DecodeU16(bytes);
    header->flags = bytes[2];
    header->reserved = bytes[3];
    header->length = DecodeU32(bytes + 4);
    return 1;
}

int ReadAddedRegistryRecord(HANDLE file) {
    // Only the spare entries behind the last registry list take added records.
    if (run.registryCount >= run.registryCapacity) return ERR_BAD_LOG;
    int code = ReadRegistryRecords(file, run.registryEntries + run.registryCount, 1);
    if (code == LOG_OK) ++run.registryCount;
    return code;
}

int DispatchBlock(HANDLE file, const BlockHeader* header) {
    switch (header->tag) {
    case BLOCK_MESSAGES:
        return ReadMessageCatalogue(file);
    case BLOCK_FILES:
        return ReadFileRecords(file);
    case BLOCK_FOLDERS:
        return ReadFolderRecords(file);
    case BLOCK_REGISTRY:
        return ReadRegistryList(file);
    case BLOCK_REGISTRY_ADD:
        return ReadAddedRegistryRecord(file);
    case BLOCK_PATTERNS:
        return ReadPatternList(file, header);
    default:
        return LOG_OK;  // unknown tags, and BLOCK_END with a payload, are passed over
    }
}

int WalkBlocks(HANDLE file) {
    BlockHeader header;
    for (;;) {
        if (!ReadBlockHeader(file, &header)) return ERR_BAD_LOG;
        if (header.length != 0) {
            unsigned int start = FileTell(file);
            unsigned int next = start + header.length;
            // A length that wraps the 32-bit position would lead the walk back to a block it
            // has read, and round again for ever.
            if (next < start) return ERR_BAD_LOG;
            EnterBlock(file, header.length);
            int code = DispatchBlock(file, &header);
            blockLeft = 0;
            if (code != LOG_OK) return code;
            FileSeek(file, next);
        }
        if (header.tag == BLOCK_END) return LOG_OK;
    }
}

}  // namespace

int LoadUninstallLog() {
    unsigned int offset = ReadLogOffsetField();
    if (offset == 0) return 0;
    DWORD length = GetModuleFileNameA(run.instance, run.modulePath, PATH_SIZE);
    if (length == 0 || length >= PATH_SIZE) return 0;  // a cut name could open another file

    HANDLE file = FileOpen(run.modulePath);
    if (file == INVALID_HANDLE_VALUE) return 0;
    FileSeek(file, offset);
    int code = WalkBlocks(file);
    FileClose(file);
    if (code == LOG_OK) return 1;

    char* message;
    if (!AllocZeroed(MESSAGE_SIZE, &message)) return 0;
    FormatMessageText(message, code, run.modulePath);
    ShowMessage(message, MB_OK | MB_ICONINFORMATION);
    FreeAndNull(&message);
    return 0;
}
