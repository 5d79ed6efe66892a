// The batch job that removes the program file and its folder after a confirmed run: where it is
// made and with which rights, its exact bytes, how the job is started, and what is left when
// something fails. NT has the paths in the job's environment; the 95 family in the text.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/self_delete.h"
#include "folder_world.h"
#include "log/log_format.h"
#include "removal/report.h"
#include "test_support.h"

namespace {

constexpr DWORD kHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The NT batch: the same ASCII text for every package, with or without the line that removes
// the installation folder.
std::string NtBatchText(bool removesFolder = true) {
    return std::string("@echo off\r\nset Tries=0\r\n:Repeat\r\nif exist \"!TwProgram!\\*\" goto End\r\n"
                       "del \"!TwProgram!\" <nul\r\nif not exist \"!TwProgram!\" goto Gone\r\n"
                       "set /a Tries+=1\r\nif %Tries% geq 60 goto End\r\n"
                       "\"!TwSystem!\\ping.exe\" -n 2 127.0.0.1 >nul\r\ngoto Repeat\r\n:Gone\r\n") +
           (removesFolder ? "rmdir \"!TwFolder!\"\r\n" : "") + ":End\r\ndel \"%~f0\" & rmdir \"!TwJob!\"\r\n";
}

// The 95 family's batch: five written-out tries, each paused with the Windows folder's ping.
std::string BatchText(const std::string& program, const std::string& folder, const std::string& batch,
                      const std::string& pause = "C:\\WINDOWS\\PING.EXE") {
    std::string text = "@echo off\r\n";
    for (int i = 0; i < 5; ++i)
        text += "del " + program + "\r\nif not exist " + program + " goto Gone\r\n" + pause + " -n 2 127.0.0.1 >NUL\r\n";
    text += "goto End\r\n:Gone\r\n";
    if (!folder.empty()) text += "rmdir " + folder + "\r\n";
    return text + ":End\r\ndel " + batch + "\r\n";
}

// The job folder the fake's random source names first and second, in the fake's temporary folder.
constexpr char kJobFolder[] = "C:\\TEMP\\tw5d5c5b5a61605f5e";
constexpr char kSecondJobFolder[] = "C:\\TEMP\\tw6564636269686766";
const std::string kNtBatch = std::string(kJobFolder) + "\\Delme.bat";
// Only the account, the administrators and the system may change it; everyone may read it.
const std::vector<std::string> kPrivateAccess = {"S-1-5-21-7-8-9-1001 1f01ff 3", "S-1-5-32-544 1f01ff 3",
                                                 "S-1-5-18 1f01ff 3", "S-1-1-0 120089 3"};
std::vector<std::string> AccessOf(const std::string& path) {
    std::optional<fake::AccessList> list = fake::CreatedAccessList(path);
    if (!list) return {};
    EXPECT_TRUE(list->isProtected);
    return list->entries;
}
const std::string kNtCommand = "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /V:ON /C " + kNtBatch;

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
        fake::AddFolder("C:\\TEMP");
        fake::AddFile(program, "MZ", attributes);
        fake::SetModulePath(program);
        ASSERT_EQ(InitRunContext(nullptr), 1);
        run.isNT = 1;
        fake::ClearJournal();
    }
    // The same on the 95 family, which has neither rights nor the newer calls.
    // Its shell folders exist: where one does not, its shell cannot name it, and the guard then
    // protects every folder.
    void Install95(const std::string& program, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
        fake::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
        test::AddSystemFolders();
        Install(program, attributes);
        run.isNT = 0;
    }
    // The job's folders anywhere on the two drives.
    std::vector<std::string> JobFolders() {
        std::vector<std::string> found;
        for (const std::string& path : fake::Tree("C:\\"))
            if (path.find("\\tw") != std::string::npos && fake::IsFolder(path)) found.push_back(path);
        return found;
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
        EXPECT_EQ(JobFolders(), std::vector<std::string>{});
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

// ---- NT: the job's own folder ---------------------------------------------------------------

TEST_F(SelfDelete, OnNTTheBatchIsPlainTextInAPrivateFolderOfTheTemporaryFolderWithThePathsInTheEnvironment) {
    fake::SetShortName("D:\\Long Apps\\Package\\", "D:\\LONGAP~1\\PACKAGE\\");
    fake::SetShortName("D:\\Long Apps\\Package\\Remove.exe", "D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE");
    Install("D:\\Long Apps\\Package\\Remove.exe");
    ScheduleSelfDelete();

    // Never in the drive's root, where others may be able to change what it holds.
    EXPECT_FALSE(fake::Exists("D:\\Delme.bat"));
    EXPECT_EQ(Batches(), std::vector<std::string>{kNtBatch});
    EXPECT_EQ(fake::Content(kNtBatch), NtBatchText());
    EXPECT_EQ(AccessOf(kJobFolder), kPrivateAccess);
    EXPECT_EQ(fake::Environment("TwProgram"), "D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE");
    EXPECT_EQ(fake::Environment("TwFolder"), "D:\\LONGAP~1\\PACKAGE");
    EXPECT_EQ(fake::Environment("TwSystem"), "C:\\WINDOWS\\SYSTEM32");
    EXPECT_EQ(fake::Environment("TwJob"), kJobFolder);
    EXPECT_EQ(Job().commandLine, kNtCommand);
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\WINDOWS");
    // The file, the process and the thread handle, the token and the descriptor are all let go
    // of (checked on tear-down); the program file itself is left to the job.
    EXPECT_TRUE(fake::Exists("D:\\Long Apps\\Package\\Remove.exe"));
    EXPECT_EQ(fake::Calls({"CreateFileA", "CreateDirectoryA"}),
              (std::vector<std::string>{"CreateFileA D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE -> ok",
                                        "CreateDirectoryA " + std::string(kJobFolder) + " -> ok",
                                        "CreateFileA " + kNtBatch + " -> ok"}));
}

TEST_F(SelfDelete, TheSystemsOwnTemporaryFolderOfTheAccountIsPreferred) {
    fake::AddFolder("C:\\WINDOWS\\SystemTemp");
    fake::SetTempPath2("C:\\WINDOWS\\SystemTemp\\");
    Install("D:\\PKG\\REMOVE.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /V:ON /C C:\\WINDOWS\\SystemTemp\\tw5d5c5b5a61605f5e\\Delme.bat");
    EXPECT_TRUE(fake::Calls({"GetTempPathA"}).empty());
}

TEST_F(SelfDelete, AFolderOrLinkMadeFirstUnderTheJobsNameIsNeverUsed) {
    fake::AddFolder(kJobFolder);
    Install("D:\\PKG\\REMOVE.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /D /V:ON /C " + std::string(kSecondJobFolder) + "\\Delme.bat");
    EXPECT_EQ(fake::Tree(kJobFolder), std::vector<std::string>{});
    EXPECT_EQ(AccessOf(kJobFolder), std::vector<std::string>{});
    EXPECT_EQ(AccessOf(kSecondJobFolder), kPrivateAccess);
}

TEST_F(SelfDelete, WithoutPrivateRightsOrARandomNameOrOutsideARootTheRunStartsNoJob) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
    };
    const std::vector<Case> cases = {
        {"the account cannot be had", [] { fake::FailCall("OpenProcessToken"); }},
        {"the account's entry cannot be read", [] { fake::FailCall("GetTokenInformation"); }},
        {"the temporary folder is a drive's root", [] { fake::SetTempPath("D:\\"); }},
        {"the folder cannot be made", [] { fake::FailCall("CreateDirectoryA", 1, fake::kFailForever); }},
        {"every name is taken", [] { fake::FailCall("CreateDirectoryA", 1, fake::kFailForever, ERROR_ALREADY_EXISTS); }},
        {"the batch cannot be made in it", [] { fake::FailCall("CreateFileA", 2); }},
        {"the batch cannot be written", [] { fake::FailCall("WriteFile"); }},
        {"the environment cannot be set", [] { fake::FailCall("SetEnvironmentVariableA", 3); }},
        {"no interpreter starts", [] { fake::SetProcessStarter([](const std::string&) { return false; }); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        ResetRunContext();
        Install("D:\\PKG\\REMOVE.EXE", kHidden | FILE_ATTRIBUTE_ARCHIVE);
        c.arrange();
        ScheduleSelfDelete();
        ExpectNothingScheduled();
        EXPECT_EQ(fake::Attributes("D:\\PKG\\REMOVE.EXE"), kHidden | FILE_ATTRIBUTE_ARCHIVE);
        EXPECT_LE(fake::CallCount("CreateDirectoryA"), 8);
        ReleaseRunContext();
    }
}

TEST_F(SelfDelete, AnInstallationFolderTheGuardProtectsIsNeverRemoved) {
    // An uninstaller placed on the Desktop, or in a drive's root folder: the batch deletes the
    // program and itself, and has no line that removes a folder.
    test::AddSystemFolders();
    for (const std::string& program : {std::string(test::kDesktop) + "\\Remove.exe", std::string("C:\\REMOVE.EXE")}) {
        SCOPED_TRACE(program);
        Install(program);
        ScheduleSelfDelete();
        EXPECT_EQ(fake::Content(Batches().at(0)), NtBatchText(false));
        Job();
        ReleaseRunContext();
        fake::Reset();
        ResetRunContext();
        test::AddSystemFolders();
    }
}

// ---- The 95 family: the paths in the text --------------------------------------------------

TEST_F(SelfDelete, OnThe95FamilyAFolderOnDriveDGetsTheBatchInItsRootInShortForm) {
    fake::SetShortName("D:\\Long Apps\\Package\\", "D:\\LONGAP~1\\PACKAGE\\");
    fake::SetShortName("D:\\Long Apps\\Package\\Remove.exe", "D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE");
    Install95("D:\\Long Apps\\Package\\Remove.exe");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("D:\\Delme.bat"),
              BatchText("D:\\LONGAP~1\\PACKAGE\\REMOVE.EXE", "D:\\LONGAP~1\\PACKAGE", "D:\\Delme.bat"));
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\COMMAND.COM\" /C D:\\Delme.bat");
    // The run's own installation folder keeps its form and its trailing backslash.
    EXPECT_STREQ(run.installDir, "D:\\Long Apps\\Package\\");
    // Not opened for deletion first: the 95 family has no such access.
    EXPECT_EQ(fake::Calls({"CreateFileA"}), std::vector<std::string>{"CreateFileA D:\\Delme.bat -> ok"});
}

