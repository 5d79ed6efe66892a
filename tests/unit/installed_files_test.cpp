// The installed-file phase: where each record's file lies, the shared-use counts, fonts,
// self-registering modules, and the refused deletions with the user's answers.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/load_log.h"
#include "app/owner_window.h"
#include "base/memory.h"
#include "folder_world.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "removal/consent.h"
#include "removal/phases.h"
#include "removal/record_paths.h"
#include "removal/report.h"
#include "removal/restart_queue.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::string kDir = test::kInstallDir;
const std::string kSharedFolder = "C:\\Program Files\\Common Files\\Pkg";
const std::string kShared = kSharedFolder + "\\shared.dll";

class InstalledFiles : public test::ProgramTest {
protected:
    // A run with the catalogue loaded and the owner window up, as when the phases start.
    void Begin(std::vector<std::string> messages = test::Catalogue(),
               std::optional<std::vector<tidewell::FileEntry>> files = std::nullopt) {
        tidewell::LogContent content;
        content.messages = messages;
        content.files = files;
        test::InstallProgram(content);
        test::StartRun();
        ASSERT_EQ(LoadUninstallLog(), 1);
        ASSERT_EQ(RegisterOwnerClass(), 1);
        ASSERT_EQ(CreateOwnerWindow(), 1);
        begun = true;
    }
    // The file list as the loader keeps it: one allocation per record, strings behind the fields.
    void SetFiles(const std::vector<tidewell::FileEntry>& entries) {
        for (unsigned int i = 0; run.files && i < run.fileCount; ++i) FreeAndNull(&run.files[i]);
        FreeAndNull(&run.files);
        ASSERT_TRUE(AllocZeroed((entries.size() + 2) * sizeof(FileRecord*), &run.files));
        run.fileCount = static_cast<unsigned int>(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            const tidewell::FileEntry& entry = entries[i];
            FileRecord* record;
            ASSERT_TRUE(AllocZeroed(sizeof(FileRecord) + entry.folder.size() + entry.name.size() + 2, &record));
            char* strings = reinterpret_cast<char*>(record + 1);
            std::memcpy(strings, entry.folder.c_str(), entry.folder.size() + 1);
            std::memcpy(strings + entry.folder.size() + 1, entry.name.c_str(), entry.name.size() + 1);
            record->folder = strings;
            record->name = strings + entry.folder.size() + 1;
            record->flags = entry.flags;
            run.files[i] = record;
        }
        ASSERT_TRUE(ResolveRecordPaths());
    }
    // Runs the phase over the records, with a fresh journal.
    void Remove(const std::vector<tidewell::FileEntry>& entries) {
        SetFiles(entries);
        fake::ClearJournal();
        boxesBefore = fake::Boxes().size();
        dialogsBefore = fake::Dialogs().size();
        RemoveInstalledFiles();
    }
    void TearDown() override {
        if (begun) {
            CloseOwnerWindow();
            test::EndRun();
            EXPECT_EQ(fake::LiveBlocks(), 0u);
            EXPECT_EQ(fake::LoadedModules(), 0);
        }
        ProgramTest::TearDown();
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (size_t i = boxesBefore; i < fake::Boxes().size(); ++i) texts.push_back(fake::Boxes()[i].text);
        return texts;
    }
    std::vector<std::string> Prompts() const {
        std::vector<std::string> prompts;
        for (size_t i = dialogsBefore; i < fake::Dialogs().size(); ++i) prompts.push_back(fake::Dialogs()[i].texts.at(IDC_PROMPT));
        return prompts;
    }
    static std::string SharedQuestion(const std::string& path) { return "Shared:\n" + path + "\nRemove?"; }
    static std::string ReadOnlyQuestion(const std::string& path) { return "Read-only:\n" + path + "\nRemove?"; }
    static std::optional<fake::RegValue> Count(const std::string& path) {
        return fake::RegGetValue(HKEY_LOCAL_MACHINE, kSharedDlls, path);
    }

    bool begun = false;
    size_t boxesBefore = 0;
    size_t dialogsBefore = 0;
};

// ---- Where the file lies ---------------------------------------------------------------------

TEST_F(InstalledFiles, TheRecordsOfTheLogAreWorkedThroughInListOrder) {
    Begin(test::Catalogue(), std::vector<tidewell::FileEntry>{{".\\b", "2.dll"}, {".\\a", "1.dll"}, {".\\a", ""}});
    fake::AddFile(kDir + "a\\1.dll");
    fake::AddFile(kDir + "b\\2.dll");
    fake::ClearJournal();
    RemoveInstalledFiles();
    EXPECT_EQ(fake::DestructiveCalls(), (std::vector<std::string>{
                                            "DeleteFileA " + kDir + "b\\2.dll -> ok",
                                            "DeleteFileA " + kDir + "a\\1.dll -> ok",
                                            "RemoveDirectoryA " + kDir + "a -> ok",
                                        }));
}

TEST_F(InstalledFiles, AnEmptyListDoesNothing) {
    Begin();
    Remove({});
    EXPECT_TRUE(fake::Journal().empty());
}

