// Leftover sweep: the files of the installation tree that match the log's patterns go, with the
// folders they leave empty, and nothing outside the tree, nor in a protected folder, is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "failure_driver.h"
#include "folder_world.h"
#include "removal/leftover_sweep.h"
#include "removal/phases.h"
#include "test_support.h"

namespace {

using Paths = std::set<std::string>;
using tidewell::Bytes;

const std::string kPkg = "C:\\Program Files\\Pkg";

class LeftoverSweep : public test::FolderPhaseTest {
protected:
    // The program file in another folder, the run started afresh for it.
    void MoveProgram(const std::string& programPath) {
        test::EndRun();
        fake::AddFile(programPath);
        fake::SetModulePath(programPath);
        ASSERT_EQ(InitRunContext(nullptr), 1);
    }

    // The list exactly as the loader keeps it: a block holding the payload's bytes and no more,
    // so that a read past its end is caught.
    static void SetPatterns(const Bytes& payload) {
        FreeAndNull(&run.patterns);
        ASSERT_TRUE(AllocRaw(static_cast<unsigned int>(payload.size()), &run.patterns));
        CopyBytes(run.patterns, payload.data(), static_cast<unsigned int>(payload.size()));
    }

    // Every path on the disk.
    static Paths Disk() {
        std::vector<std::string> tree = fake::Tree("C:\\");
        return Paths(tree.begin(), tree.end());
    }

    // Runs the phase with the patterns; the paths it removed.
    Paths Sweep(const std::vector<std::string>& patterns) {
        SetPatterns(tidewell::PatternsPayload(patterns));
        return SweepNow();
    }
    Paths SweepNow() {
        Paths before = Disk();
        size_t blocks = fake::LiveBlocks();
        fake::ClearJournal();
        SweepLeftovers();
        EXPECT_EQ(fake::LiveBlocks(), blocks) << "every level frees its blocks";
        EXPECT_EQ(fake::OpenHandles(), 0u) << "every enumeration is closed";
        EXPECT_TRUE(fake::Boxes().empty() && fake::Dialogs().empty()) << "the phase asks nothing";
        Paths after = Disk();
        Paths gone;
        for (const std::string& path : before)
            if (!after.count(path)) gone.insert(path);
        for (const std::string& path : after) EXPECT_TRUE(before.count(path)) << "made " << path;
        return gone;
    }

