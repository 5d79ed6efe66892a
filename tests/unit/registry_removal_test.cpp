// Removal of the registry keys and values the log names, and of a key's whole subtree, without
// following a registry link.
#include <gtest/gtest.h>

#include <functional>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/memory.h"
#include "base/text.h"
#include "removal/phases.h"
#include "removal/registry_removal.h"
#include "removal/report.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

constexpr uint32_t kLocalMachine = 0x80000002u;
constexpr uint32_t kCurrentUser = 0x80000001u;
const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kPackage = kUninstall + "\\Pkg";
const std::string kVictim = "Software\\Victim";

// DeleteKeyTree on the key opened as the phase opens it.
LONG DeleteTree(HKEY root, const std::string& path) {
    HKEY key;
    LONG result = RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &key);
    if (result != ERROR_SUCCESS) return result;
    result = DeleteKeyTree(key);
    RegCloseKey(key);
    return result;
}

class RegistryRemoval : public test::ProgramTest {
protected:
    // A run of the program in its folder, as the report's checks need one.
    void SetUp() override {
        ProgramTest::SetUp();
        StartRun();
    }
    void StartRun() {
        fake::AddFile(test::kProgramPath);
        fake::SetModulePath(test::kProgramPath);
        ASSERT_EQ(InitRunContext(nullptr), 1);
        run.isNT = 1;
        fake::ClearJournal();
    }
    // A new world for the next case of a test.
    void Restart() {
        ReleaseRunContext();
        fake::Reset();
        ResetRunContext();
        StartRun();
    }
    void TearDown() override {
        FreeUninstallLog();
        ReleaseRunContext();
        EXPECT_EQ(fake::LiveBlocks(), 0u);
        ProgramTest::TearDown();
    }

    // The list as the loader leaves it: one allocation per record, its path right behind it.
    void SetRecords(const std::vector<std::pair<uint32_t, std::string>>& records) {
        ASSERT_TRUE(AllocZeroed(static_cast<unsigned>((records.size() + 3) * sizeof(RegistryRecord*)), &run.registryEntries));
        for (const auto& [root, path] : records) {
            RegistryRecord* record;
            ASSERT_TRUE(AllocZeroed(static_cast<unsigned>(sizeof(RegistryRecord) + path.size() + 1), &record));
            record->root = root;
            record->path = reinterpret_cast<char*>(record + 1);
            std::memcpy(record->path, path.c_str(), path.size() + 1);
            run.registryEntries[run.registryCount++] = record;
        }
    }

    // Runs the phase on the records; what is left of the journal afterwards is the phase's alone.
    void Remove(const std::vector<std::pair<uint32_t, std::string>>& records) {
        SetRecords(records);
        fake::ClearJournal();
        RemoveRegistryRecords();
    }

    // Runs the phase with a report; its lines about the records, without the first and the totals.
    // `arrange` runs once the report is open.
    Lines RemoveReporting(const std::vector<std::pair<uint32_t, std::string>>& records,
                          const std::function<void()>& arrange = nullptr) {
        AskForReport("C:\\report.txt", 13);
        SetRecords(records);
        OpenReport();
        fake::ClearJournal();
        if (arrange) arrange();
        RemoveRegistryRecords();
        CloseReport();
        Lines lines;
        std::string text = fake::Content("C:\\report.txt");
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines.size() < 2 ? lines : Lines(lines.begin() + 1, lines.end() - 1);
    }

