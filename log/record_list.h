// The record lists the log's readers build: an array of record pointers, zero-filled, with
// spare null entries behind the records.
#pragma once
#include "base/memory.h"
#include "log/log_format.h"

// A list of count + spare entries. A size that wraps 32 bits belongs to no log that 32-bit
// file positions can reach.
template <typename Record>
int AllocRecordList(unsigned int count, unsigned int spare, Record*** list) {
    if (count > 0xFFFFFFFFu / sizeof(Record*) - spare) return ERR_BAD_LOG;
    unsigned int size = (count + spare) * static_cast<unsigned int>(sizeof(Record*));
    return AllocZeroed(size, list) ? LOG_OK : ERR_NO_MEMORY;
}

// Frees records 0 to count - 1 and the array, and leaves an empty list; an absent list is
// accepted.
template <typename Record>
void FreeRecordList(Record*** list, unsigned int* count) {
    if (*list)
        for (unsigned int i = 0; i < *count; ++i) FreeAndNull(&(*list)[i]);
    FreeAndNull(list);
    *count = 0;
}