TEST_F(InstalledFiles, FoldersBeginningWithADotLieInTheInstallationFolder) {
    Begin();
    Remove({{".\\sub\\dir", "a.dll"}, {".\\", "b.dll"}, {"..\\other", "c.dll"}, {".name", "d.dll"}, {".", "e.dll"}});
    EXPECT_EQ(fake::Calls({"DeleteFileA"}), (std::vector<std::string>{
                                                "DeleteFileA " + kDir + "sub\\dir\\a.dll -> error 3",
                                                "DeleteFileA " + kDir + "b.dll -> error 2",
                                                "DeleteFileA " + kDir + "c.dll -> error 2",
                                                "DeleteFileA " + kDir + "d.dll -> error 2",
                                                "DeleteFileA " + kDir + "e.dll -> error 2",
                                            }));
}

TEST_F(InstalledFiles, AbsoluteFoldersStandAsTheyAreAndRelativeOnesLieInTheInstallationFolder) {
    Begin();
    // Started from the system folder, whose files of the records' names must stay.
    fake::SetCurrentDirectory("C:\\WINDOWS\\SYSTEM32");
    for (const char* decoy : {"C:\\WINDOWS\\SYSTEM32\\x.dll", "C:\\WINDOWS\\SYSTEM32\\sub\\y.dll", "C:\\z.dll",
                              "C:\\WINDOWS\\SYSTEM32\\w.dll"})
        fake::AddFile(decoy);
    fake::AddFile("C:\\Windows\\Fonts\\f.ttf");
    fake::AddFile("\\\\server\\share\\n.dll");
    for (const char* own : {"x.dll", "sub\\y.dll", "in.dll"}) fake::AddFile(kDir + own);
    Remove({{"C:\\Windows\\Fonts", "f.ttf"}, {"", "x.dll"}, {"sub", "y.dll"}, {"C:\\Program Files\\Pkg\\", "in.dll"},
            {"\\\\server\\share", "n.dll"}, {"\\", "z.dll"}, {"C:", "w.dll"}});
    EXPECT_EQ(fake::Calls({"DeleteFileA"}), (std::vector<std::string>{
                                                "DeleteFileA C:\\Windows\\Fonts\\f.ttf -> ok",
                                                "DeleteFileA " + kDir + "x.dll -> ok",
                                                "DeleteFileA " + kDir + "sub\\y.dll -> ok",
                                                "DeleteFileA " + kDir + "in.dll -> ok",
                                                "DeleteFileA \\\\server\\share\\n.dll -> ok",
                                            }));
    for (const char* decoy : {"C:\\WINDOWS\\SYSTEM32\\x.dll", "C:\\WINDOWS\\SYSTEM32\\sub\\y.dll", "C:\\z.dll",
                              "C:\\WINDOWS\\SYSTEM32\\w.dll"})
        EXPECT_TRUE(fake::Exists(decoy)) << decoy;
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\WINDOWS\\SYSTEM32");
}

TEST_F(InstalledFiles, ARecordWithoutANameNeverRemovesAProtectedFolderWhateverItsSpelling) {
    Begin();
    test::AddSystemFolders();
    fake::AddFolder(kDir + "cache");
    Remove({{"C:/Users/Ann/Desktop", ""}, {std::string(test::kDesktop) + "\\.", ""}, {std::string(test::kDesktop) + "\\x\\..", ""},
            {"C:\\Users\\Ann\\\\Desktop", ""}, {std::string(test::kDesktop) + " .", ""}, {".\\cache", ""}});
    EXPECT_EQ(fake::DestructiveCalls(), std::vector<std::string>{"RemoveDirectoryA " + kDir + "cache -> ok"});
    EXPECT_TRUE(fake::IsFolder(test::kDesktop));
}

TEST_F(InstalledFiles, AFileThatIsNotThereIsPassedOverWithoutAQuestion) {
    Begin();
    Remove({{".\\bin", "gone.dll"}});
    EXPECT_TRUE(fake::Dialogs().empty());
    EXPECT_TRUE(fake::Boxes().empty());
}

// ---- Folder records --------------------------------------------------------------------------

TEST_F(InstalledFiles, ARecordWithoutANameRemovesItsFolderWhenEmptyAndLooksAtNoFlag) {
    Begin();
    fake::AddFolder(kDir + "empty");
    fake::AddFile(kDir + "full\\keep.txt");
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kDir + "empty", 1);
    Remove({{".\\empty", "", FILE_SHARED | FILE_FONT | FILE_SELFREG}, {".\\full", ""}, {".\\", ""}});
    EXPECT_EQ(fake::Calls({"RemoveDirectoryA"}), (std::vector<std::string>{
                                                     "RemoveDirectoryA " + kDir + "empty -> ok",
                                                     "RemoveDirectoryA " + kDir + "full -> error 145",
                                                     "RemoveDirectoryA " + kDir + " -> error 145",
                                                 }));
    EXPECT_FALSE(fake::Exists(kDir + "empty"));
    EXPECT_TRUE(fake::Exists(kDir + "full\\keep.txt"));
    EXPECT_EQ(fake::DestructiveCalls().size(), 3u);
    // The shared count is neither read nor counted down (the guard reads the version key).
    for (const std::string& open : fake::Calls({"RegOpenKeyExA"})) EXPECT_EQ(open.find("SharedDLLs"), std::string::npos) << open;
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kDir + "empty"), 1u);
    EXPECT_EQ(fake::FontChangeBroadcasts(), 0);
    EXPECT_TRUE(fake::Boxes().empty());
}

