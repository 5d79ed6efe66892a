// Folder names in a manifest's records: what each stands for when the log is attached, the
// record named in every error, and check standing in the usual path where a machine has none.
#include <gtest/gtest.h>

#include <filesystem>

#include "scratch_folder.h"
#include "tests/fixture/fixtures.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/folder_names.h"
#include "tools/tidewell-log/log_reader.h"
#include "tools/tidewell-log/manifest.h"
#include "tools/tidewell-log/program_image.h"

namespace {

using tidewell::FolderId;
using tidewell::FolderNames;

FolderNames Machine() {
    FolderNames names;
    names.paths = {{FolderId::Desktop, "C:\\Users\\ana\\Desktop"},
                   {FolderId::AllUsersPrograms, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
                   {FolderId::CommonFiles, "C:\\Program Files (x86)\\Common Files"},
                   {FolderId::Windows, "C:\\"}};
    return names;
}

tidewell::Manifest Read(const std::string& manifest, const FolderNames& names) {
    tidewell::ManifestOptions options;
    options.folders = names;
    return tidewell::ReadManifest(manifest, options);
}

std::string Lines(const tidewell::Findings& findings) {
    std::string lines;
    for (const tidewell::Finding& finding : findings) lines += tidewell::FormatFinding(finding) + "\n";
    return lines;
}

const char kNamed[] = R"({
  "files": [
    {"folder": "{InstallDir}", "name": "notes.exe"},
    {"folder": "{installdir}\\help\\en", "name": "index.html"},
    {"folder": "{COMMONFILES}\\Sample Shared", "name": "rt.dll", "flags": ["shared"]},
    {"folder": "{Desktop}", "name": "Sample Notes.lnk"},
    {"folder": "{Windows}\\Sample", "name": "x.ini"},
    {"folder": "C:\\Literal\\{Desktop}", "name": "y"}
  ],
  "folders": [
    {"folder": "{AllUsersPrograms}\\Sample Notes", "name": "Sample Notes.lnk"},
    {"folder": "{InstallDir}\\cache", "name": ""}
  ]
})";

TEST(FolderNames, StandForTheMachinesFoldersAndTheInstallationFolderForItself) {
    tidewell::Manifest manifest = Read(kNamed, Machine());
    EXPECT_EQ(Lines(manifest.findings), "");
    const auto& files = *manifest.content.files;
    // The installation folder is ".\": the program resolves it wherever the package lies.
    EXPECT_EQ(files[0].folder, ".\\");
    EXPECT_EQ(files[1].folder, ".\\help\\en");
    EXPECT_EQ(files[2].folder, "C:\\Program Files (x86)\\Common Files\\Sample Shared");
    EXPECT_EQ(files[3].folder, "C:\\Users\\ana\\Desktop");
    EXPECT_EQ(files[4].folder, "C:\\Sample");  // a drive's root gives no doubled backslash
    EXPECT_EQ(files[5].folder, "C:\\Literal\\{Desktop}");  // only at the start
    EXPECT_EQ((*manifest.content.folders)[0].folder, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Sample Notes");
    EXPECT_EQ((*manifest.content.folders)[1].folder, ".\\cache");

    // dump gives back the paths as they were written; the names are not stored.
    tidewell::Bytes program = tidewell::AttachToProgram(tidewell::ExampleStub(), tidewell::BuildLog(manifest.content));
    std::string dumped = tidewell::WriteManifest(tidewell::ReadProgramLog(program).content, "");
    EXPECT_NE(dumped.find(R"({"folder": "C:\\Users\\ana\\Desktop", "name": "Sample Notes.lnk"})"), std::string::npos) << dumped;
    for (const char* name : {"{InstallDir}", "{installdir}", "{COMMONFILES}", "{AllUsersPrograms}"})
        EXPECT_EQ(dumped.find(name), std::string::npos) << name;
}

TEST(FolderNames, ANameThatStandsForNothingIsAnErrorNamingItsRecord) {
    FolderNames names = Machine();
    names.paths.erase(FolderId::Desktop);
    tidewell::Manifest manifest = Read(R"({
      "files": [{"folder": "{Desktop}", "name": "a.lnk"}, {"folder": "{Dekstop}\\x", "name": "b"},
                {"folder": "{Desktop", "name": "c"}, {"folder": "{Desktop}Sample", "name": "d"},
                {"folder": "{InstallDir}\\bin", "name": "e"}],
      "folders": [{"folder": "{Temp}\\Sample", "name": ""}]})", names);
    EXPECT_EQ(Lines(manifest.findings),
              "error: files[0].folder: {Desktop} stands for no folder on this machine (--folder Desktop=PATH gives one)\n"
              "error: files[1].folder: {Dekstop} is not a folder name (known: InstallDir, Windows, System, Fonts, "
              "ProgramFiles, CommonFiles, Desktop, AllUsersDesktop, StartMenu, AllUsersStartMenu, Programs, AllUsersPrograms, "
              "Startup, AllUsersStartup, AppData, LocalAppData, AllUsersAppData, Documents, Temp)\n"
              "error: files[2].folder: begins with '{' but closes no folder name: write one such as {Desktop}\n"
              "error: files[3].folder: {Desktop} stands for a whole folder: a backslash must follow it\n"
              "error: folders[0].folder: {Temp} stands for no folder on this machine (--folder Temp=PATH gives one)\n");
    // The installation folder needs no path.
    EXPECT_EQ((*manifest.content.files)[4].folder, ".\\bin");
}

