// The registry records of the log: a record is a u32 root and a path after its u16 length;
// in memory it is one allocation, the fields and then the path with its terminator.
#include "log/registry_records.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "base/text.h"
#include "log/block_reader.h"
#include "log/log_format.h"
#include "log/record_list.h"

namespace {

// The path is read into the staging buffer and given its terminator; nothing behind it is
// copied, so the buffer is not cleared for each record.
int ReadRegistryRecord(HANDLE file, char* staging, RegistryRecord** entry) {
    unsigned int root;
    unsigned short pathLength;
    if (BlockReadU32(file, &root) || BlockReadU16(file, &pathLength)) return ERR_BAD_LOG;
    if (pathLength > MAX_REGISTRY_PATH || BlockRead(file, staging, pathLength)) return ERR_BAD_LOG;
    staging[pathLength] = 0;

    RegistryRecord* record;
    if (!AllocZeroed(static_cast<unsigned int>(sizeof(RegistryRecord)) + pathLength + 1, &record))
        return ERR_NO_MEMORY;
    record->root = root;
    record->path = reinterpret_cast<char*>(record + 1);
    CopyBytes(record->path, staging, pathLength + 1u);
    *entry = record;
    return LOG_OK;
}

}  // namespace

int ReadRegistryRecords(HANDLE file, RegistryRecord** first, unsigned int n) {
    char* staging;
    if (!AllocZeroed(STAGING_SIZE, &staging)) return ERR_NO_MEMORY;
    int code = LOG_OK;
    for (unsigned int i = 0; i < n && code == LOG_OK; ++i) code = ReadRegistryRecord(file, staging, &first[i]);
    FreeAndNull(&staging);
    return code;
}

int ReadRegistryList(HANDLE file) {
    unsigned int count;
    if (BlockReadU32(file, &count)) return ERR_BAD_LOG;
    // A count the payload cannot hold would size the list by records that are not there.
    if (!BlockHolds(count, REGISTRY_RECORD_MIN)) return ERR_BAD_LOG;
    RegistryRecord** list;
    int code = AllocRecordList(count, ADDED_REGISTRY_ROOM, &list);
    if (code != LOG_OK) return code;
    // The new list replaces the old one with the records added behind it.
    FreeRecordList(&run.registryEntries, &run.registryCount);
    run.registryEntries = list;
    run.registryCount = count;
    run.registryCapacity = count + ADDED_REGISTRY_ROOM;
    if (count == 0) return LOG_OK;
    return ReadRegistryRecords(file, list, count);
}
