// The code page of a log: chosen where the log is written (the manifest's "codepage" on the
// build machine, the system's own on the user's), recorded in the log when a text needs it,
// marked in the copy's application manifest in place; a text the chosen page cannot hold is
// refused, naming its record. (The copy's mark: authoring_scope_test.cpp.)
#include <gtest/gtest.h>

#include "tests/fixture/fixtures.h"
#include "tools/tidewell-log/log_reader.h"
#include "tools/tidewell-log/manifest.h"
#include "tools/tidewell-log/program_image.h"

namespace {

using tidewell::Bytes;

std::string Package(const std::string& codePage, std::string folder) {
    for (size_t at = folder.find('\\'); at != std::string::npos; at = folder.find('\\', at + 2)) folder.insert(at, 1, '\\');
    return "{" + (codePage.empty() ? "" : "\"codepage\": \"" + codePage + "\", ") + "\"messages\": {\"MSG_TITLE\": \"Remove\"}, " +
           "\"files\": [{\"folder\": \"" + folder + "\", \"name\": \"a.txt\"}]}";
}

struct Choice {
    const char* what;
    std::string codePage;     // the manifest's "codepage", empty for none
    unsigned system;          // the code page of the machine the log is written on, 0 a build machine
    std::string folder;       // a record's folder, in the manifest's UTF-8
    std::string logged;       // its bytes in the log
    uint32_t block;           // the code page the log records, 0 for none
    bool utf8;                // the copy is marked UTF-8
    std::string warning;      // where the one warning is, if any
};

TEST(CodePageChoice, TheLogRecordsTheCodePageItsTextsAreWrittenIn) {
    const std::string chinese = "C:\\\xe5\xbc\xa0\xe4\xbc\x9f";  // C:\张伟
    const Choice choices[] = {
        {"a Windows 10 1903 machine: UTF-8", "", 65001, chinese, chinese, 65001, true, ""},
        {"an older Windows: its ANSI code page", "", 1252, "C:\\A\xc3\xb1o", "C:\\A\xf1o", 1252, false, ""},
        {"a Japanese Windows", "", 932, "C:\\\xe8\xa1\xa8", "C:\\\x95\x5c", 932, false, ""},
        {"ASCII reads alike in every code page: no block", "", 1252, "C:\\Apps", "C:\\Apps", 0, false, ""},
        {"ASCII on UTF-8: no block, the copy still UTF-8", "", 65001, "C:\\Apps", "C:\\Apps", 0, true, ""},
        {"the build machine's utf-8, for Windows 10 1903 and later", "utf-8", 0, chinese, chinese, 65001, true, "codepage"},
        {"the manifest's code page wins over the system's", "windows-1252", 65001, "C:\\A\xc3\xb1o", "C:\\A\xf1o", 1252, false, ""},
        {"a code page no Windows runs in is not recorded", "ISO-8859-1", 0, "C:\\A\xc3\xb1o", "C:\\A\xf1o", 0, false, ""},
        {"the build machine without a code page: UTF-8 bytes, noted", "", 0, chinese, chinese, 0, false, "files[0].folder"},
    };
    for (const Choice& choice : choices) {
        SCOPED_TRACE(choice.what);
        tidewell::ManifestOptions options;
        options.systemCodePage = choice.system;
        tidewell::Manifest manifest = tidewell::ReadManifest(Package(choice.codePage, choice.folder), options);
        EXPECT_EQ(manifest.utf8, choice.utf8);
        ASSERT_EQ(manifest.findings.size(), choice.warning.empty() ? 0u : 1u);
        if (!choice.warning.empty()) {
            EXPECT_EQ(manifest.findings[0].where, choice.warning);
        }
        // What the program reads: the block's number and the record's bytes.
        tidewell::ReadLog log = tidewell::ReadProgramLog(tidewell::AttachToProgram(tidewell::ExampleStub(), tidewell::BuildLog(manifest.content)));
        ASSERT_TRUE(log.accepted);
        EXPECT_EQ(log.content.codePage.value_or(0), choice.block);
        EXPECT_EQ((*log.content.files)[0].folder, choice.logged);
        EXPECT_TRUE(log.findings.empty());
    }
}

TEST(CodePageChoice, ATextTheChosenCodePageCannotHoldIsRefusedNamingItsRecord) {
    auto refusal = [](const std::string& manifest, unsigned system) {
        tidewell::ManifestOptions options;
        options.systemCodePage = system;
        try {
            tidewell::ReadManifest(manifest, options);
        } catch (const tidewell::LogError& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refusal(Package("", "C:\\\xe5\xbc\xa0\xe4\xbc\x9f"), 1252),
              "files[0].folder: the text holds a character that code page CP1252 cannot show");
    EXPECT_EQ(refusal(R"({"messages": {"MSG_DONE": "Ελληνικά"}})", 1251),
              "messages.MSG_DONE: the text holds a character that code page CP1251 cannot show");
    EXPECT_EQ(refusal(R"({"codepage": "windows-1252", "files": [{"folder": "C:\\Ελληνικά", "name": "a"}]})", 65001),
              "files[0].folder: the text holds a character that code page windows-1252 cannot show");
    EXPECT_EQ(refusal(Package("", "C:\\\xe5\xbc\xa0\xe4\xbc\x9f"), 65001), "accepted");
}

}  // namespace