    // Software\Victim: values and subkeys of somebody else's, which links may lead to.
    void AddVictim() {
        fake::RegSetString(HKEY_LOCAL_MACHINE, kVictim, "Owner", "someone else");
        fake::RegSetString(HKEY_LOCAL_MACHINE, kVictim + "\\Config\\Deep", "Level", "2");
        fake::RegAddKey(HKEY_LOCAL_MACHINE, kVictim + "\\Data");
    }
    void ExpectVictimIntact() {
        EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, kVictim),
                  (Lines{kVictim + "\\Config", kVictim + "\\Config\\Deep", kVictim + "\\Data"}));
        EXPECT_TRUE(fake::RegGetValue(HKEY_LOCAL_MACHINE, kVictim, "Owner").has_value());
        EXPECT_TRUE(fake::RegGetValue(HKEY_LOCAL_MACHINE, kVictim + "\\Config\\Deep", "Level").has_value());
    }

    // A package key with values and three levels of subkeys, next to another package.
    void AddPackage() {
        fake::RegSetString(HKEY_LOCAL_MACHINE, kPackage, "DisplayName", "Pkg");
        fake::RegSetString(HKEY_LOCAL_MACHINE, kPackage, "UninstallString", "C:\\Pkg\\Remove.exe");
        fake::RegSetString(HKEY_LOCAL_MACHINE, kPackage + "\\A\\A1\\Deep", "Level", "3");
        fake::RegAddKey(HKEY_LOCAL_MACHINE, kPackage + "\\A\\A2");
        // A name longer than the ones before it: read only if every enumeration gets the full size.
        fake::RegSetDword(HKEY_LOCAL_MACHINE, kPackage + "\\Settings of the package", "Count", 2);
        fake::RegSetString(HKEY_LOCAL_MACHINE, kUninstall + "\\Other", "DisplayName", "Other");
    }
};

TEST_F(RegistryRemoval, AnEmptyListTouchesNothing) {
    AddPackage();
    RemoveRegistryRecords();
    EXPECT_TRUE(fake::Journal().empty());
    Remove({});
    EXPECT_TRUE(fake::Journal().empty());
}

