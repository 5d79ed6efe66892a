// The example log of a small package, checked byte for byte against its figures and loaded
// whole; every damaged test log refused; and a load of every record kind that meets a failed
// allocation or read at each step in turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "failure_driver.h"
#include "log/log_format.h"
#include "log_load_test.h"

namespace {

using test::Frame;
using tidewell::Bytes;

// Reads the log's bytes independently of the program's loader.
struct Cursor {
    const Bytes& bytes;
    size_t at = 0;
    uint32_t Number(int size) {
        uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
        at += size;
        return value;
    }
    std::string Text(size_t length) {
        std::string text = bytes.substr(at, length);
        EXPECT_EQ(text.size(), length);
        at += length;
        return text;
    }
};

class ExampleLog : public test::LogLoadTest {};

TEST_F(ExampleLog, HoldsItsBlocksWithTheirFiguresByteForByte) {
    const Bytes log = tidewell::ExampleLog();
    ASSERT_EQ(log.size(), 946u);
    Cursor in{log};
    auto header = [&in](uint16_t tag, uint32_t length) {
        EXPECT_EQ(in.Number(2), tag);
        EXPECT_EQ(in.Number(1), 0u);  // flags
        EXPECT_EQ(in.Number(1), 0u);  // reserved
        EXPECT_EQ(in.Number(4), length);
        return in.at + length;
    };

    size_t end = header(BLOCK_MESSAGES, 493);
    EXPECT_EQ(in.Number(2), 1u);
    EXPECT_EQ(in.Number(2), 11u);
    std::vector<std::string> texts;
    for (uint32_t length : {9, 93, 65, 3, 13, 3, 13, 17, 106, 61, 84}) {
        EXPECT_EQ(in.Number(2), length);
        texts.push_back(in.Text(length));
    }
    EXPECT_EQ(in.at, end);
    for (int slot : {MSG_YES, MSG_YES_ALL, MSG_NO, MSG_NO_ALL}) EXPECT_NE(texts[slot].find('&'), std::string::npos);
    EXPECT_EQ(texts[MSG_BAD_LOG].find("%s"), std::string::npos);
    EXPECT_NE(texts[MSG_NO_MEMORY].find("%s"), std::string::npos);
    EXPECT_NE(texts[MSG_READONLY].find("\n%s\n"), std::string::npos);
    EXPECT_NE(texts[MSG_SHARED_UNUSED].find("\n%s\n"), std::string::npos);

    end = header(BLOCK_REGISTRY, 4);
    EXPECT_EQ(in.Number(4), 0u);

    end = header(BLOCK_FILES, 330);
    EXPECT_EQ(in.Number(4), 9u);
    size_t nameBytes = 0;
    for (int i = 0; i < 9; ++i) {
        ASSERT_EQ(in.Number(2), 17u);
        std::string folder = in.Text(17);
        EXPECT_EQ(folder.substr(0, 2), ".\\");
        EXPECT_EQ(std::count(folder.begin(), folder.end(), '\\'), 2);  // two levels below
        uint32_t nameLength = in.Number(2);
        EXPECT_GE(nameLength, 8u);
        EXPECT_LE(nameLength, 26u);
        nameBytes += in.Text(nameLength).size();
        EXPECT_EQ(in.Number(1), 0u);
    }
    EXPECT_EQ(nameBytes, 128u);
    EXPECT_EQ(in.at, end);

    end = header(BLOCK_REGISTRY_ADD, 79);
    EXPECT_EQ(in.Number(4), 0x80000002u);
    EXPECT_EQ(in.Number(2), 73u);
    std::string path = in.Text(73);
    EXPECT_EQ(path.rfind("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\", 0), 0u);
    EXPECT_EQ(path.find('\\', 52), std::string::npos);  // the package's key itself

    header(BLOCK_END, 0);
    EXPECT_EQ(in.at, log.size());
}

TEST_F(ExampleLog, LoadsWithItsCounts) {
    ASSERT_EQ(Load(tidewell::ExampleLog()), 1);
    EXPECT_TRUE(fake::Boxes().empty());
    // Eleven texts: the example log was written before the slots for running programs and restarting.
    for (int slot = 0; slot < MSG_CLOSE_APPS; ++slot) EXPECT_EQ(run.catalogue[slot], test::ExampleText(slot));
    EXPECT_EQ(run.catalogue[MSG_CLOSE_APPS], nullptr);

    ASSERT_EQ(run.fileCount, 9u);
    for (unsigned int i = 0; i < 9; ++i) {
        EXPECT_STREQ(run.files[i]->folder, ".\\Muestras\\Puerto");
        EXPECT_EQ(run.files[i]->flags, 0);
    }
    EXPECT_STREQ(run.files[0]->name, "faro.exe");
    EXPECT_EQ(run.files[9], nullptr);
    EXPECT_EQ(run.files[10], nullptr);

    EXPECT_EQ(run.folderCount, 0u);
    EXPECT_EQ(run.folders, nullptr);

    ASSERT_EQ(run.registryCount, 1u);
    EXPECT_EQ(run.registryCapacity, 3u);
    EXPECT_EQ(run.registryEntries[0]->root, 0x80000002u);
    EXPECT_EQ(std::string(run.registryEntries[0]->path),
              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Faro del Puerto 2.1.0");
    EXPECT_EQ(run.registryEntries[1], nullptr);
    EXPECT_EQ(run.patterns, nullptr);
}

TEST_F(ExampleLog, EveryDamagedTestLogIsRefusedInTheCataloguesWords) {
    for (const tidewell::NamedLog& damaged : tidewell::DamagedLogs()) {
        SCOPED_TRACE(damaged.name);
        EXPECT_EQ(Load(damaged.log), 0);
        ASSERT_EQ(fake::Boxes().size(), 1u);
        EXPECT_EQ(fake::Boxes()[0].text, test::ExampleText(MSG_BAD_LOG));
        EXPECT_EQ(fake::Boxes()[0].caption, test::ExampleText(MSG_TITLE));
        EXPECT_EQ(fake::OpenHandles(), 0u);
        Restart();
    }
}

// A log with a block of every kind, each with records.
Bytes EveryKind() {
    tidewell::LogContent content;
    content.messages = test::Catalogue();
    content.registry = std::vector<tidewell::RegistryEntry>{{0x80000002u, "Software\\A"}, {0x80000001u, "Software\\B"}};
    content.files = std::vector<tidewell::FileEntry>{{".\\bin", "a.exe", 0}, {"C:\\Shared", "b.dll", FILE_SHARED}};
    content.folders = std::vector<tidewell::FolderEntry>{{"C:\\Menu\\Pkg", "Pkg.lnk"}, {"C:\\Menu\\Pkg", ""}};
    content.patterns = std::vector<std::string>{".tmp", "log.txt"};
    content.registryAdded = {{0x80000002u, "Software\\Uninstall\\Pkg"}};
    return tidewell::BuildLog(content);
}

// Loads the log again and again, with each allocation or read in turn failing.
test::FailurePlan LoadFailures(const Bytes& log, int* loaded) {
    test::FailurePlan plan;
    plan.setUp = [log] {
        test::InstallProgram(log);
        test::StartRun();
    };
    plan.body = [loaded] { *loaded = LoadUninstallLog(); };
    return plan;
}

TEST_F(ExampleLog, EveryAllocationFailureEndsTheLoadWithoutLeakOrCrash) {
    int loaded = 0;
    test::FailurePlan plan = LoadFailures(EveryKind(), &loaded);
    plan.apis = {"LocalAlloc"};
    plan.times = 2;  // the allocation and its retry
    plan.check = [&](const test::FailurePoint& point) {
        if (!point.hit) {
            EXPECT_EQ(loaded, 1);
            return;
        }
        EXPECT_EQ(loaded, 0);
        ASSERT_EQ(fake::Boxes().size(), 1u);
        // Once the catalogue is whole, the failure is reported as what it is.
        if (point.nth > 12) {
            EXPECT_EQ(fake::Boxes()[0].text, std::string("No memory for ") + test::kProgramPath);
        }
        Restart();
    };
    // The catalogue and its 11 texts; the registry list, its staging buffer and 2 records; the
    // same for the files and the folders; the patterns; the added record and its staging buffer;
    // the resolved paths' lists and the paths of the 2 files and the 2 folders; then the clean run.
    EXPECT_EQ(test::DriveFailures(plan), 12 + 4 + 4 + 4 + 1 + 2 + 3 + 3 + 1);
}

TEST_F(ExampleLog, EveryFailedReadIsDamageWithoutLeakOrCrash) {
    int loaded = 0;
    test::FailurePlan plan = LoadFailures(EveryKind(), &loaded);
    plan.apis = {"ReadFile"};
    plan.error = ERROR_NOT_READY;
    plan.check = [&](const test::FailurePoint& point) {
        if (!point.hit) {
            EXPECT_EQ(loaded, 1);
            return;
        }
        EXPECT_EQ(loaded, 0);
        ASSERT_EQ(fake::Boxes().size(), 1u);
        if (point.nth > 2 + 2 * 11) {
            EXPECT_EQ(fake::Boxes()[0].text, std::string("The log in ") + test::kProgramPath + " is damaged.");
        }
        Restart();
    };
    test::DriveFailures(plan);
}

}  // namespace
