// tidewell-log's attach: where the log goes in the program file, the stubs it refuses, and a
// log that replaces the one a program already carries.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "scratch_folder.h"
#include "tests/fixture/fixtures.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/log_reader.h"
#include "tools/tidewell-log/program_image.h"

namespace {

using tidewell::Bytes;
using tidewell::ExampleStub;

uint32_t U32(const Bytes& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
    return value;
}

void PutU32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

const size_t kField = 0xC46;  // behind the marker in the example stub

std::string Refusal(const Bytes& program, const Bytes& log = tidewell::ExampleLog()) {
    try {
        tidewell::AttachToProgram(program, log);
    } catch (const tidewell::LogError& error) {
        return error.what();
    }
    return "";
}

TEST(Attach, PutsTheExampleLogRightBehindTheImageWithTheExampleFigures) {
    const Bytes program = tidewell::AttachToProgram(ExampleStub(), tidewell::ExampleLog());
    ASSERT_EQ(program.size(), 0xE000u + 946u);
    EXPECT_EQ(U32(program, kField), 0xE000u);
    EXPECT_EQ(program.substr(0, 0xE000).substr(0, kField), ExampleStub().substr(0, kField));
    EXPECT_EQ(program.substr(kField + 4, 0xE000 - kField - 4), ExampleStub().substr(kField + 4));
    EXPECT_EQ(program.substr(0xE000), tidewell::ExampleLog());

    // The blocks, as dump --blocks lists them: offset, tag, flags, length.
    const tidewell::ReadLog log = tidewell::ReadProgramLog(program);
    ASSERT_TRUE(log.accepted);
    const std::vector<std::tuple<uint32_t, uint16_t, uint32_t>> expected = {
        {0xE000, BLOCK_MESSAGES, 493}, {0xE1F5, BLOCK_REGISTRY, 4}, {0xE201, BLOCK_FILES, 330},
        {0xE353, BLOCK_REGISTRY_ADD, 79}, {0xE3AA, BLOCK_END, 0}};
    ASSERT_EQ(log.blocks.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(log.blocks[i].offset, std::get<0>(expected[i]));
        EXPECT_EQ(log.blocks[i].tag, std::get<1>(expected[i]));
        EXPECT_EQ(log.blocks[i].flags, 0);
        EXPECT_EQ(log.blocks[i].length, std::get<2>(expected[i]));
    }
    EXPECT_EQ(log.end, program.size());  // the file ends right behind BLOCK_END's header
    EXPECT_TRUE(log.findings.empty());
}

TEST(Attach, ReplacesTheLogAProgramCarriesInsteadOfStackingASecond) {
    tidewell::LogContent other;
    other.messages = std::vector<std::string>{"Other"};
    other.files = std::vector<tidewell::FileEntry>{{".\\", "other.exe", 0}};
    const Bytes otherLog = tidewell::BuildLog(other);

    const Bytes once = tidewell::AttachToProgram(ExampleStub(), otherLog);
    const Bytes twice = tidewell::AttachToProgram(tidewell::AttachToProgram(ExampleStub(), tidewell::ExampleLog()), otherLog);
    EXPECT_EQ(twice, once);
    // A shorter log replaces a longer one: nothing of the old log is left behind the new one.
    EXPECT_EQ(twice.size(), 0xE000u + otherLog.size());
    // Attaching the same log again changes nothing.
    EXPECT_EQ(tidewell::AttachToProgram(once, otherLog), once);
}

TEST(Attach, ALogWhoseTextsHoldTheMarkerIsStillReplaced) {
    tidewell::LogContent content;
    content.messages = std::vector<std::string>{std::string("says ") + std::string({LOG_MARKER}) + " twice"};
    const Bytes carrying = tidewell::AttachToProgram(ExampleStub(), tidewell::BuildLog(content));
    EXPECT_EQ(tidewell::AttachToProgram(carrying, tidewell::ExampleLog()),
              tidewell::AttachToProgram(ExampleStub(), tidewell::ExampleLog()));
}

TEST(Attach, RefusesStubsItCannotAttachToSafely) {
    Bytes noMarker = ExampleStub();
    noMarker[0xC40] = 'x';
    EXPECT_NE(Refusal(noMarker).find("holds no log marker"), std::string::npos);

    Bytes twice = ExampleStub();
    twice.replace(0x2000, LOG_MARKER_LENGTH, std::string({LOG_MARKER}));
    EXPECT_NE(Refusal(twice).find("more than once"), std::string::npos);

    EXPECT_NE(Refusal(Bytes(0xE000, 'x')).find("not a Windows program"), std::string::npos);
    Bytes noPe = ExampleStub();
    noPe[0x80] = 'Q';
    EXPECT_NE(Refusal(noPe).find("no PE header"), std::string::npos);

    EXPECT_NE(Refusal(ExampleStub().substr(0, 0xD000)).find("cut short"), std::string::npos);

    Bytes signedStub = ExampleStub();
    PutU32(signedStub, 0x98 + 96 + 4 * 8, 0xD000);      // the certificate table's offset
    PutU32(signedStub, 0x98 + 96 + 4 * 8 + 4, 0x100);   // and size
    EXPECT_NE(Refusal(signedStub).find("is signed"), std::string::npos);

    Bytes inside = tidewell::AttachToProgram(ExampleStub(), tidewell::ExampleLog());
    PutU32(inside, kField, 0x1000);
    EXPECT_NE(Refusal(inside).find("inside its own image"), std::string::npos);

    Bytes past = tidewell::AttachToProgram(ExampleStub(), tidewell::ExampleLog());
    PutU32(past, kField, 0x20000);
    EXPECT_NE(Refusal(past).find("past its end"), std::string::npos);

    EXPECT_NE(Refusal(ExampleStub() + "overlay").find("7 bytes behind its image but no log"), std::string::npos);
}

// The command as a whole: a refusal leaves the output as it was.
class AttachCommand : public test::ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        tidewell::WriteFileBytes(Path("stub.exe"), ExampleStub());
    }
    void Write(const std::string& name, const std::string& text) { tidewell::WriteFileBytes(Path(name), text); }
    int Attach(const std::string& manifest, const std::string& stub = "stub.exe") {
        return tidewell::AttachCommand({"--stub", Path(stub), "--manifest", Path(manifest), "--out", Path("Remove.exe")});
    }
};

