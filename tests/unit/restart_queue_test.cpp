// Files in use through whole runs: which refusals go to the restart's queue and how (moved into
// the administrators' own folder, or where they stand), what is never queued, the 95 family's
// WININIT.INI, the folders that follow their files, the quiet run's exit codes and the restart
// question.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "log/log_format.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

const std::string kPkg = "C:\\Program Files\\Pkg";
const std::string kHolding = "C:\\tw5d5c5b5a61605f5e";  // the stand-in's first random name
constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kReport[] = "C:\\report.txt";

class RestartQueue : public test::ProgramTest {
protected:
    // The package's files, each put in place unless its record is only for the log.
    void Install(const std::vector<tidewell::FileEntry>& files, std::vector<std::string> messages = test::Catalogue()) {
        tidewell::LogContent content;
        content.messages = messages;
        content.files = files;
        test::InstallProgram(content);
        for (const tidewell::FileEntry& file : files) {
            std::string folder = file.folder.rfind(".\\", 0) == 0 ? kPkg + file.folder.substr(1) : file.folder;
            fake::AddFile(folder + "\\" + file.name);
        }
    }
    int Run(const std::string& arguments) { return test::RunProgram(arguments); }
    // The report's lines that begin with the prefix.
    std::vector<std::string> ReportLines(const std::string& prefix) {
        std::vector<std::string> lines;
        for (const std::string& line : test::ReportLines(fake::Content(kReport)))
            if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        return lines;
    }
};

TEST_F(RestartQueue, OnlyAFileInUseIsQueuedMovedIntoTheAdministratorsFolderWhereItCanBe) {
    Install({{".\\bin", "running.exe", 0}, {".\\data", "held.db", 0}, {".\\data", "settings.ini", 0},
             {".\\data", "denied.dat", 0}});
    fake::SetRunning(kPkg + "\\bin\\running.exe");
    fake::HoldOpen(kPkg + "\\data\\held.db");
    fake::SetAttributes(kPkg + "\\data\\settings.ini", FILE_ATTRIBUTE_READONLY);
    fake::FailDeletion(kPkg + "\\data\\denied.dat", ERROR_ACCESS_DENIED);

    EXPECT_EQ(Run(std::string("/Q /L=") + kReport), EXIT_KEPT);
    // The running program's file went into the holding folder, so its own folder went at once;
    // the held file, which cannot be moved, is queued where it stands. The read-only file and the
    // one the run may not delete are not in use: they stay, and are never queued.
    EXPECT_EQ(fake::RestartQueue(), (std::vector<std::string>{kHolding + "\\1", kPkg + "\\data\\held.db", kHolding}));
    EXPECT_FALSE(fake::Exists(kPkg + "\\bin"));
    EXPECT_TRUE(fake::Exists(kPkg + "\\data\\settings.ini"));
    EXPECT_TRUE(fake::Exists(kPkg + "\\data\\denied.dat"));
    EXPECT_EQ(ReportLines("file "), (std::vector<std::string>{
                                        "file moved for the restart to " + kHolding + "\\1: " + kPkg + "\\bin\\running.exe",
                                        "file queued for the restart, in use, not asked in a quiet run (error 5): " + kPkg +
                                            "\\bin\\running.exe",
                                        "file queued for the restart, in use, not asked in a quiet run (error 32): " + kPkg +
                                            "\\data\\held.db",
                                        "file kept, read-only, not asked in a quiet run (error 5): " + kPkg + "\\data\\settings.ini",
                                        "file kept, cannot be deleted, not asked in a quiet run (error 5): " + kPkg +
                                            "\\data\\denied.dat",
                                    }));
    // Only the administrators and the system may change what the holding folder holds.
    std::optional<fake::AccessList> list = fake::CreatedAccessList(kHolding);
    ASSERT_TRUE(list.has_value());
    EXPECT_TRUE(list->isProtected);
    EXPECT_EQ(list->entries, (std::vector<std::string>{"S-1-5-32-544 1f01ff 3", "S-1-5-18 1f01ff 3", "S-1-1-0 120089 3"}));
}

