// The command line: the argument text after the program's name, and the X switch.
#include <gtest/gtest.h>

#include <string>

#include "app/switches.h"
#include "base/run_context.h"

namespace {

bool Silent(const char* text) {
    ResetRunContext();
    ParseSwitches(text);
    return run.silent == 1;
}

TEST(Switches, XInEitherCaseAfterEitherSwitchCharacterIsSilent) {
    for (const char* text : {"/x", "-X", "/X", "-x", "/Xanything", "/q/x", "/q -x", "/a-x", "/a   -X", "  /x",
                             "/q\t/x", "/x name"}) {
        EXPECT_TRUE(Silent(text)) << '"' << text << '"';
    }
}

TEST(Switches, OtherCommandLinesAreNotSilent) {
    for (const char* text : {"", "   ", "x", "--x", "/qx", "/ x", "name /x", "/q \t/x", "/q", "/", "-", "/q /",
                             "\t/x"}) {
        EXPECT_FALSE(Silent(text)) << '"' << text << '"';
    }
    EXPECT_FALSE(Silent(nullptr));
}

TEST(Switches, ALoneSwitchCharacterAtTheEndStopsTheScanInsideTheText) {
    // The scan must stop at the terminator, never read past it.
    char text[] = {'/', 'q', ' ', '-', 0, '/', 'x', 0};
    EXPECT_FALSE(Silent(text));
}

TEST(ArgumentText, SkipsTheProgramNameAndWhatFollowsIt) {
    EXPECT_STREQ(SkipProgramName("Remove.exe /X"), "/X");
    EXPECT_STREQ(SkipProgramName("\"C:\\Program Files\\Pkg\\Remove.exe\" \t /X"), "/X");
    EXPECT_STREQ(SkipProgramName("\"C:\\Pkg\\Remove.exe\"/X"), "/X");
    EXPECT_STREQ(SkipProgramName("Remove.exe"), "");
    EXPECT_STREQ(SkipProgramName("\"unterminated"), "");
    EXPECT_STREQ(SkipProgramName(""), "");
    EXPECT_STREQ(SkipProgramName("Remove.exe\t\x01 -x"), "-x");
}

}  // namespace
