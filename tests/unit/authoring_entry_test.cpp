// The package's entry in the list of installed programs: its values, its key added to the log,
// and its writing, which leaves a whole entry or none when any registry call fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/fixture/fixtures.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/manifest.h"
#include "tools/tidewell-log/uninstall_entry.h"

namespace {

using tidewell::EntryValue;
using tidewell::Product;

const char kProgram[] = "C:\\Program Files\\Sample Notes\\Remove.exe";

Product SampleNotes() {
    Product product;
    product.name = "Sample Notes 2.4";
    product.version = "2.4";
    product.publisher = "Tidewell Samples";
    product.help = "https://example.org/help";
    product.key = "Sample Notes";
    return product;
}

std::string Shown(const EntryValue& value) {
    return value.name + "=" + (value.number ? "dword:" + std::to_string(*value.number) : value.text);
}

TEST(EntryValues, NameTheUninstallerItsFolderAndSizeAndComeWithTheDisplayNameLast) {
    std::vector<std::string> shown;
    for (const EntryValue& value : tidewell::EntryValues(SampleNotes(), kProgram, 2 * 1024 * 1024 + 1, "20261209")) shown.push_back(Shown(value));
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "DisplayVersion=2.4",
                         "Publisher=Tidewell Samples",
                         "HelpLink=https://example.org/help",
                         "DisplayIcon=C:\\Program Files\\Sample Notes\\Remove.exe,0",
                         "UninstallString=\"C:\\Program Files\\Sample Notes\\Remove.exe\"",
                         "QuietUninstallString=\"C:\\Program Files\\Sample Notes\\Remove.exe\" /Q",
                         "InstallDate=20261209",
                         "InstallLocation=C:\\Program Files\\Sample Notes",
                         "EstimatedSize=dword:2049",  // kilobytes, rounded up
                         "NoModify=dword:1",
                         "NoRepair=dword:1",
                         "DisplayName=Sample Notes 2.4",
                     }));
    // An uninstaller in a drive's root: its folder is the root itself.
    EXPECT_EQ(Shown(tidewell::EntryValues(SampleNotes(), "D:\\Remove.exe", 0, "20261209")[7]), "InstallLocation=D:\\");
    for (const EntryValue& value : tidewell::EntryValues(SampleNotes(), kProgram, 0, "20261209"))
        EXPECT_NE(std::find(tidewell::EntryValueNames().begin(), tidewell::EntryValueNames().end(), value.name),
                  tidewell::EntryValueNames().end())
            << value.name;
}

// The list of installed programs in memory, each call counted; the call numbered `failAt` fails.
class FakeList : public tidewell::RegistryPort {
public:
    std::map<std::string, std::map<std::string, std::string>> keys;
    int calls = 0;
    int failAt = 0;

    std::string Name() const override { return "HKEY_LOCAL_MACHINE\\Uninstall"; }
    bool OpenEntry(const std::string& key, bool* made) override {
        if (Fails()) return false;
        *made = !keys.count(key);
        keys[key];
        open = key;
        return true;
    }
    bool SetText(const std::string& name, const std::string& text) override { return Set(name, text); }
    bool SetNumber(const std::string& name, uint32_t number) override { return Set(name, "dword:" + std::to_string(number)); }
    bool DeleteValue(const std::string& name) override {
        if (Fails()) return false;
        keys[open].erase(name);
        return true;
    }
    bool DeleteEntry(const std::string& key) override {
        if (Fails()) return false;
        keys.erase(key);
        return true;
    }

private:
    bool Fails() { return ++calls == failAt; }
    bool Set(const std::string& name, const std::string& data) {
        if (Fails()) return false;
        keys[open][name] = data;
        return true;
    }
    std::string open;
};

std::map<std::string, std::string> Written(const std::vector<EntryValue>& values) {
    std::map<std::string, std::string> written;
    for (const EntryValue& value : values) written[value.name] = value.number ? "dword:" + std::to_string(*value.number) : value.text;
    return written;
}

TEST(WriteEntry, LeavesTheWholeEntryOrNoneWhicheverCallFails) {
    const std::vector<EntryValue> values = tidewell::EntryValues(SampleNotes(), kProgram, 4096, "20261209");
    const std::map<std::string, std::string> earlier = {{"DisplayName", "Sample Notes 2.3"}, {"HelpLink", "old"},
                                                        {"Comments", "the installation's own"}};
    // A new entry, and one an earlier installation left with values of its own and of ours.
    for (bool existed : {false, true}) {
        FakeList complete;
        if (existed) complete.keys["Sample Notes"] = earlier;
        tidewell::WriteEntry(complete, "Sample Notes", values);
        std::map<std::string, std::string> expected = Written(values);
        if (existed) expected["Comments"] = "the installation's own";  // not the tool's to take out
        EXPECT_EQ(complete.keys["Sample Notes"], expected);
        ASSERT_GT(complete.calls, 10);

        for (int failAt = 1; failAt <= complete.calls; ++failAt) {
            FakeList list;
            list.keys["Other"] = {{"DisplayName", "Other"}};
            if (existed) list.keys["Sample Notes"] = earlier;
            list.failAt = failAt;
            EXPECT_THROW(tidewell::WriteEntry(list, "Sample Notes", values), tidewell::LogError) << failAt;
            EXPECT_EQ(list.keys["Other"].size(), 1u);
            if (!existed) {
                EXPECT_FALSE(list.keys.count("Sample Notes") && list.keys["Sample Notes"].count("DisplayName")) << failAt;
                // The key the call made goes again, unless its deletion is what failed.
                if (list.keys.count("Sample Notes")) {
                    EXPECT_TRUE(list.keys["Sample Notes"].empty()) << failAt;
                }
            } else {
                // The earlier entry as it was, or one the list does not show: it shows no entry
                // without a name.
                const auto& left = list.keys["Sample Notes"];
                EXPECT_TRUE(left == earlier || !left.count("DisplayName")) << failAt;
                EXPECT_EQ(left.count("Comments"), 1u) << failAt;
            }
        }
    }
}

