// Paths and texts: backslashes, bounds, and case folding of the ASCII letters only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/run_context.h"
#include "base/text.h"
#include "fake_win32.h"

namespace {

std::string Appended(const char* path) {
    char buffer[PATH_SIZE] = {};
    std::strcpy(buffer, path);
    EXPECT_EQ(AppendBackslash(buffer), 1);
    return buffer;
}

std::string Stripped(const char* path) {
    char buffer[PATH_SIZE] = {};
    std::strcpy(buffer, path);
    StripBackslash(buffer);
    return buffer;
}

TEST(Backslashes, AppendAddsOneOnlyWhereMissing) {
    EXPECT_EQ(Appended("C:\\Apps"), "C:\\Apps\\");
    EXPECT_EQ(Appended("C:\\Apps\\"), "C:\\Apps\\");
    EXPECT_EQ(Appended(""), "");
    EXPECT_EQ(Appended("C:"), "C:\\");
}

TEST(Backslashes, AppendRefusesAPathThatWouldNotFit) {
    char buffer[PATH_SIZE];
    std::memset(buffer, 'a', PATH_SIZE - 1);
    buffer[PATH_SIZE - 1] = 0;
    EXPECT_EQ(AppendBackslash(buffer), 0);
    EXPECT_EQ(std::strlen(buffer), PATH_SIZE - 1u);
    buffer[PATH_SIZE - 2] = 0;  // 258 characters: the backslash fits with the terminator
    EXPECT_EQ(AppendBackslash(buffer), 1);
    EXPECT_EQ(buffer[PATH_SIZE - 2], '\\');
}

TEST(Backslashes, StripKeepsTheBackslashOfADriveRoot) {
    EXPECT_EQ(Stripped("C:\\Apps\\"), "C:\\Apps");
    EXPECT_EQ(Stripped("C:\\Apps"), "C:\\Apps");
    EXPECT_EQ(Stripped("C:\\"), "C:\\");
    EXPECT_EQ(Stripped("C:\\a\\"), "C:\\a");
    EXPECT_EQ(Stripped("C:\\Apps\\\\"), "C:\\Apps\\");  // one backslash only
    EXPECT_EQ(Stripped(""), "");
}

TEST(Comparison, FoldsOnlyTheAsciiLetters) {
    EXPECT_TRUE(EqualsIgnoreCase("C:\\Program Files", "c:\\PROGRAM FILES"));
    EXPECT_FALSE(EqualsIgnoreCase("C:\\Prog", "C:\\Program"));
    EXPECT_FALSE(EqualsIgnoreCase("\xC9t\xE9", "\xE9T\xC9"));  // accented letters are bytes
    EXPECT_FALSE(EqualsIgnoreCase("[", "{"));                   // 0x5B and 0x7B are not letters
    EXPECT_TRUE(EqualsIgnoreCase("", ""));
}

TEST(Texts, CopyAndAppendCutAtTheBufferAndSaySo) {
    char buffer[8];
    EXPECT_EQ(CopyText(buffer, sizeof buffer, "1234567"), 1);
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_EQ(CopyText(buffer, sizeof buffer, "12345678"), 0);
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_EQ(CopyText(buffer, sizeof buffer, "abc"), 1);
    EXPECT_EQ(AppendText(buffer, sizeof buffer, "defg"), 1);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(AppendText(buffer, sizeof buffer, "h"), 0);
    EXPECT_STREQ(buffer, "abcdefg");
}

TEST(Texts, FindLastFindsTheLastOccurrence) {
    char path[] = "C:\\a\\b";
    EXPECT_EQ(FindLast(path, '\\'), path + 4);
    EXPECT_EQ(FindLast(path, '/'), nullptr);
}

// In a double-byte code page the second byte of a character may be a backslash or an ASCII
// letter: 表 is 0x95 0x5C in code page 932, ソ 0x83 0x5C, and 0x83 0x61 (ヂ) ends in an 'a'.
class DoubleByteText : public ::testing::Test {
protected:
    void SetUp() override { fake::SetCodePage(932); }
    void TearDown() override { fake::Reset(); }
};

TEST_F(DoubleByteText, ATrailByteIsNeverABackslash) {
    const char table[] = "C:\\Apps\\\x95\x5c";  // C:\Apps\表
    EXPECT_EQ(Appended(table), std::string(table) + "\\");
    EXPECT_EQ(Appended("C:\\Apps\\\x95\x5c\\"), std::string(table) + "\\");
    EXPECT_EQ(Stripped(table), table);
    EXPECT_EQ(Stripped("C:\\Apps\\\x95\x5c\\"), table);
    // The walk up to the parent folder cuts at the last real backslash.
    char path[PATH_SIZE];
    std::strcpy(path, "C:\\\x83\x5c\\\x95\x5c");  // C:\ソ\表
    EXPECT_EQ(FindLast(path, '\\'), path + 5);
    std::strcpy(path, "C:\\\x95\x5c");
    EXPECT_EQ(FindLast(path, '\\'), path + 2);
    // A lead byte at the very end stands alone.
    EXPECT_EQ(Appended("C:\\x\x95"), "C:\\x\x95\\");
}

TEST_F(DoubleByteText, CaseFoldingLeavesTrailBytesAlone) {
    // Folded byte by byte, 0x83 0x61 and 0x83 0x41 (ヂ and ア) would be one name.
    EXPECT_EQ(EqualsIgnoreCase("C:\\\x83\x61", "C:\\\x83\x41"), 0);
    EXPECT_EQ(EqualsIgnoreCase("c:\\\x83\x61\\NAME", "C:\\\x83\x61\\name"), 1);
    EXPECT_EQ(EqualsIgnoreCase("\x83\x61", "\x83"), 0);
    // A folder is the start of a path only up to a whole character.
    EXPECT_EQ(SameStart("C:\\\x95\x5c\\a.txt", "c:\\\x95\x5c\\", 6), 6u);
    EXPECT_EQ(SameStart("C:\\\x95\x5c\\a.txt", "C:\\\x95\x7c\\", 6), 3u);
    EXPECT_EQ(SameStart("C:\\\x95\x5c", "C:\\\x95\x5c", 4), 3u);
    // In code page 1252 the same bytes are two characters each, folded as ever.
    fake::SetCodePage(1252);
    EXPECT_EQ(EqualsIgnoreCase("C:\\\x83\x61", "C:\\\x83\x41"), 1);
    EXPECT_EQ(Stripped("C:\\Apps\\\x95\x5c"), "C:\\Apps\\\x95");
}

}  // namespace
