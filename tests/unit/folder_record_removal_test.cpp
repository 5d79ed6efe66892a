// Shortcuts and the folders the log names: the file inside each entry's folder, then the
// folder when it is left empty and is not one of the system's own.
#include <gtest/gtest.h>

#include <string>

#include "folder_world.h"
#include "removal/phases.h"
#include "test_support.h"

namespace {

const std::string kMenu = std::string(test::kPrograms) + "\\Pkg";
const std::string kPkg = "C:\\Program Files\\Pkg";

class FolderRecordRemoval : public test::FolderPhaseTest {
protected:
    // The deletions and removals the phase tried, in order.
    std::vector<std::string> Remove(const std::vector<tidewell::FolderEntry>& folders) {
        test::SetFolderRecords(folders);
        fake::ClearJournal();
        RemoveFolderRecords();
        return fake::Calls({"DeleteFileA", "RemoveDirectoryA", "SetCurrentDirectoryA"});
    }
    static std::string Ok(const char* api, const std::string& path) { return std::string(api) + " " + path + " -> ok"; }
    static std::string Error(const char* api, const std::string& path, DWORD error) {
        return std::string(api) + " " + path + " -> error " + std::to_string(error);
    }
};

TEST_F(FolderRecordRemoval, AnEmptyListDoesNothing) {
    EXPECT_TRUE(Remove({}).empty());
    EXPECT_TRUE(fake::DestructiveCalls().empty());
}

TEST_F(FolderRecordRemoval, EntriesSharingAFolderRemoveItWithTheLastFile) {
    fake::AddFile(kMenu + "\\Run.lnk");
    fake::AddFile(kMenu + "\\Help.lnk");
    EXPECT_EQ(Remove({{kMenu, "Run.lnk"}, {kMenu, "Help.lnk"}}),
              (std::vector<std::string>{Ok("DeleteFileA", kMenu + "\\Run.lnk"), Error("RemoveDirectoryA", kMenu, ERROR_DIR_NOT_EMPTY),
                                        Ok("DeleteFileA", kMenu + "\\Help.lnk"), Ok("RemoveDirectoryA", kMenu)}));
    EXPECT_FALSE(fake::Exists(kMenu));
    // Only the entry's own folder goes, never its parent.
    EXPECT_TRUE(fake::Exists(test::kPrograms));
}

TEST_F(FolderRecordRemoval, AnEntryWithoutNameRemovesOnlyItsFolder) {
    fake::AddFolder("C:\\Data\\Empty");
    fake::AddFile("C:\\Data\\Full\\keep.txt");
    EXPECT_EQ(Remove({{"C:\\Data\\Empty", ""}, {"C:\\Data\\Full", ""}, {"C:\\Data\\Missing", ""}}),
              (std::vector<std::string>{Ok("RemoveDirectoryA", "C:\\Data\\Empty"),
                                        Error("RemoveDirectoryA", "C:\\Data\\Full", ERROR_DIR_NOT_EMPTY),
                                        Error("RemoveDirectoryA", "C:\\Data\\Missing", ERROR_FILE_NOT_FOUND)}));
    EXPECT_TRUE(fake::Exists("C:\\Data\\Full\\keep.txt"));
}

TEST_F(FolderRecordRemoval, AnEntryWithoutFolderDeletesItsNameFromTheInstallationFolderOnly) {
    fake::SetCurrentDirectory("C:\\Work");
    fake::AddFile("C:\\Work\\x.lnk");
    fake::AddFile(kPkg + "\\x.lnk");
    EXPECT_EQ(Remove({{"", "x.lnk"}}), (std::vector<std::string>{Ok("DeleteFileA", kPkg + "\\x.lnk")}));
    EXPECT_TRUE(fake::Exists("C:\\Work\\x.lnk"));
    EXPECT_EQ(fake::CallCount("GetCurrentDirectoryA"), 0);
    EXPECT_TRUE(Remove({{"", ""}}).empty());
}

TEST_F(FolderRecordRemoval, RelativeFoldersLieBelowTheInstallationFolderWhereverTheRunStands) {
    fake::SetCurrentDirectory("C:\\Work");
    for (const char* folder : {"C:\\Work\\sub", "C:\\Work\\rel", "C:\\sub"}) fake::AddFile(std::string(folder) + "\\x.lnk");
    fake::AddFile(kPkg + "\\sub\\x.lnk");
    fake::AddFile(kPkg + "\\rel\\x.lnk");
    EXPECT_EQ(Remove({{".\\sub", "x.lnk"}, {"rel", "x.lnk"}, {"\\sub", "x.lnk"}, {"C:sub", "x.lnk"}}),
              (std::vector<std::string>{Ok("DeleteFileA", kPkg + "\\sub\\x.lnk"), Ok("RemoveDirectoryA", kPkg + "\\sub"),
                                        Ok("DeleteFileA", kPkg + "\\rel\\x.lnk"), Ok("RemoveDirectoryA", kPkg + "\\rel")}));
    // Folders that depend on the current drive or folder name nothing: they are passed over.
    for (const char* folder : {"C:\\Work\\sub", "C:\\Work\\rel", "C:\\sub"})
        EXPECT_TRUE(fake::Exists(std::string(folder) + "\\x.lnk")) << folder;
    EXPECT_TRUE(fake::Exists(test::kProgramPath));
}

TEST_F(FolderRecordRemoval, TheCurrentDirectoryIsLeftForItsParentBeforeItsRemoval) {
    fake::SetCurrentDirectory(kMenu);
    fake::AddFile(kMenu + "\\Run.lnk");
    std::string stored = "c:\\users\\ann\\START MENU\\programs\\pkg";
    EXPECT_EQ(Remove({{stored, "Run.lnk"}}),
              (std::vector<std::string>{Ok("DeleteFileA", stored + "\\Run.lnk"), Ok("SetCurrentDirectoryA", ".."),
                                        Ok("RemoveDirectoryA", stored)}));
    EXPECT_EQ(fake::CurrentDirectory(), test::kPrograms);
    EXPECT_FALSE(fake::Exists(kMenu));
}

TEST_F(FolderRecordRemoval, AnySpellingOfTheCurrentDirectoryIsLeftBeforeItsRemoval) {
    fake::SetCurrentDirectory("C:\\Games");
    fake::AddFile("C:\\Games\\play.lnk");
    EXPECT_EQ(Remove({{"C:/Games/", "play.lnk"}}),
              (std::vector<std::string>{Ok("DeleteFileA", "C:/Games/\\play.lnk"), Ok("SetCurrentDirectoryA", ".."),
                                        Ok("RemoveDirectoryA", "C:/Games/")}));
    EXPECT_FALSE(fake::Exists("C:\\Games"));
}

TEST_F(FolderRecordRemoval, ACurrentDirectoryThatCannotBeReadMatchesNothing) {
    fake::SetCurrentDirectory(kMenu);
    fake::FailCall("GetCurrentDirectoryA");
    EXPECT_EQ(Remove({{kMenu, ""}}), (std::vector<std::string>{Error("RemoveDirectoryA", kMenu, ERROR_SHARING_VIOLATION)}));
    EXPECT_EQ(Remove({{kMenu, ""}}), (std::vector<std::string>{Ok("SetCurrentDirectoryA", ".."), Ok("RemoveDirectoryA", kMenu)}));
}

TEST_F(FolderRecordRemoval, AProtectedFolderStaysWhenItsShortcutWasTheLastThingInIt) {
    fake::AddFile(std::string(test::kDesktop) + "\\Pkg.lnk");
    fake::AddFile(std::string(test::kStartMenu) + "\\Pkg.lnk");
    fake::SetCurrentDirectory(test::kDesktop);
    std::vector<std::string> tried = Remove({{test::kDesktop, "Pkg.lnk"},
                                             {std::string(test::kStartMenu) + "\\", "Pkg.lnk"},
                                             {"c:\\users\\ann\\start menu\\PROGRAMS", ""},
                                             {"C:", ""}});
    EXPECT_EQ(tried, (std::vector<std::string>{Ok("DeleteFileA", std::string(test::kDesktop) + "\\Pkg.lnk"),
                                               Ok("DeleteFileA", std::string(test::kStartMenu) + "\\Pkg.lnk")}));
    for (const char* folder : {test::kDesktop, test::kStartMenu, test::kPrograms}) {
        EXPECT_TRUE(fake::IsFolder(folder)) << folder;
    }
    EXPECT_TRUE(fake::Tree(test::kDesktop).empty());
    // The guard was asked about the folders, and the current directory stayed.
    EXPECT_EQ(fake::CurrentDirectory(), test::kDesktop);
    EXPECT_EQ(fake::OutstandingIdLists(), 0u);
}

TEST_F(FolderRecordRemoval, AProtectedFolderStaysWhateverItsSpelling) {
    const std::string desktop = test::kDesktop;
    fake::AddFile(desktop + "\\Pkg.lnk");
    fake::AddFile(desktop + "\\Read Me.lnk");
    std::vector<std::string> tried = Remove({{"C:/Users/Ann/Desktop", "Pkg.lnk"}, {desktop + "\\sub\\..", "Read Me.lnk"},
                                             {desktop + "\\.", ""}, {"C:\\Users\\Ann\\\\Desktop.", ""}});
    EXPECT_EQ(tried, (std::vector<std::string>{Ok("DeleteFileA", "C:/Users/Ann/Desktop\\Pkg.lnk"),
                                               Ok("DeleteFileA", desktop + "\\sub\\..\\Read Me.lnk")}));
    EXPECT_TRUE(fake::IsFolder(desktop));
}

TEST_F(FolderRecordRemoval, ARefusedFileStaysWithItsFolderAndNothingIsAsked) {
    fake::AddFile(kMenu + "\\ro.lnk", "", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(kMenu + "\\open.lnk");
    fake::HoldOpen(kMenu + "\\open.lnk");
    EXPECT_EQ(Remove({{kMenu, "ro.lnk"}, {kMenu, "open.lnk"}}),
              (std::vector<std::string>{Error("DeleteFileA", kMenu + "\\ro.lnk", ERROR_ACCESS_DENIED),
                                        Error("RemoveDirectoryA", kMenu, ERROR_DIR_NOT_EMPTY),
                                        Error("DeleteFileA", kMenu + "\\open.lnk", ERROR_SHARING_VIOLATION),
                                        Error("RemoveDirectoryA", kMenu, ERROR_DIR_NOT_EMPTY)}));
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_TRUE(fake::Dialogs().empty());
    EXPECT_EQ(fake::CallCount("SetFileAttributesA"), 0);
}

TEST_F(FolderRecordRemoval, AnEntryWhosePathWouldNotFitIsPassedOverWhole) {
    std::string folder = "C:\\" + std::string(250, 'f');
    fake::AddFolder(folder);
    EXPECT_TRUE(Remove({{folder, "ab.lnk"}, {"C:\\" + std::string(257, 'g'), ""}}).empty());
    EXPECT_TRUE(fake::Exists(folder));
    // 259 characters fit.
    EXPECT_EQ(Remove({{folder, "a.lnk"}}),
              (std::vector<std::string>{Error("DeleteFileA", folder + "\\a.lnk", ERROR_FILE_NOT_FOUND),
                                        Ok("RemoveDirectoryA", folder)}));
}

}  // namespace
