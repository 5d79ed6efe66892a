// The message catalogue: reading table 0, looking texts up by slot, formatting with a path,
// and showing boxes.
#include <gtest/gtest.h>

#include <string>

#include "app/load_log.h"
#include "base/memory.h"
#include "log/catalogue.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "log_load_test.h"
#include "test_support.h"
#include "ui/message_box.h"

namespace {

using tidewell::Block;

class Catalogue : public test::ProgramTest {
protected:
    // Loads a log of the given message tables (and nothing else).
    void Load(const std::vector<std::vector<std::string>>& tables) {
        test::InstallProgram(tidewell::EncodeLog({{BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload(tables), std::nullopt}}));
        test::StartRun();
        ASSERT_EQ(LoadUninstallLog(), 1);
    }
    void TearDown() override {
        test::EndRun();
        EXPECT_EQ(fake::LiveBlocks(), 0u);
        ProgramTest::TearDown();
    }

    std::string Format(int slot, const char* argument) {
        char* buffer;
        EXPECT_EQ(AllocZeroed(MESSAGE_SIZE, &buffer), 1);
        FormatMessageText(buffer, slot, argument);
        std::string text = buffer;
        FreeAndNull(&buffer);
        return text;
    }
};

TEST_F(Catalogue, LooksTextsUpBySlotInTableZeroOnly) {
    Load({test::Catalogue()});
    EXPECT_STREQ(GetMessageText(0, MSG_TITLE), "Tidewell");
    EXPECT_STREQ(GetMessageText(0, MSG_SHARED_UNUSED), "Shared:\n%s\nRemove?");
    EXPECT_STREQ(GetMessageText(0, 11), "");
    EXPECT_STREQ(GetMessageText(0, 99), "");
    EXPECT_STREQ(GetMessageText(0, -1), "");
    EXPECT_STREQ(GetMessageText(1, 0), "");
}

TEST_F(Catalogue, AnEmptySlotDoesNotEndTheTable) {
    std::vector<std::string> texts = test::Catalogue();
    texts[MSG_YES_ALL] = "";
    Load({texts});
    EXPECT_STREQ(GetMessageText(0, MSG_YES_ALL), "");
    EXPECT_STREQ(GetMessageText(0, MSG_NO), "&No");
    EXPECT_STREQ(GetMessageText(0, MSG_SHARED_UNUSED), "Shared:\n%s\nRemove?");
}

TEST_F(Catalogue, NoTablesOrAnEmptyTableLeaveNoCatalogue) {
    Load({});
    EXPECT_EQ(run.catalogue, nullptr);
    EXPECT_STREQ(GetMessageText(0, MSG_TITLE), "");
    test::EndRun();
    Load({{}});
    EXPECT_EQ(run.catalogue, nullptr);
}

TEST_F(Catalogue, OnlyTheFirstTableIsReadAndTheNextBlockFollows) {
    test::InstallProgram(tidewell::EncodeLog({
        {BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({{"first"}, {"second", "table"}}), std::nullopt},
        {BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({{"later", "block"}}), std::nullopt},
    }));
    test::StartRun();
    ASSERT_EQ(LoadUninstallLog(), 1);
    EXPECT_STREQ(GetMessageText(0, 0), "later");  // a later block with strings replaces the catalogue
    EXPECT_STREQ(GetMessageText(0, 1), "block");
}

TEST_F(Catalogue, ALaterEmptyBlockKeepsTheEarlierCatalogue) {
    test::InstallProgram(tidewell::EncodeLog({
        {BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({{"kept"}}), std::nullopt},
        {BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({{}}), std::nullopt},
        {BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({}), std::nullopt},
    }));
    test::StartRun();
    ASSERT_EQ(LoadUninstallLog(), 1);
    EXPECT_STREQ(GetMessageText(0, 0), "kept");
}

TEST_F(Catalogue, FormattingPutsThePathInForPercentS) {
    Load({test::Catalogue()});
    EXPECT_EQ(Format(MSG_SHARED_UNUSED, "C:\\Pkg\\x.dll"), "Shared:\nC:\\Pkg\\x.dll\nRemove?");
    EXPECT_EQ(Format(MSG_CONFIRM, "C:\\ignored"), "Remove the package?");
    EXPECT_EQ(Format(40, "C:\\ignored"), "");
}

TEST_F(Catalogue, FormattingReadsNothingButThePath) {
    std::vector<std::string> texts = test::Catalogue();
    texts[MSG_READONLY] = "%s and %s, %d%% %x %n %S %";
    texts[MSG_SHARED_UNUSED] = "100%% %S %d %";  // no "%s": copied as it stands
    Load({texts});
    EXPECT_EQ(Format(MSG_READONLY, "P"), "P and P, %d% %x %n %S %");
    EXPECT_EQ(Format(MSG_SHARED_UNUSED, "P"), "100%% %S %d %");
}

TEST_F(Catalogue, FormattingCutsAtTheBuffer) {
    std::vector<std::string> texts = test::Catalogue();
    texts[MSG_DONE] = std::string(2000, 'd');
    texts[MSG_READONLY] = std::string(1000, 'r') + "%s" + "tail";
    Load({texts});
    EXPECT_EQ(Format(MSG_DONE, "x"), std::string(1023, 'd'));
    EXPECT_EQ(Format(MSG_READONLY, std::string(100, 'p').c_str()), std::string(1000, 'r') + std::string(23, 'p'));
    EXPECT_EQ(Format(MSG_READONLY, ""), std::string(1000, 'r') + "tail");
}

TEST_F(Catalogue, BoxesAreOwnedByTheOwnerWindowUnderTheTitle) {
    Load({test::Catalogue()});
    run.ownerWindow = reinterpret_cast<HWND>(0x1234);
    fake::AnswerBoxes({IDCANCEL});
    EXPECT_EQ(ShowMessage("text with %s", MB_OKCANCEL | MB_ICONINFORMATION), IDCANCEL);
    ASSERT_EQ(fake::Boxes().size(), 1u);
    const fake::ShownBox& box = fake::Boxes()[0];
    EXPECT_EQ(box.owner, run.ownerWindow);
    EXPECT_EQ(box.text, "text with %s");
    EXPECT_EQ(box.caption, "Tidewell");
    EXPECT_EQ(box.flags, static_cast<UINT>(0x41));
}

}  // namespace

