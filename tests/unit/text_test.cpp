// Paths and texts: backslashes, bounds, and case folding of the ASCII letters only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/run_context.h"
#include "base/text.h"

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

}  // namespace
