// The installed-file and shortcut/folder records of the log. Both blocks hold a u32 count and
// then records of a folder and a name, each after its u16 length; a file record ends with a
// flags byte. Each record is one allocation: its fields, then both strings with terminators.
#include "log/file_records.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "base/text.h"
#include "log/block_reader.h"
#include "log/log_format.h"
#include "log/record_list.h"

namespace {

void StoreFlags(FileRecord* record, unsigned char flags) {
    record->flags = flags;
}

void StoreFlags(FolderRecord*, unsigned char) {}

// Reads the two strings into the staging buffer, each followed by its terminator: the folder at
// the start, the name after the folder's terminator. Both with their terminators must fit it.
// Only the two terminators are written: the bytes behind them are never copied, so the buffer
// need not be cleared for each record (clearing all of it took most of the load's time).
int ReadRecordStrings(HANDLE file, char* staging, unsigned int* folderLength, unsigned int* nameLength) {
    unsigned short length;
    if (BlockReadU16(file, &length) || length > MAX_RECORD_STRINGS) return ERR_BAD_LOG;
    *folderLength = length;
    if (BlockRead(file, staging, *folderLength)) return ERR_BAD_LOG;
    staging[*folderLength] = 0;
    if (BlockReadU16(file, &length) || *folderLength + length > MAX_RECORD_STRINGS) return ERR_BAD_LOG;
    *nameLength = length;
    if (BlockRead(file, staging + *folderLength + 1, *nameLength)) return ERR_BAD_LOG;
    staging[*folderLength + 1 + *nameLength] = 0;
    return LOG_OK;
}

template <typename Record>
int ReadRecord(HANDLE file, char* staging, unsigned int flagBytes, Record** entry) {
    unsigned int folderLength, nameLength;
    int code = ReadRecordStrings(file, staging, &folderLength, &nameLength);
    if (code != LOG_OK) return code;
    unsigned char flags = 0;
    if (flagBytes && BlockRead(file, &flags, 1)) return ERR_BAD_LOG;

    unsigned int stringBytes = folderLength + nameLength + 2;
    Record* record;
    if (!AllocZeroed(static_cast<unsigned int>(sizeof(Record)) + stringBytes, &record)) return ERR_NO_MEMORY;
    char* strings = reinterpret_cast<char*>(record + 1);
    record->folder = strings;
    record->name = strings + folderLength + 1;
    StoreFlags(record, flags);
    CopyBytes(strings, staging, stringBytes);
    *entry = record;
    return LOG_OK;
}

// Reads the block into a new list with two spare null entries, which replaces the old list
// as soon as it is allocated. The records read before a failure stay in it, to be freed with
// it; the run ends on any failure.
template <typename Record>
int ReadRecordList(HANDLE file, unsigned int recordMin, unsigned int flagBytes, Record*** list,
                   unsigned int* count) {
    unsigned int newCount;
    if (BlockReadU32(file, &newCount)) return ERR_BAD_LOG;
    // A count the payload cannot hold would size the list by records that are not there.
    if (!BlockHolds(newCount, recordMin)) return ERR_BAD_LOG;
    Record** newList;
    int code = AllocRecordList(newCount, 2, &newList);
    if (code != LOG_OK) return code;
    FreeRecordList(list, count);
    *list = newList;
    *count = newCount;

    char* staging;
    if (!AllocZeroed(STAGING_SIZE, &staging)) return ERR_NO_MEMORY;
    for (unsigned int i = 0; i < newCount && code == LOG_OK; ++i)
        code = ReadRecord(file, staging, flagBytes, &newList[i]);
    FreeAndNull(&staging);
    return code;
}

}  // namespace

int ReadFileRecords(HANDLE file) {
    return ReadRecordList(file, FILE_RECORD_MIN, 1, &run.files, &run.fileCount);
}

int ReadFolderRecords(HANDLE file) {
    return ReadRecordList(file, FOLDER_RECORD_MIN, 0, &run.folders, &run.folderCount);
}