TEST_F(RegistryRemoval, ThePathFormsAreToldByTheLastBackslashAndTheOneBeforeIt) {
    struct Case {
        std::string path;
        Lines calls;  // registry calls, in order
        std::vector<std::string> valuesGone;
    };
    const std::vector<Case> cases = {
        // The key is opened level by level, each level not through a link.
        {"Software\\Pkg\\\\Version",
         {"RegOpenKeyExA HKLM\\Software (OPEN_LINK) -> ok", "RegOpenKeyExA HKLM\\Software\\Pkg (OPEN_LINK) -> ok",
          "RegCloseKey HKLM\\Software -> ok", "RegDeleteValueA HKLM\\Software\\Pkg : Version -> ok",
          "RegCloseKey HKLM\\Software\\Pkg -> ok"},
         {"Version"}},
        // An empty value name is the key's unnamed value.
        {"Software\\Pkg\\\\",
         {"RegOpenKeyExA HKLM\\Software (OPEN_LINK) -> ok", "RegOpenKeyExA HKLM\\Software\\Pkg (OPEN_LINK) -> ok",
          "RegCloseKey HKLM\\Software -> ok", "RegDeleteValueA HKLM\\Software\\Pkg :  -> ok",
          "RegCloseKey HKLM\\Software\\Pkg -> ok"},
         {""}},
        // A leading pair: the key path is empty, which is the root itself.
        {"\\\\Top", {"RegDeleteValueA HKLM : Top -> ok", "RegCloseKey HKLM -> ok"}, {}},
        // A single leading backslash is the key form with an empty first level: refused, as the
        // platform refuses such a key path.
        {"\\Software\\Pkg", {}, {}},
        // A pair that is not the last backslash: the key form for the whole path, whose empty level
        // is refused, and the value named "B\C" of key A is not touched.
        {"Software\\\\B\\C", {"RegOpenKeyExA HKLM\\Software (OPEN_LINK) -> ok", "RegCloseKey HKLM\\Software -> ok"}, {}},
        {"", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Restart();
        fake::RegSetString(HKEY_LOCAL_MACHINE, "Software\\Pkg", "Version", "1.0");
        fake::RegSetString(HKEY_LOCAL_MACHINE, "Software\\Pkg", "", "default");
        fake::RegSetString(HKEY_LOCAL_MACHINE, "Software\\Pkg", "Other", "x");
        fake::RegSetString(HKEY_LOCAL_MACHINE, "Software", "B\\C", "value with a backslash");
        fake::RegSetString(HKEY_LOCAL_MACHINE, "", "Top", "on the root");
        fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Sub");

        Remove({{kLocalMachine, c.path}});

        EXPECT_EQ(fake::Calls({"RegOpenKeyA", "RegOpenKeyExA", "RegDeleteValueA", "RegCloseKey", "RegDeleteKeyA",
                               "NtDeleteKey", "RegEnumKeyExA"}),
                  c.calls);
        EXPECT_STREQ(run.registryEntries[0]->path, c.path.c_str());
        for (const char* name : {"Version", "", "Other"}) {
            bool gone = std::find(c.valuesGone.begin(), c.valuesGone.end(), name) != c.valuesGone.end();
            EXPECT_EQ(fake::RegGetValue(HKEY_LOCAL_MACHINE, "Software\\Pkg", name).has_value(), !gone) << name;
        }
        EXPECT_TRUE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Sub"));
        EXPECT_TRUE(fake::RegGetValue(HKEY_LOCAL_MACHINE, "Software", "B\\C").has_value());
        EXPECT_EQ(fake::RegGetValue(HKEY_LOCAL_MACHINE, "", "Top").has_value(), c.path != "\\\\Top");
        FreeUninstallLog();
    }
}

TEST_F(RegistryRemoval, AValueRecordWhoseKeyCannotBeOpenedLeavesItsPathAsItWas) {
    fake::RegSetString(HKEY_LOCAL_MACHINE, "Software\\Locked", "Version", "1");
    fake::RegFail(HKEY_LOCAL_MACHINE, "Software\\Locked", "open", ERROR_ACCESS_DENIED);
    Remove({{kLocalMachine, "Software\\Missing\\\\Version"}, {kLocalMachine, "Software\\Locked\\\\Version"}});
    EXPECT_EQ(fake::Calls({"RegOpenKeyExA", "RegDeleteValueA"}),
              (Lines{"RegOpenKeyExA HKLM\\Software (OPEN_LINK) -> ok", "RegOpenKeyExA HKLM\\Software\\Missing (OPEN_LINK) -> error 2",
                     "RegOpenKeyExA HKLM\\Software (OPEN_LINK) -> ok", "RegOpenKeyExA HKLM\\Software\\Locked (OPEN_LINK) -> error 5"}));
    EXPECT_EQ(fake::OpenKeys(), 0u);
    EXPECT_STREQ(run.registryEntries[0]->path, "Software\\Missing\\\\Version");
    EXPECT_STREQ(run.registryEntries[1]->path, "Software\\Locked\\\\Version");
    EXPECT_TRUE(fake::RegGetValue(HKEY_LOCAL_MACHINE, "Software\\Locked", "Version").has_value());
}

TEST_F(RegistryRemoval, OnTheNtFamilyAKeyGoesWithItsSubtreeDeepestFirst) {
    AddPackage();
    Remove({{kLocalMachine, kPackage}});
    const std::string p = "NtDeleteKey HKLM\\" + kPackage;
    EXPECT_EQ(fake::DestructiveCalls(), (Lines{p + "\\A\\A1\\Deep -> ok", p + "\\A\\A1 -> ok", p + "\\A\\A2 -> ok",
                                               p + "\\A -> ok", p + "\\Settings of the package -> ok", p + " -> ok"}));
    EXPECT_FALSE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, kPackage));
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, kUninstall), (Lines{kUninstall + "\\Other"}));
    EXPECT_EQ(fake::RegGetValue(HKEY_LOCAL_MACHINE, kUninstall + "\\Other", "DisplayName")->data, std::string("Other\0", 6));
    // Each key is deleted through the handle it was opened with, and closed right after; the
    // levels above the package's key were let go of before.
    Lines order = fake::Calls({"NtDeleteKey", "RegCloseKey"});
    ASSERT_EQ(order.size(), 17u);
    order.erase(order.begin(), order.begin() + 5);
    for (size_t i = 0; i < order.size(); i += 2) {
        std::string key = order[i].substr(std::string("NtDeleteKey ").size());
        EXPECT_EQ(order[i + 1], "RegCloseKey " + key) << i;
    }
    // Every pass asks for the first subkey.
    for (const std::string& call : fake::Calls({"RegEnumKeyExA"})) EXPECT_NE(call.find(" #0"), std::string::npos) << call;
}