TEST(RegisteredManifest, AddsTheEntrysKeyToTheLogOnceAndRefusesWhenThereIsNoRoom) {
    tidewell::ManifestOptions registering;
    registering.registerEntry = true;
    const std::string product = R"("product": {"name": "Sample Notes 2.4", "key": "Sample Notes"})";
    tidewell::LogContent content = tidewell::ReadManifest("{" + product + "}", registering).content;
    ASSERT_TRUE(content.registry && content.registry->empty());  // the list the added records need
    ASSERT_EQ(content.registryAdded.size(), 1u);
    EXPECT_EQ(content.registryAdded[0].root, 0x80000002u);
    EXPECT_EQ(content.registryAdded[0].path, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample Notes");

    // A user's package: its entry is the user's. The key defaults to the display name.
    content = tidewell::ReadManifest(R"({"scope": "user", "product": {"name": "Notes"}, "registry": [{"root": "HKCU", "path": "Software\\Notes"}]})",
                                     registering).content;
    ASSERT_EQ(content.registryAdded.size(), 1u);
    EXPECT_EQ(content.registryAdded[0].root, 0x80000001u);
    EXPECT_EQ(content.registryAdded[0].path, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Notes");
    EXPECT_EQ(content.registry->size(), 1u);

    // Named already (as a dumped log names it): not twice.
    content = tidewell::ReadManifest(
        "{" + product + R"(, "registry": [], "registry_added": [{"root": "HKLM", "path": "software\\microsoft\\windows\\currentversion\\uninstall\\sample notes"}]})",
        registering).content;
    EXPECT_EQ(content.registryAdded.size(), 1u);

    const std::string full = "{" + product + R"(, "registry": [], "registry_added": [{"root": "HKLM", "path": "Software\\A"},
        {"root": "HKLM", "path": "Software\\B"}, {"root": "HKLM", "path": "Software\\C"}]})";
    EXPECT_EQ(tidewell::ReadManifest(full).content.registryAdded.size(), 3u);  // without --register, nothing is added
    try {
        tidewell::ReadManifest(full, registering);
        FAIL() << "a fourth added record";
    } catch (const tidewell::LogError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "registry_added: attach --register adds the entry's key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                  "Uninstall\\Sample Notes, and the program has room for 3 added records: put one of them in \"registry\"");
    }
}

TEST(RegisteredManifest, TheProductSectionIsCheckedBeforeAnythingIsWritten) {
    tidewell::ManifestOptions registering;
    registering.registerEntry = true;
    auto refusal = [&](const std::string& manifest) {
        try {
            tidewell::ReadManifest(manifest, registering);
        } catch (const tidewell::LogError& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    EXPECT_EQ(refusal("{}"), "product: attach --register needs the package's \"product\" section, with its \"name\" at least");
    EXPECT_EQ(refusal(R"({"product": {"version": "1"}})"), "product: missing \"name\"");
    EXPECT_EQ(refusal(R"({"product": {"name": ""}})"), "product.name: the name the list of installed programs shows cannot be empty");
    EXPECT_EQ(refusal(R"({"product": {"name": "A", "homepage": "x"}})"),
              "product: unknown entry \"homepage\" (known: name, version, publisher, help, about, contact, key)");
    EXPECT_EQ(refusal(R"({"product": {"name": "A\\B"}})"),
              "product.name (the entry's key unless \"key\" is given): the entry's key cannot hold a backslash");
    EXPECT_EQ(refusal(R"({"product": {"name": "A", "key": ")" + std::string(256, 'k') + R"("}})"),
              "product.key: the entry's key holds more than the registry's 255 characters");
    EXPECT_EQ(refusal(R"({"product": {"name": "A", "version": 2}})"), "product.version: expected a string");
}

TEST(RegisteredManifest, TheHostBuildRefusesToRegisterAndWritesNothing) {
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   ("tidewell-register-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    tidewell::WriteFileBytes((folder / "stub.exe").string(), tidewell::ExampleStub());
    tidewell::WriteFileBytes((folder / "package.json").string(), R"({"product": {"name": "Notes"}})");
    try {
        tidewell::AttachCommand({"--stub", (folder / "stub.exe").string(), "--manifest", (folder / "package.json").string(),
                                 "--out", (folder / "Remove.exe").string(), "--register"});
        ADD_FAILURE() << "registered on the host";
    } catch (const tidewell::LogError& error) {
        EXPECT_NE(std::string(error.what()).find("run tidewell-log.exe there"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "Remove.exe"));
    std::filesystem::remove_all(folder);
}

}  // namespace
