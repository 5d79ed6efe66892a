// The guard that keeps the removal away from the system's own folders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "folder_world.h"
#include "removal/protected_folders.h"
#include "test_support.h"

namespace {

class ProtectedFolders : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        test::AddSystemFolders();
        run.isNT = 1;
    }
    // The guard's answer for the path, which must come back exactly as it went in, with every
    // identifier list the shell handed out released again.
    int Protected(const std::string& path) {
        char buffer[PATH_SIZE];
        std::memset(buffer, 'Z', sizeof buffer);
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        int result = IsProtectedFolder(buffer);
        EXPECT_EQ(std::string(buffer), path) << "the caller's path was not restored";
        EXPECT_EQ(fake::OutstandingIdLists(), 0u) << path;
        return result;
    }
};

TEST_F(ProtectedFolders, EveryFolderOfTheGuardIsProtected) {
    for (const char* folder : {"C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM32", test::kDesktop, test::kFonts, test::kPrograms,
                               test::kStartMenu, test::kStartup, test::kProgramFiles, test::kCommonFiles,
                               test::kCommonDesktop, test::kCommonStartMenu, test::kCommonPrograms, test::kCommonStartup,
                               test::kProfiles})
        EXPECT_EQ(Protected(folder), 1) << folder;
}

TEST_F(ProtectedFolders, TheFoldersAreComparedInTheirOrderUntilOneMatches) {
    EXPECT_EQ(Protected("C:\\Games"), 0);
    EXPECT_EQ(fake::Calls({"GetWindowsDirectoryA", "GetSystemDirectoryA", "SHGetSpecialFolderLocation", "RegOpenKeyExA",
                           "RegQueryValueExA", "RegCloseKey"}),
              (std::vector<std::string>{
                  // The shell's keys are not there to be watched: nothing is kept between calls.
                  "RegOpenKeyExA HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders -> error 2",
                  "GetWindowsDirectoryA C:\\WINDOWS -> ok", "GetSystemDirectoryA C:\\WINDOWS\\SYSTEM32 -> ok",
                  "SHGetSpecialFolderLocation 0 -> ok", "SHGetSpecialFolderLocation 20 -> ok",
                  "SHGetSpecialFolderLocation 2 -> ok", "SHGetSpecialFolderLocation 11 -> ok",
                  "SHGetSpecialFolderLocation 7 -> ok", "SHGetSpecialFolderLocation 25 -> ok",
                  "SHGetSpecialFolderLocation 22 -> ok", "SHGetSpecialFolderLocation 23 -> ok",
                  "SHGetSpecialFolderLocation 24 -> ok",
                  "RegOpenKeyExA HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList -> ok",
                  "RegQueryValueExA HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList : ProfilesDirectory -> ok",
                  "RegCloseKey HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList -> ok",
                  "RegOpenKeyExA HKLM\\Software\\Microsoft\\Windows\\CurrentVersion -> ok",
                  "RegQueryValueExA HKLM\\Software\\Microsoft\\Windows\\CurrentVersion : ProgramFilesDir -> ok",
                  "RegQueryValueExA HKLM\\Software\\Microsoft\\Windows\\CurrentVersion : CommonFilesDir -> ok",
                  "RegCloseKey HKLM\\Software\\Microsoft\\Windows\\CurrentVersion -> ok",
                  // Not there: 32-bit Windows has no native Program Files folders of another kind.
                  "RegOpenKeyExA HKLM\\Software\\Microsoft\\Windows\\CurrentVersion -> ok",
                  "RegQueryValueExA HKLM\\Software\\Microsoft\\Windows\\CurrentVersion : ProgramW6432Dir -> error 2",
                  "RegQueryValueExA HKLM\\Software\\Microsoft\\Windows\\CurrentVersion : CommonW6432Dir -> error 2",
                  "RegCloseKey HKLM\\Software\\Microsoft\\Windows\\CurrentVersion -> ok"}));
    EXPECT_EQ(fake::CallCount("CoTaskMemFree"), 9);

    fake::ClearJournal();
    EXPECT_EQ(Protected(test::kPrograms), 1);
    EXPECT_EQ(fake::Calls({"SHGetSpecialFolderLocation", "RegOpenKeyExA"}),
              (std::vector<std::string>{"SHGetSpecialFolderLocation 0 -> ok", "SHGetSpecialFolderLocation 20 -> ok",
                                        "SHGetSpecialFolderLocation 2 -> ok"}));
}

