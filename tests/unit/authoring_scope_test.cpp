// A package's scope: the execution level attach writes into the program's own application
// manifest (in place: the resource stays well formed and the file keeps its size and layout),
// what dump and check read back from it, and check's warnings about records that do not suit
// the scope.
#include <gtest/gtest.h>

#include <filesystem>

#include "scratch_folder.h"
#include "tests/fixture/fixtures.h"
#include "tools/tidewell-log/check.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/execution_level.h"
#include "tools/tidewell-log/log_reader.h"
#include "tools/tidewell-log/manifest.h"
#include "tools/tidewell-log/program_image.h"

namespace {

using tidewell::Bytes;
using tidewell::Scope;

void Put(Bytes& bytes, size_t at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

const size_t kTree = 0x1000;         // the resource tree's file offset, in the example stub's data section
const uint32_t kTreeAddress = 0x2400;  // and its address in the image
const size_t kManifestAt = kTree + 0x60;

// The example stub with a resource tree that holds one application manifest (RT_MANIFEST 1,
// language 1033), as the program's resource script makes it.
Bytes StubWithManifest(const std::string& manifest) {
    Bytes stub = tidewell::ExampleStub();
    Put(stub, 0x98 + 96 + 2 * 8, kTreeAddress, 4);  // the resource table's data directory
    Put(stub, 0x98 + 96 + 2 * 8 + 4, static_cast<uint32_t>(0x60 + manifest.size()), 4);
    const struct {
        size_t at;
        uint32_t id, target;
    } kLevels[] = {{0x00, 24, 0x80000018u}, {0x18, 1, 0x80000030u}, {0x30, 1033, 0x48}};
    for (const auto& level : kLevels) {
        Put(stub, kTree + level.at + 14, 1, 2);  // one numbered entry
        Put(stub, kTree + level.at + 16, level.id, 4);
        Put(stub, kTree + level.at + 20, level.target, 4);
    }
    Put(stub, kTree + 0x48, kTreeAddress + 0x60, 4);
    Put(stub, kTree + 0x4C, static_cast<uint32_t>(manifest.size()), 4);
    stub.replace(kManifestAt, manifest.size(), manifest);
    return stub;
}

std::string ProgramManifest() { return tidewell::ReadFileBytes(std::string(TIDEWELL_SOURCE_DIR) + "/resources/uninstall.manifest"); }

std::string Level(const Bytes& program) { return tidewell::FindExecutionLevel(program)->level; }

// An element's attributes may be separated by any blanks; the text without the level's room is
// the same manifest.
std::string WithoutBlankRuns(std::string text) {
    std::string out;
    for (char c : text)
        if (!(c == ' ' && !out.empty() && out.back() == ' ')) out += c;
    return out;
}

TEST(ExecutionLevel, TheProgramsManifestTakesEitherLevelInPlace) {
    const std::string manifest = ProgramManifest();
    const Bytes stub = StubWithManifest(manifest);
    ASSERT_EQ(Level(stub), "requireAdministrator");
    EXPECT_GE(tidewell::FindExecutionLevel(stub)->room, std::string("requireAdministrator\"").size());

    tidewell::LogContent content;
    content.files = std::vector<tidewell::FileEntry>{{".\\", "notes.exe", 0}};
    const Bytes attached = tidewell::AttachToProgram(stub, tidewell::BuildLog(content));
    Bytes user = attached;
    tidewell::WriteExecutionLevel(&user, *tidewell::FindExecutionLevel(user), tidewell::LevelFor(Scope::User));
    EXPECT_EQ(Level(user), "asInvoker");
    // Only the level's room changed: the resource is the same manifest with the other level, and
    // every byte before and after it is as it was.
    ASSERT_EQ(user.size(), attached.size());
    std::string rewritten = user.substr(kManifestAt, manifest.size());
    EXPECT_EQ(WithoutBlankRuns(rewritten), WithoutBlankRuns(std::string(manifest).replace(manifest.find("requireAdministrator"), 20, "asInvoker")));
    EXPECT_TRUE(user.substr(0, kManifestAt) == attached.substr(0, kManifestAt));
    EXPECT_TRUE(user.substr(kManifestAt + manifest.size()) == attached.substr(kManifestAt + manifest.size()));
    EXPECT_EQ(tidewell::ResourceData(user, 24, 1)->size, manifest.size());
    EXPECT_EQ(tidewell::ReadProgramLog(user).content.files->at(0).name, "notes.exe");

    // And back again: the bytes of the machine's level, as built.
    tidewell::WriteExecutionLevel(&user, *tidewell::FindExecutionLevel(user), tidewell::LevelFor(Scope::Machine));
    EXPECT_TRUE(user == attached);
}

TEST(ExecutionLevel, AManifestWithoutARewritableLevelIsRefusedAndNoManifestIsNone) {
    EXPECT_FALSE(tidewell::FindExecutionLevel(tidewell::ExampleStub()));
    auto refusal = [](const std::string& manifest) {
        try {
            tidewell::FindExecutionLevel(StubWithManifest(manifest));
        } catch (const tidewell::LogError& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refusal("<assembly><trustInfo/></assembly>"), "has an application manifest without a requested execution level");
    EXPECT_EQ(refusal(R"(<requestedExecutionLevel uiAccess="false"/>)"), "has an application manifest without a requested execution level");
    EXPECT_EQ(refusal(R"(<requestedExecutionLevel level="asInvoker"/>)"),
              "has no room in its application manifest for the execution level requireAdministrator: it is not the stub "
              "this tool writes levels into");
    EXPECT_EQ(refusal(R"(<requestedExecutionLevel level='asInvoker'            uiAccess="false"/>)"), "accepted");

    Bytes outside = StubWithManifest(ProgramManifest());
    Put(outside, kTree + 0x48, 0x90000, 4);  // the manifest's address lies in no section
    EXPECT_THROW(tidewell::FindExecutionLevel(outside), tidewell::LogError);
}

std::string CodePage(const Bytes& program) { return tidewell::FindCodePageElement(program)->value; }

// The code page element beside the level: UTF-8 written in place of Legacy and back, the file
// keeping its size and every byte outside the element's room.
TEST(CodePageElement, TheProgramsManifestTakesEitherValueInPlace) {
    const std::string manifest = ProgramManifest();
    const Bytes stub = StubWithManifest(manifest);
    ASSERT_EQ(CodePage(stub), "Legacy");
    Bytes utf8 = stub;
    tidewell::WriteCodePageElement(&utf8, *tidewell::FindCodePageElement(utf8), tidewell::kUtf8Element);
    EXPECT_EQ(CodePage(utf8), "UTF-8");
    ASSERT_EQ(utf8.size(), stub.size());
    const size_t at = kManifestAt + manifest.find("Legacy</activeCodePage>");
    const size_t room = tidewell::FindCodePageElement(stub)->room;
    EXPECT_EQ(utf8.substr(at, room), std::string("UTF-8</activeCodePage>").append(room - 22, ' '));
    EXPECT_TRUE(utf8.substr(0, at) == stub.substr(0, at));
    EXPECT_TRUE(utf8.substr(at + room) == stub.substr(at + room));
    EXPECT_EQ(Level(utf8), "requireAdministrator");
    tidewell::WriteCodePageElement(&utf8, *tidewell::FindCodePageElement(utf8), tidewell::kLegacyElement);
    EXPECT_EQ(CodePage(utf8), "Legacy");

    // A manifest without the element runs in the system's code page; one without room is not a stub.
    EXPECT_FALSE(tidewell::FindCodePageElement(StubWithManifest(R"(<requestedExecutionLevel level="asInvoker"/>)")));
    EXPECT_FALSE(tidewell::FindCodePageElement(tidewell::ExampleStub()));
    EXPECT_THROW(tidewell::FindCodePageElement(StubWithManifest("<activeCodePage>UTF-8</activeCodePage></x>")), tidewell::LogError);
}

// check: a copy whose element and log disagree on the code page is one the program refuses.
TEST(CodePageElement, CheckFindsACopyWhoseElementAndLogDisagree) {
    const Bytes legacy = StubWithManifest(ProgramManifest());
    Bytes utf8 = legacy;
    tidewell::WriteCodePageElement(&utf8, *tidewell::FindCodePageElement(utf8), tidewell::kUtf8Element);
    auto errors = [](const Bytes& program, std::optional<uint32_t> codePage) {
        tidewell::LogContent content;
        content.codePage = codePage;
        tidewell::Findings findings;
        tidewell::CheckCodePage(program, content, &findings);
        std::string said;
        for (const tidewell::Finding& finding : findings) said += (finding.error ? "error: " : "warning: ") + finding.text;
        return said;
    };
    EXPECT_EQ(errors(legacy, 65001u), "error: its log is in UTF-8 but its manifest asks for the system's code page (Legacy): it refuses "
                                      "the log wherever that is not UTF-8");
    EXPECT_EQ(errors(utf8, 1252u), "error: its manifest asks for UTF-8 but its log is in code page 1252: it refuses the log on "
                                   "Windows 10 1903 and later");
    for (auto [program, codePage] : {std::pair{&legacy, std::optional<uint32_t>(1252u)}, {&utf8, 65001u}, {&legacy, std::nullopt}})
        EXPECT_EQ(errors(*program, codePage), "");
}

// attach writes the scope's level; dump gives the scope back.
class AttachScope : public test::ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        tidewell::WriteFileBytes(Path("stub.exe"), StubWithManifest(ProgramManifest()));
    }
    std::string Attach(const std::string& manifest) {
        tidewell::WriteFileBytes(Path("package.json"), manifest);
        EXPECT_EQ(tidewell::AttachCommand({"--stub", Path("stub.exe"), "--manifest", Path("package.json"), "--out", Path("Remove.exe")}), 0);
        return Level(tidewell::ReadFileBytes(Path("Remove.exe")));
    }
    std::string Dump() {
        testing::internal::CaptureStdout();
        tidewell::DumpCommand({Path("Remove.exe")});
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(AttachScope, WritesTheLevelTheScopeNeedsAndDumpReadsItBack) {
    const char user[] = "{\n  \"scope\": \"user\",\n  \"files\": [\n    {\"folder\": \".\\\\\", \"name\": \"notes.exe\"}\n  ]\n}\n";
    EXPECT_EQ(Attach(user), "asInvoker");
    EXPECT_EQ(Dump(), user);
    EXPECT_EQ(Attach(R"({"scope": "machine"})"), "requireAdministrator");
    EXPECT_EQ(Dump(), "{\n}\n");
    EXPECT_EQ(Attach("{}"), "requireAdministrator");
}

// A log in UTF-8 marks its copy so; the same stub attached again in a legacy code page is not.
TEST_F(AttachScope, MarksTheCopyOfAUtf8LogUtf8) {
    Attach(R"({"codepage": "utf-8", "messages": {"MSG_TITLE": "表"}})");
    const Bytes copy = tidewell::ReadFileBytes(Path("Remove.exe"));
    EXPECT_EQ(CodePage(copy), "UTF-8");
    EXPECT_EQ(tidewell::ReadProgramLog(copy).content.codePage, std::optional<uint32_t>(65001));
    tidewell::WriteFileBytes(Path("stub.exe"), copy);
    Attach(R"({"codepage": "windows-1252", "messages": {"MSG_TITLE": "Año"}})");
    EXPECT_EQ(CodePage(tidewell::ReadFileBytes(Path("Remove.exe"))), "Legacy");
}

tidewell::Findings Scoped(const std::string& manifest, const tidewell::FolderNames& names = {}) {
    tidewell::Manifest read = tidewell::ReadManifest(manifest);
    tidewell::Findings findings;
    tidewell::CheckScope(read.content, read.scope, names, &findings);
    return findings;
}

std::string Texts(const tidewell::Findings& findings) {
    std::string lines;
    for (const tidewell::Finding& finding : findings) lines += finding.where + ": " + finding.text.substr(0, finding.text.find(':')) + "\n";
    return lines;
}

const char kRecords[] = R"({"scope": "%s",
  "files": [{"folder": ".\\", "name": "notes.exe"},
            {"folder": "C:\\Users\\ana\\AppData\\Local\\Programs\\Notes", "name": "notes.dll"},
            {"folder": "C:\\Program Files\\Common Files\\Sample", "name": "rt.dll", "flags": ["shared"]},
            {"folder": "D:\\Tools", "name": "tool.exe"},
            {"folder": "C:\\Users\\Public\\Desktop", "name": "Notes.lnk"}],
  "folders": [{"folder": "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Notes", "name": "a.lnk"}],
  "registry": [{"root": "HKCU", "path": "Software\\Notes"}, {"root": "HKLM", "path": "Software\\Notes"},
               {"root": "HKU", "path": ".DEFAULT\\Software\\Notes"}]})";

std::string Records(const char* scope) {
    std::string manifest = kRecords;
    return manifest.replace(manifest.find("%s"), 2, scope);
}

TEST(ScopeChecks, AUsersPackageKeepsToTheUsersFoldersAndKeysAndAMachinesToItsOwn) {
    EXPECT_EQ(Texts(Scoped(Records("user"))),
              "registry[1] \"HKLM\\Software\\Notes\": names a key of the machine\n"
              "registry[2] \"HKU\\.DEFAULT\\Software\\Notes\": names a key of every user's registry\n"
              "files[2] \"C:\\Program Files\\Common Files\\Sample\\rt.dll\": lies in a folder of the machine\n"
              "files[2] \"C:\\Program Files\\Common Files\\Sample\\rt.dll\": is a shared file, whose use count lies under HKEY_LOCAL_MACHINE\n"
              "files[3] \"D:\\Tools\\tool.exe\": lies outside the user's folders\n"
              "files[4] \"C:\\Users\\Public\\Desktop\\Notes.lnk\": lies in a folder of the machine\n");
    EXPECT_EQ(Texts(Scoped(Records("machine"))),
              "registry[0] \"HKCU\\Software\\Notes\": names a key of the user who installed the package\n"
              "files[1] \"C:\\Users\\ana\\AppData\\Local\\Programs\\Notes\\notes.dll\": lies in the folders of the user who installed the package\n"
              "folders[0] \"C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Notes\\a.lnk\": lies in the folders "
              "of the user who installed the package\n");
}

TEST(ScopeChecks, TheFoldersTheNamesStandForTellWhoseAFolderIsOnThisMachine) {
    // A machine whose profiles lie where no usual path expects them.
    tidewell::FolderNames names;
    names.paths = {{tidewell::FolderId::AppData, "E:\\Home\\ana\\Roaming"},
                   {tidewell::FolderId::AllUsersAppData, "E:\\Shared"},
                   {tidewell::FolderId::Temp, "E:\\Shared\\ana-temp"}};
    const char manifest[] = R"({"scope": "user", "files": [
        {"folder": "E:\\Home\\ana\\Roaming\\Notes", "name": "a"}, {"folder": "E:\\Shared\\Notes", "name": "b"},
        {"folder": "E:\\Shared\\ana-temp\\Notes", "name": "c"}, {"folder": "E:\\Homework", "name": "d"}]})";
    EXPECT_EQ(Texts(Scoped(manifest, names)),
              "files[1] \"E:\\Shared\\Notes\\b\": lies in a folder of the machine\n"
              "files[3] \"E:\\Homework\\d\": lies outside the user's folders\n");
}

TEST(ScopeChecks, AScopeIsMachineOrUser) {
    EXPECT_EQ(tidewell::ReadManifest("{}").scope, Scope::Machine);
    EXPECT_EQ(tidewell::ReadManifest(R"({"scope": "user"})").scope, Scope::User);
    EXPECT_THROW(tidewell::ReadManifest(R"({"scope": "everyone"})"), tidewell::LogError);
    EXPECT_EQ(tidewell::ScopeOfLevel("highestAvailable"), std::nullopt);
}

}  // namespace
