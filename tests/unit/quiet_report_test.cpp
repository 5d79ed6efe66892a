// Unattended removal: the quiet switch's safe answers and exit codes, and the report of what a
// run removed and kept, line by line.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/switches.h"
#include "folder_world.h"
#include "log/log_format.h"
#include "removal/report.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

const std::string kPkg = "C:\\Program Files\\Pkg";
const std::string kShared = "C:\\Program Files\\Common Files\\Pkg\\shared.dll";
constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char kReport[] = "C:\\Logs\\removal report.txt";

// ---- The switch scan ---------------------------------------------------------------------------

struct Scan {
    bool silent;
    bool quiet;
    std::string report;
};

Scan Scanned(const char* text) {
    ResetRunContext();
    ResetReport();
    ParseSwitches(text);
    return {run.silent == 1, run.quiet == 1, ReportPath()};
}

TEST(SwitchScan, QuietAndSilentAreLettersOfTheirOwn) {
    EXPECT_TRUE(Scanned("/Q").quiet);
    EXPECT_TRUE(Scanned("-q").quiet);
    EXPECT_FALSE(Scanned("/Q").silent);
    Scan both = Scanned("/q /x");
    EXPECT_TRUE(both.quiet && both.silent);
    EXPECT_FALSE(Scanned("/qx").silent);  // one letter a switch, as before
    EXPECT_FALSE(Scanned("name /q").quiet);
}

TEST(SwitchScan, AReportPathIsTakenWholeAndNothingInItIsASwitch) {
    Scan quoted = Scanned("/L=\"C:\\path with-dashes\\-x\\a /x b.txt\" /Q");
    EXPECT_EQ(quoted.report, "C:\\path with-dashes\\-x\\a /x b.txt");
    EXPECT_TRUE(quoted.quiet);
    EXPECT_FALSE(quoted.silent);
    Scan plain = Scanned("-l=C:\\logs-x\\run/x.txt -X");
    EXPECT_EQ(plain.report, "C:\\logs-x\\run/x.txt");
    EXPECT_TRUE(plain.silent);
    EXPECT_EQ(Scanned("/X /L=\"D:\\r.txt\"/Q").report, "D:\\r.txt");
    EXPECT_TRUE(Scanned("/X /L=\"D:\\r.txt\"/Q").quiet);
}

TEST(SwitchScan, APathThatIsNotClosedOrDoesNotFitGivesNoReport) {
    Scan open = Scanned("/L=\"C:\\a -x /q");
    EXPECT_EQ(open.report, "");
    EXPECT_FALSE(open.silent || open.quiet);  // all of it lay inside the quote
    Scan tooLong = Scanned(("/L=C:\\" + std::string(300, 'r') + " /x").c_str());
    EXPECT_EQ(tooLong.report, "");
    EXPECT_TRUE(tooLong.silent);
    EXPECT_EQ(Scanned("/L C:\\r.txt").report, "");  // a report's path follows '='
    EXPECT_EQ(Scanned("/L=").report, "");
    EXPECT_EQ(Scanned("/L=\"\" /q").report, "");
}

// ---- Whole runs ----------------------------------------------------------------------------------