TEST_F(AttachCommand, WritesTheProgramWithItsLog) {
    Write("package.json", R"({"files": [{"folder": ".\\bin", "name": "a.exe"}]})");
    ASSERT_EQ(Attach("package.json"), 0);
    tidewell::ReadLog log = tidewell::ReadProgramLog(tidewell::ReadFileBytes(Path("Remove.exe")));
    ASSERT_TRUE(log.accepted);
    ASSERT_EQ(log.content.files->size(), 1u);
    EXPECT_EQ((*log.content.files)[0].name, "a.exe");
    // Nothing else is left in the folder: the scratch file became the output.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 3);
}

TEST_F(AttachCommand, WritesNothingForAManifestTheProgramWouldRefuse) {
    Write("package.json", R"({"registry": [], "registry_added": [
        {"root": "HKLM", "path": "Software\\A"}, {"root": "HKLM", "path": "Software\\B"},
        {"root": "HKLM", "path": "Software\\C"}, {"root": "HKLM", "path": "Software\\D"}]})");
    EXPECT_EQ(Attach("package.json"), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("Remove.exe")));
}

TEST_F(AttachCommand, WritesNothingForBadInputAndNamesTheFile) {
    Write("bad.json", R"({"files": [{"name": "a.exe"}]})");
    try {
        Attach("bad.json");
        FAIL() << "attached a file record without a folder";
    } catch (const tidewell::LogError& error) {
        EXPECT_EQ(std::string(error.what()), Path("bad.json") + ": files[0]: missing \"folder\"");
    }
    Write("good.json", "{}");
    Write("plain.exe", "plain bytes");
    EXPECT_THROW(Attach("good.json", "plain.exe"), tidewell::LogError);
    EXPECT_THROW(Attach("good.json", "missing.exe"), tidewell::LogError);
    EXPECT_FALSE(std::filesystem::exists(Path("Remove.exe")));

    // An existing output stays as it was.
    Write("Remove.exe", "before");
    EXPECT_THROW(Attach("bad.json"), tidewell::LogError);
    EXPECT_EQ(tidewell::ReadFileBytes(Path("Remove.exe")), "before");
}

}  // namespace