TEST_F(InstalledFiles, ARecordWithoutANameNeverRemovesAProtectedFolder) {
    Begin();
    const std::string desktop = "C:\\Users\\Ann\\Desktop";
    const std::string programs = "C:\\Users\\Ann\\Start Menu\\Programs";
    fake::SetSpecialFolder(CSIDL_DESKTOP, desktop);
    fake::SetSpecialFolder(CSIDL_PROGRAMS, programs);
    fake::AddFolder(desktop);
    fake::AddFolder(programs + "\\Pkg");
    fake::AddFile(desktop + "\\Pkg.lnk");
    // The shortcut goes, then its folder, which is the (now empty) desktop; then the package's
    // own menu folder and the programs folder above it.
    Remove({{desktop, "Pkg.lnk"}, {desktop + "\\", ""}, {programs + "\\Pkg", ""}, {"c:\\users\\ann\\start menu\\PROGRAMS", ""},
            {"C:\\", ""}});
    EXPECT_EQ(fake::DestructiveCalls(), (std::vector<std::string>{"DeleteFileA " + desktop + "\\Pkg.lnk -> ok",
                                                                  "RemoveDirectoryA " + programs + "\\Pkg -> ok"}));
    EXPECT_TRUE(fake::IsFolder(desktop));
    EXPECT_TRUE(fake::IsFolder(programs));
    EXPECT_EQ(fake::OutstandingIdLists(), 0u);
}

// ---- Paths that do not fit -------------------------------------------------------------------

TEST_F(InstalledFiles, ARecordWhosePathDoesNotFitIsPassedOverWhole) {
    Begin();
    std::string folder = "C:\\" + std::string(250, 'f');  // 253 characters
    std::string fits = std::string(5, 'n');                // 253 + 1 + 5 = 259: fits with its terminator
    std::string tooLong = std::string(6, 'n');
    fake::AddFile(folder + "\\" + fits);
    fake::AddFile(folder + "\\" + tooLong);
    fake::SetAttributes(folder + "\\" + tooLong, FILE_ATTRIBUTE_READONLY);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, folder + "\\" + tooLong, 1);
    fake::AddFontResource(folder + "\\" + tooLong);
    fake::AnswerBoxes({IDYES});
    fake::AnswerDialogs({IDYES});
    const unsigned char all = FILE_SHARED | FILE_FONT | FILE_SELFREG;
    Remove({{folder, tooLong, all},
            {std::string(260, 'd'), "", 0},
            {".\\" + std::string(260 - kDir.size(), 's'), "x.dll", all},
            {folder, fits, 0}});
    // Only the last record, whose path fits exactly, reached the disk.
    EXPECT_EQ(fake::DestructiveCalls(), std::vector<std::string>{"DeleteFileA " + folder + "\\" + fits + " -> ok"});
    EXPECT_EQ(fake::CallCount("RegOpenKeyExA"), 0);
    EXPECT_EQ(fake::CallCount("LoadLibraryA"), 0);
    EXPECT_EQ(fake::FontChangeBroadcasts(), 0);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_TRUE(fake::Dialogs().empty());
    EXPECT_TRUE(fake::Exists(folder + "\\" + tooLong));
    EXPECT_EQ(Count(folder + "\\" + tooLong)->data.size(), 4u);
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, folder + "\\" + tooLong), 1u);
}

// ---- Shared-use counts -----------------------------------------------------------------------

TEST_F(InstalledFiles, ACountAboveOneIsCountedDownAndKeepsTheFileWithoutAnyOtherStep) {
    Begin();
    fake::AddFile(kShared);
    fake::AddFontResource(kShared);
    fake::AddModule(kShared, [] { ADD_FAILURE() << "unregistered"; });
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 3);
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED | FILE_FONT | FILE_SELFREG}});
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared), 2u);
    EXPECT_EQ(Count(kShared)->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_TRUE(fake::Exists(kShared));
    EXPECT_TRUE(fake::FontResourceLoaded(kShared));
    EXPECT_EQ(fake::CallCount("LoadLibraryA"), 0);
    EXPECT_EQ(fake::FontChangeBroadcasts(), 0);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_EQ(fake::Calls({"RegOpenKeyExA"}), std::vector<std::string>{"RegOpenKeyExA HKLM\\" + std::string(kSharedDlls) + " -> ok"});
}

TEST_F(InstalledFiles, ACountOfOneFallsToZeroAndTheUserDecides) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 1);
    fake::AnswerBoxes({IDNO});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    // No: the count stays at zero and so does the file.
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SharedQuestion(kShared)});
    EXPECT_EQ(fake::Boxes().back().flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(fake::Boxes().back().owner, run.ownerWindow);
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared), 0u);
    EXPECT_TRUE(fake::Exists(kShared));

    // A later removal of the same file finds zero, writes zero back and asks again; Yes removes both.
    fake::AnswerBoxes({IDYES});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SharedQuestion(kShared)});
    EXPECT_EQ(fake::DestructiveCalls(), (std::vector<std::string>{
                                            "RegSetValueExA HKLM\\" + std::string(kSharedDlls) + " : " + kShared + " = 0 -> ok",
                                            "RegDeleteValueA HKLM\\" + std::string(kSharedDlls) + " : " + kShared + " -> ok",
                                            "DeleteFileA " + kShared + " -> ok",
                                        }));
    EXPECT_FALSE(Count(kShared));
    EXPECT_FALSE(fake::Exists(kShared));
}