class QuietRun : public test::ProgramTest {
protected:
    // A package with a file of each kind of fate: removed, missing, in use, read-only, shared by
    // others, shared by nobody, behind a link; a shortcut, a folder and registry entries.
    void InstallPackage() {
        test::AddSystemFolders();
        tidewell::LogContent content;
        content.messages = test::Catalogue();
        content.files = std::vector<tidewell::FileEntry>{
            {".\\bin", "app.exe", 0},         {".\\bin", "gone.dll", 0},
            {".\\bin", "held.dll", 0},        {".\\bin", "ro.txt", 0},
            {"C:\\Program Files\\Common Files\\Pkg", "shared.dll", FILE_SHARED},
            {".\\bin", "alone.dll", FILE_SHARED}, {".\\linked", "x.dat", 0},
            {"\\Tools", "x.exe", 0},
        };
        content.folders = std::vector<tidewell::FolderEntry>{{std::string(test::kPrograms) + "\\Pkg", "Pkg.lnk"}};
        content.registry = std::vector<tidewell::RegistryEntry>{{0x80000002u, "Software\\Pkg"},
                                                                {0x80000001u, "Software\\Pkg\\\\Missing"}};
        content.patterns = std::vector<std::string>{".tmp"};
        test::InstallProgram(content);
        for (const char* file : {"\\bin\\app.exe", "\\bin\\held.dll", "\\bin\\alone.dll", "\\linked\\x.dat", "\\cache\\a.tmp"})
            fake::AddFile(kPkg + file);
        fake::AddFile(kPkg + "\\bin\\ro.txt", "", FILE_ATTRIBUTE_READONLY);
        fake::HoldOpen(kPkg + "\\bin\\held.dll");
        fake::SetAttributes(kPkg + "\\linked", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
        fake::AddFile(kShared);
        fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 3);
        fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kPkg + "\\bin\\alone.dll", 1);
        fake::AddFile(std::string(test::kPrograms) + "\\Pkg\\Pkg.lnk");
        fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Sub");
        fake::AddFolder("C:\\Logs");
    }
    int Run(const std::string& arguments) { return test::RunProgram(arguments); }
    static std::vector<std::string> Lines(const std::string& text) { return test::ReportLines(text); }
};

TEST_F(QuietRun, NoBoxAppearsEveryQuestionGetsItsSafeAnswerAndTheExitCodeSaysSomethingStayed) {
    InstallPackage();
    EXPECT_EQ(Run("/Q /L=\"" + std::string(kReport) + "\""), EXIT_KEPT);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_TRUE(fake::Dialogs().empty());
    // The file in use waits for the restart, where it stands (another program holds it without
    // sharing its deletion, so it cannot be moved); the read-only one, the shared ones and the
    // one behind the link stay; the rest of the package goes, and the self-deletion is scheduled
    // as after a confirmed run.
    for (const char* kept : {"\\bin\\held.dll", "\\bin\\ro.txt", "\\bin\\alone.dll", "\\linked\\x.dat"})
        EXPECT_TRUE(fake::Exists(kPkg + kept)) << kept;
    EXPECT_TRUE(fake::Exists(kShared));
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared), 2u);
    EXPECT_FALSE(fake::Exists(kPkg + "\\bin\\app.exe"));
    EXPECT_FALSE(fake::Exists(kPkg + "\\cache"));
    EXPECT_FALSE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Pkg"));
    EXPECT_EQ(fake::StartedProcesses().size(), 1u);

    const std::string bin = kPkg + "\\bin\\";
    EXPECT_EQ(Lines(fake::Content(kReport)),
              (std::vector<std::string>{
                  "Tidewell removal report, code page 1252: " + std::string(test::kProgramPath),
                  "file removed: " + bin + "app.exe",
                  "file missing: " + bin + "gone.dll",
                  "file queued for the restart, in use, not asked in a quiet run (error 32): " + bin + "held.dll",
                  "file kept, read-only, not asked in a quiet run (error 5): " + bin + "ro.txt",
                  "file kept, other packages use it (count 3 to 2): " + kShared,
                  "shared file, no other package uses it (count 1 to 0): " + bin + "alone.dll",
                  "file kept, shared, not asked in a quiet run: " + bin + "alone.dll",
                  "file kept, behind a link: " + kPkg + "\\linked\\x.dat",
                  "file passed over, its folder depends on the current folder: \\Tools\\x.exe",
                  // The sweep, in the order the folders are listed.
                  "folder kept, not empty: " + kPkg + "\\bin",
                  "folder not swept, a link: " + kPkg + "\\linked",
                  "folder left to the self-deletion, which removes it once empty: " + kPkg,
                  "sweep: 1 files removed, 0 files kept, 1 folders removed",
                  "shortcut removed: " + std::string(test::kPrograms) + "\\Pkg\\Pkg.lnk",
                  "folder removed: " + std::string(test::kPrograms) + "\\Pkg",
                  // The pruning, record by record.
                  "folder kept, not empty: " + kPkg + "\\bin",
                  "folder kept, not empty: C:\\Program Files\\Common Files\\Pkg",
                  "folder kept, not empty: " + kPkg + "\\bin",
                  "folder kept, behind a link: " + kPkg + "\\linked",
                  "registry key removed: HKLM\\Software\\Pkg",
                  "registry value missing: HKCU\\Software\\Pkg\\\\Missing",
                  // The first random name went to the folder for files waiting for the restart,
                  // which stayed empty (the held file could not be moved) and was removed.
                  "self-deletion scheduled: C:\\TEMP\\tw6564636269686766\\Delme.bat",
                  "totals: 3 removed, 5 kept, 2 missing, 1 queued for the restart, restart needed",
              }));
    EXPECT_EQ(fake::RestartQueue(), std::vector<std::string>{bin + "held.dll"});
}

