// The leftover-file patterns: kept as the block's payload, replaced by a later block, and
// refused when the list does not end inside its buffer.
#include <gtest/gtest.h>

#include <string>

#include "log/log_format.h"
#include "log/pattern_list.h"
#include "log_load_test.h"

namespace {

using test::Frame;
using tidewell::Bytes;

class PatternList : public test::LogLoadTest {};

TEST_F(PatternList, ThePayloadIsKeptExactlyAsItStands) {
    Bytes payload = tidewell::PatternsPayload({".tmp", "readme.txt"});
    ASSERT_EQ(payload.size(), 17u);
    ASSERT_EQ(Load({Frame(BLOCK_PATTERNS, payload)}), 1);
    ASSERT_NE(run.patterns, nullptr);
    EXPECT_EQ(Bytes(run.patterns, 17), payload);
    EXPECT_STREQ(run.patterns, ".tmp");
    EXPECT_STREQ(run.patterns + 5, "readme.txt");
    EXPECT_STREQ(run.patterns + 16, "");
}

TEST_F(PatternList, OneZeroByteIsAnEmptyList) {
    ASSERT_EQ(Load({Frame(BLOCK_PATTERNS, Bytes(1, '\0'))}), 1);
    ASSERT_NE(run.patterns, nullptr);
    EXPECT_EQ(run.patterns[0], 0);
}

TEST_F(PatternList, NoBlockLeavesNoList) {
    ASSERT_EQ(Load({Frame(BLOCK_FILES, tidewell::FilesPayload({}))}), 1);
    EXPECT_EQ(run.patterns, nullptr);
}

TEST_F(PatternList, ALaterBlockReplacesTheListAndAnEmptyOneKeepsIt) {
    ASSERT_EQ(Load({Frame(BLOCK_PATTERNS, tidewell::PatternsPayload({"*"})),
                    Frame(BLOCK_PATTERNS, tidewell::PatternsPayload({".bak"})), Frame(BLOCK_PATTERNS, "")}),
              1);
    EXPECT_STREQ(run.patterns, ".bak");
}

TEST_F(PatternList, BytesAfterTheEmptyPatternArePassedOver) {
    ASSERT_EQ(Load({Frame(BLOCK_PATTERNS, Bytes(".log\0\0rest", 10))}), 1);
    EXPECT_STREQ(run.patterns, ".log");
}

TEST_F(PatternList, AListWithoutItsEmptyPatternIsRefused) {
    for (const Bytes& payload : {Bytes("*.tmp"), Bytes(".tmp\0", 5), Bytes(".tmp\0.bak\0", 10)}) {
        SCOPED_TRACE(payload);
        ExpectDamaged({Frame(BLOCK_PATTERNS, tidewell::PatternsPayload({"kept"})), Frame(BLOCK_PATTERNS, payload)});
        Restart();
    }
}

TEST_F(PatternList, AFlaggedBlockIsRefused) {
    ExpectDamaged({Frame(BLOCK_PATTERNS, tidewell::PatternsPayload({".tmp"}), BLOCK_FLAG_REJECTED)});
    EXPECT_EQ(run.patterns, nullptr);
}

TEST_F(PatternList, TheEndIsFoundInsideTheBufferOnly) {
    EXPECT_EQ(EndsPatternList("\0", 1), 1);
    EXPECT_EQ(EndsPatternList("a\0\0", 3), 1);
    EXPECT_EQ(EndsPatternList("ab\0c\0\0", 6), 1);
    // The zero bytes behind the given length are not the list's.
    EXPECT_EQ(EndsPatternList("ab\0c\0\0", 5), 0);
    EXPECT_EQ(EndsPatternList("ab\0\0", 2), 0);
    EXPECT_EQ(EndsPatternList("", 0), 0);
}

}  // namespace