TEST_F(ProtectedFolders, EveryPathUnderFourCharactersIsProtectedWithoutAsking) {
    for (const char* path : {"", "C", "C:", "C:\\", "\\\\a", "abc"}) {
        fake::ClearJournal();
        EXPECT_EQ(Protected(path), 1) << path;
        EXPECT_TRUE(fake::Journal().empty()) << path;
    }
    EXPECT_EQ(Protected("C:\\a"), 0);
}

TEST_F(ProtectedFolders, OneTrailingBackslashIsIgnoredAndPutBack) {
    EXPECT_EQ(Protected("C:\\WINDOWS\\"), 1);
    EXPECT_EQ(Protected("C:\\Program Files\\"), 1);
    EXPECT_EQ(Protected("C:\\Users\\Ann\\Desktop\\"), 1);
    // A second one still names the same folder, whose short form the platform gives with one.
    EXPECT_EQ(Protected("C:\\WINDOWS\\\\"), 1);
    EXPECT_EQ(Protected("C:\\Games\\"), 0);
}

TEST_F(ProtectedFolders, AFetchedFolderLosesItsTrailingBackslash) {
    fake::SetWindowsDirectory("C:\\Win\\");
    fake::SetSpecialFolder(CSIDL_FONTS, "C:\\Win\\Fonts\\");
    EXPECT_EQ(Protected("C:\\Win"), 1);
    EXPECT_EQ(Protected("C:\\Win\\Fonts\\"), 1);
}

TEST_F(ProtectedFolders, OnlyTheAsciiLettersIgnoreCase) {
    EXPECT_EQ(Protected("c:\\windows\\system32"), 1);
    EXPECT_EQ(Protected("C:\\PROGRAM FILES\\COMMON FILES"), 1);
    EXPECT_EQ(Protected("c:\\users\\ann\\start menu"), 1);
    fake::SetSpecialFolder(CSIDL_DESKTOP, "C:\\Users\\\xC4nn\\Desktop");
    EXPECT_EQ(Protected("C:\\USERS\\\xC4NN\\DESKTOP"), 1);
    EXPECT_EQ(Protected("C:\\Users\\\xE4nn\\Desktop"), 0);
}

// The file system takes Cyrillic or Greek letters of either case for the same name, where the
// comparisons fold only ASCII: on NT the folder is then known by its identity, in any spelling.
TEST_F(ProtectedFolders, AFolderNamedBeyondAsciiIsKnownInEitherCaseOnNt) {
    fake::SetCodePage(CP_UTF8);
    const std::string desktop = "C:\\Users\\\xD0\xB8\xD0\xB2\xD0\xB0\xD0\xBD\\Desktop";  // иван
    const std::string spelt = "C:\\USERS\\\xD0\x98\xD0\x92\xD0\x90\xD0\x9D\\DESKTOP";   // ИВАН
    fake::AddFolder(desktop);
    fake::AddFolder(desktop + "\\Sub");
    fake::SetSpecialFolder(CSIDL_DESKTOP, desktop);
    EXPECT_EQ(Protected(spelt), 1);
    EXPECT_EQ(Protected(spelt + "\\SUB"), 0);
    EXPECT_EQ(Protected(spelt + "\\Gone"), 0);
    // A folder that is there but cannot be opened to tell is taken for the protected one.
    fake::FailCall("CreateFileA");
    EXPECT_EQ(Protected(spelt + "\\SUB"), 1);
    // The 95 family's folders have no identity to ask for.
    run.isNT = 0;
    EXPECT_EQ(Protected(spelt), 0);
}

