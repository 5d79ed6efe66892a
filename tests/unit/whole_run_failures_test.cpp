// Whole runs of one full package, confirmed and quiet, with each platform call the removal
// depends on failing in turn, once or from then on: whatever fails, nothing outside the package
// and the log's records is touched, no protected folder goes, nothing behind a link is reached,
// nothing is left open, and a quiet run's exit code says what its report says.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "failure_driver.h"
#include "folder_world.h"
#include "log/log_format.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

const std::string kPkg = "C:\\Program Files\\Pkg";
const std::string kSharedFolder = "C:\\Program Files\\Common Files\\Pkg";
const std::string kShared = kSharedFolder + "\\shared.dll";
const std::string kMenu = std::string(test::kPrograms) + "\\Pkg";
const std::string kOutside = "C:\\Data\\keep.txt";  // files the log does not name
// beside the package, of the name of a leftover in it
const std::string kBeside = "C:\\Program Files\\w.tmp";
constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char kVictimKey[] = "Software\\Victim";
constexpr char kReport[] = "C:\\Logs\\r.txt";
constexpr char kFontsShort[] = "C:\\WINDOWS\\FONTS~1";  // the fonts folder, as a record names it

// The calls the removal depends on: deletions, folder removals, current-folder changes, path and
// folder lookups, registry opens, enumerations, value reads and change notifications, folder
// listings, file and folder creation, allocations and the restart's queue.
const std::vector<std::string> kApis = {
    "DeleteFileA",        "RemoveDirectoryA",     "SetCurrentDirectoryA", "GetFullPathNameA", "GetShortPathNameA",
    "SHGetFolderPathA",   "SHGetPathFromIDListA", "GetWindowsDirectoryA", "GetSystemDirectoryA", "GetTempPathA",
    "RegOpenKeyExA",      "RegEnumKeyExA",        "FindFirstFileA",       "FindNextFileA",    "CreateFileA",
    "CreateDirectoryA",   "LocalAlloc",           "MoveFileExA",          "RegQueryValueExA",
    "RegNotifyChangeKeyValue",
};

