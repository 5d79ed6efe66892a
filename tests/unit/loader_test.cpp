// The log loader: finding the log, walking its blocks to BLOCK_END, and reporting a damaged
// log in the catalogue's words.
#include <gtest/gtest.h>

#include <string>

#include "app/load_log.h"
#include "base/memory.h"
#include "failure_driver.h"
#include "log/block_reader.h"
#include "log/catalogue.h"
#include "log/file_reader.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "log_load_test.h"
#include "test_support.h"

namespace {

using tidewell::Block;
using tidewell::Bytes;

Block Messages(const std::vector<std::string>& texts) {
    return {BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({texts}), std::nullopt};
}

Block Raw(uint16_t tag, const Bytes& payload, std::optional<uint32_t> length = std::nullopt, uint8_t flags = 0) {
    return {tag, flags, 0, payload, length};
}

class Loader : public test::LogLoadTest {
protected:
    const std::string kDamaged = std::string("The log in ") + test::kProgramPath + " is damaged.";
};

TEST_F(Loader, ALogOfOnlyTheEndLoadsWithNothingInIt) {
    EXPECT_EQ(Load(tidewell::EncodeLog({})), 1);
    EXPECT_EQ(run.catalogue, nullptr);
    EXPECT_EQ(run.files, nullptr);
    EXPECT_EQ(run.fileCount, 0u);
    EXPECT_EQ(run.folders, nullptr);
    EXPECT_EQ(run.registryEntries, nullptr);
    EXPECT_EQ(run.registryCount, 0u);
    EXPECT_EQ(run.patterns, nullptr);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_STREQ(run.modulePath, test::kProgramPath);
}

TEST_F(Loader, AProgramWithoutALogStopsWithoutAMessage) {
    test::InstallProgram(tidewell::EncodeLog({Messages(test::Catalogue())}));
    fake::SetLogOffset(0);
    test::StartRun();
    EXPECT_EQ(LoadUninstallLog(), 0);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_EQ(fake::CallCount("CreateFileA"), 0);
}

TEST_F(Loader, AProgramFileThatCannotBeNamedOrOpenedStopsWithoutAMessage) {
    test::InstallProgram(tidewell::EncodeLog({Messages(test::Catalogue())}));
    test::StartRun();
    // A run without its program's path (the start reads it once, and ends the run without one).
    char name = run.modulePath[0];
    run.modulePath[0] = 0;
    EXPECT_EQ(LoadUninstallLog(), 0);
    run.modulePath[0] = name;
    fake::FailCall("CreateFileA", 1, 1, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(LoadUninstallLog(), 0);
    EXPECT_TRUE(fake::Boxes().empty());
}

TEST_F(Loader, TheProgramFileIsTheOneNamedAtTheStartOfTheRun) {
    // The path is read once, when the run starts (a path that does not fit ends the run there);
    // the loader opens that file, whatever the platform would say later.
    test::InstallProgram(tidewell::EncodeLog({Messages(test::Catalogue())}));
    test::StartRun();
    fake::SetModulePath("C:\\" + std::string(250, 'p') + "\\Remove.exe");
    EXPECT_EQ(LoadUninstallLog(), 1);
    EXPECT_EQ(fake::Calls({"CreateFileA"}), std::vector<std::string>{"CreateFileA " + std::string(test::kProgramPath) + " -> ok"});
    EXPECT_EQ(fake::CallCount("GetModuleFileNameA"), 1);
}

TEST_F(Loader, ALogEndingBeforeBlockEndIsReportedWithThePath) {
    Bytes log = tidewell::EncodeLog({Messages(test::Catalogue())});
    log.resize(log.size() - BLOCK_HEADER_SIZE);  // the complete catalogue block, then nothing
    EXPECT_EQ(Load(log), 0);
    ASSERT_EQ(fake::Boxes().size(), 1u);
    EXPECT_EQ(fake::Boxes()[0].text, kDamaged);
    EXPECT_EQ(fake::Boxes()[0].caption, "Tidewell");
    EXPECT_EQ(fake::Boxes()[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(fake::Boxes()[0].owner, nullptr);
}

TEST_F(Loader, AHalfHeaderIsDamage) {
    Bytes log = tidewell::EncodeLog({Messages(test::Catalogue())});
    log.resize(log.size() - 3);
    EXPECT_EQ(Load(log), 0);
    ASSERT_EQ(fake::Boxes().size(), 1u);
    EXPECT_EQ(fake::Boxes()[0].text, kDamaged);
}

TEST_F(Loader, DamageBeforeTheCatalogueIsReportedWithEmptyTexts) {
    EXPECT_EQ(Load(Bytes("\x34\x12\x00", 3)), 0);
    ASSERT_EQ(fake::Boxes().size(), 1u);
    EXPECT_EQ(fake::Boxes()[0].text, "");
    EXPECT_EQ(fake::Boxes()[0].caption, "");
}

TEST_F(Loader, AnOffsetPastTheEndOfTheFileIsDamage) {
    test::InstallProgram(tidewell::EncodeLog({}));
    fake::SetLogOffset(0xF0000000u);  // beyond 2 GB: must not be read as a negative seek
    test::StartRun();
    EXPECT_EQ(LoadUninstallLog(), 0);
    ASSERT_EQ(fake::Boxes().size(), 1u);
}

TEST_F(Loader, UnknownTagsAreSkippedAndTheNextBlockIsRead) {
    EXPECT_EQ(Load(tidewell::EncodeLog({Messages({"first"}), Raw(0x4242, Bytes(300, '\x7F')), Messages({"second"})})), 1);
    EXPECT_STREQ(GetMessageText(0, 0), "second");
}

// A log read in another code page than its own would name other files: it is refused as a
// damaged one, in the catalogue's words; in its own it loads, and without the block as before.
TEST_F(Loader, ALogInAnotherCodePageThanTheRunsIsRefusedAsDamaged) {
    const struct {
        UINT run;
        Bytes block;
        int loaded;
    } cases[] = {
        {1252, tidewell::CodePagePayload(65001), 0},  // a UTF-8 log in a copy that runs in the system's
        {932, tidewell::CodePagePayload(1252), 0},    // the locale changed since the installation
        {1252, tidewell::CodePagePayload(1252), 1},
        {65001, tidewell::CodePagePayload(65001), 1},
        {1252, Bytes("\xE4\x04", 2), 0},               // a block too short for its number
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.run);
        fake::SetCodePage(c.run);
        EXPECT_EQ(Load(tidewell::EncodeLog({Messages(test::Catalogue()), Raw(BLOCK_CODE_PAGE, c.block), Messages({"after"})})),
                  c.loaded);
        if (c.loaded) {
            EXPECT_STREQ(GetMessageText(0, 0), "after");
            EXPECT_TRUE(fake::Boxes().empty());
        } else {
            ASSERT_EQ(fake::Boxes().size(), 1u);
            EXPECT_EQ(fake::Boxes()[0].text, kDamaged);
        }
        Restart();
    }
}

TEST_F(Loader, AKnownTagWithNoPayloadRunsNoReader) {
    // A length-0 catalogue block: its reader would read the next header as a table count.
    EXPECT_EQ(Load(tidewell::EncodeLog({Raw(BLOCK_MESSAGES, ""), Raw(BLOCK_PATTERNS, ""), Messages({"after"})})), 1);
    EXPECT_STREQ(GetMessageText(0, 0), "after");
}

TEST_F(Loader, TheWalkResumesAtTheDeclaredEndWhateverTheReaderRead) {
    // The reader reads less than the block: four bytes of padding follow the catalogue.
    Bytes padded = tidewell::MessagesPayload({{"short"}}) + Bytes(4, '\x11');
    EXPECT_EQ(Load(tidewell::EncodeLog({Raw(BLOCK_MESSAGES, padded), Messages({"next"})})), 1);
    EXPECT_STREQ(GetMessageText(0, 0), "next");
    Restart();

    // A reader that would read more stops at the declared end: the block declares only its two
    // counts, and the string's length would come from the end header behind them.
    Bytes counts = tidewell::MessagesPayload({{}}).substr(0, 2) + Bytes("\x01\x00", 2);
    Bytes log = tidewell::EncodeBlock(Raw(BLOCK_MESSAGES, counts)) + tidewell::EncodeBlock(Raw(BLOCK_END, ""));
    EXPECT_EQ(Load(log), 0);
    ASSERT_EQ(fake::Boxes().size(), 1u);
    EXPECT_EQ(fake::Boxes()[0].text, "");  // the table has no string yet
}

TEST_F(Loader, BlockEndWithAPayloadStillEndsTheLog) {
    Bytes log = tidewell::EncodeBlock(Messages({"kept"})) + tidewell::EncodeBlock(Raw(BLOCK_END, "12345")) +
                tidewell::EncodeBlock(Messages({"never read"}));
    EXPECT_EQ(Load(log), 1);
    EXPECT_STREQ(GetMessageText(0, 0), "kept");
}

TEST_F(Loader, TheRejectionFlagMeansNothingToOtherBlocks) {
    EXPECT_EQ(Load(tidewell::EncodeLog({Raw(BLOCK_MESSAGES, tidewell::MessagesPayload({{"flagged"}}), std::nullopt, 0xFF)})), 1);
    EXPECT_STREQ(GetMessageText(0, 0), "flagged");
}

TEST_F(Loader, ALengthThatWrapsThePositionIsDamageNotALoop) {
    // From the first payload byte at image + 8, this length leads back to the same header.
    EXPECT_EQ(Load(tidewell::EncodeLog({Raw(0x4242, "", 0xFFFFFFF8u)})), 0);
    ASSERT_EQ(fake::Boxes().size(), 1u);
}

TEST_F(Loader, NoMemoryForTheReportMeansNoBox) {
    Bytes log = tidewell::EncodeLog({});
    log.resize(4);
    test::InstallProgram(log);
    test::StartRun();
    fake::FailCall("LocalAlloc", 1, 2);
    EXPECT_EQ(LoadUninstallLog(), 0);
    EXPECT_TRUE(fake::Boxes().empty());
}

TEST_F(Loader, EveryAllocationFailureEndsTheLoadWithoutLeakOrCrash) {
    Bytes log = tidewell::EncodeLog({Messages(test::Catalogue()), Messages(test::Catalogue())});
    int loaded = 0;
    test::FailurePlan plan;
    plan.apis = {"LocalAlloc"};
    plan.times = 2;  // the allocation and its retry
    plan.setUp = [&] {
        fake::Reset();
        ResetRunContext();
        test::InstallProgram(log);
        test::StartRun();
    };
    plan.body = [&] { loaded = LoadUninstallLog(); };
    plan.check = [&](const test::FailurePoint& point) {
        EXPECT_EQ(loaded, point.hit ? 0 : 1);
        EXPECT_LE(fake::Boxes().size(), 1u);
        EXPECT_EQ(fake::OpenHandles(), 0u);
        test::EndRun();
        EXPECT_EQ(fake::LiveBlocks(), 0u);
    };
    // Per block: the table and its eleven strings; then the clean run.
    EXPECT_EQ(test::DriveFailures(plan), 2 * 12 + 1);
}

class BlockPayload : public test::ProgramTest {
protected:
    // The file, positioned at a payload of `length` bytes, as the loader hands it to a reader.
    HANDLE Open(const Bytes& bytes, unsigned int length) {
        fake::AddFile("C:\\payload.bin", bytes);
        HANDLE file = FileOpen("C:\\payload.bin");
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        EnterBlock(file, length);
        return file;
    }
};

TEST_F(BlockPayload, ReadsThePayloadWholeWithNothingAdded) {
    HANDLE file = Open(Bytes("abc\0\0tail", 9), 5);
    BlockHeader header{BLOCK_PATTERNS, 0, 0, 5};
    char* buffer = nullptr;
    unsigned int length = 0;
    EXPECT_EQ(ReadBlockPayload(file, &header, &buffer, &length), LOG_OK);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(Bytes(buffer, 5), Bytes("abc\0\0", 5));
    EXPECT_EQ(FileTell(file), 5u);
    FreeAndNull(&buffer);
    FileClose(file);
}

TEST_F(BlockPayload, RejectsAFlaggedBlockWithoutReading) {
    HANDLE file = Open("abc", 3);
    BlockHeader header{BLOCK_PATTERNS, BLOCK_FLAG_REJECTED, 0, 3};
    char kept = 'k';
    char* buffer = &kept;
    unsigned int length = 0;
    EXPECT_EQ(ReadBlockPayload(file, &header, &buffer, &length), ERR_BAD_LOG);
    EXPECT_EQ(buffer, &kept);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(FileTell(file), 0u);
    FileClose(file);
}

TEST_F(BlockPayload, AShortReadIsDamageAndReleasesTheBuffer) {
    HANDLE file = Open("abc", 3);
    BlockHeader header{BLOCK_PATTERNS, 0, 0, 3};
    char* buffer = nullptr;
    fake::FailCall("ReadFile", 1, 1, ERROR_NOT_READY);
    EXPECT_EQ(ReadBlockPayload(file, &header, &buffer, nullptr), ERR_BAD_LOG);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(fake::LiveBlocks(), 0u);
    FileClose(file);
}

TEST_F(BlockPayload, APayloadLongerThanTheFileTakesNoMemory) {
    HANDLE file = Open("ab", 0xFFFFFFF0u);
    BlockHeader header{BLOCK_PATTERNS, 0, 0, 0xFFFFFFF0u};
    char* buffer = nullptr;
    EXPECT_EQ(ReadBlockPayload(file, &header, &buffer, nullptr), ERR_BAD_LOG);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(fake::CallCount("LocalAlloc"), 0);
    FileClose(file);
}

TEST_F(BlockPayload, NoMemoryIsReportedAsSuch) {
    HANDLE file = Open("abc", 3);
    BlockHeader header{BLOCK_PATTERNS, 0, 0, 3};
    char* buffer = nullptr;
    fake::FailCall("LocalAlloc", 1, 2);
    EXPECT_EQ(ReadBlockPayload(file, &header, &buffer, nullptr), ERR_NO_MEMORY);
    EXPECT_EQ(buffer, nullptr);
    FileClose(file);
}

}  // namespace
