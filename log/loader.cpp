// The uninstall log inside the program file: walking its blocks and handing each payload to
// the reader for its tag.
#include "log/loader.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "log/block_reader.h"
#include "log/catalogue.h"
#include "log/file_reader.h"
#include "log/file_records.h"
#include "log/log_format.h"
#include "log/pattern_list.h"
#include "log/record_list.h"
#include "log/registry_records.h"

namespace {

int ReadAddedRegistryRecord(HANDLE file) {
    // Only the spare entries behind the last registry list take added records.
    if (run.registryCount >= run.registryCapacity) return ERR_BAD_LOG;
    int code = ReadRegistryRecords(file, run.registryEntries + run.registryCount, 1);
    if (code == LOG_OK) ++run.registryCount;
    return code;
}

// A log read in another code page than its own would name other files than its installation
// made: a changed locale, or a copy on a machine whose code page is not the log's.
int CheckCodePage(HANDLE file) {
    unsigned int codePage;
    if (BlockReadU32(file, &codePage)) return ERR_BAD_LOG;
    return codePage == GetACP() ? LOG_OK : ERR_OTHER_CODE_PAGE;
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
    case BLOCK_CODE_PAGE:
        return CheckCodePage(file);
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
            LeaveBlock();
            if (code != LOG_OK) return code;
            FileSeek(file, next);
        }
        if (header.tag == BLOCK_END) return LOG_OK;
    }
}

}  // namespace

int ReadUninstallLog() {
    unsigned int offset = ReadLogOffsetField();
    if (offset == 0 || !run.modulePath || !run.modulePath[0]) return LOG_NOT_READ;
    HANDLE file = FileOpen(run.modulePath);
    if (file == INVALID_HANDLE_VALUE) return LOG_NOT_READ;
    FileSeek(file, offset);
    int code = WalkBlocks(file);
    FileClose(file);
    return code;
}

void FreeUninstallLog() {
    FreeAndNull(&run.patterns);
    FreeRecordList(&run.registryEntries, &run.registryCount);
    run.registryCapacity = 0;
    FreeRecordList(&run.folders, &run.folderCount);
    FreeRecordList(&run.files, &run.fileCount);
    FreeCatalogue();
}