TEST_F(RegistryRemoval, DeleteKeyTreeReportsSuccessAndFreesWhatItHeld) {
    AddPackage();
    EXPECT_EQ(DeleteTree(HKEY_LOCAL_MACHINE, kPackage), ERROR_SUCCESS);
    EXPECT_EQ(fake::OpenKeys(), 0u);
    EXPECT_FALSE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, kPackage));
    EXPECT_TRUE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall + "\\Other"));
}

TEST_F(RegistryRemoval, OnThe95FamilyOneCallRemovesTheKey) {
    AddPackage();
    fake::SetRegistryDeletesTrees(true);
    fake::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    run.isNT = 0;
    // It has no registry links: the calls are the plain ones, without a look for links.
    Remove({{kLocalMachine, kPackage}, {kLocalMachine, kUninstall + "\\Other\\\\DisplayName"}});
    EXPECT_EQ(fake::Journal().size(), 4u);
    EXPECT_EQ(fake::Calls({"RegDeleteKeyA", "RegOpenKeyA", "RegDeleteValueA", "RegCloseKey"}),
              (Lines{"RegDeleteKeyA HKLM\\" + kPackage + " -> ok", "RegOpenKeyA HKLM\\" + kUninstall + "\\Other -> ok",
                     "RegDeleteValueA HKLM\\" + kUninstall + "\\Other : DisplayName -> ok",
                     "RegCloseKey HKLM\\" + kUninstall + "\\Other -> ok"}));
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, kUninstall), (Lines{kUninstall + "\\Other"}));
}

TEST_F(RegistryRemoval, AKeyThatCannotBeRemovedStopsItsTreeWhereItStands) {
    // Pkg { A { A1 }, B { B1 { B1a }, B2 }, C }, and B1 refuses deletion.
    const std::string pkg = "Software\\Pkg";
    for (const char* key : {"\\A\\A1", "\\B\\B1\\B1a", "\\B\\B2", "\\C"}) fake::RegAddKey(HKEY_LOCAL_MACHINE, pkg + key);
    fake::RegFail(HKEY_LOCAL_MACHINE, pkg + "\\B\\B1", "delete", ERROR_ACCESS_DENIED);
    fake::ClearJournal();
    EXPECT_EQ(DeleteTree(HKEY_LOCAL_MACHINE, pkg), ERROR_ACCESS_DENIED);
    const std::string p = "NtDeleteKey HKLM\\" + pkg;
    EXPECT_EQ(fake::DestructiveCalls(), (Lines{p + "\\A\\A1 -> ok", p + "\\A -> ok", p + "\\B\\B1\\B1a -> ok",
                                               p + "\\B\\B1 -> error 5"}));
    // The failing key and its parents stay; later siblings, at any level, were never visited.
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, pkg), (Lines{pkg + "\\B", pkg + "\\B\\B1", pkg + "\\B\\B2", pkg + "\\C"}));
    for (const std::string& call : fake::Calls({"RegOpenKeyExA"})) {
        EXPECT_EQ(call.find("B2"), std::string::npos) << call;
        EXPECT_EQ(call.find("\\C"), std::string::npos) << call;
    }
}

