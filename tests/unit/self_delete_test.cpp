// The batch job that removes the program file and its folder after a confirmed run: the file's
// exact bytes, where it is made, how the job is started, and what is left when something fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/self_delete.h"
#include "folder_world.h"
#include "log/log_format.h"
#include "test_support.h"

namespace {

constexpr DWORD kHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::string BatchText(const std::string& program, const std::string& folder, const std::string& batch) {
    return "@echo off\r\n:Repeat\r\ndel " + program + "\r\nif exist " + program + " goto Repeat\r\nrmdir " + folder +
           "\r\ndel " + batch + "\r\n";
}

bool EndsWithBatchName(const std::string& path) {
    const std::string name = "\\DELME.BAT";
    std::string upper;
    for (char c : path) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return upper.size() >= name.size() && upper.compare(upper.size() - name.size(), name.size(), name) == 0;
}

class SelfDelete : public test::ProgramTest {
protected:
    void TearDown() override {
        if (run.installDir) ReleaseRunContext();
        ProgramTest::TearDown();
    }
    // The program file at the path, and a run context started for it.
    void Install(const std::string& program, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
        fake::AddFile(program, "MZ", attributes);
        fake::SetModulePath(program);
        ASSERT_EQ(InitRunContext(nullptr), 1);
        run.isNT = 1;
        fake::ClearJournal();
    }
    // Every batch file anywhere on the two drives.
    std::vector<std::string> Batches() {
        std::vector<std::string> found;
        for (const char* drive : {"C:\\", "D:\\"})
            if (fake::Exists(drive))
                for (const std::string& path : fake::Tree(drive))
                    if (EndsWithBatchName(path)) found.push_back(path);
        return found;
    }
    void ExpectNothingScheduled() {
        EXPECT_TRUE(fake::StartedProcesses().empty());
        EXPECT_EQ(Batches(), std::vector<std::string>{});
    }
    // The only started job, which must have been started hidden, the same way each time.
    const fake::StartedProcess& Job() {
        static const fake::StartedProcess none{};
        EXPECT_EQ(fake::StartedProcesses().size(), 1u);
        if (fake::StartedProcesses().empty()) return none;
        const fake::StartedProcess& job = fake::StartedProcesses()[0];
        EXPECT_EQ(job.application, "");
        EXPECT_FALSE(job.inheritHandles);
        EXPECT_EQ(job.creationFlags, 0u);
        EXPECT_FALSE(job.hasEnvironment);
        EXPECT_EQ(job.currentDirectory, "");
        EXPECT_EQ(job.workingDirectoryAtStart, "C:\\WINDOWS");
        const STARTUPINFOA& startup = job.startup;
        EXPECT_EQ(startup.cb, sizeof(STARTUPINFOA));
        EXPECT_EQ(startup.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
        EXPECT_EQ(startup.wShowWindow, SW_HIDE);
        EXPECT_EQ(startup.lpReserved, nullptr);
        EXPECT_EQ(startup.lpDesktop, nullptr);
        EXPECT_EQ(startup.lpTitle, nullptr);
        EXPECT_EQ(startup.dwX | startup.dwY | startup.dwXSize | startup.dwYSize | startup.dwXCountChars |
                      startup.dwYCountChars | startup.dwFillAttribute | startup.cbReserved2,
                  0u);
        EXPECT_EQ(startup.lpReserved2, nullptr);
        EXPECT_EQ(startup.hStdInput, nullptr);
        EXPECT_EQ(startup.hStdOutput, nullptr);
        EXPECT_EQ(startup.hStdError, nullptr);
        return job;
    }
};

// ---- The batch and the job -----------------------------------------------------------------

TEST_F(SelfDelete, AFolderOnDriveDGetsTheSixLinesInItsRootAndAHiddenJob) {
    fake::SetShortName("D:\\Long Apps\\Package\\", "D:\\LONGAP~1\\PACKAGE\\");
    fake::SetShortName("D:\\Long Apps\\Package\\Remove.exe", "D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE");
    Install("D:\\Long Apps\\Package\\Remove.exe");
    ScheduleSelfDelete();

    EXPECT_EQ(fake::Content("D:\\Delme.bat"),
              "@echo off\r\n:Repeat\r\ndel D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE\r\n"
              "if exist D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE goto Repeat\r\nrmdir D:\\LONGAP~1\\PACKAGE\r\n"
              "del D:\\Delme.bat\r\n");
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C D:\\Delme.bat");
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\WINDOWS");
    EXPECT_STREQ(run.installDir, "D:\\LONGAP~1\\PACKAGE");
    EXPECT_STREQ(run.pathBuf, "D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE");
    // The file, the process and the thread handle are all closed (checked on tear-down); the
    // program file itself is left to the job.
    EXPECT_TRUE(fake::Exists("D:\\Long Apps\\Package\\Remove.exe"));
    // First the program file is opened for deletion, to know that the job could delete it.
    EXPECT_EQ(fake::Calls({"CreateFileA"}), (std::vector<std::string>{"CreateFileA D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE -> ok",
                                                                       "CreateFileA D:\\Delme.bat -> ok"}));
}

TEST_F(SelfDelete, AFileOfTheBatchsNameIsNeverReplaced) {
    // A file of the user's, or the batch of another uninstaller confirmed at the same time.
    fake::AddFile("D:\\Delme.bat", std::string(2000, 'x'));
    fake::AddFile("D:\\Delme1.bat", "y");
    Install("D:\\PKG\\REMOVE.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("D:\\Delme.bat"), std::string(2000, 'x'));
    EXPECT_EQ(fake::Content("D:\\Delme1.bat"), "y");
    EXPECT_EQ(fake::Content("D:\\Delme2.bat"), BatchText("D:\\PKG\\REMOVE.EXE", "D:\\PKG", "D:\\Delme2.bat"));
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C D:\\Delme2.bat");
}

TEST_F(SelfDelete, WhenEveryBatchNameIsTakenTheTemporaryFolderHasOne) {
    fake::AddFile("D:\\Delme.bat", "user's");
    for (int number = 1; number <= 99; ++number) fake::AddFile("D:\\Delme" + std::to_string(number) + ".bat", "user's");
    fake::AddFolder("C:\\TEMP");
    Install("D:\\PKG\\REMOVE.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C C:\\TEMP\\Delme.bat");
    EXPECT_EQ(fake::Content("D:\\Delme99.bat"), "user's");
}

TEST_F(SelfDelete, AnInstallationFolderTheGuardProtectsIsNeverRemoved) {
    // An uninstaller placed on the Desktop, or in a drive's root folder: the batch deletes the
    // program and itself, and has no line that removes a folder.
    test::AddSystemFolders();
    fake::SetShortName(test::kDesktop, "C:\\Users\\Ann\\DESKTO~1");
    Install(std::string(test::kDesktop) + "\\Remove.exe");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("C:\\Delme.bat"), "@echo off\r\n:Repeat\r\ndel C:\\Users\\Ann\\DESKTO~1\\Remove.exe\r\n"
                                                "if exist C:\\Users\\Ann\\DESKTO~1\\Remove.exe goto Repeat\r\n"
                                                "del C:\\Delme.bat\r\n");
    Job();
}

TEST_F(SelfDelete, AProgramInADriveRootFolderRemovesNoFolder) {
    Install("C:\\REMOVE.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("C:\\Delme.bat"),
              "@echo off\r\n:Repeat\r\ndel C:\\REMOVE.EXE\r\nif exist C:\\REMOVE.EXE goto Repeat\r\ndel C:\\Delme.bat\r\n");
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C C:\\Delme.bat");
}

// ---- No job that could never end -----------------------------------------------------------

TEST_F(SelfDelete, AProgramFileThatCouldNeverBeDeletedGetsNoBatchAndNoJob) {
    // Held by another program that does not share deletion, or without the right to delete it
    // (an unelevated run in a folder it cannot write): the job would repeat for ever.
    for (int held = 0; held <= 1; ++held) {
        SCOPED_TRACE(held ? "held open" : "no right to delete");
        fake::Reset();
        ResetRunContext();
        Install("D:\\PKG\\REMOVE.EXE");
        if (held)
            fake::HoldOpen("D:\\PKG\\REMOVE.EXE");
        else
            fake::FailDeletion("D:\\PKG\\REMOVE.EXE", ERROR_ACCESS_DENIED);
        ScheduleSelfDelete();
        ExpectNothingScheduled();
        EXPECT_TRUE(fake::DestructiveCalls().empty());
        EXPECT_EQ(fake::Calls({"CreateFileA"}), std::vector<std::string>{"CreateFileA D:\\PKG\\REMOVE.EXE -> error " +
                                                                          std::to_string(held ? ERROR_SHARING_VIOLATION
                                                                                              : ERROR_ACCESS_DENIED)});
        ReleaseRunContext();
    }
}

TEST_F(SelfDelete, OnThe95FamilyTheProgramFileIsNotOpenedForDeletion) {
    Install("D:\\PKG\\REMOVE.EXE");
    run.isNT = 0;
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Calls({"CreateFileA"}), std::vector<std::string>{"CreateFileA D:\\Delme.bat -> ok"});
    Job();
}

TEST_F(SelfDelete, AFolderWithoutADriveLetterGetsTheBatchInTheWindowsFolder) {
    Install("\\\\SERVER\\APPS\\PKG\\REMOVE.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("C:\\WINDOWS\\Delme.bat"),
              BatchText("\\\\SERVER\\APPS\\PKG\\REMOVE.EXE", "\\\\SERVER\\APPS\\PKG", "Delme.bat"));
    EXPECT_EQ(fake::Calls({"CreateFileA"}), (std::vector<std::string>{"CreateFileA \\\\SERVER\\APPS\\PKG\\REMOVE.EXE -> ok",
                                                                       "CreateFileA Delme.bat -> ok"}));
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C Delme.bat");
}

TEST_F(SelfDelete, WithoutShortFormsTheLongPathsAreUsed) {
    fake::FailCall("GetShortPathNameA", 1, fake::kFailForever, ERROR_FILE_NOT_FOUND);
    Install("D:\\Apps\\Package\\Remove.exe");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("D:\\Delme.bat"), BatchText("D:\\Apps\\Package\\Remove.exe", "D:\\Apps\\Package", "D:\\Delme.bat"));
    Job();
}