namespace {

class DamagedCatalogue : public test::LogLoadTest {};

TEST_F(DamagedCatalogue, AStringCountTheBlockCannotHoldKeepsTheEarlierCatalogue) {
    // Two texts claimed, room for one length: refused before the earlier catalogue goes.
    tidewell::Bytes payload = tidewell::MessagesPayload({{"a"}}).substr(0, 2) + tidewell::Bytes("\x02\x00\x00\x00\x00", 5);
    ExpectDamaged({test::Frame(BLOCK_MESSAGES, payload)});
    // The run's two paths, the catalogue and its texts, the message: nothing for the count.
    EXPECT_EQ(fake::CallCount("LocalAlloc"), 2 + 1 + 11 + 1);
}

TEST_F(DamagedCatalogue, ATextRunningPastTheBlockIsRefusedAndTheTextsBeforeItReport) {
    std::vector<std::string> texts = *tidewell::ExampleContent().messages;
    texts.push_back("cut off");
    tidewell::Bytes payload = tidewell::MessagesPayload({texts});
    payload.resize(payload.size() - 1);
    EXPECT_EQ(Load({test::Frame(BLOCK_MESSAGES, payload), test::Frame(BLOCK_FILES, tidewell::FilesPayload({}))}), 0);
    ASSERT_EQ(fake::Boxes().size(), 1u);
    EXPECT_EQ(fake::Boxes()[0].text, test::ExampleText(MSG_BAD_LOG));
    EXPECT_EQ(run.catalogue[11], nullptr);  // the cut text was never made
}

TEST_F(DamagedCatalogue, ABlockTooShortForItsCountsIsRefused) {
    EXPECT_EQ(Load({test::Frame(BLOCK_MESSAGES, tidewell::Bytes("\x01", 1))}), 0);
    EXPECT_EQ(fake::Boxes().size(), 1u);
    Restart();
    EXPECT_EQ(Load({test::Frame(BLOCK_MESSAGES, tidewell::Bytes("\x01\x00\x01", 3))}), 0);
    EXPECT_EQ(fake::Boxes().size(), 1u);
}

}  // namespace