TEST_F(RegistryRemoval, AKeyThatCannotBeOpenedOrEnumeratedStopsItsTreeWithThatCode) {
    const std::string pkg = "Software\\Pkg";
    for (const char* key : {"\\A", "\\B\\B1", "\\C"}) fake::RegAddKey(HKEY_LOCAL_MACHINE, pkg + key);

    fake::RegFail(HKEY_LOCAL_MACHINE, pkg + "\\B", "enum", ERROR_INVALID_HANDLE);
    EXPECT_EQ(DeleteTree(HKEY_LOCAL_MACHINE, pkg), ERROR_INVALID_HANDLE);
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, pkg), (Lines{pkg + "\\B", pkg + "\\B\\B1", pkg + "\\C"}));

    fake::RegFail(HKEY_LOCAL_MACHINE, pkg + "\\B\\B1", "open", ERROR_ACCESS_DENIED);
    fake::RegFail(HKEY_LOCAL_MACHINE, pkg + "\\B", "enum", 0);
    EXPECT_EQ(DeleteTree(HKEY_LOCAL_MACHINE, pkg), ERROR_ACCESS_DENIED);
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, pkg), (Lines{pkg + "\\B", pkg + "\\B\\B1", pkg + "\\C"}));
    EXPECT_EQ(fake::OpenKeys(), 0u);
}

TEST_F(RegistryRemoval, TheFailureOfOneRecordDoesNotStopTheNext) {
    fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Stuck\\Child");
    fake::RegFail(HKEY_LOCAL_MACHINE, "Software\\Stuck\\Child", "delete", ERROR_ACCESS_DENIED);
    fake::RegAddKey(HKEY_CURRENT_USER, "Software\\Pkg\\Prefs");
    fake::RegSetString(HKEY_CURRENT_USER, "Software\\Keep", "Last", "1");
    fake::RegSetString(HKEY_CURRENT_USER, "Software\\Keep", "Stay", "1");
    Remove({{kLocalMachine, "Software\\Missing"},
            {kLocalMachine, "Software\\Stuck"},
            {kCurrentUser, "Software\\Pkg"},
            {kCurrentUser, "Software\\Keep\\\\Last"}});
    EXPECT_EQ(fake::DestructiveCalls(),
              (Lines{"NtDeleteKey HKLM\\Software\\Stuck\\Child -> error 5", "NtDeleteKey HKCU\\Software\\Pkg\\Prefs -> ok",
                     "NtDeleteKey HKCU\\Software\\Pkg -> ok", "RegDeleteValueA HKCU\\Software\\Keep : Last -> ok"}));
    EXPECT_EQ(fake::Calls({"RegOpenKeyExA"})[1], "RegOpenKeyExA HKLM\\Software\\Missing (OPEN_LINK) -> error 2");
    EXPECT_TRUE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Stuck\\Child"));
    EXPECT_FALSE(fake::RegKeyExists(HKEY_CURRENT_USER, "Software\\Pkg"));
    EXPECT_TRUE(fake::RegGetValue(HKEY_CURRENT_USER, "Software\\Keep", "Stay").has_value());
}

TEST_F(RegistryRemoval, ATreeAsDeepAsThePlatformAllowsIsRemoved) {
    std::string path = "Software\\Deep";
    for (int level = 0; level < 510; ++level) path += "\\k";
    fake::RegSetString(HKEY_CURRENT_USER, path, "Leaf", "x");
    Remove({{kCurrentUser, "Software\\Deep"}});
    EXPECT_EQ(fake::CallCount("NtDeleteKey"), 511);
    EXPECT_FALSE(fake::RegKeyExists(HKEY_CURRENT_USER, "Software\\Deep"));
    EXPECT_TRUE(fake::RegKeyExists(HKEY_CURRENT_USER, "Software"));
}

TEST_F(RegistryRemoval, WithoutMemoryForANameTheTreeStaysAsItIs) {
    fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Sub");
    fake::FailCall("LocalAlloc", 2, 2, ERROR_NOT_ENOUGH_MEMORY);  // the second level's buffer and its retry
    EXPECT_EQ(DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Pkg"), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Sub"));
    EXPECT_EQ(fake::CallCount("NtDeleteKey"), 0);
}