TEST_F(SelfDelete, OnThe95FamilyAFileOfTheBatchsNameIsNeverReplaced) {
    // A file of the user's, or the batch of another uninstaller confirmed at the same time.
    fake::AddFile("D:\\Delme.bat", std::string(2000, 'x'));
    fake::AddFile("D:\\Delme1.bat", "y");
    Install95("D:\\PKG\\REMOVE.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content("D:\\Delme.bat"), std::string(2000, 'x'));
    EXPECT_EQ(fake::Content("D:\\Delme1.bat"), "y");
    EXPECT_EQ(fake::Content("D:\\Delme2.bat"), BatchText("D:\\PKG\\REMOVE.EXE", "D:\\PKG", "D:\\Delme2.bat"));
    EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\COMMAND.COM\" /C D:\\Delme2.bat");
}

TEST_F(SelfDelete, OnThe95FamilyTheTemporaryFolderTakesTheBatchWhenTheRootCannot) {
    struct Case {
        const char* program;
        std::function<void()> refuse;
        const char* folder;
    };
    const std::vector<Case> cases = {
        {"D:\\PKG\\REMOVE.EXE",
         [] {
             fake::AddFile("D:\\Delme.bat", "user's");
             for (int n = 1; n <= 99; ++n) fake::AddFile("D:\\Delme" + std::to_string(n) + ".bat", "user's");
         },
         "D:\\PKG"},
        {"D:\\PKG\\REMOVE.EXE", [] { fake::DenyFileCreation("D:\\"); }, "D:\\PKG"},
        // Without a drive letter, the root is the current folder's, the Windows folder.
        {"\\\\SERVER\\APPS\\PKG\\REMOVE.EXE", [] { fake::DenyFileCreation("C:\\WINDOWS"); }, "\\\\SERVER\\APPS\\PKG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        fake::Reset();
        ResetRunContext();
        fake::AddFolder("C:\\Users\\JoSmith\\Temp");
        fake::SetTempPath("C:\\Users\\JoSmith\\Temp\\");
        Install95(c.program);
        c.refuse();
        ScheduleSelfDelete();
        const std::string batch = "C:\\Users\\JoSmith\\Temp\\Delme.bat";
        EXPECT_EQ(fake::Content(batch), BatchText(c.program, c.folder, batch));
        EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\COMMAND.COM\" /C " + batch);
        ReleaseRunContext();
    }
}