TEST(FolderNames, CheckWarnsOncePerNameAndChecksTheUsualPath) {
    FolderNames names;
    names.usualWhenMissing = true;
    tidewell::Manifest manifest = Read(R"({
      "files": [{"folder": "{Desktop}", "name": "a.lnk"}, {"folder": "{Desktop}", "name": "b.lnk"},
                {"folder": "{Fonts}", "name": "c.ttf", "flags": ["font"]}]})", names);
    EXPECT_EQ(Lines(manifest.findings),
              "warning: files[0].folder: {Desktop} stands for no folder on this machine: checked as its usual path "
              "C:\\Users\\User\\Desktop (--folder Desktop=PATH gives one)\n"
              "warning: files[2].folder: {Fonts} stands for no folder on this machine: checked as its usual path "
              "C:\\Windows\\Fonts (--folder Fonts=PATH gives one)\n");
    EXPECT_EQ((*manifest.content.files)[1].folder, "C:\\Users\\User\\Desktop");
}

TEST(FolderNames, FolderOptionsGiveOrOverrideOneAndRefuseWhatIsNoFolder) {
    FolderNames names = Machine();
    tidewell::GiveFolder("desktop=D:\\Staging\\Desktop\\", &names);
    tidewell::GiveFolder("Temp=\\\\server\\share\\temp", &names);
    EXPECT_EQ(names.paths[FolderId::Desktop], "D:\\Staging\\Desktop");
    EXPECT_EQ(names.paths[FolderId::Temp], "\\\\server\\share\\temp");
    EXPECT_THROW(tidewell::GiveFolder("Desk=C:\\x", &names), tidewell::UsageError);
    EXPECT_THROW(tidewell::GiveFolder("Desktop", &names), tidewell::UsageError);
    EXPECT_THROW(tidewell::GiveFolder("Desktop=relative\\x", &names), tidewell::UsageError);
    EXPECT_THROW(tidewell::GiveFolder("Desktop=/home/ana/Desktop", &names), tidewell::UsageError);
    // The installation folder is the uninstaller's own, wherever it is: ".\" in the log.
    EXPECT_THROW(tidewell::GiveFolder("InstallDir=C:\\Program Files\\Sample", &names), tidewell::UsageError);
}

// attach as a package's installation runs it: the names from --folder, nothing written on error.
class AttachWithNames : public test::ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        tidewell::WriteFileBytes(Path("stub.exe"), tidewell::ExampleStub());
        tidewell::WriteFileBytes(Path("package.json"), R"({"files": [{"folder": "{Desktop}", "name": "a.lnk"},
                                                                      {"folder": "{InstallDir}", "name": "notes.exe"}]})");
    }
    int Attach(std::vector<std::string> extra) {
        std::vector<std::string> args = {"--stub", Path("stub.exe"), "--manifest", Path("package.json"), "--out", Path("Remove.exe")};
        args.insert(args.end(), extra.begin(), extra.end());
        return tidewell::AttachCommand(args);
    }
};

TEST_F(AttachWithNames, WritesTheGivenFoldersIntoTheLogOrNothingAtAll) {
    // The build machine has no Windows folders: without --folder the name stands for nothing.
    EXPECT_EQ(Attach({}), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("Remove.exe")));
    EXPECT_THROW(Attach({"--folder", "Dusktop=C:\\x"}), tidewell::UsageError);
    EXPECT_FALSE(std::filesystem::exists(Path("Remove.exe")));

    ASSERT_EQ(Attach({"--folder", "Desktop=C:\\Users\\ana\\Desktop"}), 0);
    tidewell::ReadLog log = tidewell::ReadProgramLog(tidewell::ReadFileBytes(Path("Remove.exe")));
    EXPECT_EQ((*log.content.files)[0].folder, "C:\\Users\\ana\\Desktop");
    EXPECT_EQ((*log.content.files)[1].folder, ".\\");
}

}  // namespace