// Files of every flag, a tree for the sweep, a file in use and one behind a link, shared files,
// a shortcut and its folder, records naming protected folders (empty ones), registry records with a link
// among their keys, and the self-deletion at the end.
void InstallPackage() {
    test::AddSystemFolders();
    test::AddShellFolderKeys();
    // A deleted all-users Startup folder: the shell gives no location, only its path.
    fake::SetSpecialFolder(CSIDL_COMMON_STARTUP, std::string(test::kCommonPrograms) + "\\Gone");
    tidewell::LogContent content;
    content.messages = test::Catalogue();
    content.files = std::vector<tidewell::FileEntry>{
        {".\\bin", "app.exe", 0},
        {".\\bin", "gone.dll", 0},
        {".\\bin", "held.dll", 0},
        {".\\bin", "ro.txt", 0},
        {".\\bin", "every.dll", FILE_SHARED | FILE_FONT | FILE_SELFREG},
        {kSharedFolder, "shared.dll", FILE_SHARED},
        {".\\linked", "x.dat", 0},
    };
    content.folders = std::vector<tidewell::FolderEntry>{{kMenu, "Pkg.lnk"}, {kMenu, ""}, {kFontsShort, ""}, {"C:\\WINDOWS\\SYSTEM32", ""}};
    content.registry = std::vector<tidewell::RegistryEntry>{{0x80000002u, "Software\\Pkg"},
                                                            {0x80000001u, "Software\\Pkg\\\\Missing"}};
    content.patterns = std::vector<std::string>{".tmp"};
    test::InstallProgram(content);
    fake::SetShortName(test::kFonts, kFontsShort);
    for (const char* file : {"\\bin\\app.exe", "\\bin\\held.dll", "\\bin\\every.dll", "\\cache\\a.tmp",
                             "\\cache\\deep\\b.tmp", "\\cache\\deep\\keep.dat", "\\w.tmp"})
        fake::AddFile(kPkg + file);
    fake::AddFile(kPkg + "\\bin\\ro.txt", "", FILE_ATTRIBUTE_READONLY);
    fake::HoldOpen(kPkg + "\\bin\\held.dll");
    fake::AddModule(kPkg + "\\bin\\every.dll");
    fake::AddFile(kPkg + "\\linked\\x.dat");
    fake::AddFile(kPkg + "\\linked\\y.tmp");
    fake::SetAttributes(kPkg + "\\linked", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    fake::AddFile(kShared);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 3);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kPkg + "\\bin\\every.dll", 1);
    fake::AddFile(kMenu + "\\Pkg.lnk");
    fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Sub");
    fake::RegSetString(HKEY_LOCAL_MACHINE, kVictimKey, "kept", "yes");
    fake::MakeRegistryLink(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Link", HKEY_LOCAL_MACHINE, kVictimKey);
    fake::AddFile(kOutside, "before");
    fake::AddFile(kBeside, "before");
    fake::AddFolder("C:\\Logs");
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The path is the folder or lies below it.
bool Within(const std::string& path, const std::string& folder) {
    return Upper(path) == Upper(folder) || Upper(path).rfind(Upper(folder) + "\\", 0) == 0;
}

// The folders the guard protects, as the package's machine has them.
const std::vector<std::string>& ProtectedFolders() {
    static const std::vector<std::string> folders = {
        "C:\\WINDOWS",      "C:\\WINDOWS\\SYSTEM32", test::kDesktop,      test::kFonts,      test::kPrograms,
        test::kStartMenu,   test::kStartup,          test::kProgramFiles, test::kCommonFiles, test::kCommonDesktop,
        test::kCommonStartMenu, test::kCommonPrograms, test::kCommonStartup, test::kProfiles,
    };
    return folders;
}

bool IsDestructive(const std::string& api) {
    for (const char* name : {"DeleteFileA", "RemoveDirectoryA", "SetFileAttributesA", "RegDeleteKeyA", "NtDeleteKey",
                             "RegDeleteValueA", "RegSetValueExA", "RemoveFontResourceA", "MoveFileExA"})
        if (api == name) return true;
    return false;
}

// The paths a call is about: a move names two, a registry value its key.
std::vector<std::string> Subjects(const fake::Call& call) {
    const std::string& subject = call.subject;
    if (call.api != "MoveFileExA") return {subject};
    size_t to = subject.find(" to ");
    if (to != std::string::npos) return {subject.substr(0, to), subject.substr(to + 4)};
    return {subject.substr(0, subject.find(" at the restart"))};
}

// The full path a name in the current folder stands for.
std::string Resolved(const std::string& name, const std::string& current) {
    if (name.size() > 1 && name[1] == ':') return name;
    if (name == "..") return current.substr(0, current.rfind('\\'));
    return current + "\\" + name;
}

// What a run may delete or write: the package's folders, the shared file and its count, the
// shortcut's folder, the registry records, and the folders the run made for itself (the
// self-deletion's, the one for files waiting for the restart). Nothing below the link.
bool MayTouch(const std::string& path, const std::vector<std::string>& made) {
    if (Within(path, kPkg + "\\linked")) return Upper(path) == Upper(kPkg + "\\linked");
    for (const std::string& folder : {kPkg, kSharedFolder, kMenu})
        if (Within(path, folder)) return true;
    for (const std::string& folder : made)
        if (Within(path, folder)) return true;
    for (const std::string& key : {std::string("HKLM\\Software\\Pkg"), std::string("HKCU\\Software\\Pkg"),
                                   std::string("HKLM\\") + kSharedDlls})
        if (Within(path, key) || Upper(path).rfind(Upper(key) + " : ", 0) == 0) return true;
    return false;
}

// The invariants every run keeps, whatever failed in it.
void CheckRun(int code, bool quiet) {
    // Nothing outside the package and the log's records is deleted or written, no protected
    // folder is removed, nothing behind a link is reached.
    bool destroyed = false;
    std::string current = "C:";
    std::vector<std::string> made;
    for (const fake::Call& call : fake::Journal()) {
        if (call.api == "SetCurrentDirectoryA" && call.ok) current = Resolved(call.subject, current);
        if (call.api == "CreateDirectoryA" && call.ok) made.push_back(Resolved(call.subject, current));
        if (!IsDestructive(call.api)) continue;
        destroyed = true;
        for (const std::string& subject : Subjects(call)) {
            const std::string path = call.api.rfind("Reg", 0) == 0 || call.api == "NtDeleteKey" ? subject : Resolved(subject, current);
            EXPECT_TRUE(MayTouch(path, made)) << call.Line() << " (" << path << ")";
            if (call.api != "RemoveDirectoryA") continue;
            for (const std::string& folder : ProtectedFolders()) EXPECT_NE(Upper(path), Upper(folder)) << call.Line();
        }
    }
    for (const std::string& folder : ProtectedFolders()) EXPECT_TRUE(fake::IsFolder(folder)) << folder;
    EXPECT_EQ(fake::Content(kOutside), "before");
    EXPECT_TRUE(fake::Exists(kBeside));
    EXPECT_TRUE(fake::Exists(kPkg + "\\linked\\x.dat"));
    EXPECT_TRUE(fake::Exists(kPkg + "\\linked\\y.tmp"));
    EXPECT_EQ(fake::RegGetValue(HKEY_LOCAL_MACHINE, kVictimKey, "kept").value_or(fake::RegValue{}).data.substr(0, 3), "yes");

    // The early exits (no log, no window) leave what they hold to the end of the process, and
    // come before anything is removed; every other run leaves nothing open.
    if (code == EXIT_FAILED) {
        EXPECT_FALSE(destroyed);
    } else {
        EXPECT_EQ(fake::LiveBlocks(), 0u);
        EXPECT_EQ(fake::OpenHandles(), 0u);
        EXPECT_EQ(fake::OpenKeys(), 0u);
        EXPECT_EQ(fake::OutstandingIdLists(), 0u);
    }

    if (!quiet) {
        EXPECT_TRUE(code == EXIT_OK || code == EXIT_FAILED) << code;
        return;
    }
    // A quiet run's code agrees with its report, read line by line: what the log names and the
    // run kept (other than a shared file other packages use) means 1; else anything queued for
    // the restart means 3010. The totals count the same lines.
    std::vector<std::string> lines = fake::Exists(kReport) ? test::ReportLines(fake::Content(kReport)) : std::vector<std::string>{};
    if (lines.empty()) return;  // the report could not be made
    unsigned int removed = 0, kept = 0, missing = 0, queued = 0;
    int fields = std::sscanf(lines.back().c_str(), "totals: %u removed, %u kept, %u missing, %u queued", &removed,
                             &kept, &missing, &queued);
    ASSERT_GE(fields, 3) << lines.back();
    unsigned int keptLines = 0, sharedLines = 0, queuedLines = 0;
    for (const std::string& line : lines) {
        bool shared = line.rfind("file kept, other packages use it", 0) == 0;
        bool named = line.back() != '\\';  // a folder's own record names no file
        sharedLines += shared;
        queuedLines += line.rfind("file queued for the restart", 0) == 0;
        for (const char* start : {"file kept", "shortcut kept", "registry key kept", "registry value kept",
                                  "file passed over", "shortcut passed over"})
            keptLines += line.rfind(start, 0) == 0 && named;
    }
    EXPECT_EQ(kept, keptLines) << lines.back();
    EXPECT_EQ(queued, queuedLines) << lines.back();
    if (code == EXIT_FAILED) {
        EXPECT_EQ(removed + kept + missing + queued, 0u);
        return;
    }
    EXPECT_EQ(code, keptLines > sharedLines ? EXIT_KEPT : queuedLines ? EXIT_RESTART : EXIT_OK) << lines.back();
}

class WholeRun : public test::ProgramTest {
protected:
    // Every call of the list failing in turn, each point once or from then on, over a run that
    // asks (and is answered as a user would) or a quiet one.
    int Drive(bool quiet, bool forever) {
        int code = 0;
        test::FailurePlan plan;
        plan.apis = kApis;
        plan.times = forever ? fake::kFailForever : 1;
        plan.setUp = [] {
            fake::Reset();
            ResetRunContext();
            InstallPackage();
        };
        plan.body = [&] {
            if (!quiet) {
                // OK to remove; Yes for the file in use, which waits for the restart, and No to
                // all for the rest; Yes for the shared file; OK at the end; no restart now.
                fake::AnswerBoxes({IDOK, IDYES, IDOK, IDNO});
                fake::AnswerDialogs({IDYES, IDC_NOALL});
            }
            code = test::RunProgram(quiet ? std::string("/Q /L=") + kReport : std::string("/L=") + kReport);
        };
        std::set<std::string> met;
        plan.check = [&](const test::FailurePoint& point) {
            if (point.hit) met.insert(point.api);
            CheckRun(code, quiet);
        };
        int runs = test::DriveFailures(plan);
        // The package makes the run reach every call of the list.
        for (const std::string& api : kApis) EXPECT_TRUE(met.count(api)) << api << " never failed";
        RecordProperty("runs", runs);
        return runs;
    }
};

// Some 340 to 360 runs each, two or three seconds under the sanitizers.
TEST_F(WholeRun, AConfirmedRunKeepsItsBoundsWhateverFailsOnce) { Drive(false, false); }
TEST_F(WholeRun, AConfirmedRunKeepsItsBoundsWhateverFailsFromThenOn) { Drive(false, true); }
TEST_F(WholeRun, AQuietRunKeepsItsBoundsAndItsWordWhateverFailsOnce) { Drive(true, false); }
TEST_F(WholeRun, AQuietRunKeepsItsBoundsAndItsWordWhateverFailsFromThenOn) { Drive(true, true); }

}  // namespace

