// Loading the uninstall log from a real file: the program's own loader and record readers,
// reading through the real-file Win32 of real_file_win32.cpp, against the floor any loader of
// one allocation per record meets on this machine (the file read in large pieces, the records
// walked and copied into blocks of their own).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/run_context.h"
#include "base/records.h"
#include "bench/host/real_file_win32.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "tests/fixture/fixtures.h"
#include "tools/logwriter/log_writer.h"

namespace {

// A package of `count` files, twenty to a folder in folders three levels deep, as the Wine
// benchmark's tree; with the catalogue the installation tool always writes.
tidewell::LogContent PackageContent(int count) {
    tidewell::LogContent content = tidewell::ExampleContent();
    content.registry.reset();
    content.registryAdded.clear();
    std::vector<tidewell::FileEntry> files;
    files.reserve(count);
    for (int i = 0; i < count; ++i) {
        int folder = i / 20;
        char folderText[48], name[24];
        std::snprintf(folderText, sizeof folderText, ".\\i%d\\j%d\\k%d", folder / 100, folder / 10 % 10, folder % 10);
        std::snprintf(name, sizeof name, "file%02d.dat", i % 20);
        files.push_back({folderText, name, 0});
    }
    content.files = std::move(files);
    return content;
}

struct ProgramFile {
    std::string path;
    unsigned int logOffset = 0;
    size_t recordStringBytes = 0;  // every record's two strings with their terminators
};

// The example program image with the package's log attached, in a file of its own.
ProgramFile WriteProgram(int count) {
    static std::string folder;
    if (folder.empty()) {
        char pattern[] = "/tmp/tidewell-log-load-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        folder = pattern;
        std::atexit([] { std::system(("rm -rf '" + folder + "'").c_str()); });
    }
    tidewell::LogContent content = PackageContent(count);
    tidewell::Bytes program = tidewell::Attach(tidewell::ExampleStub(), tidewell::BuildLog(content));
    ProgramFile file;
    file.path = folder + "/uninstall-" + std::to_string(count) + ".exe";
    file.logOffset = tidewell::ReadLogOffset(program);
    for (const tidewell::FileEntry& entry : *content.files) file.recordStringBytes += entry.folder.size() + entry.name.size() + 2;
    tidewell::WriteFileBytes(file.path, program);
    return file;
}

const ProgramFile& Program(int count) {
    static std::vector<std::pair<int, ProgramFile>> made;
    for (const auto& entry : made)
        if (entry.first == count) return entry.second;
    made.emplace_back(count, WriteProgram(count));
    return made.back().second;
}

void LoadLog(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const ProgramFile& program = Program(count);
    realfile::SetProgram(program.path, program.logOffset);
    ResetRunContext();
    static char modulePath[PATH_SIZE];
    run.modulePath = modulePath;
    // As the run's start reads it, once.
    GetModuleFileNameA(nullptr, modulePath, PATH_SIZE);

    size_t loadedBytes = 0;
    realfile::ResetCounts();
    for (auto _ : state) {
        size_t before = realfile::Count().liveBytes;
        if (ReadUninstallLog() != LOG_OK || run.fileCount != static_cast<unsigned int>(count)) {
            state.SkipWithError("the log did not load");
            break;
        }
        loadedBytes = realfile::Count().liveBytes - before;
        state.PauseTiming();
        FreeUninstallLog();
        state.ResumeTiming();
    }
    state.SetComplexityN(count);
    const double iterations = static_cast<double>(state.iterations());
    state.counters["records"] = benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["heap_bytes_per_record"] = static_cast<double>(loadedBytes) / count;
    // The shipped 32-bit build holds a record in 12 bytes of fields (two pointers and the flags,
    // padded) and a 4-byte list entry, where this build takes its own sizes.
    const double hostOverhead = sizeof(FileRecord) + sizeof(FileRecord*), shippedOverhead = 12 + 4;
    state.counters["heap_bytes_per_record_32bit"] = static_cast<double>(loadedBytes) / count - hostOverhead + shippedOverhead;
    state.counters["string_bytes_per_record"] = static_cast<double>(program.recordStringBytes) / count;
    state.counters["reads_per_record"] = static_cast<double>(realfile::Count().readCalls) / iterations / count;
    state.counters["blocks_per_record"] = static_cast<double>(realfile::Count().allocations) / iterations / count;
    run.modulePath = nullptr;
}

// The floor: the same file read in 64 KB pieces, its file records walked, and each record's
// strings copied into a block of its own behind a pointer list.
void LoadFloor(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const ProgramFile& program = Program(count);
    std::vector<char> piece(65536);
    for (auto _ : state) {
        int file = open(program.path.c_str(), O_RDONLY | O_CLOEXEC);
        lseek(file, program.logOffset, SEEK_SET);
        std::vector<char> log;
        for (ssize_t got; (got = read(file, piece.data(), piece.size())) > 0;) log.insert(log.end(), piece.data(), piece.data() + got);
        close(file);
        // Blocks up to the files block, whose records follow its count.
        size_t at = 0;
        auto u16 = [&log](size_t where) { return static_cast<unsigned>(static_cast<unsigned char>(log[where]) | static_cast<unsigned char>(log[where + 1]) << 8); };
        auto u32 = [&](size_t where) { return u16(where) | u16(where + 2) << 16; };
        while (u16(at) != BLOCK_FILES) at += 8 + u32(at + 4);
        at += 8;
        unsigned records = u32(at);
        at += 4;
        std::vector<char*> list(records + 2);
        for (unsigned i = 0; i < records; ++i) {
            unsigned folder = u16(at), name = u16(at + 2 + folder);
            char* block = static_cast<char*>(std::malloc(folder + name + 2 + 1));
            std::memcpy(block, &log[at + 2], folder);
            block[folder] = 0;
            std::memcpy(block + folder + 1, &log[at + 4 + folder], name);
            block[folder + 1 + name] = 0;
            block[folder + name + 2] = log[at + 4 + folder + name];
            list[i] = block;
            at += 5 + folder + name;
        }
        benchmark::DoNotOptimize(list.data());
        state.PauseTiming();
        for (unsigned i = 0; i < records; ++i) std::free(list[i]);
        state.ResumeTiming();
    }
    state.SetComplexityN(count);
    state.counters["records"] = benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(LoadLog)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond)->Complexity(benchmark::oN);
BENCHMARK(LoadFloor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
