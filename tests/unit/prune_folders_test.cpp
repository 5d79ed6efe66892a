// Empty-folder pruning: each installed file's folder and its parents, as far as they are empty
// and not protected.
#include <gtest/gtest.h>

#include <string>

#include "folder_world.h"
#include "log/log_format.h"
#include "removal/phases.h"
#include "test_support.h"

namespace {

const std::string kPkg = "C:\\Program Files\\Pkg";

class PruneFolders : public test::FolderPhaseTest {
protected:
    // The removals the phase tried, in order.
    std::vector<std::string> Prune(const std::vector<tidewell::FileEntry>& files) {
        test::SetFileRecords(files);
        fake::ClearJournal();
        PruneEmptyFolders();
        return fake::Calls({"RemoveDirectoryA", "DeleteFileA"});
    }
    static std::string Removed(const std::string& path) { return "RemoveDirectoryA " + path + " -> ok"; }
    static std::string Refused(const std::string& path, DWORD error) {
        return "RemoveDirectoryA " + path + " -> error " + std::to_string(error);
    }
};

TEST_F(PruneFolders, ThePhaseWorksFromTheParentOfTheInstallationFolder) {
    EXPECT_TRUE(Prune({}).empty());
    EXPECT_EQ(fake::Calls({"SetCurrentDirectoryA"}),
              (std::vector<std::string>{"SetCurrentDirectoryA " + kPkg + " -> ok", "SetCurrentDirectoryA .. -> ok"}));
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
    EXPECT_STREQ(run.installDir, test::kInstallDir);
}

TEST_F(PruneFolders, RecordsOfOneFolderEmptyItOnceAndStopAtTheProgramsOwnFolder) {
    fake::AddFolder(kPkg + "\\data");
    EXPECT_EQ(Prune({{".\\data", "a.txt"}, {".\\data", "b.txt"}}),
              (std::vector<std::string>{Removed(kPkg + "\\data"), Refused(kPkg, ERROR_DIR_NOT_EMPTY)}));
    EXPECT_FALSE(fake::Exists(kPkg + "\\data"));
    // The second record asked the guard nothing: two folders were looked at, by the first.
    EXPECT_EQ(fake::CallCount("GetWindowsDirectoryA"), 2);
}

TEST_F(PruneFolders, AFolderTheWalkRemovedHigherUpIsNotRememberedAsPruned) {
    fake::AddFolder(kPkg + "\\a\\b");
    EXPECT_EQ(Prune({{".\\a\\b", "x"}, {".\\a", "y"}}),
              (std::vector<std::string>{Removed(kPkg + "\\a\\b"), Removed(kPkg + "\\a"), Refused(kPkg, ERROR_DIR_NOT_EMPTY)}));
    // The second record's walk starts, and ends at once: its folder is gone.
    std::vector<std::string> looks = fake::Calls({"GetFileAttributesA"});
    ASSERT_FALSE(looks.empty());
    EXPECT_EQ(looks.back(), "GetFileAttributesA " + kPkg + "\\a -> error 2");
}

TEST_F(PruneFolders, ARecordWhoseWalkRemovesNothingLeavesTheLastPrunedFolderAlone) {
    fake::AddFolder(kPkg + "\\data");
    fake::AddFile(kPkg + "\\kept\\k.txt");
    EXPECT_EQ(Prune({{".\\data", "a"}, {".\\kept", "k.txt"}, {".\\DATA", "b"}}),
              (std::vector<std::string>{Removed(kPkg + "\\data"), Refused(kPkg + "\\kept", ERROR_DIR_NOT_EMPTY)}));
}

// A parent that holds the next record's folder (of another folder than this record's) is not
// empty: it is tried from that record's walk, once the folder below is gone, rather than twice.
// Where the next record's folder is not there, the parent is tried at once.
TEST_F(PruneFolders, AParentHoldingTheNextRecordsFolderIsTriedFromThatRecord) {
    for (const char* folder : {"\\a\\x", "\\a\\y", "\\b\\x"}) fake::AddFolder(kPkg + folder);
    EXPECT_EQ(Prune({{".\\a\\x", "f"}, {".\\a\\x", "g"}, {".\\a\\y", "f"}, {".\\b\\x", "f"}, {".\\b\\gone", "f"}}),
              (std::vector<std::string>{Removed(kPkg + "\\a\\x"), Removed(kPkg + "\\a\\y"), Removed(kPkg + "\\a"),
                                        Removed(kPkg + "\\b\\x"), Removed(kPkg + "\\b"), Refused(kPkg, ERROR_DIR_NOT_EMPTY)}));
}

TEST_F(PruneFolders, TheLastPrunedFolderIsComparedIgnoringTheCaseOfItsLetters) {
    fake::AddFolder(kPkg + "\\data");
    EXPECT_EQ(Prune({{".\\data", "a"}, {"c:\\PROGRAM FILES\\pkg\\Data\\", "b"}, {"C:\\Program Files\\Pkg\\data\\", ""}}),
              (std::vector<std::string>{Removed(kPkg + "\\data"), Refused(kPkg, ERROR_DIR_NOT_EMPTY)}));
}

TEST_F(PruneFolders, AFolderAlreadyGoneEndsTheWalkAtOnce) {
    // The installed-file phase removed the folder record's folder; its empty parent stays. A
    // folder that is not there is neither asked of the guard nor tried for removal.
    fake::AddFolder(kPkg + "\\empty");
    EXPECT_TRUE(Prune({{".\\empty\\gone", ""}, {"D:\\nowhere\\gone", "x"}}).empty());
    EXPECT_TRUE(fake::Exists(kPkg + "\\empty"));
    EXPECT_EQ(fake::CallCount("GetWindowsDirectoryA"), 0);
}

TEST_F(PruneFolders, AFolderThatCannotBeReadIsStillWalked) {
    // Only a folder that is certainly missing skips the walk; any other failure to read it does not.
    fake::AddFolder(kPkg + "\\locked");
    fake::FailCall("GetFileAttributesA", 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Prune({{".\\locked", "x"}}).front(), Removed(kPkg + "\\locked"));
}

TEST_F(PruneFolders, RecordsOfAFolderThatStaysAreWalkedOnceInARow) {
    // Kept files hold lib and full; gone was removed before the phase; the system folder is
    // protected. Nothing the phase does in between changes their fate, so the records that
    // follow one of them directly are passed over; a record further on is walked again.
    fake::AddFile(kPkg + "\\lib\\kept.dll");
    fake::AddFile(kPkg + "\\full\\kept.txt");
    EXPECT_EQ(Prune({{".\\lib", "a.dll"},
                     {".\\LIB", "b.dll"},
                     {".\\gone", "c"},
                     {".\\gone", "d"},
                     {"C:\\WINDOWS\\SYSTEM32", "e.dll"},
                     {"C:\\WINDOWS\\SYSTEM32", "f.dll"},
                     {".\\lib", "g.dll"},
                     {".\\full", "h"},
                     {".\\lib", "i.dll"}}),
              (std::vector<std::string>{Refused(kPkg + "\\lib", ERROR_DIR_NOT_EMPTY), Refused(kPkg + "\\lib", ERROR_DIR_NOT_EMPTY),
                                        Refused(kPkg + "\\full", ERROR_DIR_NOT_EMPTY),
                                        Refused(kPkg + "\\lib", ERROR_DIR_NOT_EMPTY)}));
    // The guard was asked for lib three times, for the system folder and for full once each.
    EXPECT_EQ(fake::CallCount("GetSystemDirectoryA"), 5);
    EXPECT_TRUE(fake::Exists(kPkg + "\\lib\\kept.dll"));
}

TEST_F(PruneFolders, AKeptFileKeepsItsFolderAndEveryFolderAbove) {
    fake::AddFile(kPkg + "\\lib\\shared.dll");
    EXPECT_EQ(Prune({{".\\lib", "shared.dll"}}), (std::vector<std::string>{Refused(kPkg + "\\lib", ERROR_DIR_NOT_EMPTY)}));
    EXPECT_TRUE(fake::Exists(kPkg + "\\lib\\shared.dll"));
}

TEST_F(PruneFolders, FontRecordsAreNeverConsidered) {
    fake::AddFolder(kPkg + "\\fonts");
    EXPECT_TRUE(Prune({{".\\fonts", "a.ttf", FILE_FONT}, {".\\fonts", "b.ttf", FILE_FONT | FILE_SHARED}}).empty());
    EXPECT_TRUE(fake::Exists(kPkg + "\\fonts"));
    EXPECT_EQ(fake::CallCount("GetWindowsDirectoryA"), 0);
    // Other flags do not matter.
    EXPECT_EQ(Prune({{".\\fonts", "c.dll", FILE_SHARED | FILE_SELFREG | 0xF8}}).front(), Removed(kPkg + "\\fonts"));
}

TEST_F(PruneFolders, AProtectedFolderIsNeverRemovedEvenWhenEmpty) {
    // A file installed straight into the system folder, and a shortcut folder on the desktop.
    fake::AddFolder(std::string(test::kDesktop) + "\\Games");
    EXPECT_EQ(Prune({{"C:\\WINDOWS\\SYSTEM32", "pkg.dll"}, {std::string(test::kDesktop) + "\\Games", "play.lnk"}}),
              (std::vector<std::string>{Removed(std::string(test::kDesktop) + "\\Games")}));
    EXPECT_TRUE(fake::Exists(test::kDesktop));
    EXPECT_TRUE(fake::Tree(test::kDesktop).empty());
}

TEST_F(PruneFolders, TheWalkStopsAtTheProgramFilesFolder) {
    fake::AddFolder("C:\\Program Files\\Vendor\\Tool\\bin");
    EXPECT_EQ(Prune({{"C:\\Program Files\\Vendor\\Tool\\bin", "t.exe"}}),
              (std::vector<std::string>{Removed("C:\\Program Files\\Vendor\\Tool\\bin"), Removed("C:\\Program Files\\Vendor\\Tool"),
                                        Removed("C:\\Program Files\\Vendor")}));
}

TEST_F(PruneFolders, ADriveRootIsNeverTried) {
    fake::AddFolder("D:\\top\\inner");
    EXPECT_EQ(Prune({{"D:\\top\\inner", "x"}, {"E:\\", "y"}}),
              (std::vector<std::string>{Removed("D:\\top\\inner"), Removed("D:\\top")}));
    EXPECT_TRUE(fake::Exists("D:\\"));
}

TEST_F(PruneFolders, ANameWithBackslashesLeadsToTheFolderThatHoldsTheFile) {
    fake::AddFolder(kPkg + "\\sub\\deep");
    EXPECT_EQ(Prune({{".\\", "sub\\deep\\f.txt"}}),
              (std::vector<std::string>{Removed(kPkg + "\\sub\\deep"), Removed(kPkg + "\\sub"), Refused(kPkg, ERROR_DIR_NOT_EMPTY)}));
}

TEST_F(PruneFolders, ARelativeFolderLiesBelowTheInstallationFolderNotTheCurrentOne) {
    // The phase works from the installation folder's parent: relative to it, the record would
    // name C:\Program Files\Shared\lib.
    fake::AddFolder("C:\\Program Files\\Shared\\lib");
    fake::AddFolder(kPkg + "\\Shared\\lib");
    EXPECT_EQ(Prune({{"Shared\\lib", "x.dll"}}), (std::vector<std::string>{Removed(kPkg + "\\Shared\\lib"), Removed(kPkg + "\\Shared"),
                                                                            Refused(kPkg, ERROR_DIR_NOT_EMPTY)}));
    EXPECT_TRUE(fake::Exists("C:\\Program Files\\Shared\\lib"));
}

TEST_F(PruneFolders, FoldersThatDependOnTheCurrentDriveOrFolderArePassedOver) {
    fake::AddFolder("C:\\Program Files\\x");
    fake::AddFolder("C:\\x");
    EXPECT_TRUE(Prune({{"\\x", "a.txt"}, {"C:x", "b.txt"}, {"C:", "x\\c.txt"}}).empty());
    EXPECT_TRUE(fake::Exists("C:\\Program Files\\x"));
    EXPECT_TRUE(fake::Exists("C:\\x"));
}

TEST_F(PruneFolders, ARecordWithoutAFolderNamesTheInstallationFolderWhichHoldsTheProgram) {
    EXPECT_EQ(Prune({{"", "x.txt"}, {"", ""}}), (std::vector<std::string>{Refused(kPkg, ERROR_DIR_NOT_EMPTY)}));
}

TEST_F(PruneFolders, EverySpellingOfAProtectedFolderStopsTheWalk) {
    // The walk cuts at the levels of the path's full form: forward slashes and dot levels name
    // the Desktop, which stays, and nothing above it is tried.
    const std::string desktop = test::kDesktop;
    fake::AddFolder(desktop + "\\Pkg");
    EXPECT_EQ(Prune({{"C:/Users/Ann/Desktop/Pkg", "a.lnk"}, {desktop + "\\Pkg\\..\\.", "b.lnk"},
                     {"C:\\Users\\\\Ann\\Desktop. ", ""}}),
              (std::vector<std::string>{Removed(desktop + "\\Pkg")}));
    EXPECT_TRUE(fake::Exists(desktop));
}

TEST_F(PruneFolders, ARecordWhosePathWouldNotFitIsPassedOver) {
    // installDir has 21 characters; a path has at most 259.
    std::string fits(259 - 21 - 2, 'f');
    fake::AddFolder(kPkg + "\\" + fits);
    EXPECT_TRUE(Prune({{".\\" + fits + "g", "x"}, {".\\" + fits, "xy"}, {".\\", fits + "\\xy"}, {"D:\\" + std::string(257, 'd'), ""}})
                    .empty());
    EXPECT_EQ(fake::CallCount("GetWindowsDirectoryA"), 0);
    EXPECT_EQ(Prune({{".\\", fits + "\\x"}}),
              (std::vector<std::string>{Removed(kPkg + "\\" + fits), Refused(kPkg, ERROR_DIR_NOT_EMPTY)}));
}

}  // namespace