TEST_F(InstalledFiles, TheCountIsWrittenBackBeforeTheQuestion) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 1);
    fake::AnswerBoxes({IDYES});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    std::vector<std::string> calls = fake::Calls({"RegOpenKeyExA", "RegQueryValueExA", "RegSetValueExA", "MessageBoxA",
                                                  "RegDeleteValueA", "RegCloseKey", "DeleteFileA"});
    ASSERT_EQ(calls.size(), 7u);
    const char* order[] = {"RegOpenKeyExA", "RegQueryValueExA", "RegSetValueExA", "MessageBoxA", "RegDeleteValueA", "RegCloseKey", "DeleteFileA"};
    for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].rfind(order[i], 0), 0u) << calls[i];
}

TEST_F(InstalledFiles, ACountOfZeroIsWrittenBackAsZeroAndAsked) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 0);
    fake::AnswerBoxes({IDNO, IDYES});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_EQ(fake::DestructiveCalls(), std::vector<std::string>{"RegSetValueExA HKLM\\" + std::string(kSharedDlls) + " : " + kShared + " = 0 -> ok"});
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared), 0u);
    EXPECT_TRUE(fake::Exists(kShared));
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_FALSE(Count(kShared));
    EXPECT_FALSE(fake::Exists(kShared));
}

TEST_F(InstalledFiles, AMissingValueIsAskedAboutAndNothingIsWritten) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, "C:\\other.dll", 2);
    fake::AnswerBoxes({IDNO, IDYES});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SharedQuestion(kShared)});
    EXPECT_TRUE(fake::DestructiveCalls().empty());
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_FALSE(fake::Exists(kShared));
    EXPECT_EQ(fake::Calls({"RegSetValueExA"}).size(), 0u);
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, "C:\\other.dll"), 2u);
}

TEST_F(InstalledFiles, AValueLongerThanACountIsAskedAboutAndGoesOnYes) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetValue(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, REG_QWORD, std::string("\x05\0\0\0\0\0\0\0", 8));
    fake::AnswerBoxes({IDNO, IDYES});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SharedQuestion(kShared)});
    EXPECT_TRUE(fake::DestructiveCalls().empty());
    EXPECT_EQ(Count(kShared)->data.size(), 8u);
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_FALSE(Count(kShared));
    EXPECT_FALSE(fake::Exists(kShared));
}

TEST_F(InstalledFiles, AValueWithoutDataCountsAsOneAndIsWrittenBackEmpty) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetValue(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, REG_BINARY, "");
    fake::AnswerBoxes({IDNO});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_EQ(fake::DestructiveCalls(), std::vector<std::string>{"RegSetValueExA HKLM\\" + std::string(kSharedDlls) + " : " + kShared + " = type 3 size 0 -> ok"});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SharedQuestion(kShared)});
    EXPECT_TRUE(fake::Exists(kShared));
}

TEST_F(InstalledFiles, ShortOrOddlyTypedDataIsCountedInItsOwnTypeAndSize) {
    Begin();
    fake::AddFile(kShared);
    fake::AddFile("C:\\b.dll");
    // Two bytes replace the low half of the preset count; the type is kept when written back.
    fake::RegSetValue(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, REG_BINARY, std::string("\x03\x00", 2));
    fake::RegSetValue(HKEY_LOCAL_MACHINE, kSharedDlls, "C:\\b.dll", REG_SZ, std::string("\x02\x00\x00\x00", 4));
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}, {"C:\\", "b.dll", FILE_SHARED}});
    EXPECT_EQ(Count(kShared)->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(Count(kShared)->data, std::string("\x02\x00", 2));
    EXPECT_EQ(Count("C:\\b.dll")->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Count("C:\\b.dll")->data, std::string("\x01\x00\x00\x00", 4));
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_TRUE(fake::Exists(kShared));
}

TEST_F(InstalledFiles, WithoutTheSharedKeyTheUserDecidesAndTheRegistryIsLeftAlone) {
    Begin();
    fake::AddFile(kShared);
    fake::AddFile("C:\\b.dll");
    fake::AnswerBoxes({IDYES, IDNO});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}, {"C:\\", "b.dll", FILE_SHARED}});
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{SharedQuestion(kShared), SharedQuestion("C:\\b.dll")}));
    EXPECT_EQ(fake::DestructiveCalls(), std::vector<std::string>{"DeleteFileA " + kShared + " -> ok"});
    EXPECT_FALSE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, kSharedDlls));
    EXPECT_TRUE(fake::Exists("C:\\b.dll"));
}

TEST_F(InstalledFiles, WithoutTheRightToWriteTheCountsACountAboveOneStillKeepsTheFile) {
    Begin();
    const std::string once = kSharedFolder + "\\once.dll";
    const std::string uncounted = kSharedFolder + "\\uncounted.dll";
    for (const std::string& file : {kShared, once, uncounted}) fake::AddFile(file);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 5);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, once, 1);
    // A user without write access to the machine's keys: the counts can be read, not changed.
    fake::RegDenyAccess(HKEY_LOCAL_MACHINE, kSharedDlls, KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK);
    fake::AnswerBoxes({IDYES, IDNO});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}, {kSharedFolder, "once.dll", FILE_SHARED},
            {kSharedFolder, "uncounted.dll", FILE_SHARED}});
    // Another package uses the first: no question, the file and its count stay. The others are
    // put to the user as before, and no count changes.
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{SharedQuestion(once), SharedQuestion(uncounted)}));
    EXPECT_EQ(fake::DestructiveCalls(), std::vector<std::string>{"DeleteFileA " + once + " -> ok"});
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared), 5u);
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, once), 1u);
    EXPECT_TRUE(fake::Exists(kShared));
    EXPECT_TRUE(fake::Exists(uncounted));
}