TEST_F(SelfDelete, OnThe95FamilyEachPathStandsInTheTextAsTheInterpreterReadsIt) {
    struct Case {
        const char* what;
        std::string program;
        std::function<void()> arrange;
        std::string batch, programText, folderText, batchText;  // folderText empty: no rmdir line
    };
    const std::string ordinary = "C:\\A~1#$@{}[]'`-_.B\xC4\xFF";
    const std::vector<Case> cases = {
        // Without a drive letter, the root is the current folder's, the Windows folder.
        {"no drive letter", "\\\\SERVER\\APPS\\PKG\\REMOVE.EXE", [] {}, "C:\\WINDOWS\\Delme.bat",
         "\\\\SERVER\\APPS\\PKG\\REMOVE.EXE", "\\\\SERVER\\APPS\\PKG", "Delme.bat"},
        {"no short forms", "D:\\Apps\\Package\\Remove.exe",
         [] { fake::FailCall("GetShortPathNameA", 1, fake::kFailForever, ERROR_FILE_NOT_FOUND); }, "D:\\Delme.bat",
         "D:\\Apps\\Package\\Remove.exe", "D:\\Apps\\Package", "D:\\Delme.bat"},
        {"a folder the guard protects", "C:\\REMOVE.EXE", [] {}, "C:\\Delme.bat", "C:\\REMOVE.EXE", "", "C:\\Delme.bat"},
        {"quoted only where needed", "C:\\APPS\\R&D.EXE", [] {}, "C:\\Delme.bat", "\"C:\\APPS\\R&D.EXE\"", "C:\\APPS",
         "C:\\Delme.bat"},
        {"ordinary characters unquoted", ordinary + "\\REMOVE.EXE", [] {}, "C:\\Delme.bat", ordinary + "\\REMOVE.EXE",
         ordinary, "C:\\Delme.bat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        ResetRunContext();
        c.arrange();
        Install95(c.program);
        ScheduleSelfDelete();
        EXPECT_EQ(fake::Content(c.batch), BatchText(c.programText, c.folderText, c.batchText));
        EXPECT_EQ(Job().commandLine, "\"C:\\WINDOWS\\COMMAND.COM\" /C " + c.batchText);
        ReleaseRunContext();
    }
}

TEST_F(SelfDelete, APathWithNoFormInTheConsolesCodePageStartsNoJob) {
    // The stand-in's console code page has no character for 0x80 to 0x9F; COMMAND.COM would read
    // another path than the one meant.
    for (const char* program : {"D:\\PKG\x85\\REMOVE.EXE", "D:\\PKG\\RE\x9FMOVE.EXE"}) {
        SCOPED_TRACE(program);
        fake::Reset();
        ResetRunContext();
        Install95(program);
        ScheduleSelfDelete();
        ExpectNothingScheduled();
        ReleaseRunContext();
    }
}

// ---- No job that could never end -----------------------------------------------------------

TEST_F(SelfDelete, AProgramFileThatCouldNeverBeDeletedGetsNoJobAndOneHeldOpenGoesAtTheRestart) {
    // Without the right to delete it (an unelevated run in a folder it cannot write), or held by
    // another program that does not share deletion: a job would only try in vain. The file held
    // open goes at the next restart instead, where it stands.
    for (int held = 0; held <= 1; ++held) {
        SCOPED_TRACE(held ? "held open" : "no right to delete");
        fake::Reset();
        ResetRunContext();
        Install("D:\\PKG\\REMOVE.EXE");
        if (held)
            fake::HoldOpen("D:\\PKG\\REMOVE.EXE");
        else
            fake::FailDeletion("D:\\PKG\\REMOVE.EXE", ERROR_ACCESS_DENIED);
        EXPECT_EQ(ScheduleSelfDelete(), 0);
        ExpectNothingScheduled();
        EXPECT_EQ(fake::Calls({"CreateFileA"}), std::vector<std::string>{"CreateFileA D:\\PKG\\REMOVE.EXE -> error " +
                                                                          std::to_string(held ? ERROR_SHARING_VIOLATION
                                                                                              : ERROR_ACCESS_DENIED)});
        EXPECT_EQ(fake::DestructiveCalls(),
                  held ? std::vector<std::string>{"MoveFileExA D:\\PKG\\REMOVE.EXE at the restart -> ok"}
                       : std::vector<std::string>{});
        EXPECT_EQ(Counts()->queued, held ? 1u : 0u);
        ReleaseRunContext();
    }
}

// ---- Nothing left behind -------------------------------------------------------------------

TEST_F(SelfDelete, OnThe95FamilyWhenNoBatchFileCanBeMadeNoJobStarts) {
    Install95("D:\\PKG\\REMOVE.EXE", FILE_ATTRIBUTE_READONLY);
    fake::FailCall("CreateFileA", 1, fake::kFailForever);
    ScheduleSelfDelete();
    ExpectNothingScheduled();
    EXPECT_EQ(fake::Calls({"CreateFileA"}), (std::vector<std::string>{"CreateFileA D:\\Delme.bat -> error 5",
                                                                       "CreateFileA C:\\TEMP\\Delme.bat -> error 5"}));
    EXPECT_EQ(fake::Attributes("D:\\PKG\\REMOVE.EXE"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\WINDOWS");
}

TEST_F(SelfDelete, WhenNoInterpreterStartsTheBatchAndItsFolderGoAndTheFileKeepsItsAttributes) {
    fake::SetProcessStarter([](const std::string&) { return false; });
    Install("D:\\PKG\\REMOVE.EXE", kHidden | FILE_ATTRIBUTE_ARCHIVE);
    ScheduleSelfDelete();
    ExpectNothingScheduled();
    EXPECT_EQ(fake::Calls({"CreateProcessA"}), (std::vector<std::string>{"CreateProcessA " + kNtCommand + " -> error 2"}));
    EXPECT_EQ(fake::Attributes("D:\\PKG\\REMOVE.EXE"), kHidden | FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(SelfDelete, AFailedWriteLeavesNoBatchFileAndStartsNoJob) {
    for (int nt : {1, 0}) {
        SCOPED_TRACE(nt);
        fake::Reset();
        ResetRunContext();
        if (nt)
            Install("D:\\PKG\\REMOVE.EXE");
        else
            Install95("D:\\PKG\\REMOVE.EXE");
        fake::FailCall("WriteFile", nt ? 2 : 3, 1, 112 /* ERROR_DISK_FULL */);
        ScheduleSelfDelete();
        ExpectNothingScheduled();
        ReleaseRunContext();
    }
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
        if (nt)
            Install("D:\\PKG\\REMOVE.EXE");
        else
            Install95("D:\\PKG\\REMOVE.EXE");
        ScheduleSelfDelete();
        EXPECT_EQ(Job().commandLine, nt ? "\"C:\\Win Dir\\System32\\cmd.exe\" /D /V:ON /C " + kNtBatch
                                        : std::string("\"C:\\WINDOWS\\COMMAND.COM\" /C D:\\Delme.bat"));
        // The pause between tries, too, is a program of the system's own folder.
        if (nt) {
            EXPECT_EQ(fake::Environment("TwSystem"), "C:\\Win Dir\\System32");
        }
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

TEST_F(SelfDelete, ATemporaryFolderThatCannotStandPlainInTheCommandLineIsNotUsed) {
    for (int nt : {1, 0})
        for (const char* temp : {"C:\\Users\\Jo Smith\\Temp\\", "C:\\R&D\\Temp\\", "C:\\T\\"}) {
            SCOPED_TRACE(temp);
            fake::Reset();
            ResetRunContext();
            fake::AddFolder(temp);
            fake::SetTempPath(std::string(temp) == "C:\\T\\" ? "C:\\" + std::string(300, 'T') + "\\" : temp);
            if (nt)
                Install("D:\\PKG\\REMOVE.EXE");
            else
                Install95("D:\\PKG\\REMOVE.EXE");
            fake::DenyFileCreation("D:\\");
            ScheduleSelfDelete();
            ExpectNothingScheduled();
            ReleaseRunContext();
        }
}

// ---- The program file's attributes ---------------------------------------------------------

TEST_F(SelfDelete, TheProgramFileLosesReadOnlyHiddenAndSystemBeforeTheJobStarts) {
    Install("D:\\PKG\\REMOVE.EXE", kHidden | FILE_ATTRIBUTE_ARCHIVE);
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Attributes("D:\\PKG\\REMOVE.EXE") & kHidden, 0u);
    EXPECT_EQ(fake::Calls({"SetFileAttributesA", "CreateProcessA"}),
              (std::vector<std::string>{"SetFileAttributesA D:\\PKG\\REMOVE.EXE 128 -> ok", "CreateProcessA " + kNtCommand + " -> ok"}));
}

TEST_F(SelfDelete, AProgramFileWhoseAttributesCannotBeChangedGetsNoJob) {
    // As on a read-only medium: the job could never delete it.
    Install("D:\\PKG\\REMOVE.EXE", FILE_ATTRIBUTE_READONLY);
    fake::FailCall("SetFileAttributesA", 1, 1, ERROR_WRITE_PROTECT);
    ScheduleSelfDelete();
    ExpectNothingScheduled();
    EXPECT_EQ(fake::Attributes("D:\\PKG\\REMOVE.EXE"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

// ---- Characters the command interpreter treats specially ----------------------------------

TEST_F(SelfDelete, OnNTSpecialCharactersReachTheJobOnlyThroughItsEnvironment) {
    Install("C:\\R&D (50%)\\%PATH%^.EXE");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content(kNtBatch), NtBatchText());
    EXPECT_EQ(fake::Environment("TwProgram"), "C:\\R&D (50%)\\%PATH%^.EXE");
    EXPECT_EQ(fake::Environment("TwFolder"), "C:\\R&D (50%)");
}

TEST_F(SelfDelete, OnThe95FamilyPathsWithSpecialCharactersAreQuotedWithPercentDoubled) {
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
        Install95(std::string(c.folder) + "\\REMOVE.EXE");
        ScheduleSelfDelete();
        const std::string program = std::string(c.written) + "\\REMOVE.EXE\"";
        const std::string folder = std::string(c.written) + "\"";
        EXPECT_EQ(fake::Content("C:\\Delme.bat"), BatchText(program, folder, "C:\\Delme.bat"));
        EXPECT_EQ(fake::StartedProcesses().size(), 1u);
        ReleaseRunContext();
    }
}

TEST_F(SelfDelete, APathThatNoSpellingKeepsLiteralSchedulesNothing) {
    // Wildcards among them: a name the code page cannot hold reads as '?', and the job must not
    // delete whatever matches it.
    const char* programs[] = {
        "C:\\A!B\\REMOVE.EXE", "C:\\APPS\\RE!MOVE.EXE", "C:\\A\"B\\REMOVE.EXE", "C:\\A*\\REMOVE.EXE",
        "C:\\A?\\REMOVE.EXE",  "C:\\A|B\\REMOVE.EXE",   "C:\\A<B\\REMOVE.EXE", "C:\\A>B\\REMOVE.EXE",
        "C:\\A\rB\\REMOVE.EXE", "C:\\A\tB\\REMOVE.EXE",  "C:\\A:B\\REMOVE.EXE", "C:\\A\x7F\\REMOVE.EXE", "C:\\A\nB\\REMOVE.EXE",
    };
    for (int nt : {1, 0})
        for (const char* program : programs) {
            SCOPED_TRACE(program);
            fake::Reset();
            ResetRunContext();
            if (nt)
                Install(program);
            else
                Install95(program);
            ScheduleSelfDelete();
            ExpectNothingScheduled();
            EXPECT_TRUE(fake::Calls({"CreateFileA", "SetFileAttributesA"}).empty());
            ReleaseRunContext();
        }
}

TEST_F(SelfDelete, OnThe95FamilyDoubledPercentSignsFitTheBatchsLines) {
    // 3 + 245 + 11 = 259 characters, which quoting and doubling make 506 each: a try's line
    // holds three such paths, written whole.
    const std::string percent = "D:\\" + std::string(245, '%');
    Install95(percent + "\\REMOVE.EXE");
    ScheduleSelfDelete();
    ASSERT_EQ(Batches().size(), 1u);
    EXPECT_NE(fake::Content(Batches().at(0)).find("del \"D:\\" + std::string(490, '%') + "\\REMOVE.EXE\"\r\n"), std::string::npos);
    Job();
}

TEST_F(SelfDelete, OnThe95FamilyTheLongestPathsAreWritten) {
    const std::string folder = "D:\\" + std::string(120, 'P') + "\\" + std::string(124, 'Q');
    const std::string program = folder + "\\REMOVE.EXE";
    ASSERT_EQ(program.size(), 259u);
    const std::string temp = "C:\\" + std::string(259 - 3 - 10, 'T') + "\\";
    fake::AddFolder(temp);
    fake::SetTempPath(temp);
    Install95(program);
    fake::DenyFileCreation("D:\\");
    ScheduleSelfDelete();
    EXPECT_EQ(fake::Content(temp + "Delme.bat"), BatchText(program, folder, temp + "Delme.bat"));
    Job();
}

// ---- From the entry ------------------------------------------------------------------------

class SelfDeleteFromEntry : public SelfDelete {
protected:
    void SetUp() override {
        SelfDelete::SetUp();
        fake::AddFolder("C:\\TEMP");
        fake::SetShortName(test::kInstallDir, "C:\\PROGRA~1\\PKG\\");
        fake::SetShortName(test::kProgramPath, "C:\\PROGRA~1\\PKG\\REMOVE.EXE");
        test::InstallProgram(tidewell::EncodeLog({{BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({test::Catalogue()}), std::nullopt}}));
    }
    int Run(const char* arguments) { return WinMain(nullptr, nullptr, const_cast<char*>(arguments), 1); }
};

TEST_F(SelfDeleteFromEntry, AConfirmedRunLeavesTheJobBehind) {
    fake::AnswerBoxes({IDOK, IDOK});
    EXPECT_EQ(Run(""), EXIT_OK);
    EXPECT_EQ(fake::Content(kNtBatch), NtBatchText());
    EXPECT_EQ(fake::Environment("TwProgram"), "C:\\PROGRA~1\\PKG\\REMOVE.EXE");
    EXPECT_EQ(Job().commandLine, kNtCommand);
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