TEST_F(ProtectedFolders, FoldersBelowOrAboveAProtectedFolderAreNot) {
    for (const char* path : {"C:\\WINDOWS\\Temp", "C:\\WINDOWS\\SYSTEM32\\drivers", "C:\\Program Files\\Pkg",
                             "C:\\Users\\Ann\\Desktop\\Games", "C:\\Users\\Ann", "C:\\Users\\Public", "C:\\ProgramData", "C:\\WINDOWSX",
                             "C:\\Program File"})
        EXPECT_EQ(Protected(path), 0) << path;
}

TEST_F(ProtectedFolders, ARegistryValueIsComparedExactlyAsStored) {
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", "D:\\Apps\\");
    EXPECT_EQ(Protected("D:\\Apps"), 0);
    EXPECT_EQ(Protected("D:\\Apps\\"), 0);
    // Extra backslashes of the path's own fold away as the system resolves it.
    EXPECT_EQ(Protected("D:\\Apps\\\\"), 0);
    // Whatever the value's type, its data are read as text.
    fake::RegSetValue(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", REG_EXPAND_SZ, std::string("D:\\Apps", 8));
    EXPECT_EQ(Protected("D:\\Apps"), 1);
}

TEST_F(ProtectedFolders, AFolderIsKnownByEverySpellingTheSystemResolves) {
    const std::string desktop = test::kDesktop;
    for (const std::string& spelling :
         {std::string("C:/Users/Ann/Desktop"), std::string("c:/users\\ann/DESKTOP/"), desktop + "\\.", desktop + "\\Pkg\\..",
          std::string("C:\\Users\\\\Ann\\\\\\Desktop"), desktop + ".", desktop + " . ", std::string("\\\\?\\") + desktop,
          std::string("\\\\.\\") + desktop, std::string("C:\\WINDOWS\\SYSTEM32\\.."), std::string("C:\\WINDOWS\\.."),
          std::string("C:/"), std::string("C:\\Program Files\\Pkg\\..\\..\\")})
        EXPECT_EQ(Protected(spelling), 1) << spelling;
    // The device forms of a network share are brought back to theirs.
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "CommonFilesDir", "\\\\server\\common");
    EXPECT_EQ(Protected("\\\\?\\UNC\\server\\common"), 1);
    EXPECT_EQ(Protected("\\\\?\\UNC\\server\\other"), 0);
    // Paths into no folder of the usual forms, and paths the system cannot resolve, are protected.
    EXPECT_EQ(Protected("\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\Users"), 1);
    EXPECT_EQ(Protected("\\\\?\\Volume{0}\\Games"), 1);
    fake::FailCall("GetFullPathNameA", 1, 1, ERROR_INVALID_NAME);
    EXPECT_EQ(Protected("C:\\Games"), 1);
    EXPECT_EQ(Protected("C:\\Games"), 0);
}

TEST_F(ProtectedFolders, AFolderIsProtectedUnderItsShortNameToo) {
    // A path may come in the short form, level by level, as a program started by its short
    // name sees its own folder.
    fake::SetShortName(test::kProgramFiles, "C:\\PROGRA~1");
    fake::SetShortName(test::kCommonFiles, "C:\\PROGRA~1\\COMMON~1");
    fake::SetShortName("C:\\Users\\Ann\\Start Menu", "C:\\Users\\Ann\\STARTM~1");
    fake::AddFolder("C:\\Program Files\\Pkg");
    EXPECT_EQ(Protected("C:\\PROGRA~1"), 1);
    EXPECT_EQ(Protected("c:\\progra~1\\"), 1);
    EXPECT_EQ(Protected("C:\\PROGRA~1\\Common Files"), 1);
    EXPECT_EQ(Protected("C:\\Program Files\\COMMON~1"), 1);
    EXPECT_EQ(Protected("C:\\Users\\Ann\\STARTM~1\\Programs"), 1);
    EXPECT_EQ(Protected("C:\\PROGRA~1\\Pkg"), 0);
    EXPECT_EQ(Protected("C:\\PROGRA~2"), 0);  // no such folder: no short form to compare
}