TEST_F(InstalledFiles, AKeyThatCannotBeOpenedLeadsToTheQuestion) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 5);
    fake::RegFail(HKEY_LOCAL_MACHINE, kSharedDlls, "open", ERROR_ACCESS_DENIED);
    fake::AnswerBoxes({IDNO});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SharedQuestion(kShared)});
    EXPECT_TRUE(fake::DestructiveCalls().empty());
}

TEST_F(InstalledFiles, ASharedQuestionThatCannotBeShownCountsAsNo) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 1);
    fake::FailCall("MessageBoxA");
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_TRUE(fake::Exists(kShared));
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared), 0u);
}

TEST_F(InstalledFiles, NoMemoryForTheSharedQuestionCountsAsYes) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 1);
    SetFiles({{kSharedFolder, "shared.dll", FILE_SHARED}});
    fake::FailCall("LocalAlloc", 1, 2, ERROR_NOT_ENOUGH_MEMORY);
    RemoveInstalledFiles();
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_FALSE(Count(kShared));
    EXPECT_FALSE(fake::Exists(kShared));
}

TEST_F(InstalledFiles, AnEmptySharedQuestionIsStillPut) {
    std::vector<std::string> messages = test::Catalogue();
    messages[MSG_SHARED_UNUSED] = "";
    Begin(messages);
    fake::AddFile(kShared);
    fake::AnswerBoxes({IDYES});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{""});
    EXPECT_FALSE(fake::Exists(kShared));
}

// ---- Fonts and self-registering modules -------------------------------------------------------

TEST_F(InstalledFiles, ARecordWithEveryFlagGoesThroughEveryStepInOrder) {
    Begin();
    fake::AddFile(kShared);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 1);
    fake::AddFontResource(kShared);
    int unregistered = 0;
    fake::AddModule(kShared, [&unregistered] { ++unregistered; });
    fake::AnswerBoxes({IDYES});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED | FILE_FONT | FILE_SELFREG}});
    std::string value = "HKLM\\" + std::string(kSharedDlls) + " : " + kShared;
    EXPECT_EQ(fake::Calls({"RegSetValueExA", "MessageBoxA", "RegDeleteValueA", "RemoveFontResourceA", "SendMessageTimeoutA",
                           "LoadLibraryA", "GetProcAddress", "DllUnregisterServer", "FreeLibrary", "DeleteFileA"}),
              (std::vector<std::string>{
                  "RegSetValueExA " + value + " = 0 -> ok",
                  "MessageBoxA " + SharedQuestion(kShared) + " -> ok",
                  "RegDeleteValueA " + value + " -> ok",
                  "RemoveFontResourceA " + kShared + " -> ok",
                  // A hung window cannot hold the run: it is passed over, and the others have a second each.
                  "SendMessageTimeoutA broadcast 29 flags 2 timeout 1000 -> ok",
                  "LoadLibraryA " + kShared + " -> ok",
                  "GetProcAddress DllUnregisterServer -> ok",
                  "DllUnregisterServer 0 -> ok",
                  "FreeLibrary " + kShared + " -> ok",
                  "DeleteFileA " + kShared + " -> ok",
              }));
    EXPECT_EQ(unregistered, 1);
    EXPECT_FALSE(fake::FontResourceLoaded(kShared));
    EXPECT_EQ(fake::FontChangeBroadcasts(), 1);
}

TEST_F(InstalledFiles, TheFontChangeIsBroadcastEvenWhenNoFontWasLoaded) {
    Begin();
    fake::AddFile("C:\\Windows\\Fonts\\a.ttf");
    Remove({{"C:\\Windows\\Fonts", "a.ttf", FILE_FONT}});
    EXPECT_EQ(fake::Calls({"RemoveFontResourceA"}), std::vector<std::string>{"RemoveFontResourceA C:\\Windows\\Fonts\\a.ttf -> error 2"});
    EXPECT_EQ(fake::FontChangeBroadcasts(), 1);
    EXPECT_FALSE(fake::Exists("C:\\Windows\\Fonts\\a.ttf"));
}

TEST_F(InstalledFiles, AModuleThatCannotBeLoadedOrHasNoEntryIsStillDeleted) {
    Begin();
    fake::AddFile(kDir + "plain.dll");
    fake::AddFile(kDir + "data.bin");
    fake::AddModule(kDir + "plain.dll");  // loads, but has no DllUnregisterServer
    Remove({{".\\", "plain.dll", FILE_SELFREG}, {".\\", "data.bin", FILE_SELFREG}});
    EXPECT_EQ(fake::Calls({"LoadLibraryA", "GetProcAddress", "FreeLibrary", "DeleteFileA"}),
              (std::vector<std::string>{
                  "LoadLibraryA " + kDir + "plain.dll -> ok",
                  "GetProcAddress DllUnregisterServer -> error 127",
                  "FreeLibrary " + kDir + "plain.dll -> ok",
                  "DeleteFileA " + kDir + "plain.dll -> ok",
                  "LoadLibraryA " + kDir + "data.bin -> error 126",
                  "DeleteFileA " + kDir + "data.bin -> ok",
              }));
}

