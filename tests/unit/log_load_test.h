// Shared set-up for the tests of the log's readers: a program file with the given log, loaded
// as the entry loads it, and a run released at the end with nothing left allocated.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "base/run_context.h"
#include "fake_win32.h"
#include "app/load_log.h"
#include "log/loader.h"
#include "test_support.h"
#include "tests/fixture/fixtures.h"

namespace test {

inline tidewell::Block Frame(uint16_t tag, const tidewell::Bytes& payload, uint8_t flags = 0) {
    return {tag, flags, 0, payload, std::nullopt};
}

// The example catalogue's block, so that a refused log is reported in its words.
inline tidewell::Block ExampleCatalogue() {
    return Frame(BLOCK_MESSAGES, tidewell::MessagesPayload({*tidewell::ExampleContent().messages}));
}

inline std::string ExampleText(int slot) { return (*tidewell::ExampleContent().messages)[slot]; }

class LogLoadTest : public ProgramTest {
protected:
    int Load(const tidewell::Bytes& log) {
        InstallProgram(log);
        StartRun();
        return LoadUninstallLog();
    }
    int Load(const std::vector<tidewell::Block>& blocks) { return Load(tidewell::EncodeLog(blocks)); }
    // The log is refused as damaged, in the example catalogue's words.
    void ExpectDamaged(const std::vector<tidewell::Block>& blocks) {
        std::vector<tidewell::Block> withCatalogue = {ExampleCatalogue()};
        withCatalogue.insert(withCatalogue.end(), blocks.begin(), blocks.end());
        EXPECT_EQ(Load(withCatalogue), 0);
        ASSERT_EQ(fake::Boxes().size(), 1u);
        EXPECT_EQ(fake::Boxes()[0].text, ExampleText(MSG_BAD_LOG));
    }
    // Ends the run and starts over with an empty world, for a second load in one test.
    void Restart() {
        EndRun();
        EXPECT_EQ(fake::LiveBlocks(), 0u);
        fake::Reset();
        ResetRunContext();
    }
    void TearDown() override {
        EndRun();
        EXPECT_EQ(fake::LiveBlocks(), 0u);
        ProgramTest::TearDown();
    }
};

}  // namespace test