TEST_F(QuietRun, ACleanPackageEndsWithZeroAndADamagedLogWithMinusOneAndNoBox) {
    test::InstallProgram(tidewell::LogContent{});
    EXPECT_EQ(Run("/q"), EXIT_OK);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_EQ(fake::StartedProcesses().size(), 1u);

    fake::Reset();
    ResetRunContext();
    // A log cut inside the header of the block after its messages.
    test::InstallProgram(tidewell::EncodeBlock({BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({test::Catalogue()}), std::nullopt}) +
                         std::string("\x7f"));
    fake::AddFolder("C:\\Logs");
    EXPECT_EQ(Run(std::string("/Q /L=") + "C:\\Logs\\r.txt"), EXIT_FAILED);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_EQ(Lines(fake::Content("C:\\Logs\\r.txt")),
              (std::vector<std::string>{"Tidewell removal report, code page 1252: " + std::string(test::kProgramPath),
                                        "nothing removed, the log is damaged: " + std::string(test::kProgramPath),
                                        "totals: 0 removed, 0 kept, 0 missing"}));

    // A log in another code page than the run's, here a UTF-8 one: the report says which the
    // run's is, and why nothing was removed.
    fake::Reset();
    ResetRunContext();
    fake::SetCodePage(CP_UTF8);
    tidewell::LogContent content;
    content.codePage = 1252;
    content.files = std::vector<tidewell::FileEntry>{{"C:\\A\xf1o", "a.txt", 0}};
    test::InstallProgram(content);
    fake::AddFile("C:\\A\xf1o\\a.txt");
    fake::AddFolder("C:\\Logs");
    EXPECT_EQ(Run("/Q /L=C:\\Logs\\r.txt"), EXIT_FAILED);
    EXPECT_TRUE(fake::Exists("C:\\A\xf1o\\a.txt"));
    EXPECT_EQ(Lines(fake::Content("C:\\Logs\\r.txt")),
              (std::vector<std::string>{"Tidewell removal report, UTF-8: " + std::string(test::kProgramPath),
                                        "nothing removed, the log is in another code page than this system's: " +
                                            std::string(test::kProgramPath),
                                        "totals: 0 removed, 0 kept, 0 missing"}));
}

