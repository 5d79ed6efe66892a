// The tool reads a log as the program does: for every test log and every log of the fuzzer's
// corpus, the tool accepts exactly what the program loads, and finds the same records in it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "log_load_test.h"
#include "tools/tidewell-log/log_reader.h"

namespace {

using tidewell::Bytes;

class LogReader : public test::LogLoadTest {
protected:
    // The program's load and the tool's reading of one log agree.
    void ExpectSameReading(const Bytes& log, const std::string& name) {
        SCOPED_TRACE(name);
        int loaded = Load(log);
        tidewell::ReadLog read = tidewell::ReadLogAt(std::string(test::kImageSize, 'M') + log, test::kImageSize);
        EXPECT_EQ(read.accepted, loaded == 1);
        EXPECT_EQ(tidewell::HasError(read.findings), loaded == 0);
        if (loaded == 1 && read.accepted) ExpectSameContent(read);
        Restart();
    }

    void ExpectSameContent(const tidewell::ReadLog& read) {
        const tidewell::LogContent& content = read.content;
        ASSERT_EQ(content.messages.has_value(), run.catalogue != nullptr);
        if (run.catalogue) {
            size_t count = 0;
            while (run.catalogue[count]) ++count;
            ASSERT_EQ(content.messages->size(), count);
            for (size_t i = 0; i < count; ++i) EXPECT_EQ(tidewell::Bytes(run.catalogue[i]), tidewell::Bytes((*content.messages)[i].c_str()));
        }
        ASSERT_EQ(content.files ? content.files->size() : 0u, run.fileCount);
        for (unsigned int i = 0; i < run.fileCount; ++i) {
            EXPECT_STREQ(run.files[i]->folder, (*content.files)[i].folder.c_str());
            EXPECT_STREQ(run.files[i]->name, (*content.files)[i].name.c_str());
            EXPECT_EQ(run.files[i]->flags, (*content.files)[i].flags);
        }
        ASSERT_EQ(content.folders ? content.folders->size() : 0u, run.folderCount);
        for (unsigned int i = 0; i < run.folderCount; ++i) {
            EXPECT_STREQ(run.folders[i]->folder, (*content.folders)[i].folder.c_str());
            EXPECT_STREQ(run.folders[i]->name, (*content.folders)[i].name.c_str());
        }
        std::vector<tidewell::RegistryEntry> registry = content.registry ? *content.registry : std::vector<tidewell::RegistryEntry>{};
        registry.insert(registry.end(), content.registryAdded.begin(), content.registryAdded.end());
        ASSERT_EQ(registry.size(), run.registryCount);
        for (unsigned int i = 0; i < run.registryCount; ++i) {
            EXPECT_EQ(run.registryEntries[i]->root, registry[i].root);
            EXPECT_STREQ(run.registryEntries[i]->path, registry[i].path.c_str());
        }
        ASSERT_EQ(content.patterns.has_value(), run.patterns != nullptr);
        if (run.patterns) {
            std::vector<std::string> patterns;
            for (const char* pattern = run.patterns; *pattern; pattern += std::strlen(pattern) + 1) patterns.push_back(pattern);
            EXPECT_EQ(patterns, *content.patterns);
        }
    }
};

TEST_F(LogReader, AgreesWithTheProgramOnEveryTestLog) {
    for (const tidewell::NamedLog& log : tidewell::FixtureLogs()) ExpectSameReading(log.log, log.name);
}

TEST_F(LogReader, AgreesWithTheProgramOnTheFuzzersCorpus) {
    size_t logs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TIDEWELL_SOURCE_DIR "/tests/fuzz/corpus")) {
        ExpectSameReading(tidewell::ReadFileBytes(entry.path().string()), entry.path().filename().string());
        ++logs;
    }
    EXPECT_GT(logs, 100u);
}

