// Heap blocks of the run: zero-filled or raw, with one retry after compacting the heap.
#pragma once

int AllocBlock(unsigned int size, int zeroed, void** out);
void FreeBlock(void* block);

template <typename T>
inline int AllocZeroed(unsigned int size, T** out) {
    void* block;
    int ok = AllocBlock(size, 1, &block);
    *out = static_cast<T*>(block);
    return ok;
}

template <typename T>
inline int AllocRaw(unsigned int size, T** out) {
    void* block;
    int ok = AllocBlock(size, 0, &block);
    *out = static_cast<T*>(block);
    return ok;
}

template <typename T>
inline void FreeAndNull(T** pointer) {
    if (*pointer) {
        FreeBlock(*pointer);
        *pointer = nullptr;
    }
}
