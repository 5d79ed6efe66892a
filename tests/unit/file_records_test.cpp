// The installed-file and shortcut/folder records: their layout in memory, the limits of the
// staging buffer, replacement by a later block, and refusal of blocks that do not hold what
// they claim.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "log/log_format.h"
#include "log/record_list.h"
#include "log_load_test.h"

namespace {

using test::Frame;
using tidewell::Block;
using tidewell::Bytes;
using tidewell::FileEntry;
using tidewell::FolderEntry;

class FileRecords : public test::LogLoadTest {};

Bytes WithCount(const Bytes& payload, uint32_t count) {
    Bytes counted;
    tidewell::PutU32(counted, count);
    return counted + payload.substr(4);
}

// The largest block the run asked the heap for.
size_t LargestAllocation() {
    size_t largest = 0;
    for (const std::string& line : fake::Calls({"LocalAlloc"}))
        largest = std::max<size_t>(largest, std::stoul(line.substr(line.find(' ') + 1)));
    return largest;
}

TEST_F(FileRecords, EachRecordHoldsItsStringsBehindItsFields) {
    ASSERT_EQ(Load({Frame(BLOCK_FILES, tidewell::FilesPayload({{"C:\\Pkg", "a.dll", FILE_SHARED | FILE_SELFREG},
                                                                {".\\sub", "", 0},
                                                                {"", "b.ttf", FILE_FONT}}))}),
              1);
    ASSERT_EQ(run.fileCount, 3u);
    FileRecord* first = run.files[0];
    EXPECT_STREQ(first->folder, "C:\\Pkg");
    EXPECT_STREQ(first->name, "a.dll");
    EXPECT_EQ(first->flags, FILE_SHARED | FILE_SELFREG);
    // One allocation: the folder right behind the fields, the name right behind its terminator.
    EXPECT_EQ(first->folder, reinterpret_cast<char*>(first + 1));
    EXPECT_EQ(first->name, first->folder + 7);
    EXPECT_STREQ(run.files[1]->folder, ".\\sub");  // an empty name leaves the folder whole
    EXPECT_STREQ(run.files[1]->name, "");
    EXPECT_STREQ(run.files[2]->folder, "");  // and an empty folder the name
    EXPECT_STREQ(run.files[2]->name, "b.ttf");
    EXPECT_EQ(run.files[2]->flags, FILE_FONT);
    EXPECT_EQ(run.files[3], nullptr);
    EXPECT_EQ(run.files[4], nullptr);
}

TEST_F(FileRecords, StringsOfTwoLongestPathsFitTheStagingBuffer) {
    const unsigned int longest = MAX_RECORD_STRINGS;
    std::string folder(longest / 2, 'f'), name(longest - longest / 2, 'n');
    ASSERT_EQ(Load({Frame(BLOCK_FILES, tidewell::FilesPayload({{folder, name, 0}, {"", std::string(longest, 'x'), 0}})),
                    Frame(BLOCK_FOLDERS, tidewell::FoldersPayload({{std::string(longest, 'y'), ""}}))}),
              1);
    EXPECT_EQ(std::string(run.files[0]->folder), folder);
    EXPECT_EQ(std::string(run.files[0]->name), name);
    EXPECT_EQ(std::string(run.files[1]->name), std::string(longest, 'x'));
    EXPECT_EQ(std::string(run.folders[0]->folder), std::string(longest, 'y'));
    EXPECT_STREQ(run.folders[0]->name, "");
}

TEST_F(FileRecords, LongerStringsAreRefused) {
    const int over = MAX_RECORD_STRINGS + 1;
    for (auto [folderLength, nameLength] : {std::pair{over, 0}, {0, over}, {over / 2 + 1, over / 2}, {65535, 0}}) {
        SCOPED_TRACE(std::to_string(folderLength) + " + " + std::to_string(nameLength));
        ExpectDamaged({Frame(BLOCK_FILES, tidewell::FilesPayload(
                                              {{std::string(folderLength, 'f'), std::string(nameLength, 'n'), 0}}))});
        Restart();
        ExpectDamaged({Frame(BLOCK_FOLDERS, tidewell::FoldersPayload(
                                                {{std::string(folderLength, 'f'), std::string(nameLength, 'n')}}))});
        Restart();
    }
}

TEST_F(FileRecords, ACountOfZeroLeavesTwoNullEntries) {
    ASSERT_EQ(Load({Frame(BLOCK_FILES, tidewell::FilesPayload({})), Frame(BLOCK_FOLDERS, tidewell::FoldersPayload({}))}), 1);
    EXPECT_EQ(run.fileCount, 0u);
    ASSERT_NE(run.files, nullptr);
    EXPECT_EQ(run.files[0], nullptr);
    EXPECT_EQ(run.files[1], nullptr);
    EXPECT_EQ(run.folderCount, 0u);
    ASSERT_NE(run.folders, nullptr);
}

TEST_F(FileRecords, ALaterBlockReplacesTheListAndFreesTheOld) {
    ASSERT_EQ(Load({Frame(BLOCK_FILES, tidewell::FilesPayload({{"C:\\A", "1", 0}, {"C:\\A", "2", 0}, {"C:\\A", "3", 0}})),
                    Frame(BLOCK_FOLDERS, tidewell::FoldersPayload({{"C:\\M", "x.lnk"}})),
                    Frame(BLOCK_FILES, tidewell::FilesPayload({{"C:\\B", "only", 0}})),
                    Frame(BLOCK_FOLDERS, tidewell::FoldersPayload({}))}),
              1);
    ASSERT_EQ(run.fileCount, 1u);
    EXPECT_STREQ(run.files[0]->folder, "C:\\B");
    EXPECT_EQ(run.files[1], nullptr);
    EXPECT_EQ(run.folderCount, 0u);
    // The end of the run frees what the lists hold now; the test's end finds any replaced
    // record that was left behind.
}

TEST_F(FileRecords, AFolderRecordIsItsLengthsAndStringsOnly) {
    // Two records with empty strings are 12 bytes; the block's next neighbour is read as usual.
    Bytes payload = tidewell::FoldersPayload({{"", ""}, {"", ""}});
    ASSERT_EQ(payload.size(), 12u);
    ASSERT_EQ(Load({Frame(BLOCK_FOLDERS, payload), Frame(BLOCK_MESSAGES, tidewell::MessagesPayload({{"after"}}))}), 1);
    EXPECT_EQ(run.folderCount, 2u);
    EXPECT_STREQ(run.folders[1]->folder, "");
    EXPECT_STREQ(run.catalogue[0], "after");
}

TEST_F(FileRecords, BytesLeftOverInTheBlockArePassedOver) {
    ASSERT_EQ(Load({Frame(BLOCK_FILES, tidewell::FilesPayload({{"C:\\A", "a", 0}}) + Bytes(7, '\x11'))}), 1);
    EXPECT_EQ(run.fileCount, 1u);
}

TEST_F(FileRecords, ACountThePayloadDoesNotHoldIsRefused) {
    // The block's bytes would make two records; the third would come from the next block.
    Bytes files = tidewell::FilesPayload({{"C:\\A", "a", 0}, {"C:\\A", "b", 0}});
    Bytes nextFiles = tidewell::FilesPayload({{"C:\\X", "x", 0}});
    ExpectDamaged({Frame(BLOCK_FILES, WithCount(files, 3)), Frame(BLOCK_FILES, nextFiles)});
    Restart();
    Bytes folders = tidewell::FoldersPayload({{"C:\\M", "a.lnk"}});
    ExpectDamaged({Frame(BLOCK_FOLDERS, WithCount(folders, 2)), Frame(BLOCK_FOLDERS, tidewell::FoldersPayload({}))});
}

TEST_F(FileRecords, TheCountIsBoundByTheSmallestRecordBeforeTheListIsMade) {
    // Two records of empty strings: 5 bytes each with the flags byte, 4 without.
    Bytes files = tidewell::FilesPayload({{"", "", 0}, {"", "", 0}});
    Bytes folders = tidewell::FoldersPayload({{"", ""}, {"", ""}});
    Bytes registry = tidewell::RegistryPayload({{0x80000002u, ""}, {0x80000002u, ""}});
    ASSERT_EQ(Load({Frame(BLOCK_FILES, files), Frame(BLOCK_FOLDERS, folders), Frame(BLOCK_REGISTRY, registry)}), 1);
    EXPECT_EQ(run.fileCount + run.folderCount + run.registryCount, 6u);
    for (const Block& block : {Frame(BLOCK_FILES, WithCount(files, 3)), Frame(BLOCK_FOLDERS, WithCount(folders, 3)),
                               Frame(BLOCK_REGISTRY, WithCount(registry, 3))}) {
        SCOPED_TRACE(block.tag);
        Restart();
        ExpectDamaged({block});
        // The run's two paths, the catalogue and its texts, the message: no list.
        EXPECT_EQ(fake::CallCount("LocalAlloc"), 2 + 1 + 11 + 1);
    }
}

TEST_F(FileRecords, ARecordRunningPastTheBlockIsRefused) {
    Bytes files = tidewell::FilesPayload({{"C:\\A", "a", 0}, {"C:\\A", "name", 0}});
    // Cut inside the second name, and just before its flags byte.
    for (size_t cut : {3u, 1u}) {
        SCOPED_TRACE(cut);
        ExpectDamaged({Frame(BLOCK_FILES, files.substr(0, files.size() - cut)), Frame(BLOCK_FOLDERS, tidewell::FoldersPayload({}))});
        Restart();
    }
    ExpectDamaged({Frame(BLOCK_FILES, Bytes("\x01\x00", 2))});  // not even the count
}

TEST_F(FileRecords, AHugeCountTakesNoMemoryForRecordsThatAreNotThere) {
    Bytes one = tidewell::FilesPayload({{"C:\\A", "a", 0}});
    for (uint32_t count : {0xFFFFFFFFu, 0x01000000u}) {
        ExpectDamaged({Frame(BLOCK_FILES, WithCount(one, count))});
        EXPECT_LT(LargestAllocation(), 4096u);
        Restart();
    }
    // A declared length far past the end of the file does not make room for the count either.
    Bytes log = tidewell::EncodeBlock(test::ExampleCatalogue()) +
                tidewell::EncodeBlock({BLOCK_FILES, 0, 0, WithCount(one, 0x01000000u), 0xFFFFFF00u});
    EXPECT_EQ(Load(log), 0);
    ASSERT_EQ(fake::Boxes().size(), 1u);
    EXPECT_EQ(fake::Boxes()[0].text, test::ExampleText(MSG_BAD_LOG));
    EXPECT_LT(LargestAllocation(), 4096u);
}

TEST_F(FileRecords, AListSizeThatWraps32BitsIsRefusedBeforeAllocating) {
    FileRecord** list = nullptr;
    unsigned int most = static_cast<unsigned int>(0xFFFFFFFFu / sizeof(FileRecord*) - 2);
    EXPECT_EQ(AllocRecordList(most + 1, 2, &list), ERR_BAD_LOG);
    EXPECT_EQ(AllocRecordList(0xFFFFFFFFu, 2, &list), ERR_BAD_LOG);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(fake::CallCount("LocalAlloc"), 0);
    // The largest list that can be sized is asked of the heap, which refuses it.
    fake::FailCall("LocalAlloc", 1, 2);
    EXPECT_EQ(AllocRecordList(most, 2, &list), ERR_NO_MEMORY);
    EXPECT_EQ(fake::Calls({"LocalAlloc"})[0], "LocalAlloc " + std::to_string((most + 2ull) * sizeof(FileRecord*)) + " -> error 8");
}

}  // namespace
