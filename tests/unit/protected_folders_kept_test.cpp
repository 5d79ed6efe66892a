// The guard's folders kept from one call to the next while the registry keys they come from are
// unchanged, and asked for afresh where the keys cannot be watched.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "folder_world.h"
#include "removal/protected_folders.h"
#include "test_support.h"

namespace {

constexpr char kNewDesktop[] = "D:\\Ann\\Desktop";

class KeptFolders : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        test::AddSystemFolders();
        test::AddShellFolderKeys();
        fake::AddFolder(kNewDesktop);
        run.isNT = 1;
    }
    void TearDown() override {
        ReleaseProtectedFolders();
        EXPECT_EQ(fake::PendingNotifications(), 0u);
        ProgramTest::TearDown();
    }
    // The guard's answer, and the system's folder lookups it made for it.
    int Protected(const std::string& path, int* lookups = nullptr) {
        int before = fake::FolderLookups();
        int result = IsProtectedFolder(path.c_str());
        if (lookups) *lookups = fake::FolderLookups() - before;
        return result;
    }
    // Checks the answers of a sweep's or a pruning's worth of calls, and the lookups they made.
    int LookupsOfManyCalls() {
        int before = fake::FolderLookups();
        for (int i = 0; i < 50; ++i) {
            EXPECT_EQ(Protected("C:\\Program Files\\Pkg\\f" + std::to_string(i)), 0);
            EXPECT_EQ(Protected(test::kStartup), 1);
        }
        return fake::FolderLookups() - before;
    }
    // Moves the user's desktop as the shell does: the folder's new path in the user's shell
    // folders, which the shell resolves from then on.
    void MoveDesktop(const char* to) {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, test::kUserShellFoldersKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        RegSetValueExA(key, "Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(to), static_cast<DWORD>(std::strlen(to) + 1));
        RegCloseKey(key);
        fake::SetSpecialFolder(CSIDL_DESKTOP, to);
    }
};

TEST_F(KeptFolders, TheSystemIsAskedOnceWhileNothingChanges) {
    const std::string sharedFiles = std::string(test::kVersionKey) + "\\SharedDLLs";
    fake::RegAddKey(HKEY_LOCAL_MACHINE, sharedFiles);
    int first = 0;
    EXPECT_EQ(Protected("C:\\Games", &first), 0);
    EXPECT_GT(first, 10);
    EXPECT_EQ(LookupsOfManyCalls(), 0);
    // The keys are watched before anything is fetched.
    std::vector<std::string> order = fake::Calls({"RegNotifyChangeKeyValue", "SHGetSpecialFolderLocation"});
    ASSERT_EQ(order.size(), 6u + 9u);
    EXPECT_EQ(order[5].rfind("RegNotifyChangeKeyValue HKLM\\Software\\Microsoft\\Windows\\CurrentVersion -> ok", 0), 0u)
        << order[5];
    // The run's own writes below the version key (shared files' counts) change none of the folders.
    fake::RegSetDword(HKEY_LOCAL_MACHINE, sharedFiles, "C:\\x.dll", 2);
    EXPECT_EQ(LookupsOfManyCalls(), 0);
}

TEST_F(KeptFolders, AChangeToAWatchedKeyIsSeenByTheNextCall) {
    EXPECT_EQ(Protected(test::kDesktop), 1);
    EXPECT_EQ(Protected(kNewDesktop), 0);
    MoveDesktop(kNewDesktop);
    int lookups = 0;
    EXPECT_EQ(Protected(kNewDesktop, &lookups), 1);
    EXPECT_GT(lookups, 0);
    EXPECT_EQ(Protected(test::kDesktop), 0);
    EXPECT_EQ(LookupsOfManyCalls(), 0);  // watched again after the change
    // The program-files folder, moved in the machine's version key by another program.
    fake::RegSetString(HKEY_LOCAL_MACHINE, test::kVersionKey, "ProgramFilesDir", "D:\\Apps");
    EXPECT_EQ(Protected("D:\\Apps"), 1);
    EXPECT_EQ(Protected(test::kProgramFiles), 0);
}

TEST_F(KeptFolders, AFailedLookupIsNeverKept) {
    EXPECT_EQ(Protected("C:\\Games"), 0);
    MoveDesktop(kNewDesktop);
    fake::FailCall("RegQueryValueExA");  // the profiles folder cannot be read
    EXPECT_EQ(Protected("C:\\Games"), 1);
    int lookups = 0;
    EXPECT_EQ(Protected("C:\\Games", &lookups), 0);
    EXPECT_GT(lookups, 10);
    EXPECT_EQ(Protected(kNewDesktop), 1);
    EXPECT_EQ(LookupsOfManyCalls(), 0);
}

// Where the keys cannot be watched every call asks the system, and sees a folder moved without
// any registry write at all.
TEST_F(KeptFolders, WithoutAWatchEveryCallAsksAfresh) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"the notification fails", [] { fake::FailCall("RegNotifyChangeKeyValue", 3); }},
        {"a key cannot be opened", [] { fake::RegFail(HKEY_LOCAL_MACHINE, test::kShellFoldersKey, "open", ERROR_ACCESS_DENIED); }},
        {"no event", [] { fake::FailCall("CreateEventA"); }},
        {"the 95 family",
         [] {
             fake::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
             run.isNT = 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::SetPlatformId(VER_PLATFORM_WIN32_NT);
        run.isNT = 1;
        fake::SetSpecialFolder(CSIDL_DESKTOP, test::kDesktop);
        ReleaseProtectedFolders();
        ResetProtectedFolders();
        c.prepare();
        EXPECT_EQ(Protected(kNewDesktop), 0);
        EXPECT_GE(LookupsOfManyCalls(), 100 * 5);
        fake::SetSpecialFolder(CSIDL_DESKTOP, kNewDesktop);
        EXPECT_EQ(Protected(kNewDesktop), 1);
        EXPECT_EQ(Protected(test::kDesktop), 0);
        EXPECT_EQ(fake::OpenKeys(), 0u);
        EXPECT_EQ(fake::OpenHandles(), 0u);
    }
    EXPECT_EQ(fake::CallCount("RegNotifyChangeKeyValue"), 3 + 3 + 0 + 0);
}

}  // namespace