TEST_F(ProtectedFolders, ShortFormsAreAskedForOnlyWhenAnEntryIsAsDeepAsThePath) {
    // Each short form costs the file system a lookup per level, and the sweep asks the guard
    // for every folder: a path deeper than every entry needs none.
    fake::SetShortName(test::kProgramFiles, "C:\\PROGRA~1");
    fake::AddFolder("C:\\Program Files\\Pkg\\a\\b\\c\\d\\e\\f");
    EXPECT_EQ(Protected("C:\\PROGRA~1\\Pkg\\a\\b\\c\\d\\e\\f"), 0);
    EXPECT_EQ(fake::CallCount("GetShortPathNameA"), 0);
    // Dot levels are folded before the levels are counted.
    EXPECT_EQ(Protected("C:\\PROGRA~1\\.\\Pkg\\a\\b\\c\\d\\e\\f"), 0);
    EXPECT_EQ(fake::CallCount("GetShortPathNameA"), 0);
    EXPECT_EQ(Protected("C:\\PROGRA~1\\Pkg\\..\\."), 1);
    EXPECT_GT(fake::CallCount("GetShortPathNameA"), 0);
    // As deep as an entry (the user's Programs folder), a path is told apart where a level
    // differs and neither name has a '~', which every short name but a long name's own has.
    fake::AddFolder("C:\\Program Files\\Pkg\\a\\b");
    const size_t asked = fake::CallCount("GetShortPathNameA");
    EXPECT_EQ(Protected("C:\\Program Files\\Pkg\\a\\b"), 0);
    EXPECT_EQ(fake::CallCount("GetShortPathNameA"), asked);
    EXPECT_EQ(Protected("C:\\PROGRA~1\\Pkg\\a\\b"), 0);
    EXPECT_EQ(fake::CallCount("GetShortPathNameA"), asked);
    EXPECT_EQ(Protected("C:\\Users\\Ann\\STARTM~1\\Programs"), 0);
    EXPECT_GT(fake::CallCount("GetShortPathNameA"), asked);
}

TEST_F(ProtectedFolders, ARegistryValueWithItsOwnBackslashStillProtectsItsFolder) {
    // Compared as text alone, "D:\Apps\" names no folder the caller could pass; the folder it
    // stands for is protected all the same once it exists.
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", "D:\\Apps\\");
    fake::AddFolder("D:\\Apps\\Pkg");
    EXPECT_EQ(Protected("D:\\Apps"), 1);
    EXPECT_EQ(Protected("D:\\Apps\\"), 1);
    EXPECT_EQ(Protected("D:\\Apps\\Pkg"), 0);
}

TEST_F(ProtectedFolders, ARegistryValueWithoutTerminatorEndsWithItsData) {
    fake::RegSetValue(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", REG_SZ, "D:\\Apps");
    EXPECT_EQ(Protected("D:\\Apps"), 1);
    EXPECT_EQ(Protected("D:\\Apps\\Pkg"), 0);
    fake::RegSetValue(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", REG_SZ, "");
    EXPECT_EQ(Protected("D:\\Apps"), 0);
}

TEST_F(ProtectedFolders, AValueThatFillsTheBufferIsNeverReadPastIt) {
    std::string longest = "D:\\" + std::string(PATH_SIZE - 4, 'a');  // 259 characters
    // 259 characters and the terminator: exactly the buffer.
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", longest);
    EXPECT_EQ(Protected(longest), 1);
    EXPECT_EQ(Protected("C:\\Games"), 0);
    // 260 characters and no terminator, or too long for the buffer: the guard cannot tell which
    // folder the value names, and protects every path.
    fake::RegSetValue(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", REG_SZ, longest + "a");
    EXPECT_EQ(Protected("C:\\Games"), 1);
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", longest + "a");
    EXPECT_EQ(Protected("C:\\Games"), 1);
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", test::kProgramFiles);
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "CommonW6432Dir", longest + "a");
    EXPECT_EQ(Protected("C:\\Games"), 1);
}

TEST_F(ProtectedFolders, AMissingValueDoesNotKeepTheOtherFromBeingRead) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, test::kVersionKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "ProgramFilesDir");
    RegCloseKey(key);
    EXPECT_EQ(Protected(test::kCommonFiles), 1);
    EXPECT_EQ(Protected(test::kProgramFiles), 0);
}

