// Fuzz target for the log loader: the input is the log, attached to a program file in the
// stand-in's world and loaded as the entry loads it. Whatever the input, the load must end
// without a fault, a leak or an open handle, and a log that loads must hold only records that
// lie whole inside their lists and buffers.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/load_log.h"
#include "app/run_setup.h"
#include "base/run_context.h"
#include "base/text.h"
#include "fake_win32.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "removal/record_paths.h"

namespace {

constexpr char kProgram[] = "C:\\Program Files\\Pkg\\Remove.exe";
constexpr uint32_t kImageSize = 64;

void Require(bool condition) {
    if (!condition) std::abort();
}

// Touches every byte the removal phases could read; AddressSanitizer reports any that lies
// outside its allocation.
void CheckLoadedLog() {
    for (char** text = run.catalogue; text && *text; ++text) TextLength(*text);
    if (run.files) {
        for (unsigned int i = 0; i < run.fileCount; ++i)
            Require(TextLength(run.files[i]->folder) + TextLength(run.files[i]->name) <= MAX_RECORD_STRINGS);
        Require(!run.files[run.fileCount] && !run.files[run.fileCount + 1]);
    }
    if (run.folders) {
        for (unsigned int i = 0; i < run.folderCount; ++i)
            Require(TextLength(run.folders[i]->folder) + TextLength(run.folders[i]->name) <= MAX_RECORD_STRINGS);
        Require(!run.folders[run.folderCount] && !run.folders[run.folderCount + 1]);
    }
    if (run.registryEntries) {
        Require(run.registryCount <= run.registryCapacity);
        for (unsigned int i = 0; i < run.registryCount; ++i) Require(TextLength(run.registryEntries[i]->path) <= MAX_REGISTRY_PATH);
        for (unsigned int i = run.registryCount; i < run.registryCapacity; ++i) Require(!run.registryEntries[i]);
    }
    // Every record's path, as the phases read it, within a path buffer.
    for (unsigned int i = 0; run.files && i < run.fileCount; ++i)
        Require(!FileRecordPath(i)->path || TextLength(FileRecordPath(i)->path) < PATH_SIZE);
    for (unsigned int i = 0; run.folders && i < run.folderCount; ++i)
        Require(!FolderRecordPath(i)->path || TextLength(FolderRecordPath(i)->path) < PATH_SIZE);
    // The walk of the pattern list, as the sweep makes it, up to its empty pattern.
    for (const char* pattern = run.patterns; pattern && *pattern; pattern += TextLength(pattern) + 1) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fake::Reset();
    ResetRunContext();
    fake::AddFile(kProgram, std::string(kImageSize, 'M') + std::string(reinterpret_cast<const char*>(data), size));
    fake::SetModulePath(kProgram);
    fake::SetLogOffset(kImageSize);
    Require(InitRunContext(nullptr) == 1);

    if (LoadUninstallLog())
        CheckLoadedLog();
    else
        Require(fake::Boxes().size() == 1);
    FreeRecordPaths();
    FreeUninstallLog();
    ReleaseRunContext();
    Require(fake::LiveBlocks() == 0 && fake::OpenHandles() == 0);
    return 0;
}
