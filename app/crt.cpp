// The two memory routines the compiler may call on its own (for zeroing or copying a
// structure), for the Windows builds, which link no C runtime.
#include <stddef.h>

extern "C" {

__attribute__((used, optimize("no-tree-loop-distribute-patterns"))) void* memset(void* destination, int value,
                                                                             size_t count) {
    unsigned char* to = static_cast<unsigned char*>(destination);
    while (count--) *to++ = static_cast<unsigned char>(value);
    return destination;
}

__attribute__((used, optimize("no-tree-loop-distribute-patterns"))) void* memcpy(void* destination,
                                                                             const void* source, size_t count) {
    unsigned char* to = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    while (count--) *to++ = *from++;
    return destination;
}
}
