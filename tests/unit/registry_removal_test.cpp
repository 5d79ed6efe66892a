// Removal of the registry keys and values the log names, and of a key's whole subtree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/memory.h"
#include "removal/phases.h"
#include "removal/registry_removal.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

constexpr uint32_t kLocalMachine = 0x80000002u;
constexpr uint32_t kCurrentUser = 0x80000001u;
const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kPackage = kUninstall + "\\Pkg";

class RegistryRemoval : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        run.isNT = 1;
    }
    void TearDown() override {
        FreeUninstallLog();
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
        {"Software\\Pkg\\\\Version",
         {"RegOpenKeyA HKLM\\Software\\Pkg -> ok", "RegDeleteValueA HKLM\\Software\\Pkg : Version -> ok",
          "RegCloseKey HKLM\\Software\\Pkg -> ok"},
         {"Version"}},
        // An empty value name is the key's unnamed value.
        {"Software\\Pkg\\\\",
         {"RegOpenKeyA HKLM\\Software\\Pkg -> ok", "RegDeleteValueA HKLM\\Software\\Pkg :  -> ok",
          "RegCloseKey HKLM\\Software\\Pkg -> ok"},
         {""}},
        // A leading pair: the key path is empty, which opens the root itself.
        {"\\\\Top", {"RegOpenKeyA HKLM\\ -> ok", "RegDeleteValueA HKLM : Top -> ok", "RegCloseKey HKLM -> ok"}, {}},
        // A single leading backslash is the key form; the platform refuses such a key path.
        {"\\Software\\Pkg", {"RegOpenKeyExA HKLM\\\\Software\\Pkg -> error 161"}, {}},
        // A pair that is not the last backslash: the key form for the whole path, and the value
        // named "B\C" of key A is not touched.
        {"Software\\\\B\\C", {"RegOpenKeyExA HKLM\\Software\\\\B\\C -> error 2"}, {}},
        {"", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        fake::Reset();
        ResetRunContext();
        run.isNT = 1;
        fake::RegSetString(HKEY_LOCAL_MACHINE, "Software\\Pkg", "Version", "1.0");
        fake::RegSetString(HKEY_LOCAL_MACHINE, "Software\\Pkg", "", "default");
        fake::RegSetString(HKEY_LOCAL_MACHINE, "Software\\Pkg", "Other", "x");
        fake::RegSetString(HKEY_LOCAL_MACHINE, "Software", "B\\C", "value with a backslash");
        fake::RegSetString(HKEY_LOCAL_MACHINE, "", "Top", "on the root");
        fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Sub");

        Remove({{kLocalMachine, c.path}});

        EXPECT_EQ(fake::Calls({"RegOpenKeyA", "RegOpenKeyExA", "RegDeleteValueA", "RegCloseKey", "RegDeleteKeyA",
                               "RegEnumKeyExA"}),
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
    EXPECT_EQ(fake::Calls({"RegOpenKeyA", "RegDeleteValueA", "RegCloseKey"}),
              (Lines{"RegOpenKeyA HKLM\\Software\\Missing -> error 2", "RegOpenKeyA HKLM\\Software\\Locked -> error 5"}));
    EXPECT_STREQ(run.registryEntries[0]->path, "Software\\Missing\\\\Version");
    EXPECT_STREQ(run.registryEntries[1]->path, "Software\\Locked\\\\Version");
    EXPECT_TRUE(fake::RegGetValue(HKEY_LOCAL_MACHINE, "Software\\Locked", "Version").has_value());
}

TEST_F(RegistryRemoval, OnTheNtFamilyAKeyGoesWithItsSubtreeDeepestFirst) {
    AddPackage();
    Remove({{kLocalMachine, kPackage}});
    const std::string p = "RegDeleteKeyA HKLM\\" + kPackage;
    EXPECT_EQ(fake::DestructiveCalls(), (Lines{p + "\\A\\A1\\Deep -> ok", p + "\\A\\A1 -> ok", p + "\\A\\A2 -> ok",
                                               p + "\\A -> ok", p + "\\Settings of the package -> ok",
                                               "RegDeleteKeyA HKLM\\" + kUninstall + "\\Pkg -> ok"}));
    EXPECT_FALSE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, kPackage));
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, kUninstall), (Lines{kUninstall + "\\Other"}));
    EXPECT_EQ(fake::RegGetValue(HKEY_LOCAL_MACHINE, kUninstall + "\\Other", "DisplayName")->data, std::string("Other\0", 6));
    // Each key is deleted while this level still holds it open, and closed right after.
    Lines order = fake::Calls({"RegDeleteKeyA", "RegCloseKey"});
    ASSERT_EQ(order.size(), 12u);
    for (size_t i = 0; i < order.size(); i += 2) {
        std::string key = order[i].substr(std::string("RegDeleteKeyA ").size());
        EXPECT_EQ(order[i + 1], "RegCloseKey " + key) << i;
    }
    // Every pass asks for the first subkey.
    for (const std::string& call : fake::Calls({"RegEnumKeyExA"})) EXPECT_NE(call.find(" #0"), std::string::npos) << call;
}