TEST_F(RestartQueue, AFileTheSystemCannotQueueStaysAndTheReportSaysWhy) {
    struct Case {
        const char* name;
        std::string folder;
        std::function<void()> prepare;
        std::string why;
    };
    const std::vector<Case> cases = {
        {"on a network share", "\\\\server\\share\\pkg", [] {}, "on a network share, which cannot be queued for the restart (error 32)"},
        {"no administrator", kPkg, [] { fake::RegDenyAccess(HKEY_LOCAL_MACHINE, kSessionManager, KEY_SET_VALUE); },
         "no right to queue it for the restart (error 32)"},
        {"the system refuses", kPkg, [] { fake::FailCall("MoveFileExA", 1, fake::kFailForever, ERROR_INVALID_PARAMETER); },
         "the system refused to queue it for the restart (error 87)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        ResetRunContext();
        Install({{c.folder, "held.dll", 0}});
        fake::HoldOpen(c.folder + "\\held.dll");
        c.prepare();
        EXPECT_EQ(Run(std::string("/Q /L=") + kReport), EXIT_KEPT);
        EXPECT_TRUE(fake::Exists(c.folder + "\\held.dll"));
        EXPECT_TRUE(fake::RestartQueue().empty());
        EXPECT_EQ(ReportLines("file "), std::vector<std::string>{"file kept, in use, not asked in a quiet run, " + c.why +
                                                                 ": " + c.folder + "\\held.dll"});
    }
    // A file that was moved for the restart and then refused is put back where it was.
    fake::Reset();
    ResetRunContext();
    Install({{".\\bin", "running.exe", 0}});
    fake::SetRunning(kPkg + "\\bin\\running.exe");
    fake::FailCall("MoveFileExA", 2, 1, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Run("/Q"), EXIT_KEPT);
    EXPECT_TRUE(fake::Exists(kPkg + "\\bin\\running.exe"));
    EXPECT_FALSE(fake::Exists(kHolding));
}

TEST_F(RestartQueue, The95FamilyAddsItsLinesUnderRenameAndKeepsEveryLineThere) {
    const std::string ini = "C:\\WINDOWS\\WININIT.INI";
    const std::string entry = "NUL=C:\\PROGRA~1\\PKG\\HELD.DLL\r\n";
    struct Case {
        const char* name;
        const char* before;  // null: no file
        std::string after;
    };
    const std::vector<Case> cases = {
        {"no file", nullptr, "[rename]\r\n" + entry},
        {"a section with lines", "[Rename]\r\nNUL=C:\\OLD.TMP\r\nNUL=C:\\OLD.TMP\r\n[other]\r\nx=1\r\n",
         "[Rename]\r\n" + entry + "NUL=C:\\OLD.TMP\r\nNUL=C:\\OLD.TMP\r\n[other]\r\nx=1\r\n"},
        {"no section, no last line break", "[other]\r\nx=1", "[other]\r\nx=1\r\n[rename]\r\n" + entry},
        {"a header as the last line", "[rename]", "[rename]\r\n" + entry},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        ResetRunContext();
        fake::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
        Install({{".\\", "held.dll", 0}});
        fake::SetShortName(kPkg, "C:\\PROGRA~1\\PKG");
        fake::SetShortName(kPkg + "\\held.dll", "C:\\PROGRA~1\\PKG\\HELD.DLL");
        if (c.before) fake::AddFile(ini, c.before);
        fake::HoldOpen(kPkg + "\\held.dll");
        EXPECT_EQ(Run("/Q"), EXIT_RESTART);
        EXPECT_EQ(fake::Content(ini), c.after);
        EXPECT_EQ(fake::CallCount("MoveFileExA"), 0);
    }
}

TEST_F(RestartQueue, FoldersThatStayOnlyForQueuedFilesFollowThemDeepestFirstAndNeverAProtectedOne) {
    Install({{".\\a\\b", "deep.dat", 0}, {".\\a", "top.dat", 0}, {".\\keep", "held.dat", 0}, {"C:\\WINDOWS", "pkg.sys", 0}});
    fake::AddFile(kPkg + "\\keep\\users-own.txt");
    for (const char* held : {"\\a\\b\\deep.dat", "\\a\\top.dat", "\\keep\\held.dat"}) fake::HoldOpen(kPkg + held);
    fake::HoldOpen("C:\\WINDOWS\\pkg.sys");
    EXPECT_EQ(Run("/Q"), EXIT_RESTART);
    // The installation folder still holds the folder that stays, and the Windows folder is the
    // system's: neither is queued.
    EXPECT_EQ(fake::RestartQueue(), (std::vector<std::string>{kPkg + "\\a\\b\\deep.dat", kPkg + "\\a\\top.dat",
                                                              kPkg + "\\keep\\held.dat", "C:\\WINDOWS\\pkg.sys",
                                                              kPkg + "\\a\\b", kPkg + "\\a"}));
}

TEST_F(RestartQueue, AQuietRunsExitCodeSaysWhetherSomethingStayedOrWaitsForTheRestart) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        int code;
    };
    // In every case the shared file stays, as other packages still use it: the right outcome.
    const std::vector<Case> cases = {
        {"all else gone", [] {}, EXIT_OK},
        {"a file queued", [] { fake::HoldOpen(kPkg + "\\b.dll"); }, EXIT_RESTART},
        {"a file queued and one kept",
         [] {
             fake::HoldOpen(kPkg + "\\b.dll");
             fake::SetAttributes(kPkg + "\\c.dll", FILE_ATTRIBUTE_READONLY);
         },
         EXIT_KEPT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        ResetRunContext();
        Install({{".\\", "a.dll", FILE_SHARED}, {".\\", "b.dll", 0}, {".\\", "c.dll", 0}});
        fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kPkg + "\\a.dll", 3);
        c.prepare();
        EXPECT_EQ(Run("/Q"), c.code);
    }
}

