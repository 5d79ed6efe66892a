// What the folder phases meet: the system's protected folders as a user's machine has them,
// and the log's file and folder lists, built in memory as the record readers build them.
#pragma once
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/record_paths.h"
#include "fake_win32.h"
#include "test_support.h"
#include "tools/logwriter/log_writer.h"

namespace test {

constexpr char kDesktop[] = "C:\\Users\\Ann\\Desktop";
constexpr char kFonts[] = "C:\\WINDOWS\\Fonts";
constexpr char kPrograms[] = "C:\\Users\\Ann\\Start Menu\\Programs";
constexpr char kStartMenu[] = "C:\\Users\\Ann\\Start Menu";
constexpr char kStartup[] = "C:\\Users\\Ann\\Start Menu\\Programs\\Startup";
constexpr char kProgramFiles[] = "C:\\Program Files";
constexpr char kCommonFiles[] = "C:\\Program Files\\Common Files";
constexpr char kCommonDesktop[] = "C:\\Users\\Public\\Desktop";
constexpr char kCommonStartMenu[] = "C:\\ProgramData\\Start Menu";
constexpr char kCommonPrograms[] = "C:\\ProgramData\\Start Menu\\Programs";
constexpr char kCommonStartup[] = "C:\\ProgramData\\Start Menu\\Programs\\Startup";
constexpr char kProfiles[] = "C:\\Users";
constexpr char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kProfileListKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The Windows and system folders are the stand-in's defaults (C:\WINDOWS, C:\WINDOWS\SYSTEM32).
inline void AddSystemFolders() {
    fake::SetSpecialFolder(CSIDL_DESKTOP, kDesktop);
    fake::SetSpecialFolder(CSIDL_FONTS, kFonts);
    fake::SetSpecialFolder(CSIDL_PROGRAMS, kPrograms);
    fake::SetSpecialFolder(CSIDL_STARTMENU, kStartMenu);
    fake::SetSpecialFolder(CSIDL_STARTUP, kStartup);
    // The machine's own: the all-users folders and the profiles folder, which the NT family has.
    fake::SetSpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY, kCommonDesktop);
    fake::SetSpecialFolder(CSIDL_COMMON_STARTMENU, kCommonStartMenu);
    fake::SetSpecialFolder(CSIDL_COMMON_PROGRAMS, kCommonPrograms);
    fake::SetSpecialFolder(CSIDL_COMMON_STARTUP, kCommonStartup);
    fake::SetEnvironment("SystemDrive", "C:");
    fake::RegSetValue(HKEY_LOCAL_MACHINE, kProfileListKey, "ProfilesDirectory", REG_EXPAND_SZ,
                      std::string("%SystemDrive%\\Users") + '\0');
    for (const char* folder : {kDesktop, kFonts, kPrograms, kStartMenu, kStartup, kProgramFiles, kCommonFiles,
                               kCommonDesktop, kCommonStartMenu, kCommonPrograms, kCommonStartup, kProfiles})
        fake::AddFolder(folder);
    fake::RegSetString(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", kProgramFiles);
    fake::RegSetString(HKEY_LOCAL_MACHINE, kVersionKey, "CommonFilesDir", kCommonFiles);
}

// One allocation per record, its strings behind its fields, in a list with two null entries
// at its end; FreeUninstallLog releases it.
template <typename Record>
Record* MakeRecord(const std::string& folder, const std::string& name) {
    Record* record;
    if (!AllocZeroed(static_cast<unsigned int>(sizeof(Record) + folder.size() + name.size() + 2), &record)) return nullptr;
    record->folder = reinterpret_cast<char*>(record + 1);
    record->name = record->folder + folder.size() + 1;
    CopyBytes(record->folder, folder.data(), static_cast<unsigned int>(folder.size()));
    CopyBytes(record->name, name.data(), static_cast<unsigned int>(name.size()));
    return record;
}

// Both replace the list the run holds.
inline void SetFileRecords(const std::vector<tidewell::FileEntry>& entries) {
    for (unsigned int i = 0; run.files && i < run.fileCount; ++i) FreeAndNull(&run.files[i]);
    FreeAndNull(&run.files);
    AllocZeroed(static_cast<unsigned int>((entries.size() + 2) * sizeof(FileRecord*)), &run.files);
    run.fileCount = static_cast<unsigned int>(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        run.files[i] = MakeRecord<FileRecord>(entries[i].folder, entries[i].name);
        run.files[i]->flags = entries[i].flags;
    }
    ResolveRecordPaths();
}

inline void SetFolderRecords(const std::vector<tidewell::FolderEntry>& entries) {
    for (unsigned int i = 0; run.folders && i < run.folderCount; ++i) FreeAndNull(&run.folders[i]);
    FreeAndNull(&run.folders);
    AllocZeroed(static_cast<unsigned int>((entries.size() + 2) * sizeof(FolderRecord*)), &run.folders);
    run.folderCount = static_cast<unsigned int>(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) run.folders[i] = MakeRecord<FolderRecord>(entries[i].folder, entries[i].name);
    ResolveRecordPaths();
}

// A run under way on a machine with the system's folders, the program file in its folder: what
// each folder phase starts from.
class FolderPhaseTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        AddSystemFolders();
        fake::AddFile(kProgramPath);
        StartRun();
        // The NT family, where folders can be links and are held open while they are used.
        run.isNT = 1;
    }
    void TearDown() override {
        EndRun();
        ProgramTest::TearDown();
    }
};

}  // namespace test