TEST_F(RegistryRemoval, DeleteKeyTreeReportsSuccessAndFreesWhatItHeld) {
    AddPackage();
    HKEY uninstall;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstall.c_str(), 0, KEY_ALL_ACCESS, &uninstall), ERROR_SUCCESS);
    EXPECT_EQ(DeleteKeyTree(uninstall, "Pkg"), ERROR_SUCCESS);
    RegCloseKey(uninstall);
    EXPECT_FALSE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, kPackage));
    EXPECT_TRUE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall + "\\Other"));
}

TEST_F(RegistryRemoval, OnThe95FamilyOneCallRemovesTheKey) {
    AddPackage();
    fake::SetRegistryDeletesTrees(true);
    run.isNT = 0;
    Remove({{kLocalMachine, kPackage}});
    EXPECT_EQ(fake::Journal().size(), 1u);
    EXPECT_EQ(fake::DestructiveCalls(), (Lines{"RegDeleteKeyA HKLM\\" + kPackage + " -> ok"}));
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, kUninstall), (Lines{kUninstall + "\\Other"}));
}

TEST_F(RegistryRemoval, AKeyThatCannotBeRemovedStopsItsTreeWhereItStands) {
    // Pkg { A { A1 }, B { B1 { B1a }, B2 }, C }, and B1 refuses deletion.
    const std::string pkg = "Software\\Pkg";
    for (const char* key : {"\\A\\A1", "\\B\\B1\\B1a", "\\B\\B2", "\\C"}) fake::RegAddKey(HKEY_LOCAL_MACHINE, pkg + key);
    fake::RegFail(HKEY_LOCAL_MACHINE, pkg + "\\B\\B1", "delete", ERROR_ACCESS_DENIED);
    fake::ClearJournal();
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, pkg.c_str()), ERROR_ACCESS_DENIED);
    const std::string p = "RegDeleteKeyA HKLM\\" + pkg;
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
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, pkg.c_str()), ERROR_INVALID_HANDLE);
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, pkg), (Lines{pkg + "\\B", pkg + "\\B\\B1", pkg + "\\C"}));

    fake::RegFail(HKEY_LOCAL_MACHINE, pkg + "\\B\\B1", "open", ERROR_ACCESS_DENIED);
    fake::RegFail(HKEY_LOCAL_MACHINE, pkg + "\\B", "enum", 0);
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, pkg.c_str()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(fake::RegTree(HKEY_LOCAL_MACHINE, pkg), (Lines{pkg + "\\B", pkg + "\\B\\B1", pkg + "\\C"}));
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
              (Lines{"RegDeleteKeyA HKLM\\Software\\Stuck\\Child -> error 5", "RegDeleteKeyA HKCU\\Software\\Pkg\\Prefs -> ok",
                     "RegDeleteKeyA HKCU\\Software\\Pkg -> ok", "RegDeleteValueA HKCU\\Software\\Keep : Last -> ok"}));
    EXPECT_EQ(fake::Calls({"RegOpenKeyExA"}).front(), "RegOpenKeyExA HKLM\\Software\\Missing -> error 2");
    EXPECT_TRUE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Stuck\\Child"));
    EXPECT_FALSE(fake::RegKeyExists(HKEY_CURRENT_USER, "Software\\Pkg"));
    EXPECT_TRUE(fake::RegGetValue(HKEY_CURRENT_USER, "Software\\Keep", "Stay").has_value());
}

TEST_F(RegistryRemoval, DeleteKeyTreeRefusesAnEmptySubkeyWithoutARegistryCall) {
    fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Pkg");
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, ""), ERROR_BADKEY);
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, nullptr), ERROR_BADKEY);
    EXPECT_TRUE(fake::Journal().empty());
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Absent"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Pkg"));
}

TEST_F(RegistryRemoval, ATreeAsDeepAsThePlatformAllowsIsRemoved) {
    std::string path = "Software\\Deep";
    for (int level = 0; level < 510; ++level) path += "\\k";
    fake::RegSetString(HKEY_CURRENT_USER, path, "Leaf", "x");
    Remove({{kCurrentUser, "Software\\Deep"}});
    EXPECT_EQ(fake::CallCount("RegDeleteKeyA"), 511);
    EXPECT_FALSE(fake::RegKeyExists(HKEY_CURRENT_USER, "Software\\Deep"));
    EXPECT_TRUE(fake::RegKeyExists(HKEY_CURRENT_USER, "Software"));
}

TEST_F(RegistryRemoval, WithoutMemoryForANameTheTreeStaysAsItIs) {
    fake::RegAddKey(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Sub");
    fake::FailCall("LocalAlloc", 2, 2, ERROR_NOT_ENOUGH_MEMORY);  // the second level's buffer and its retry
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Pkg"), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(fake::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Pkg\\Sub"));
    EXPECT_EQ(fake::CallCount("RegDeleteKeyA"), 0);
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

}  // namespace