TEST_F(ProtectedFolders, ALookupThatFailsForAFolderTheSystemHasProtectsEveryPath) {
    EXPECT_EQ(Protected("C:\\Games"), 0);
    // The registry key, in either view: opened each time, and closed whenever it was opened.
    fake::RegFail(HKEY_LOCAL_MACHINE, test::kVersionKey, "open", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Protected("C:\\Games"), 1);
    fake::RegFail(HKEY_LOCAL_MACHINE, test::kVersionKey, "open", 0);
    fake::FailCall("RegOpenKeyExA", 2);
    EXPECT_EQ(Protected("C:\\Games"), 1);
    // A value that is there but may not be read.
    fake::FailCall("RegQueryValueExA", 2, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Protected("C:\\Games"), 1);
    // The Windows and system folders, a shell folder without a location or without a path: each
    // one the 95 family has too.
    // (A shell folder without a location is asked for by its path: that fails too here.)
    fake::FailCall("SHGetFolderPathA", 1, 4, ERROR_FILE_NOT_FOUND);
    for (const char* api : {"GetWindowsDirectoryA", "GetSystemDirectoryA", "SHGetSpecialFolderLocation", "SHGetPathFromIDListA"}) {
        fake::FailCall(api, 1, 1, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(Protected("C:\\Games"), 1) << api;
        run.isNT = 0;
        fake::FailCall(api, api[0] == 'S' ? 5 : 1, 1, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(Protected("C:\\Games"), 1) << api;
        run.isNT = 1;
    }
    fake::SetSpecialFolder(CSIDL_COMMON_STARTUP, "");
    EXPECT_EQ(Protected("C:\\Games"), 1);
    fake::SetSpecialFolder(CSIDL_COMMON_STARTUP, test::kCommonStartup);
    EXPECT_EQ(Protected("C:\\Games"), 0);
    // A folder the system has named but that does not exist now, such as a deleted Startup
    // folder, is still known by its path: it protects its own path only.
    fake::SetSpecialFolder(CSIDL_STARTUP, "C:\\Users\\Ann\\Gone");
    EXPECT_EQ(Protected("C:\\Games"), 0);
    EXPECT_EQ(Protected("C:\\Users\\Ann\\Gone"), 1);
    EXPECT_EQ(fake::Calls({"SHGetFolderPathA"}).back(), "SHGetFolderPathA 16391 -> ok");
    // The profiles folder, which every NT system records: its key, its value, its expansion.
    fake::RegFail(HKEY_LOCAL_MACHINE, test::kProfileListKey, "open", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Protected("C:\\Games"), 1);
    fake::RegFail(HKEY_LOCAL_MACHINE, test::kProfileListKey, "open", 0);
    fake::FailCall("ExpandEnvironmentStringsA");
    EXPECT_EQ(Protected("C:\\Games"), 1);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, test::kProfileListKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "ProfilesDirectory");
    RegCloseKey(key);
    EXPECT_EQ(Protected("C:\\Games"), 1);
}

TEST_F(ProtectedFolders, The95FamilyHasNoAllUsersFoldersAndIsNotAskedForThem) {
    fake::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    run.isNT = 0;
    for (int csidl : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_STARTUP})
        fake::SetSpecialFolder(csidl, "");
    fake::RegFail(HKEY_LOCAL_MACHINE, test::kProfileListKey, "open", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Protected("C:\\Games"), 0);
    EXPECT_EQ(Protected(test::kStartup), 1);
    EXPECT_EQ(Protected(test::kProgramFiles), 1);
    EXPECT_EQ(fake::Calls({"SHGetSpecialFolderLocation"}).size(), 5u + 5u + 5u);
}