TEST_F(InstalledFiles, AModulesDependenciesComeFromItsFolderAndTheSystemsOnly) {
    // NT with the safe search: the module's folder and the system folders; the 95 family has
    // only the altered search path, and still unregisters the module.
    Begin();
    int unregistered = 0;
    for (const char* name : {"nt.dll", "w95.dll"}) {
        fake::AddFile(kDir + name);
        fake::AddModule(kDir + name, [&unregistered] { ++unregistered; });
    }
    Remove({{".\\", "nt.dll", FILE_SELFREG}});
    EXPECT_EQ(fake::LastLoadFlags(), DWORD(LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
    fake::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    Remove({{".\\", "w95.dll", FILE_SELFREG}});
    EXPECT_EQ(fake::LastLoadFlags(), DWORD(LOAD_WITH_ALTERED_SEARCH_PATH));
    EXPECT_EQ(unregistered, 2);
    EXPECT_FALSE(fake::Exists(kDir + "nt.dll"));
    EXPECT_FALSE(fake::Exists(kDir + "w95.dll"));
}

TEST_F(InstalledFiles, AFontOrModuleOnARelativePathIsTheInstallationFoldersOwn) {
    // Relative to the current folder, a name would be searched for along the platform's paths:
    // another module of that name would be unregistered, another font unloaded.
    Begin();
    fake::SetCurrentDirectory("C:\\Work");
    fake::AddFile("C:\\Work\\tool.dll");
    fake::AddFile("C:\\Work\\sub\\face.ttf");
    fake::AddFile(kDir + "tool.dll");
    fake::AddFile(kDir + "sub\\face.ttf");
    fake::AddFontResource(kDir + "sub\\face.ttf");
    int unregisteredElsewhere = 0;
    int unregistered = 0;
    fake::AddModule("C:\\WINDOWS\\SYSTEM32\\tool.dll", [&unregisteredElsewhere] { ++unregisteredElsewhere; });
    fake::AddModule("C:\\Work\\tool.dll", [&unregisteredElsewhere] { ++unregisteredElsewhere; });
    fake::AddModule(kDir + "tool.dll", [&unregistered] { ++unregistered; });
    Remove({{"", "tool.dll", FILE_SELFREG}, {"sub", "face.ttf", FILE_FONT}});
    EXPECT_EQ(unregisteredElsewhere, 0);
    EXPECT_EQ(unregistered, 1);
    EXPECT_FALSE(fake::FontResourceLoaded(kDir + "sub\\face.ttf"));
    EXPECT_EQ(fake::Calls({"DeleteFileA"}),
              (std::vector<std::string>{"DeleteFileA " + kDir + "tool.dll -> ok", "DeleteFileA " + kDir + "sub\\face.ttf -> ok"}));
    EXPECT_TRUE(fake::Exists("C:\\Work\\tool.dll"));
    EXPECT_TRUE(fake::Exists("C:\\Work\\sub\\face.ttf"));
}

TEST_F(InstalledFiles, FontsAndModulesOnANetworkShareAreHandled) {
    Begin();
    fake::AddFile("\\\\server\\share\\net.dll");
    Remove({{"\\\\server\\share", "net.dll", FILE_SELFREG | FILE_FONT}});
    EXPECT_EQ(fake::Calls({"LoadLibraryA"}), std::vector<std::string>{"LoadLibraryA \\\\server\\share\\net.dll -> error 126"});
    EXPECT_EQ(fake::FontChangeBroadcasts(), 1);
}

// ---- Refused deletions -----------------------------------------------------------------------

TEST_F(InstalledFiles, OnlyTheAccessDeniedCodesLeadToTheQuestion) {
    Begin();
    const std::string path = kDir + "f.dll";
    std::set<DWORD> expected = {5, 16, 65, 82, 83, 108, 132, 158, 167};
    for (DWORD code = 19; code <= 36; ++code) expected.insert(code);
    std::set<DWORD> asked;
    fake::AddFile(path);
    SetFiles({{".\\", "f.dll"}});
    for (DWORD code = 1; code < 1400; ++code) {
        fake::FailDeletion(path, code, /*forever=*/true);
        size_t before = fake::Dialogs().size();
        RemoveInstalledFiles();  // nobody answers: the dialog is closed, which keeps the file
        if (fake::Dialogs().size() > before) asked.insert(code);
    }
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(RefusedFilesPolicy(), -1);
}

TEST_F(InstalledFiles, YesClearsTheReadOnlyAttributeAndDeletesWithoutAskingAgain) {
    Begin();
    const std::string path = kDir + "ro.dll";
    fake::AddFile(path, "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    fake::AnswerDialogs({IDYES});
    Remove({{".\\", "ro.dll"}});
    EXPECT_EQ(Prompts(), std::vector<std::string>{ReadOnlyQuestion(path)});
    EXPECT_EQ(fake::DestructiveCalls(), (std::vector<std::string>{
                                            "DeleteFileA " + path + " -> error 5",
                                            "SetFileAttributesA " + path + " " + std::to_string(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE) + " -> ok",
                                            "DeleteFileA " + path + " -> ok",
                                        }));
    EXPECT_EQ(RefusedFilesPolicy(), -1);
}

TEST_F(InstalledFiles, AFileHeldOpenGoesToTheRestartOnYesWithoutAnotherQuestionAndStaysOnNo) {
    Begin();
    run.isNT = 1;
    const std::string held = kDir + "held.dll", kept = kDir + "kept.dll";
    fake::AddFile(held);
    fake::AddFile(kept);
    fake::HoldOpen(held);
    fake::HoldOpen(kept);
    fake::AnswerDialogs({IDYES, IDNO});
    Remove({{".\\", "held.dll"}, {".\\", "kept.dll"}});
    EXPECT_EQ(Prompts(), (std::vector<std::string>{ReadOnlyQuestion(held), ReadOnlyQuestion(kept)}));
    // Another program holds it without sharing its deletion: it cannot be moved, and is queued
    // where it stands.
    EXPECT_EQ(fake::RestartQueue(), std::vector<std::string>{held});
    EXPECT_TRUE(fake::Exists(held));
    EXPECT_EQ(Counts()->queued, 1u);
    EXPECT_EQ(RefusedFilesPolicy(), -1);
    QueueStayingFolders(0);  // as the run ends: the holding folder, empty, goes at once
}

TEST_F(InstalledFiles, AFileLetGoWhileTheQuestionIsUpGoesOnYes) {
    Begin();
    const std::string path = kDir + "held.dll";
    fake::AddFile(path);
    fake::HoldOpen(path);
    fake::ScriptDialogs({{IDYES, [&path](HWND) { fake::HoldOpen(path, false); }}});
    Remove({{".\\", "held.dll"}});
    EXPECT_EQ(Prompts().size(), 1u);
    EXPECT_FALSE(fake::Exists(path));
    EXPECT_TRUE(fake::RestartQueue().empty());
}

TEST_F(InstalledFiles, AFolderReplacedByALinkWhileTheQuestionIsUpIsNotFollowed) {
    Begin();
    run.isNT = 1;
    const std::string folder = kDir + "data";
    fake::AddFile(folder + "\\locked.dat", "", FILE_ATTRIBUTE_READONLY);
    // The user answers Yes; meanwhile another user made the folder a link.
    fake::ScriptDialogs({{IDYES, [&folder](HWND) {
                              fake::SetAttributes(folder, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
                          }}});
    Remove({{".\\data", "locked.dat"}});
    EXPECT_EQ(Prompts().size(), 1u);
    EXPECT_EQ(fake::Calls({"DeleteFileA"}).size(), 1u);
    EXPECT_TRUE(fake::Exists(folder + "\\locked.dat"));
}

TEST_F(InstalledFiles, AfterYesAPlainFailureEndsTheLoopWithoutAnotherQuestion) {
    Begin();
    const std::string path = kDir + "locked.dll";
    fake::AddFile(path);
    fake::FailDeletion(path, ERROR_LOCK_VIOLATION);
    fake::ScriptDialogs({{IDYES, [&path](HWND) { fake::FailDeletion(path, ERROR_PATH_NOT_FOUND); }}});
    Remove({{".\\", "locked.dll"}});
    EXPECT_EQ(Prompts().size(), 1u);
    EXPECT_EQ(fake::Calls({"DeleteFileA"}).size(), 2u);
}

TEST_F(InstalledFiles, YesToAllRetriesThisAndEveryLaterRefusedFileOnceWithoutAsking) {
    Begin();
    fake::AddFile(kDir + "a.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(kDir + "b.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(kDir + "held.dll");
    fake::AddFile(kDir + "c.dll", "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    fake::HoldOpen(kDir + "held.dll");
    fake::AnswerDialogs({IDC_YESALL});
    Remove({{".\\", "a.dll"}, {".\\", "b.dll"}, {".\\", "held.dll"}, {".\\", "c.dll"}});
    EXPECT_EQ(Prompts(), std::vector<std::string>{ReadOnlyQuestion(kDir + "a.dll")});
    EXPECT_EQ(RefusedFilesPolicy(), 1);
    EXPECT_FALSE(fake::Exists(kDir + "a.dll"));
    EXPECT_FALSE(fake::Exists(kDir + "b.dll"));
    EXPECT_FALSE(fake::Exists(kDir + "c.dll"));
    EXPECT_TRUE(fake::Exists(kDir + "held.dll"));
    EXPECT_EQ(fake::Calls({"DeleteFileA"}).size(), 8u);  // each file: refused once, retried once
    EXPECT_EQ(fake::Calls({"SetFileAttributesA"})[3], "SetFileAttributesA " + kDir + "c.dll " + std::to_string(FILE_ATTRIBUTE_SYSTEM) + " -> ok");
}

TEST_F(InstalledFiles, YesToAllOnAFileThatStaysRefusedIsNotAskedAgain) {
    Begin();
    fake::AddFile(kDir + "held.dll");
    fake::HoldOpen(kDir + "held.dll");
    fake::AnswerDialogs({IDC_YESALL});
    Remove({{".\\", "held.dll"}});
    EXPECT_EQ(Prompts().size(), 1u);
    EXPECT_EQ(fake::Calls({"DeleteFileA"}).size(), 2u);
    EXPECT_TRUE(fake::Exists(kDir + "held.dll"));
}

TEST_F(InstalledFiles, NoToAllKeepsThisAndEveryLaterRefusedFileWithoutAsking) {
    Begin();
    fake::AddFile(kDir + "a.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(kDir + "b.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(kDir + "plain.dll");
    fake::AnswerDialogs({IDC_NOALL});
    Remove({{".\\", "a.dll"}, {".\\", "b.dll"}, {".\\", "plain.dll"}});
    EXPECT_EQ(Prompts().size(), 1u);
    EXPECT_EQ(RefusedFilesPolicy(), 0);
    EXPECT_TRUE(fake::Exists(kDir + "a.dll"));
    EXPECT_TRUE(fake::Exists(kDir + "b.dll"));
    EXPECT_FALSE(fake::Exists(kDir + "plain.dll"));
    EXPECT_EQ(fake::CallCount("SetFileAttributesA"), 0);
}

TEST_F(InstalledFiles, NoAndClosingKeepOneFileAndAskAboutTheNext) {
    Begin();
    fake::AddFile(kDir + "a.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(kDir + "b.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(kDir + "c.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AnswerDialogs({IDNO, IDCANCEL, IDYES});
    Remove({{".\\", "a.dll"}, {".\\", "b.dll"}, {".\\", "c.dll"}});
    EXPECT_EQ(Prompts().size(), 3u);
    EXPECT_EQ(RefusedFilesPolicy(), -1);
    EXPECT_TRUE(fake::Exists(kDir + "a.dll"));
    EXPECT_TRUE(fake::Exists(kDir + "b.dll"));
    EXPECT_FALSE(fake::Exists(kDir + "c.dll"));
    EXPECT_EQ(fake::Attributes(kDir + "a.dll"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

TEST_F(InstalledFiles, ADialogThatFailsKeepsTheFileAndTheNextIsAskedAgain) {
    Begin();
    fake::AddFile(kDir + "a.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(kDir + "b.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::FailCall("DialogBoxParamA");
    fake::AnswerDialogs({IDYES});
    Remove({{".\\", "a.dll"}, {".\\", "b.dll"}});
    EXPECT_TRUE(fake::Exists(kDir + "a.dll"));
    EXPECT_FALSE(fake::Exists(kDir + "b.dll"));
    EXPECT_EQ(RefusedFilesPolicy(), -1);
}

TEST_F(InstalledFiles, AnEmptyReadOnlyPromptTakesEveryRefusedFileAsYesToAll) {
    std::vector<std::string> messages = test::Catalogue();
    messages[MSG_READONLY] = "";
    Begin(messages);
    fake::AddFile(kDir + "a.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(kDir + "b.dll", "", FILE_ATTRIBUTE_READONLY);
    Remove({{".\\", "a.dll"}, {".\\", "b.dll"}});
    EXPECT_TRUE(fake::Dialogs().empty());
    EXPECT_EQ(RefusedFilesPolicy(), 1);
    EXPECT_FALSE(fake::Exists(kDir + "a.dll"));
    EXPECT_FALSE(fake::Exists(kDir + "b.dll"));
}

TEST_F(InstalledFiles, AnAnswerToAllHoldsForTheRestOfTheRun) {
    Begin();
    for (int answer : {IDC_NOALL, IDC_YESALL}) {
        SCOPED_TRACE(answer);
        ResetConsent();
        const std::string first = kDir + std::to_string(answer) + "a.dll", later = kDir + std::to_string(answer) + "b.dll";
        fake::AddFile(first, "", FILE_ATTRIBUTE_READONLY);
        fake::AddFile(later, "", FILE_ATTRIBUTE_READONLY);
        fake::AnswerDialogs({answer});
        Remove({{".\\", std::to_string(answer) + "a.dll"}});
        size_t asked = fake::Dialogs().size();
        // A later call of the phase, for another refused file: the answer holds, unasked.
        Remove({{".\\", std::to_string(answer) + "b.dll"}});
        EXPECT_EQ(fake::Dialogs().size(), asked);
        EXPECT_EQ(fake::Exists(later), answer == IDC_NOALL);
    }
}

TEST_F(InstalledFiles, ASilentRunStillPutsBothQuestions) {
    Begin();
    run.silent = 1;
    fake::AddFile(kShared);
    fake::AddFile(kDir + "ro.dll", "", FILE_ATTRIBUTE_READONLY);
    fake::AnswerBoxes({IDYES});
    fake::AnswerDialogs({IDYES});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}, {".\\", "ro.dll"}});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SharedQuestion(kShared)});
    EXPECT_EQ(Prompts(), std::vector<std::string>{ReadOnlyQuestion(kDir + "ro.dll")});
    EXPECT_FALSE(fake::Exists(kShared));
    EXPECT_FALSE(fake::Exists(kDir + "ro.dll"));
}

TEST_F(InstalledFiles, ASharedFileWhoseDeletionIsRefusedGetsBothQuestions) {
    Begin();
    fake::AddFile(kShared, "", FILE_ATTRIBUTE_READONLY);
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kShared, 1);
    fake::AnswerBoxes({IDYES});
    fake::AnswerDialogs({IDYES});
    Remove({{kSharedFolder, "shared.dll", FILE_SHARED}});
    EXPECT_EQ(BoxTexts().size(), 1u);
    EXPECT_EQ(Prompts().size(), 1u);
    EXPECT_FALSE(fake::Exists(kShared));
}

}  // namespace
