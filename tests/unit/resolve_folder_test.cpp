// The folder of an installed-file record, resolved against the installation folder.
#include <gtest/gtest.h>

#include <string>

#include "removal/resolve_folder.h"
#include "test_support.h"

namespace {

class ResolveFolderTest : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        test::StartRun();
    }
    void TearDown() override {
        test::EndRun();
        ProgramTest::TearDown();
    }
    std::string Resolved(const std::string& folder) {
        char path[PATH_SIZE];
        EXPECT_EQ(ResolveFolder(folder.c_str(), path), 1) << folder;
        return path;
    }
};

TEST_F(ResolveFolderTest, ADotAndABackslashLeadIntoTheInstallationFolder) {
    EXPECT_EQ(Resolved(".\\sub\\dir"), std::string(test::kInstallDir) + "sub\\dir");
    EXPECT_EQ(Resolved(".\\"), test::kInstallDir);
}

TEST_F(ResolveFolderTest, EveryOtherLeadingDotMeansTheInstallationFolderItself) {
    for (const char* folder : {".", "..\\other", ".name", "..", "./sub"}) EXPECT_EQ(Resolved(folder), test::kInstallDir) << folder;
}

TEST_F(ResolveFolderTest, AbsoluteFoldersStandAsTheyAre) {
    for (const char* folder : {"C:\\Windows\\Fonts", "c:/windows/fonts", "\\\\server\\share", "//server/share", "\\/x"})
        EXPECT_EQ(Resolved(folder), folder);
}

TEST_F(ResolveFolderTest, OtherRelativeFoldersLieBelowTheInstallationFolder) {
    EXPECT_EQ(Resolved("relative\\dir"), std::string(test::kInstallDir) + "relative\\dir");
    EXPECT_EQ(Resolved(""), test::kInstallDir);
}

TEST_F(ResolveFolderTest, FoldersThatDependOnTheCurrentDriveOrFolderAreSkipped) {
    char path[PATH_SIZE];
    for (const char* folder : {"\\", "\\Windows", "/Windows", "C:", "C:Windows", "d:sub\\dir"})
        EXPECT_EQ(ResolveFolder(folder, path), 0) << folder;
}

// The longest path is 259 characters as the system counts them, however many bytes each takes:
// one for an ASCII letter, three for 表 in UTF-8, two in code page 932, four for a character
// beyond the basic plane, which counts twice. A relative folder counts the installation folder.
TEST_F(ResolveFolderTest, AFolderLongerThanTheLongestPathIsRefused) {
    char path[PATH_SIZE];
    std::string rest(LONGEST_PATH - std::string(test::kInstallDir).size(), 'b');
    EXPECT_EQ(ResolveFolder((".\\" + rest).c_str(), path), 1);
    EXPECT_EQ(ResolveFolder((".\\" + rest + "b").c_str(), path), 0);
    struct Case {
        unsigned int codePage;
        std::string character;
        unsigned int fitting;
    };
    for (const Case& c : {Case{1252, "a", 256}, Case{CP_UTF8, "\xE8\xA1\xA8", 256}, Case{932, "\x95\x5C", 256},
                          Case{CP_UTF8, "\xF0\x9F\x98\x80", 128}}) {
        fake::SetCodePage(c.codePage);
        std::string folder = "C:\\";
        for (unsigned int i = 0; i < c.fitting; ++i) folder += c.character;
        EXPECT_EQ(ResolveFolder(folder.c_str(), path), 1) << c.codePage << " " << folder.size();
        EXPECT_EQ(ResolveFolder((folder + c.character).c_str(), path), 0) << c.codePage;
    }
}

}  // namespace