TEST_F(ProtectedFolders, TheMachinesFoldersAreKnownByTheirShortNamesToo) {
    fake::SetShortName("C:\\ProgramData", "C:\\PROGRA~3");
    fake::SetShortName(test::kCommonStartMenu, "C:\\PROGRA~3\\STARTM~1");
    fake::SetShortName("C:\\Users\\Public", "C:\\Users\\PUBLIC~1");
    for (const char* spelling : {"C:\\PROGRA~3\\STARTM~1", "c:\\progra~3\\startm~1\\programs\\",
                                 "C:\\ProgramData\\STARTM~1\\Programs\\Startup", "C:\\Users\\PUBLIC~1\\Desktop",
                                 "C:\\USERS\\"})
        EXPECT_EQ(Protected(spelling), 1) << spelling;
    EXPECT_EQ(Protected("C:\\PROGRA~3"), 0);
    EXPECT_EQ(Protected("C:\\Users\\PUBLIC~1"), 0);
}

TEST_F(ProtectedFolders, A32BitRunOn64BitWindowsProtectsTheNativeProgramFilesFoldersToo) {
    // Its own view of the machine's software key is the 32-bit one.
    const std::string own = "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion";
    fake::SetWow64(true);
    fake::RegSetString(HKEY_LOCAL_MACHINE, own, "ProgramFilesDir", "C:\\Program Files (x86)");
    fake::RegSetString(HKEY_LOCAL_MACHINE, own, "CommonFilesDir", "C:\\Program Files (x86)\\Common Files");
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramW6432Dir", test::kProgramFiles);
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "CommonW6432Dir", test::kCommonFiles);
    fake::AddFolder("C:\\Program Files (x86)\\Common Files");
    for (const char* folder : {"C:\\Program Files (x86)", "C:\\Program Files (x86)\\Common Files", test::kProgramFiles,
                               test::kCommonFiles})
        EXPECT_EQ(Protected(folder), 1) << folder;
    EXPECT_EQ(Protected("C:\\Program Files\\Pkg"), 0);
    EXPECT_EQ(fake::Calls({"RegOpenKeyExA"}).back(),
              "RegOpenKeyExA HKLM\\Software\\Microsoft\\Windows\\CurrentVersion (native view) -> ok");
    // A 64-bit or a 32-bit Windows' own program asks for no other view.
    fake::SetWow64(false);
    fake::ClearJournal();
    EXPECT_EQ(Protected(test::kCommonFiles), 1);
    EXPECT_EQ(Protected("C:\\Program Files (x86)"), 0);
    EXPECT_EQ(fake::Calls({"RegOpenKeyExA"}).back(), "RegOpenKeyExA HKLM\\Software\\Microsoft\\Windows\\CurrentVersion -> ok");
}

TEST_F(ProtectedFolders, NothingIsKeptFromOneCallToTheNext) {
    EXPECT_EQ(Protected("D:\\Desk"), 0);
    fake::SetSpecialFolder(CSIDL_DESKTOP, "D:\\Desk");
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", "D:\\Apps");
    EXPECT_EQ(Protected("D:\\Desk"), 1);
    EXPECT_EQ(Protected("D:\\Apps"), 1);
    EXPECT_EQ(Protected(test::kProgramFiles), 0);
    EXPECT_EQ(fake::CallCount("GetWindowsDirectoryA"), 4);
}

}  // namespace