// On a Japanese Windows (code page 932) the second byte of a character may be a backslash's or a
// letter's: 表 is 0x95 0x5C, ソ 0x83 0x5C, ヂ 0x83 0x61 and ア 0x83 0x41. Folders whose names end
// so are resolved, swept, pruned and removed whole, and a folder whose name differs from the
// Desktop's only in such a byte is not taken for it.
TEST_F(QuietRun, OnCodePage932NamesEndingInABackslashOrLetterByteAreReadWhole) {
    fake::SetCodePage(932);
    const std::string table = "\x95\x5C", so = "\x83\x5C";
    const std::string desktop = "C:\\Users\\\x83\x61\\Desktop", other = "C:\\Users\\\x83\x41\\Desktop";
    test::AddSystemFolders();
    fake::SetSpecialFolder(CSIDL_DESKTOP, desktop);
    tidewell::LogContent content;
    content.codePage = 932;
    content.messages = test::Catalogue();
    content.files = std::vector<tidewell::FileEntry>{
        {".\\" + table, "a.txt", 0}, {".\\" + table + "\\" + so + "\\", "b.txt", 0}, {other, "Pkg.lnk", 0}};
    content.patterns = std::vector<std::string>{".tmp"};
    test::InstallProgram(content);
    for (const std::string& file : {"\\" + table + "\\a.txt", "\\" + table + "\\" + so + "\\b.txt", "\\" + table + "\\" + so + "\\c.tmp"})
        fake::AddFile(kPkg + file);
    fake::AddFolder(desktop);
    fake::AddFile(other + "\\Pkg.lnk");
    fake::AddFolder("C:\\Logs");

    EXPECT_EQ(Run("/Q /X /L=C:\\Logs\\r.txt"), EXIT_OK);
    EXPECT_FALSE(fake::Exists(kPkg + "\\" + table));
    EXPECT_FALSE(fake::Exists(other));
    EXPECT_TRUE(fake::Exists(desktop));
    std::vector<std::string> lines = Lines(fake::Content("C:\\Logs\\r.txt"));
    EXPECT_EQ(lines.front(), "Tidewell removal report, code page 932: " + std::string(test::kProgramPath));
    for (const std::string& removed : {"file removed: " + kPkg + "\\" + table + "\\" + so + "\\b.txt",
                                       std::string("sweep: 1 files removed, 0 files kept, 2 folders removed"),
                                       "folder pruned: " + other, std::string("folder pruned: C:\\Users\\\x83\x41")})
        EXPECT_NE(std::find(lines.begin(), lines.end(), removed), lines.end()) << removed;
}

TEST_F(QuietRun, WithoutTheQuietSwitchTheQuestionsAreAskedAndTheExitCodesAreAsBefore) {
    InstallPackage();
    // OK, No to all for the refused files, Yes for the shared file, OK at the end.
    fake::AnswerBoxes({IDOK, IDYES, IDOK});
    fake::AnswerDialogs({IDC_NOALL});
    EXPECT_EQ(Run("/L=C:\\Logs\\asked.txt"), EXIT_OK);
    EXPECT_EQ(fake::Boxes().size(), 3u);
    EXPECT_EQ(fake::Dialogs().size(), 1u);
    EXPECT_FALSE(fake::Exists(kPkg + "\\bin\\alone.dll"));
    std::string report = fake::Content("C:\\Logs\\asked.txt");
    EXPECT_NE(report.find("file kept, in use, answered No to all (error 32): " + kPkg + "\\bin\\held.dll"), std::string::npos);
    EXPECT_NE(report.find("file removed: " + kPkg + "\\bin\\alone.dll"), std::string::npos);
}

