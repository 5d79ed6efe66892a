// Heap blocks of the run: zero-filled or raw, with one retry after compacting the heap.
#include "base/memory.h"
#include "base/platform.h"

int AllocBlock(unsigned int size, int zeroed, void** out) {
    UINT flags = zeroed ? LPTR : LMEM_FIXED;
    HLOCAL block = LocalAlloc(flags, size);
    if (!block) {
        LocalCompact(static_cast<UINT>(-1));
        block = LocalAlloc(flags, size);
    }
    *out = block;
    return block != nullptr;
}

void FreeBlock(void* block) {
    LocalFree(block);
}