TEST_F(RegistryRemoval, ARootOutsideThePredefinedKeysIsNotUsedAsAHandle) {
    fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Pkg");
    fake::RegSetString(HKEY_LOCAL_MACHINE, "Software\\Vendor", "Name", "x");
    // A key the process holds open: a root of the same value must not reach below it.
    HKEY vendor;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor", &vendor), ERROR_SUCCESS);
    uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(vendor));
    Remove({{handle, "Pkg"}, {handle, "\\\\Name"}});
    RegCloseKey(vendor);
    EXPECT_EQ(fake::Journal().size(), 1u);  // the close above
    EXPECT_TRUE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Pkg"));
    EXPECT_TRUE(fake::RegGetValue(HKEY_LOCAL_MACHINE, "Software\\Vendor", "Name").has_value());
}

// ---- Registry links ------------------------------------------------------------------------

TEST_F(RegistryRemoval, ARecordThatIsALinkOrLiesBehindOneIsKeptAndNothingBehindItChanges) {
    struct Case {
        const char* name;
        uint32_t linkRoot;
        std::string link;  // made a link to Software\Victim
        uint32_t root;
        std::string record;
        std::string reported;
    };
    const std::vector<Case> cases = {
        {"the record's key", kLocalMachine, "Software\\Vendor\\Data", kLocalMachine, "Software\\Vendor\\Data",
         "registry key kept, a link: HKLM\\Software\\Vendor\\Data"},
        {"a value record's key", kLocalMachine, "Software\\Vendor\\Data", kLocalMachine, "Software\\Vendor\\Data\\\\Owner",
         "registry value kept, a link: HKLM\\Software\\Vendor\\Data\\\\Owner"},
        {"a level above", kLocalMachine, "Software\\Vendor\\Data", kLocalMachine, "Software\\Vendor\\Data\\Config",
         "registry key kept, a link: HKLM\\Software\\Vendor\\Data\\Config"},
        {"the first level, to another root", kCurrentUser, "Vendor", kCurrentUser, "Vendor\\Config\\Deep",
         "registry key kept, a link: HKCU\\Vendor\\Config\\Deep"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        AddVictim();
        HKEY linkRoot = c.linkRoot == kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        fake::MakeRegistryLink(linkRoot, c.link, HKEY_LOCAL_MACHINE, kVictim);
        ASSERT_TRUE(fake::RegKeyExists(linkRoot, c.link + "\\Config\\Deep"));  // the link works

        EXPECT_EQ(RemoveReporting({{c.root, c.record}}), Lines{c.reported});
        EXPECT_EQ(Counts()->kept, 1u);
        EXPECT_EQ(fake::DestructiveCalls(), Lines{});
        ExpectVictimIntact();
        Lines beside = fake::RegTree(linkRoot, c.link.substr(0, c.link.rfind('\\') + 1));
        EXPECT_NE(std::find(beside.begin(), beside.end(), c.link), beside.end());  // the link stays
        EXPECT_EQ(fake::OpenKeys(), 0u);
        FreeUninstallLog();
    }
}

TEST_F(RegistryRemoval, ALinkBelowTheRecordsKeyGoesAsTheLinkItselfAndNeverThroughAnotherCall) {
    const std::string pkg = "Software\\Pkg";
    for (bool ntdll : {true, false}) {
        SCOPED_TRACE(ntdll ? "with ntdll's NtDeleteKey" : "without it");
        Restart();
        AddVictim();
        fake::RegAddKey(HKEY_LOCAL_MACHINE, pkg + "\\A\\A1");
        fake::MakeRegistryLink(HKEY_LOCAL_MACHINE, pkg + "\\A\\Shortcut", HKEY_LOCAL_MACHINE, kVictim);
        fake::RegAddKey(HKEY_LOCAL_MACHINE, pkg + "\\Z");
        Lines reported = RemoveReporting({{kLocalMachine, pkg}}, [ntdll] {
            if (!ntdll) fake::FailCall("GetProcAddress", 1, fake::kFailForever, ERROR_PROC_NOT_FOUND);
        });
        ExpectVictimIntact();
        // Nothing below the target was even looked at.
        for (const std::string& call : fake::Calls({"RegOpenKeyExA", "RegEnumKeyExA"}))
            EXPECT_EQ(call.find("Victim"), std::string::npos) << call;
        EXPECT_EQ(fake::CallCount("RegDeleteKeyA"), 0);
        EXPECT_EQ(fake::OpenKeys(), 0u);
        const std::string p = "NtDeleteKey HKLM\\" + pkg;
        if (ntdll) {
            EXPECT_EQ(fake::DestructiveCalls(), (Lines{p + "\\A\\A1 -> ok", p + "\\A\\Shortcut -> ok", p + "\\A -> ok",
                                                       p + "\\Z -> ok", p + " -> ok"}));
            EXPECT_FALSE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, pkg));
            EXPECT_EQ(reported, Lines{"registry key removed: HKLM\\" + pkg});
        } else {
            // Without it the keys stay, the link among them, rather than be deleted by name.
            EXPECT_EQ(fake::DestructiveCalls(), Lines{});
            EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, pkg).size(), 4u);
            EXPECT_EQ(reported, Lines{"registry key kept (error 127): HKLM\\" + pkg});
        }
        FreeUninstallLog();
    }
}