// ---- Nothing left behind -------------------------------------------------------------------

TEST_F(SelfDelete, WhenNoBatchFileCanBeMadeNoJobStarts) {
    Install("D:\\PKG\\REMOVE.EXE", FILE_ATTRIBUTE_READONLY);
    fake::FailCall("CreateFileA", 2, fake::kFailForever);
    ScheduleSelfDelete();
    ExpectNothingScheduled();
    EXPECT_EQ(fake::Calls({"CreateFileA"}), (std::vector<std::string>{"CreateFileA D:\\PKG\\REMOVE.EXE -> ok",
                                                                       "CreateFileA D:\\Delme.bat -> error 5",
                                                                       "CreateFileA C:\\TEMP\\Delme.bat -> error 5"}));
    EXPECT_EQ(fake::Attributes("D:\\PKG\\REMOVE.EXE"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\WINDOWS");
}

TEST_F(SelfDelete, WhenNoInterpreterStartsTheBatchFileIsDeletedAndTheFileKeepsItsAttributes) {
    fake::SetProcessStarter([](const std::string&) { return false; });
    Install("D:\\PKG\\REMOVE.EXE", kHidden | FILE_ATTRIBUTE_ARCHIVE);
    ScheduleSelfDelete();
    ExpectNothingScheduled();
    EXPECT_EQ(fake::Calls({"CreateProcessA"}),
              (std::vector<std::string>{"CreateProcessA \"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C D:\\Delme.bat -> error 2"}));
    EXPECT_EQ(fake::Attributes("D:\\PKG\\REMOVE.EXE"), kHidden | FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(SelfDelete, AFailedWriteLeavesNoBatchFileAndStartsNoJob) {
    Install("D:\\PKG\\REMOVE.EXE");
    fake::FailCall("WriteFile", 1, 1, 112 /* ERROR_DISK_FULL */);
    ScheduleSelfDelete();
    ExpectNothingScheduled();
}

TEST_F(SelfDelete, AProgramNameThatCannotBeHadSchedulesNothing) {
    Install("D:\\PKG\\REMOVE.EXE");
    run.modulePath[0] = 0;  // the path the run read at its start
    ScheduleSelfDelete();
    ExpectNothingScheduled();
    EXPECT_TRUE(fake::Calls({"CreateFileA"}).empty());
}

// ---- The interpreter by its full path ------------------------------------------------------

TEST_F(SelfDelete, TheInterpreterIsNamedByItsFullPathNeverByABareNameOrComspec) {
    for (int nt : {1, 0}) {
        SCOPED_TRACE(nt);
        fake::Reset();
        ResetRunContext();
        fake::SetEnvironment("COMSPEC", "C:\\Users\\Public\\cmd.exe");
        fake::SetSystemDirectory("C:\\Win Dir\\System32");
        Install("D:\\PKG\\REMOVE.EXE");
        run.isNT = nt;
        ScheduleSelfDelete();
        EXPECT_EQ(Job().commandLine, nt ? "\"C:\\Win Dir\\System32\\cmd.exe\" /D /C D:\\Delme.bat"
                                        : "\"C:\\WINDOWS\\COMMAND.COM\" /C D:\\Delme.bat");
        ReleaseRunContext();
    }
}

TEST_F(SelfDelete, WithoutTheSystemFolderNoJobIsStarted) {
    fake::FailCall("GetSystemDirectoryA", 1, fake::kFailForever, ERROR_FILE_NOT_FOUND);
    Install("D:\\PKG\\REMOVE.EXE");
    ScheduleSelfDelete();
    ExpectNothingScheduled();
    EXPECT_TRUE(fake::Calls({"CreateProcessA"}).empty());
}

// ---- A root folder that cannot be written --------------------------------------------------

TEST_F(SelfDelete, ARootFolderThatRefusesTheFileSendsItToTheTemporaryFolder) {
    fake::AddFolder("C:\\Users\\Jo Smith\\Temp");
    fake::SetTempPath("C:\\Users\\Jo Smith\\Temp\\");
    fake::SetShortName("C:\\Users\\Jo Smith\\Temp\\", "C:\\Users\\JOSMIT~1\\Temp\\");
    Install("D:\\PKG\\REMOVE.EXE");
    fake::DenyFileCreation("D:\\");
    ScheduleSelfDelete();
    const std::string batch = "C:\\Users\\JOSMIT~1\\Temp\\Delme.bat";
    EXPECT_EQ(fake::Content(batch), BatchText("D:\\PKG\\REMOVE.EXE", "D:\\PKG", batch));
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C " + batch);
    EXPECT_FALSE(fake::Exists("D:\\Delme.bat"));
}

TEST_F(SelfDelete, AWindowsFolderThatRefusesTheFileSendsItToTheTemporaryFolderToo) {
    fake::AddFolder("C:\\TEMP");
    Install("\\\\SERVER\\APPS\\PKG\\REMOVE.EXE");
    fake::DenyFileCreation("C:\\WINDOWS");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("C:\\TEMP\\Delme.bat"),
              BatchText("\\\\SERVER\\APPS\\PKG\\REMOVE.EXE", "\\\\SERVER\\APPS\\PKG", "C:\\TEMP\\Delme.bat"));
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C C:\\TEMP\\Delme.bat");
}

TEST_F(SelfDelete, ATemporaryFolderThatCannotStandPlainInTheCommandLineIsNotUsed) {
    for (const char* temp : {"C:\\Users\\Jo Smith\\Temp\\", "C:\\R&D\\Temp\\"}) {
        SCOPED_TRACE(temp);
        fake::Reset();
        ResetRunContext();
        fake::AddFolder(temp);
        fake::SetTempPath(temp);
        Install("D:\\PKG\\REMOVE.EXE");
        fake::DenyFileCreation("D:\\");
        ScheduleSelfDelete();
        ExpectNothingScheduled();
        ReleaseRunContext();
    }
}

TEST_F(SelfDelete, ATemporaryFolderThatDoesNotFitAPathIsNotUsed) {
    std::string temp = "C:\\" + std::string(300, 'T') + "\\";
    fake::AddFolder(temp);
    fake::SetTempPath(temp);
    Install("D:\\PKG\\REMOVE.EXE");
    fake::DenyFileCreation("D:\\");
    ScheduleSelfDelete();
    ExpectNothingScheduled();
}

// ---- The program file's attributes ---------------------------------------------------------

TEST_F(SelfDelete, TheProgramFileLosesReadOnlyHiddenAndSystemBeforeTheJobStarts) {
    Install("D:\\PKG\\REMOVE.EXE", kHidden | FILE_ATTRIBUTE_ARCHIVE);
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Attributes("D:\\PKG\\REMOVE.EXE") & kHidden, 0u);
    EXPECT_EQ(fake::Calls({"SetFileAttributesA", "CreateProcessA"}),
              (std::vector<std::string>{"SetFileAttributesA D:\\PKG\\REMOVE.EXE 128 -> ok",
                                        "CreateProcessA \"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C D:\\Delme.bat -> ok"}));
}

TEST_F(SelfDelete, AProgramFileWhoseAttributesCannotBeChangedGetsNoJob) {
    // As on a read-only medium: the job could never delete it and would spin for ever.
    Install("D:\\PKG\\REMOVE.EXE", FILE_ATTRIBUTE_READONLY);
    fake::FailCall("SetFileAttributesA", 1, 1, ERROR_WRITE_PROTECT);
    ScheduleSelfDelete();
    ExpectNothingScheduled();
    EXPECT_EQ(fake::Attributes("D:\\PKG\\REMOVE.EXE"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

// ---- Characters the command interpreter treats specially ----------------------------------

TEST_F(SelfDelete, PathsWithSpecialCharactersAreQuotedWithPercentDoubled) {
    struct Case {
        const char* folder;
        const char* written;
    };
    const Case cases[] = {
        {"C:\\R&D", "\"C:\\R&D"},     {"C:\\A B", "\"C:\\A B"},   {"C:\\X^Y", "\"C:\\X^Y"},
        {"C:\\A(B)", "\"C:\\A(B)"},   {"C:\\50%", "\"C:\\50%%"},  {"C:\\%PATH%", "\"C:\\%%PATH%%"},
        {"C:\\A,B", "\"C:\\A,B"},     {"C:\\A;B", "\"C:\\A;B"},   {"C:\\A=B", "\"C:\\A=B"},
        {"C:\\A+B", "\"C:\\A+B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        fake::Reset();
        ResetRunContext();
        Install(std::string(c.folder) + "\\REMOVE.EXE");
        ScheduleSelfDelete();
        const std::string program = std::string(c.written) + "\\REMOVE.EXE\"";
        const std::string folder = std::string(c.written) + "\"";
        EXPECT_EQ(fake::Content("C:\\Delme.bat"), BatchText(program, folder, "C:\\Delme.bat"));
        EXPECT_EQ(fake::StartedProcesses().size(), 1u);
        ReleaseRunContext();
    }
}

TEST_F(SelfDelete, EachPathIsQuotedOnlyWhenItNeedsIt) {
    Install("C:\\APPS\\R&D.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("C:\\Delme.bat"), BatchText("\"C:\\APPS\\R&D.EXE\"", "C:\\APPS", "C:\\Delme.bat"));
}

TEST_F(SelfDelete, OrdinaryCharactersStayUnquoted) {
    const std::string folder = "C:\\A~1#$@{}[]'`-_.B\xC4\xFF";
    Install(folder + "\\REMOVE.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("C:\\Delme.bat"), BatchText(folder + "\\REMOVE.EXE", folder, "C:\\Delme.bat"));
}

TEST_F(SelfDelete, APathThatNoSpellingKeepsLiteralSchedulesNothing) {
    const char* programs[] = {
        "C:\\A!B\\REMOVE.EXE", "C:\\APPS\\RE!MOVE.EXE", "C:\\A\"B\\REMOVE.EXE", "C:\\A*\\REMOVE.EXE",
        "C:\\A?\\REMOVE.EXE",  "C:\\A|B\\REMOVE.EXE",   "C:\\A<B\\REMOVE.EXE", "C:\\A>B\\REMOVE.EXE",
        "C:\\A\rB\\REMOVE.EXE", "C:\\A\tB\\REMOVE.EXE",  "C:\\A:B\\REMOVE.EXE", "C:\\A\x7F\\REMOVE.EXE", "C:\\A\nB\\REMOVE.EXE",
    };
    for (const char* program : programs) {
        SCOPED_TRACE(program);
        fake::Reset();
        ResetRunContext();
        Install(program);
        ScheduleSelfDelete();
        ExpectNothingScheduled();
        EXPECT_TRUE(fake::Calls({"CreateFileA", "SetFileAttributesA"}).empty());
        ReleaseRunContext();
    }
}

// ---- The 1040-byte text --------------------------------------------------------------------

class SelfDeleteBounds : public SelfDelete {
protected:
    // A program path of 259 characters (the most a path buffer holds), in a folder of 248.
    const std::string folder = "D:\\" + std::string(120, 'P') + "\\" + std::string(124, 'Q');
    const std::string program = folder + "\\REMOVE.EXE";
    // The batch in a temporary folder whose path makes the batch path `length` characters long.
    std::string TemporaryBatch(size_t length) {
        std::string temp = "C:\\" + std::string(length - 3 - 10, 'T') + "\\";
        fake::AddFolder(temp);
        fake::SetTempPath(temp);
        return temp + "Delme.bat";
    }
};

TEST_F(SelfDeleteBounds, ATextThatFillsTheBufferToItsLastByteIsWritten) {
    ASSERT_EQ(program.size(), 259u);
    const std::string batch = TemporaryBatch(1039 - 63 - 2 * 259 - 248);
    const std::string expected = BatchText(program, folder, batch);
    ASSERT_EQ(expected.size(), 1039u);
    Install(program);
    fake::DenyFileCreation("D:\\");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content(batch), expected);
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C " + batch);
}

TEST_F(SelfDeleteBounds, OneByteMoreSchedulesNothing) {
    const std::string batch = TemporaryBatch(1039 - 63 - 2 * 259 - 248 + 1);
    ASSERT_EQ(BatchText(program, folder, batch).size(), 1040u);
    Install(program);
    fake::DenyFileCreation("D:\\");
    ScheduleSelfDelete();
    ExpectNothingScheduled();
}

TEST_F(SelfDeleteBounds, FourPathsOfTheLongestLengthScheduleNothing) {
    const std::string batch = TemporaryBatch(259);
    Install(program);
    fake::DenyFileCreation("D:\\");
    ScheduleSelfDelete();
    ExpectNothingScheduled();
}

TEST_F(SelfDeleteBounds, DoubledPercentSignsCountAgainstTheBuffer) {
    // 3 + 245 + 11 = 259 characters, which quoting and doubling make 506 each.
    const std::string percent = "D:\\" + std::string(245, '%');
    Install(percent + "\\REMOVE.EXE");
    ScheduleSelfDelete();
    ExpectNothingScheduled();
}

// ---- From the entry ------------------------------------------------------------------------

class SelfDeleteFromEntry : public SelfDelete {
protected:
    void SetUp() override {
        SelfDelete::SetUp();
        fake::SetShortName(test::kInstallDir, "C:\\PROGRA~1\\PKG\\");
        fake::SetShortName(test::kProgramPath, "C:\\PROGRA~1\\PKG\\REMOVE.EXE");
        test::InstallProgram(tidewell::EncodeLog({{BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({test::Catalogue()}), std::nullopt}}));
    }
    int Run(const char* arguments) { return WinMain(nullptr, nullptr, const_cast<char*>(arguments), 1); }
};

TEST_F(SelfDeleteFromEntry, AConfirmedRunLeavesTheJobBehind) {
    fake::AnswerBoxes({IDOK, IDOK});
    EXPECT_EQ(Run(""), EXIT_OK);
    EXPECT_EQ(fake::Content("C:\\Delme.bat"),
              BatchText("C:\\PROGRA~1\\PKG\\REMOVE.EXE", "C:\\PROGRA~1\\PKG", "C:\\Delme.bat"));
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /C C:\\Delme.bat");
    EXPECT_EQ(fake::LiveBlocks(), 0u);
}

TEST_F(SelfDeleteFromEntry, ACancelledRunLeavesTheProgramAlone) {
    fake::AnswerBoxes({IDCANCEL});
    EXPECT_EQ(Run(""), EXIT_OK);
    EXPECT_EQ(fake::Boxes().size(), 1u);
    ExpectNothingScheduled();
    EXPECT_EQ(fake::Attributes(test::kProgramPath), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(SelfDeleteFromEntry, ASilentRunLeavesTheProgramAlone) {
    EXPECT_EQ(Run("/X"), EXIT_OK);
    EXPECT_EQ(run.silent, 1);
    ExpectNothingScheduled();
    EXPECT_EQ(fake::Attributes(test::kProgramPath), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

}  // namespace
