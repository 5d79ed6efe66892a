// A thin Win32 for the log-loading benchmark: the loader's file calls go to a real file through
// the system's own calls, its heap blocks to malloc with their sizes kept for the count. Only the
// calls the loader makes exist here; the benchmark links no stand-in.
#include "bench/host/real_file_win32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "base/platform.h"

namespace realfile {
namespace {

std::string programPath;
unsigned int programLogOffset;
Counters counts;

int Descriptor(HANDLE file) {
    return static_cast<int>(reinterpret_cast<intptr_t>(file)) - 1;
}

// Each block carries its size in front of it, so a free can be counted.
struct BlockHead {
    size_t size;
    size_t pad;  // keeps the block's own bytes 16-byte aligned, as malloc's are
};

}  // namespace

void SetProgram(const std::string& path, unsigned int logOffset) {
    programPath = path;
    programLogOffset = logOffset;
}

const Counters& Count() { return counts; }

void ResetCounts() {
    size_t liveBytes = counts.liveBytes, liveBlocks = counts.liveBlocks;
    counts = Counters{};
    counts.liveBytes = liveBytes;
    counts.liveBlocks = liveBlocks;
}

}  // namespace realfile

using realfile::counts;

unsigned int ReadLogOffsetField() { return realfile::programLogOffset; }

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR name, DWORD size) {
    const std::string& path = realfile::programPath;
    if (size == 0) return 0;
    size_t length = path.size() < size ? path.size() : size - 1;
    std::memcpy(name, path.data(), length);
    name[length] = 0;
    return static_cast<DWORD>(length < path.size() ? size : length);
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    int descriptor = open(name, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return INVALID_HANDLE_VALUE;
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(descriptor) + 1);
}

// A regular file delivers every byte asked for, up to its end.
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void*) {
    ++counts.readCalls;
    DWORD got = 0;
    while (got < toRead) {
        ssize_t now = ::read(realfile::Descriptor(file), static_cast<char*>(buffer) + got, toRead - got);
        if (now < 0) {
            *read = got;
            return FALSE;
        }
        if (now == 0) break;
        got += static_cast<DWORD>(now);
    }
    *read = got;
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    ++counts.seekCalls;
    off_t offset = distanceHigh ? static_cast<off_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                     static_cast<uint32_t>(distance))
                                : static_cast<off_t>(distance);
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t at = lseek(realfile::Descriptor(file), offset, whence);
    if (at < 0) return INVALID_SET_FILE_POINTER;
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(at) >> 32);
    return static_cast<DWORD>(at);
}

BOOL WINAPI CloseHandle(HANDLE object) {
    return ::close(realfile::Descriptor(object)) == 0;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    void* raw = (flags & LMEM_ZEROINIT) ? std::calloc(1, sizeof(realfile::BlockHead) + bytes)
                                        : std::malloc(sizeof(realfile::BlockHead) + bytes);
    if (!raw) return nullptr;
    static_cast<realfile::BlockHead*>(raw)->size = bytes;
    ++counts.allocations;
    ++counts.liveBlocks;
    counts.liveBytes += bytes;
    return static_cast<realfile::BlockHead*>(raw) + 1;
}

HLOCAL WINAPI LocalFree(HLOCAL block) {
    if (!block) return nullptr;
    realfile::BlockHead* head = static_cast<realfile::BlockHead*>(block) - 1;
    --counts.liveBlocks;
    counts.liveBytes -= head->size;
    std::free(head);
    return nullptr;
}

SIZE_T WINAPI LocalCompact(UINT) { return 0; }

// Only a damaged log or a shortage shows a box; the benchmark's logs are sound.
int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR, UINT) {
    std::fprintf(stderr, "log-load benchmark: the loader reported: %s\n", text);
    return IDOK;
}

// The loader compares a log's code page with the run's; the bench's logs carry none.
UINT WINAPI GetACP() { return 1252; }
