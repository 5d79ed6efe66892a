// The registry records: the list with its three spare entries, the records added behind it,
// replacement by a later list, and refusal of records that do not fit or have no room.
#include <gtest/gtest.h>

#include <string>

#include "log/log_format.h"
#include "log_load_test.h"

namespace {

using test::Frame;
using tidewell::Block;
using tidewell::Bytes;
using tidewell::RegistryEntry;

class RegistryRecords : public test::LogLoadTest {};

Block List(const std::vector<RegistryEntry>& entries) { return Frame(BLOCK_REGISTRY, tidewell::RegistryPayload(entries)); }
Block Added(uint32_t root, const std::string& path) {
    return Frame(BLOCK_REGISTRY_ADD, tidewell::RegistryRecord({root, path}));
}

std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (unsigned int i = 0; i < run.registryCount; ++i) paths.push_back(run.registryEntries[i]->path);
    return paths;
}

TEST_F(RegistryRecords, AddedRecordsFillTheThreeSpareEntriesInLogOrder) {
    ASSERT_EQ(Load({List({{0x80000002u, "Software\\A"}, {0x80000001u, "Software\\B\\\\Value"}}),
                    Added(0x80000000u, "C1"), Frame(BLOCK_FILES, tidewell::FilesPayload({})), Added(0x80000003u, "C2"),
                    Added(0x12345678u, "C3")}),
              1);
    EXPECT_EQ(Paths(), (std::vector<std::string>{"Software\\A", "Software\\B\\\\Value", "C1", "C2", "C3"}));
    EXPECT_EQ(run.registryEntries[0]->root, 0x80000002u);
    EXPECT_EQ(run.registryEntries[1]->root, 0x80000001u);
    EXPECT_EQ(run.registryEntries[4]->root, 0x12345678u);
    RegistryRecord* record = run.registryEntries[1];
    EXPECT_EQ(record->path, reinterpret_cast<char*>(record + 1));  // one allocation per record
}

TEST_F(RegistryRecords, AnAddedRecordWithoutRoomIsRefused) {
    // Before any list.
    ExpectDamaged({Added(0x80000002u, "Software\\Early"), List({})});
    Restart();
    // A fourth behind the last list, even when an earlier list had room left.
    ExpectDamaged({List({{0x80000002u, "a"}, {0x80000002u, "b"}, {0x80000002u, "c"}, {0x80000002u, "d"}}), List({}),
                   Added(0x80000002u, "1"), Added(0x80000002u, "2"), Added(0x80000002u, "3"), Added(0x80000002u, "4")});
    EXPECT_EQ(run.registryCount, 3u);
}

TEST_F(RegistryRecords, ALaterListReplacesTheEntriesAndTheAddedRecords) {
    ASSERT_EQ(Load({List({{0x80000002u, "Old"}}), Added(0x80000002u, "Added1"), Added(0x80000002u, "Added2"),
                    List({{0x80000001u, "New"}}), Added(0x80000002u, "Again1"), Added(0x80000002u, "Again2"),
                    Added(0x80000002u, "Again3")}),
              1);
    EXPECT_EQ(Paths(), (std::vector<std::string>{"New", "Again1", "Again2", "Again3"}));
}

TEST_F(RegistryRecords, AListOfZeroHasRoomForThree) {
    ASSERT_EQ(Load({List({})}), 1);
    EXPECT_EQ(run.registryCount, 0u);
    ASSERT_NE(run.registryEntries, nullptr);
    EXPECT_EQ(run.registryCapacity, 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(run.registryEntries[i], nullptr);
}

TEST_F(RegistryRecords, PathsFromEmptyTo519BytesAreReadWhole) {
    std::string longest(519, 'k');
    ASSERT_EQ(Load({List({{0x80000002u, ""}, {0x80000002u, longest}}), Added(0x80000002u, "")}), 1);
    EXPECT_STREQ(run.registryEntries[0]->path, "");
    EXPECT_EQ(std::string(run.registryEntries[1]->path), longest);
    EXPECT_STREQ(run.registryEntries[2]->path, "");
}

TEST_F(RegistryRecords, APathOver519BytesIsRefused) {
    ExpectDamaged({List({{0x80000002u, std::string(520, 'k')}})});
    Restart();
    ExpectDamaged({List({}), Added(0x80000002u, std::string(600, 'k'))});
    EXPECT_EQ(run.registryCount, 0u);
}

TEST_F(RegistryRecords, ACountThePayloadDoesNotHoldIsRefused) {
    Bytes two = tidewell::RegistryPayload({{0x80000002u, "a"}, {0x80000002u, "b"}});
    for (uint32_t count : {3u, 0x40000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(count);
        Bytes counted;
        tidewell::PutU32(counted, count);
        ExpectDamaged({Frame(BLOCK_REGISTRY, counted + two.substr(4)), List({{0x80000002u, "next"}})});
        Restart();
    }
}

TEST_F(RegistryRecords, ARecordRunningPastTheBlockIsRefused) {
    Bytes record = tidewell::RegistryRecord({0x80000002u, "Software\\Pkg"});
    for (size_t keep : {3u, 5u, 9u}) {  // inside the root, the length and the path
        SCOPED_TRACE(keep);
        ExpectDamaged({List({}), Frame(BLOCK_REGISTRY_ADD, record.substr(0, keep)), List({{0x80000002u, "next"}})});
        EXPECT_EQ(run.registryCount, 0u);
        Restart();
    }
}

}  // namespace