TEST_F(RegistryRemoval, TheSystemsOwnLinksAreFollowedByTheirNamesOnly) {
    const std::string classes = "S-1-5-21-7_Classes";
    fake::RegSetString(HKEY_USERS, classes + "\\Pkg.Document\\shell\\open\\command", "", "pkg.exe %1");
    fake::RegAddKey(HKEY_USERS, classes + "\\Other.Document");
    fake::MakeRegistryLink(HKEY_CURRENT_USER, "Software\\Classes", HKEY_USERS, classes);
    fake::RegAddKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\PkgService\\Parameters");
    fake::RegAddKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\Other");
    fake::MakeRegistryLink(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet", HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001");
    // The 32-bit view of the machine's classes, as 64-bit Windows gives it to a 32-bit program.
    fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Classes32\\CLSID\\{Pkg}\\InprocServer32");
    fake::MakeRegistryLink(HKEY_LOCAL_MACHINE, "Software\\Classes", HKEY_LOCAL_MACHINE, "Software\\Classes32");
    // The same name under another root, or a name that only begins like it, is no system link.
    AddVictim();
    fake::MakeRegistryLink(HKEY_CURRENT_USER, "SYSTEM\\CurrentControlSet", HKEY_LOCAL_MACHINE, kVictim);
    fake::MakeRegistryLink(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet2", HKEY_LOCAL_MACHINE, kVictim);

    EXPECT_EQ(RemoveReporting({{kCurrentUser, "software\\CLASSES\\Pkg.Document"},
                               {kLocalMachine, "System\\CurrentControlSet\\Services\\PkgService"},
                               {kLocalMachine, "Software\\Classes\\CLSID\\{Pkg}"},
                               {kCurrentUser, "SYSTEM\\CurrentControlSet\\Config"},
                               {kLocalMachine, "SYSTEM\\CurrentControlSet2\\Config"}}),
              (Lines{"registry key removed: HKCU\\software\\CLASSES\\Pkg.Document",
                     "registry key removed: HKLM\\System\\CurrentControlSet\\Services\\PkgService",
                     "registry key removed: HKLM\\Software\\Classes\\CLSID\\{Pkg}",
                     "registry key kept, a link: HKCU\\SYSTEM\\CurrentControlSet\\Config",
                     "registry key kept, a link: HKLM\\SYSTEM\\CurrentControlSet2\\Config"}));
    EXPECT_EQ(fake::RegTree(HKEY_USERS, classes), Lines{classes + "\\Other.Document"});
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, "Software\\Classes32"), Lines{"Software\\Classes32\\CLSID"});
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services"),
              Lines{"SYSTEM\\ControlSet001\\Services\\Other"});
    ExpectVictimIntact();
}

}  // namespace