TEST_F(RestartQueue, AConfirmedRunAsksToRestartOnlyWithSomethingQueuedAndATextToAsk) {
    std::vector<std::string> messages = test::Catalogue();
    messages.push_back("Close:\n%s");
    messages.push_back("Restart now?");
    struct Case {
        const char* name;
        bool held;
        bool emptySlot;
        int answer;
        bool restarts;
    };
    const std::vector<Case> cases = {
        {"Yes", true, false, IDYES, true},
        {"No", true, false, IDNO, false},
        {"an empty slot", true, true, IDYES, false},
        {"nothing queued", false, false, IDYES, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        ResetRunContext();
        std::vector<std::string> texts = messages;
        if (c.emptySlot) texts[MSG_RESTART] = "";
        Install({{".\\", "held.dll", 0}}, texts);
        fake::RegSetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                           "C:\\Program Files");
        if (c.held) fake::HoldOpen(kPkg + "\\held.dll");
        fake::AnswerDialogs({IDYES});
        fake::AnswerBoxes({IDOK, IDOK, c.answer});
        EXPECT_EQ(Run(""), EXIT_OK);
        size_t asked = c.held && !c.emptySlot ? 3u : 2u;
        ASSERT_EQ(fake::Boxes().size(), asked);
        if (asked == 3u) {
            EXPECT_EQ(fake::Boxes().back().text, "Restart now?");
        }
        EXPECT_EQ(fake::CallCount("ExitWindowsEx"), c.restarts ? 1 : 0);
        // The installation folder follows the held file (the program file in it is the job's);
        // before a restart, which ends the waiting job, the program file, the job's batch and
        // its folder are queued too.
        std::vector<std::string> queued;
        if (c.held) queued.push_back(kPkg + "\\held.dll");
        if (c.restarts) {
            // The first random name went to the holding folder, which stayed empty.
            const std::string job = "C:\\TEMP\\tw6564636269686766";
            for (const std::string& path : {std::string(test::kProgramPath), job + "\\Delme.bat", job}) queued.push_back(path);
        }
        if (c.held) queued.push_back(kPkg);
        EXPECT_EQ(fake::RestartQueue(), queued);
    }
}

}  // namespace