    static Paths Below(const std::string& folder, const std::vector<std::string>& relatives) {
        Paths paths;
        for (const std::string& relative : relatives) paths.insert(folder + "\\" + relative);
        return paths;
    }
    static void AddFiles(const std::string& folder, const std::vector<std::string>& relatives) {
        for (const std::string& relative : relatives) fake::AddFile(folder + "\\" + relative, "left");
    }
    // The folders the phase made current, in order.
    static std::vector<std::string> Entered() {
        std::vector<std::string> entered;
        for (const fake::Call& call : fake::Journal())
            if (call.api == "SetCurrentDirectoryA" && call.subject != "..") entered.push_back(call.subject + (call.ok ? "" : " (refused)"));
        return entered;
    }
};

TEST_F(LeftoverSweep, ExtensionsAreComparedFromTheLastDot) {
    AddFiles(kPkg, {"report.TMP", "a.b.log", "log", "tmp.txt", "notes.log.bak", "x.tmpl", ".log", "tmp", "a.tmp.txt"});
    EXPECT_EQ(Sweep({".tmp", ".log"}), Below(kPkg, {"report.TMP", "a.b.log", ".log"}));
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
}

TEST_F(LeftoverSweep, ADotAloneMatchesTheNamesWithoutADot) {
    AddFiles(kPkg, {"README", "readme.txt", "data\\INSTALL", "data\\install.ini"});
    EXPECT_EQ(Sweep({"."}), Below(kPkg, {"README", "data\\INSTALL"}));
    // An extension pattern other than "." alone never matches a name without a dot.
    AddFiles(kPkg, {"tmp", "log"});
    EXPECT_TRUE(Sweep({".tmp", ".log", ".."}).empty());
}

TEST_F(LeftoverSweep, AWholeNameIsFoundAtEveryDepth) {
    AddFiles(kPkg, {"cache.dat", "a\\CACHE.DAT", "a\\cache.dat.old", "a\\b\\xcache.dat", "a\\b\\c\\Cache.Dat", "a\\b\\c\\d\\cache.dat"});
    EXPECT_EQ(Sweep({"cache.dat"}),
              Below(kPkg, {"cache.dat", "a\\CACHE.DAT", "a\\b\\c\\Cache.Dat", "a\\b\\c\\d\\cache.dat", "a\\b\\c\\d", "a\\b\\c"}));
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
}

TEST_F(LeftoverSweep, OnlyTheAsciiLettersAreComparedWithoutRegardToCase) {
    // "café.dat" and "CAFÉ.DAT" in the Windows-1252 code page: É is not é.
    AddFiles(kPkg, {"CAF\xC9.DAT", "CAF\xE9.DAT", "x.\xE9t\xE9", "x.\xC9T\xC9"});
    EXPECT_EQ(Sweep({"caf\xE9.dat", ".\xE9T\xE9"}), Below(kPkg, {"CAF\xE9.DAT", "x.\xE9t\xE9"}));
}

TEST_F(LeftoverSweep, AFirstPatternBeginningWithAStarTakesEveryFileThatCanBeDeleted) {
    for (const char* first : {"*", "*.tmp"}) {
        SCOPED_TRACE(first);
        AddFiles(kPkg, {"readme.txt", "bin\\tool.exe", "bin\\sub\\core.dll", "data\\user.db", "locked\\held.dat"});
        fake::AddFile(kPkg + "\\locked\\readonly.txt", "", FILE_ATTRIBUTE_READONLY);
        fake::AddFile("C:\\Program Files\\beside.txt");
        EXPECT_EQ(Sweep({first, "kept.txt"}), Below(kPkg, {"readme.txt", "bin\\tool.exe", "bin\\sub\\core.dll", "bin\\sub", "bin",
                                                           "data\\user.db", "data", "locked\\held.dat"}));
        // The read-only file keeps its folder; the program's own file keeps the installation folder.
        EXPECT_EQ(fake::Tree(kPkg), (std::vector<std::string>{kPkg + "\\locked", kPkg + "\\locked\\readonly.txt",
                                                               test::kProgramPath}));
        fake::SetAttributes(kPkg + "\\locked\\readonly.txt", 0);
        ASSERT_TRUE(DeleteFileA((kPkg + "\\locked\\readonly.txt").c_str()));
    }
}

TEST_F(LeftoverSweep, AStarInALaterPatternIsAnOrdinaryCharacter) {
    AddFiles(kPkg, {"a.tmp", "b.log", "c.txt"});
    EXPECT_EQ(Sweep({".tmp", "*", "*.log", ".*"}), Below(kPkg, {"a.tmp"}));
}

TEST_F(LeftoverSweep, AListWhoseFirstPatternIsEmptySweepsNothing) {
    AddFiles(kPkg, {"a.tmp", "empty\\b.tmp"});
    fake::AddFolder(kPkg + "\\void");
    fake::SetCurrentDirectory("C:\\WINDOWS");
    for (const Bytes& payload : {Bytes(1, '\0'), Bytes("\0.tmp\0*\0\0", 9)}) {
        SetPatterns(payload);
        EXPECT_TRUE(SweepNow().empty());
        EXPECT_TRUE(fake::Journal().empty()) << fake::Journal().front().Line();
    }
    // No list at all.
    FreeAndNull(&run.patterns);
    EXPECT_TRUE(SweepNow().empty());
    EXPECT_TRUE(fake::Journal().empty());
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\WINDOWS");
}

TEST_F(LeftoverSweep, FoldersThatWereOrBecameEmptyGoAndAKeptFileKeepsEveryFolderAboveIt) {
    fake::AddFolder(kPkg + "\\empty\\emptier");
    AddFiles(kPkg, {"cache\\1.tmp", "cache\\2\\3.tmp", "logs\\2024\\march\\run.log", "logs\\2024\\march\\mine.txt",
                    "logs\\2024\\april\\run.log"});
    EXPECT_EQ(Sweep({".tmp", ".log"}), Below(kPkg, {"empty\\emptier", "empty", "cache\\1.tmp", "cache\\2\\3.tmp", "cache\\2",
                                                    "cache", "logs\\2024\\march\\run.log", "logs\\2024\\april\\run.log",
                                                    "logs\\2024\\april"}));
    EXPECT_TRUE(fake::Exists(kPkg + "\\logs\\2024\\march\\mine.txt"));
    // The deepest folder first, each by its full path once the sweep has left it.
    EXPECT_EQ(fake::Calls({"RemoveDirectoryA"}),
              (std::vector<std::string>{"RemoveDirectoryA " + kPkg + "\\empty\\emptier -> ok", "RemoveDirectoryA " + kPkg + "\\empty -> ok",
                                        "RemoveDirectoryA " + kPkg + "\\cache\\2 -> ok", "RemoveDirectoryA " + kPkg + "\\cache -> ok",
                                        "RemoveDirectoryA " + kPkg + "\\logs\\2024\\april -> ok"}));
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
}

TEST_F(LeftoverSweep, TheGuardIsAskedForEveryFolderAndTheWalkReturnsThroughItsParents) {
    AddFiles(kPkg, {"a\\b\\x.tmp", "c\\y.txt"});
    Sweep({".tmp"});
    EXPECT_EQ(Entered(), (std::vector<std::string>{kPkg, "a", "b", "c"}));
    // The installation folder twice (before entering it, then as the current directory) and
    // each of the three folders below it.
    EXPECT_EQ(fake::Calls({"GetWindowsDirectoryA"}).size(), 5u);
    EXPECT_EQ(fake::Calls({"SetCurrentDirectoryA"}).size(), 8u);
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
}

TEST_F(LeftoverSweep, AFileWhoseDeletionIsRefusedStaysWithoutAQuestion) {
    AddFiles(kPkg, {"held\\open.log", "denied\\x.log", "gone\\y.log"});
    fake::HoldOpen(kPkg + "\\held\\open.log");
    fake::FailDeletion(kPkg + "\\denied\\x.log", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Sweep({".log"}), Below(kPkg, {"gone\\y.log", "gone"}));
    EXPECT_TRUE(fake::Exists(kPkg + "\\held\\open.log") && fake::Exists(kPkg + "\\denied\\x.log"));
}

TEST_F(LeftoverSweep, AProtectedInstallationFolderIsNeverSwept) {
    for (const std::string& program : {std::string(test::kProgramFiles) + "\\Remove.exe", std::string("C:\\Remove.exe"),
                                       std::string("C:\\WINDOWS\\Remove.exe"), std::string(test::kDesktop) + "\\Remove.exe",
                                       std::string("c:\\program files\\common files\\Remove.exe")}) {
        SCOPED_TRACE(program);
        MoveProgram(program);
        AddFiles(kPkg, {"a.tmp"});
        fake::AddFile(program.substr(0, program.rfind('\\')) + "\\leftover.tmp");
        fake::SetCurrentDirectory("C:\\TEMP");
        EXPECT_TRUE(Sweep({"*"}).empty());
        EXPECT_TRUE(Entered().empty());
        EXPECT_EQ(fake::CurrentDirectory(), "C:\\TEMP");
    }
}

TEST_F(LeftoverSweep, AProtectedFolderBelowTheInstallationFolderIsLeftWhole) {
    // An uninstaller in the user's own folder, which holds the desktop and the start menu.
    MoveProgram("C:\\Users\\Ann\\Remove.exe");
    AddFiles(test::kDesktop, {"notes.txt", "Game\\save.dat"});
    AddFiles(test::kPrograms, {"Pkg\\Pkg.lnk"});
    fake::AddFolder(std::string(test::kStartup));
    AddFiles("C:\\Users\\Ann", {"Documents\\letter.txt", "scratch.tmp"});
    std::vector<std::string> desktop = fake::Tree(test::kDesktop);

    EXPECT_EQ(Sweep({"*"}), Below("C:\\Users\\Ann", {"Documents\\letter.txt", "Documents", "scratch.tmp"}));
    EXPECT_EQ(fake::Tree(test::kDesktop), desktop);
    EXPECT_TRUE(fake::Exists(std::string(test::kPrograms) + "\\Pkg\\Pkg.lnk") && fake::Exists(test::kStartup));
    // Each was entered only to ask the guard, and left at once.
    EXPECT_EQ(Entered(), (std::vector<std::string>{"C:\\Users\\Ann", "Desktop", "Start Menu", "Documents"}));
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\Users");
}

TEST_F(LeftoverSweep, AnInstallationFolderThatCannotBeEnteredSweepsNothing) {
    AddFiles(kPkg, {"a.tmp"});
    // Anything swept relative to where the process stands would be some other program's.
    AddFiles("C:\\Program Files\\Other", {"b.tmp", "sub\\c.tmp"});
    fake::SetCurrentDirectory("C:\\Program Files\\Other");
    fake::DenyEntry(kPkg);
    EXPECT_TRUE(Sweep({".tmp"}).empty());
    EXPECT_EQ(Entered(), (std::vector<std::string>{kPkg + " (refused)"}));
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\Program Files\\Other");
    EXPECT_STREQ(run.installDir, test::kInstallDir);
}

TEST_F(LeftoverSweep, ASubfolderThatCannotBeEnteredIsPassedOverAndKeepsItsParent) {
    AddFiles(kPkg, {"outer\\locked\\x.tmp", "outer\\open\\y.tmp", "outer\\z.tmp"});
    fake::DenyEntry(kPkg + "\\outer\\locked");
    EXPECT_EQ(Sweep({".tmp"}), Below(kPkg, {"outer\\open\\y.tmp", "outer\\open", "outer\\z.tmp"}));
    EXPECT_EQ(Entered(), (std::vector<std::string>{kPkg, "outer", "locked (refused)", "open"}));
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
}

TEST_F(LeftoverSweep, AFolderLinkIsNeverEnteredAndKeepsItsParent) {
    // A link to a folder shows the directory and reparse-point attributes (0x410 under Wine);
    // what it leads to is not the package's.
    AddFiles(kPkg, {"data\\cache.tmp", "data\\documents\\letter.tmp"});
    fake::SetAttributes(kPkg + "\\data\\documents", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    // A link to a file is itself the entry that goes.
    fake::AddFile(kPkg + "\\data\\alias.tmp", "", FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(Sweep({"*"}), Below(kPkg, {"data\\cache.tmp", "data\\alias.tmp"}));
    EXPECT_EQ(Entered(), (std::vector<std::string>{kPkg, "data"}));
    EXPECT_TRUE(fake::Exists(kPkg + "\\data\\documents\\letter.tmp"));
}

TEST_F(LeftoverSweep, ANameThePlatformWouldRewriteIsNeverEnteredNorDeleted) {
    // Beside a link "x", a user made a plain folder "x." and a file "keep.dat.": a path naming
    // either reaches "x" or "keep.dat" instead.
    AddFiles(kPkg, {"logs\\x\\secret.tmp", "logs\\keep.dat", "logs\\a.tmp"});
    fake::SetAttributes(kPkg + "\\logs\\x", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    fake::AddListedOnly(kPkg + "\\logs", "x.", true);
    fake::AddListedOnly(kPkg + "\\logs", "keep.dat.", false);
    fake::AddListedOnly(kPkg + "\\logs", "y ", true);
    EXPECT_EQ(Sweep({".tmp", "."}), Below(kPkg, {"logs\\a.tmp"}));
    EXPECT_EQ(Entered(), (std::vector<std::string>{kPkg, "logs"}));
    EXPECT_TRUE(fake::Exists(kPkg + "\\logs\\x\\secret.tmp") && fake::Exists(kPkg + "\\logs\\keep.dat"));
}

TEST_F(LeftoverSweep, AFolderThatCannotBeHeldBeforeItsEntryIsNotEntered) {
    AddFiles(kPkg, {"cache\\c.tmp"});
    // Unheld, the name could be given to a link between the check and the entry.
    fake::FailCall("CreateFileA", 1, 1, ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(Sweep({".tmp"}).empty());
    EXPECT_EQ(Entered(), (std::vector<std::string>{kPkg}));
}

TEST_F(LeftoverSweep, AFolderThatCannotBeListedIsNotSweptAndStays) {
    AddFiles(kPkg, {"a\\x.tmp"});
    // Both listings of "a" fail (the first look at it, before its entry, succeeds): it is not
    // swept, counts as empty, and its removal is refused, as it is not.
    fake::FailCall("FindFirstFileA", 3, 2);
    EXPECT_TRUE(Sweep({".tmp"}).empty());
    EXPECT_EQ(fake::Calls({"RemoveDirectoryA"}),
              (std::vector<std::string>{"RemoveDirectoryA " + kPkg + "\\a -> error " + std::to_string(ERROR_DIR_NOT_EMPTY)}));
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
}

TEST_F(LeftoverSweep, AShortageOfMemoryEndsOneLevelAndTheParentGoesOn) {
    AddFiles(kPkg, {"first\\a.tmp", "first\\deeper\\b.tmp", "second\\c.tmp", "d.tmp"});
    // Each allocation fails twice (it is retried once). The installation folder's level takes
    // blocks 1 and 2; "first" would take 3.
    SetPatterns(tidewell::PatternsPayload({".tmp"}));
    fake::FailCall("LocalAlloc", 3, 2);
    EXPECT_EQ(SweepNow(), Below(kPkg, {"second\\c.tmp", "second", "d.tmp"}));
    EXPECT_EQ(Entered(), (std::vector<std::string>{kPkg, "first", "second"}));
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
}

TEST_F(LeftoverSweep, EveryShortageOfMemoryLeavesTheWalkInTheParentWithNothingHeld) {
    const std::vector<std::string> files = {"a\\x.tmp", "a\\b\\y.tmp", "c\\z.log", "w.tmp"};
    AddFiles(kPkg, files);
    fake::AddFile("C:\\Program Files\\beside.tmp");
    const Paths full = Below(kPkg, {"a\\x.tmp", "a\\b\\y.tmp", "a\\b", "a", "w.tmp"});
    SetPatterns(tidewell::PatternsPayload({".tmp"}));
    int first = fake::CallCount("LocalAlloc");
    ASSERT_EQ(SweepNow(), full);
    int allocations = fake::CallCount("LocalAlloc") - first;
    // Two blocks at each of the four levels, and a third at each of the three removals.
    ASSERT_EQ(allocations, 10);
    Paths gone;
    test::FailurePlan plan;
    plan.apis = {"LocalAlloc"};
    plan.times = 2;  // both tries of the allocation
    plan.setUp = [&] { AddFiles(kPkg, files); };
    plan.body = [&] { gone = SweepNow(); };
    plan.check = [&](const test::FailurePoint& point) {
        EXPECT_TRUE(std::includes(full.begin(), full.end(), gone.begin(), gone.end()));
        EXPECT_EQ(std::count_if(fake::Journal().begin(), fake::Journal().end(),
                                [](const fake::Call& call) { return call.api == "LocalAlloc" && !call.ok; }),
                  point.hit ? 2 : 0);
        if (!point.hit) {
            EXPECT_EQ(gone, full);
        }
        EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
    };
    EXPECT_EQ(test::DriveFailures(plan), allocations + 1);
}

TEST_F(LeftoverSweep, AFolderWhosePathDoesNotFitIsNotSwept) {
    // Seven levels of 30 characters below the installation folder reach 230 characters; below
    // them, one folder's path has 259 characters and fits a path buffer, another's has 260.
    std::string folder = kPkg;
    Paths expected;
    for (int level = 1; level <= 7; ++level) {
        folder += "\\" + std::string(29, static_cast<char>('a' + level));
        fake::AddFile(folder + "\\x.tmp");
        expected.insert(folder + "\\x.tmp");
    }
    ASSERT_EQ(folder.size(), 230u);
    const std::string fits = folder + "\\" + std::string(28, 'f');
    const std::string over = folder + "\\" + std::string(29, 'o');
    for (const std::string& file : {fits + "\\x.tmp", over + "\\x.tmp", over + "\\deeper\\x.tmp"}) fake::AddFile(file);
    expected.insert({fits + "\\x.tmp", fits});

    EXPECT_EQ(Sweep({".tmp"}), expected);
    // The longer one was entered, its path found unreadable, and left at once: it and everything
    // below it stay, and keep every folder above.
    EXPECT_EQ(Entered().back(), std::string(29, 'o'));
    EXPECT_TRUE(fake::Exists(over + "\\x.tmp") && fake::Exists(over + "\\deeper\\x.tmp"));
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
}

TEST_F(LeftoverSweep, AFolderWhosePathCannotBeReadAtItsRemovalStays) {
    fake::AddFolder(kPkg + "\\empty");
    // The reads: the installation folder, "empty" for the guard, "empty" for its removal.
    fake::FailCall("GetCurrentDirectoryA", 3);
    EXPECT_TRUE(Sweep({".tmp"}).empty());
    EXPECT_EQ(fake::CallCount("RemoveDirectoryA"), 0);
    EXPECT_EQ(fake::CurrentDirectory(), test::kProgramFiles);
}

TEST_F(LeftoverSweep, AReturnToTheParentThatFailsKeepsTheSweepInsideTheTree) {
    AddFiles(kPkg, {"a\\x.tmp", "b\\y.tmp", "z.tmp"});
    AddFiles("C:\\Program Files", {"beside.tmp", "Other\\o.tmp"});
    // Entering the installation folder, entering "a", then leaving "a" fails: the walk goes on
    // one level too deep, where the names of the installation folder lead nowhere.
    fake::FailCall("SetCurrentDirectoryA", 3);
    Paths gone = Sweep({"*"});
    for (const std::string& path : gone) EXPECT_EQ(path.rfind(kPkg + "\\", 0), 0u) << path;
    EXPECT_TRUE(fake::Exists("C:\\Program Files\\beside.tmp") && fake::Exists("C:\\Program Files\\Other\\o.tmp"));
}

TEST(PatternMatching, ReadsTheListToItsEmptyPatternOnly) {
    fake::Reset();
    ResetRunContext();
    // The last pattern ends the buffer: a walk past it would be caught.
    Bytes payload = tidewell::PatternsPayload({".tmp", "Thumbs.db", "."});
    ASSERT_TRUE(AllocRaw(static_cast<unsigned int>(payload.size()), &run.patterns));
    CopyBytes(run.patterns, payload.data(), static_cast<unsigned int>(payload.size()));
    EXPECT_EQ(MatchesPattern("x.TMP"), 1);
    EXPECT_EQ(MatchesPattern("THUMBS.DB"), 1);
    EXPECT_EQ(MatchesPattern("README"), 1);
    EXPECT_EQ(MatchesPattern("thumbs.db.old"), 0);
    EXPECT_EQ(MatchesPattern("x.tm"), 0);
    FreeAndNull(&run.patterns);
}

}  // namespace