TEST_F(LogReader, AgreesWithTheProgramOnLogsItAcceptsWithWarnings) {
    using test::Frame;
    const Bytes files = tidewell::FilesPayload({{".\\a", "x", 0}});
    const std::vector<std::pair<std::string, std::vector<tidewell::Block>>> logs = {
        {"unknown tag", {Frame(0x4242, Bytes(300, 'u')), Frame(BLOCK_FILES, files)}},
        {"bytes after the records", {Frame(BLOCK_FILES, files + "tail")}},
        {"two file blocks", {Frame(BLOCK_FILES, files), Frame(BLOCK_FILES, tidewell::FilesPayload({{"C:\\b", "y", 1}}))}},
        {"flagged file block", {Frame(BLOCK_FILES, files, BLOCK_FLAG_REJECTED)}},
        {"patterns after the end", {Frame(BLOCK_PATTERNS, Bytes(".tmp\0\0.log\0\0", 12))}},
        {"two tables", {Frame(BLOCK_MESSAGES, tidewell::MessagesPayload({{"a", "b"}, {"c"}}))}},
        {"a list then three added", {Frame(BLOCK_REGISTRY, tidewell::RegistryPayload({})),
                                     Frame(BLOCK_REGISTRY_ADD, tidewell::RegistryRecord({1, "a"})),
                                     Frame(BLOCK_REGISTRY_ADD, tidewell::RegistryRecord({2, "b"})),
                                     Frame(BLOCK_REGISTRY_ADD, tidewell::RegistryRecord({3, "c"}))}},
        {"a new list makes room again", {Frame(BLOCK_REGISTRY, tidewell::RegistryPayload({})),
                                         Frame(BLOCK_REGISTRY_ADD, tidewell::RegistryRecord({1, "a"})),
                                         Frame(BLOCK_REGISTRY_ADD, tidewell::RegistryRecord({1, "b"})),
                                         Frame(BLOCK_REGISTRY_ADD, tidewell::RegistryRecord({1, "c"})),
                                         Frame(BLOCK_REGISTRY, tidewell::RegistryPayload({{5, "d"}})),
                                         Frame(BLOCK_REGISTRY_ADD, tidewell::RegistryRecord({1, "e"}))}},
    };
    for (const auto& [name, blocks] : logs) {
        ExpectSameReading(tidewell::EncodeLog(blocks), name);
        tidewell::ReadLog read = tidewell::ReadLogAt(tidewell::EncodeLog(blocks), 0);
        EXPECT_TRUE(read.accepted) << name;
    }
}

// What the walk notes besides the records, each at its block.
TEST(LogReaderNotes, NamesTheBlockOfEachOddityTheProgramPassesOver) {
    using test::Frame;
    const Bytes files = tidewell::FilesPayload({{".\\a", "x", 0}});
    auto notes = [](const std::vector<tidewell::Block>& blocks, const Bytes& tail = "") {
        std::vector<std::string> lines;
        for (const tidewell::Finding& finding : tidewell::ReadLogAt(tidewell::EncodeLog(blocks) + tail, 0).findings)
            lines.push_back(tidewell::FormatFinding(finding));
        return lines;
    };
    EXPECT_EQ(notes({Frame(0x4242, "abc")}),
              std::vector<std::string>{"warning: the block at 0x0 (unknown): an unknown tag 0x4242: the program passes over the block"});
    EXPECT_EQ(notes({Frame(BLOCK_FILES, files + "tail")}),
              std::vector<std::string>{"warning: the block at 0x0 (BLOCK_FILES): 4 bytes after its records are never read"});
    EXPECT_EQ(notes({Frame(BLOCK_FILES, files), Frame(BLOCK_FILES, files)})[0],
              "warning: the block at 0x15 (BLOCK_FILES): replaces what the BLOCK_FILES block at 0x0 held");
    EXPECT_EQ(notes({}, "junk"), std::vector<std::string>{"warning: the log: 4 bytes after the end block are never read"});
    EXPECT_EQ(notes({Frame(BLOCK_FILES, files), Frame(BLOCK_MESSAGES, tidewell::MessagesPayload({{"a"}}))}),
              std::vector<std::string>{
                  "warning: the log: the catalogue is not the first block: damage found before it would be reported in empty boxes"});
    EXPECT_EQ(notes({Frame(BLOCK_PATTERNS, Bytes(".tmp\0\0.log\0\0", 12))}),
              std::vector<std::string>{"warning: the block at 0x0 (BLOCK_PATTERNS): 6 bytes after the list's end are never read"});
}

TEST(LogReaderNotes, NamesTheRecordTheProgramWouldRefuse) {
    using test::Frame;
    auto error = [](const std::vector<tidewell::Block>& blocks, const Bytes& cut = "") {
        Bytes log = tidewell::EncodeLog(blocks);
        if (!cut.empty()) log = log.substr(0, log.size() - cut.size());
        tidewell::ReadLog read = tidewell::ReadLogAt(log, 0);
        EXPECT_FALSE(read.accepted);
        for (const tidewell::Finding& finding : read.findings)
            if (finding.error) return tidewell::FormatFinding(finding);
        return std::string("no error");
    };
    EXPECT_EQ(error({Frame(BLOCK_FILES, tidewell::FilesPayload({{".\\a", "x", 0}, {std::string(1000, 'f'), std::string(555, 'n'), 0}}))}),
              "error: files[1]: folder and name together are 1555 bytes; the program takes at most 1554");
    EXPECT_EQ(error({Frame(BLOCK_REGISTRY_ADD, tidewell::RegistryRecord({1, "a"}))}),
              "error: registry_added[0]: an added registry record before any registry list");
    EXPECT_EQ(error({Frame(BLOCK_PATTERNS, Bytes(".tmp\0", 5))}),
              "error: the block at 0x0 (BLOCK_PATTERNS): the pattern list has no empty pattern to end it");
    EXPECT_EQ(error({Frame(BLOCK_FILES, tidewell::FilesPayload({}))}, "12345678"),
              "error: the block at 0xC: the log ends here, before its end block");
}

}  // namespace