TEST_F(QuietRun, TheReportIsWrittenOnlyIntoAPlainFileOfOneNameThatNoLinkLeadsTo) {
    const std::string header = "Tidewell removal report, code page 1252: " + std::string(test::kProgramPath);
    InstallPackage();
    // A new report: only the running account, the administrators and the system may change it.
    EXPECT_EQ(Run("/Q /L=C:\\Logs\\r.txt"), EXIT_KEPT);
    EXPECT_EQ(Lines(fake::Content("C:\\Logs\\r.txt")).front(), header);
    std::optional<fake::AccessList> list = fake::CreatedAccessList("C:\\Logs\\r.txt");
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->entries.size(), 4u);
    EXPECT_EQ(list->entries.front(), "S-1-5-21-7-8-9-1001 1f01ff 3");

    // An earlier report, longer than this one, is emptied first and keeps its own access list.
    fake::Reset();
    ResetRunContext();
    InstallPackage();
    fake::AddFile("C:\\Logs\\r.txt", std::string(20000, '#'));
    EXPECT_EQ(Run("/Q /L=C:\\Logs\\r.txt"), EXIT_KEPT);
    std::string report = fake::Content("C:\\Logs\\r.txt");
    EXPECT_EQ(report.find('#'), std::string::npos);
    EXPECT_EQ(Lines(report).back(), "totals: 3 removed, 5 kept, 2 missing, 1 queued for the restart, restart needed");
    EXPECT_FALSE(fake::CreatedAccessList("C:\\Logs\\r.txt").has_value());

    // A place another user prepared: the run goes on without a report, with the same exit code,
    // and the file the place leads to is as it was.
    const std::string victim = "C:\\WINDOWS\\SYSTEM32\\victim.txt";
    struct Place {
        const char* what;
        std::string report;
        std::function<void()> prepare;
        std::string untouched;  // a file whose content must stay "before"
    };
    const std::vector<Place> places = {
        {"the file a link to a system file", "C:\\Logs\\r.txt",
         [&] { fake::AddFile(victim, "before"); fake::AddFileLink("C:\\Logs\\r.txt", victim); }, victim},
        {"a file with another name", "C:\\Logs\\r.txt",
         [&] { fake::AddFile("C:\\Logs\\r.txt", "before"); fake::SetHardLinks("C:\\Logs\\r.txt", 2); }, "C:\\Logs\\r.txt"},
        {"its folder a link", "C:\\Logs\\Deploy\\r.txt",
         [&] {
             fake::AddFolder("C:\\Logs\\Deploy");
             fake::SetAttributes("C:\\Logs\\Deploy", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
             fake::SetReparseTag("C:\\Logs\\Deploy", IO_REPARSE_TAG_MOUNT_POINT);
             fake::AddFile("C:\\Logs\\Deploy\\r.txt", "before");
         },
         "C:\\Logs\\Deploy\\r.txt"},
    };
    for (const Place& place : places) {
        fake::Reset();
        ResetRunContext();
        InstallPackage();
        place.prepare();
        EXPECT_EQ(Run("/Q /L=\"" + place.report + "\""), EXIT_KEPT) << place.what;
        EXPECT_EQ(fake::Content(place.untouched), "before") << place.what;
        EXPECT_EQ(fake::CallCount("SetEndOfFile"), 0) << place.what;
        EXPECT_FALSE(fake::Exists(kPkg + "\\bin\\app.exe")) << place.what;
        EXPECT_EQ(fake::StartedProcesses().size(), 1u) << place.what;
    }
}

TEST_F(QuietRun, AReportThatCannotBeMadeOrWrittenChangesNothingElse) {
    InstallPackage();
    fake::DenyFileCreation("C:\\Logs");
    EXPECT_EQ(Run("/Q /L=C:\\Logs\\r.txt"), EXIT_KEPT);
    EXPECT_FALSE(fake::Exists("C:\\Logs\\r.txt"));
    EXPECT_FALSE(fake::Exists(kPkg + "\\bin\\app.exe"));
    EXPECT_EQ(fake::StartedProcesses().size(), 1u);

    // A write that fails half-way (a full disk) ends the report there; the run goes on.
    fake::Reset();
    ResetRunContext();
    InstallPackage();
    fake::FailCall("WriteFile", 3, 1, 112 /* ERROR_DISK_FULL */);
    EXPECT_EQ(Run("/Q /L=C:\\Logs\\r.txt"), EXIT_KEPT);
    EXPECT_EQ(Lines(fake::Content("C:\\Logs\\r.txt")).size(), 2u);
    EXPECT_FALSE(fake::Exists(kPkg + "\\bin\\app.exe"));
    EXPECT_FALSE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Pkg"));
    EXPECT_EQ(fake::StartedProcesses().size(), 1u);
}

}  // namespace
