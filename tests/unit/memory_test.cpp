// Heap blocks: zero-filled or raw, one retry after compacting the heap, and a null on failure.
#include <gtest/gtest.h>

#include "base/memory.h"
#include "fake_win32.h"

namespace {

class Memory : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
};

TEST_F(Memory, ZeroedBlocksAreZeroAndRawBlocksAreNot) {
    unsigned char* zeroed;
    unsigned char* raw;
    ASSERT_EQ(AllocZeroed(64, &zeroed), 1);
    ASSERT_EQ(AllocRaw(64, &raw), 1);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(zeroed[i], 0);
    EXPECT_NE(raw[0], 0);  // the stand-in fills raw blocks, so nothing relies on zeros there
    FreeAndNull(&zeroed);
    FreeAndNull(&raw);
    EXPECT_EQ(zeroed, nullptr);
    EXPECT_EQ(fake::LiveBlocks(), 0u);
}

TEST_F(Memory, ASingleFailureIsRetriedAfterCompactingTheHeap) {
    fake::FailCall("LocalAlloc", 1, 1);
    char* block;
    EXPECT_EQ(AllocZeroed(16, &block), 1);
    EXPECT_NE(block, nullptr);
    EXPECT_EQ(fake::CompactCount(), 1u);
    EXPECT_EQ(fake::CallCount("LocalAlloc"), 2);
    FreeAndNull(&block);
}

TEST_F(Memory, ASecondFailureGivesUpWithANullBlock) {
    fake::FailCall("LocalAlloc", 1, 2);
    char* block = reinterpret_cast<char*>(1);
    EXPECT_EQ(AllocRaw(16, &block), 0);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(fake::CallCount("LocalAlloc"), 2);  // one retry, no more
    EXPECT_EQ(fake::LiveBlocks(), 0u);
}

TEST_F(Memory, FreeingANullPointerDoesNothing) {
    char* block = nullptr;
    FreeAndNull(&block);
    EXPECT_EQ(fake::CallCount("LocalFree"), 0);
}

}  // namespace
