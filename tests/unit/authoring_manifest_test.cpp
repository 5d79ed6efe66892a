// The manifest through the whole tool: manifest, attach, dump gives the manifest back for every
// kind of record, in the code page the package names; and the manifest's own errors.
#include <gtest/gtest.h>

#include "tests/fixture/fixtures.h"
#include "tools/tidewell-log/log_reader.h"
#include "tools/tidewell-log/manifest.h"
#include "tools/tidewell-log/program_image.h"

namespace {

using tidewell::Bytes;

// attach, then dump, as the commands do.
std::string AttachAndDump(const std::string& manifest, const std::string& codePage = "") {
    tidewell::Manifest parsed = tidewell::ReadManifest(manifest);
    Bytes program = tidewell::AttachToProgram(tidewell::ExampleStub(), tidewell::BuildLog(parsed.content));
    tidewell::ReadLog log = tidewell::ReadProgramLog(program);
    EXPECT_TRUE(log.accepted);
    return tidewell::WriteManifest(log.content, codePage);
}

std::string Refusal(const std::string& manifest) {
    try {
        tidewell::ReadManifest(manifest);
    } catch (const tidewell::LogError& error) {
        return error.what();
    }
    return "";
}

// A manifest in the form dump writes, with a record of every kind and every flag and root form.
const char kEveryKind[] = R"({
  "messages": {
    "MSG_TITLE": "Sample Notes",
    "MSG_CONFIRM": "Remove Sample Notes?\n\nIts files and settings go.",
    "MSG_SHARED_UNUSED": "",
    "MSG_CLOSE_APPS": "Still running:\n%s\nClose them?",
    "MSG_RESTART": "Restart Windows now?"
  },
  "files": [
    {"folder": ".\\", "name": "notes.exe"},
    {"folder": ".\\lib\\deep", "name": "core.dll", "flags": ["selfreg"]},
    {"folder": "C:\\Program Files\\Common Files\\Sample", "name": "shared.dll", "flags": ["shared"]},
    {"folder": "C:\\Windows\\Fonts", "name": "notes.ttf", "flags": ["font"]},
    {"folder": "C:\\Sample", "name": "all.dll", "flags": ["shared", "font", "selfreg"]},
    {"folder": ".\\cache", "name": ""}
  ],
  "folders": [
    {"folder": "C:\\Menu\\Sample Notes", "name": "Sample Notes.lnk"},
    {"folder": "C:\\Menu\\Sample Notes", "name": ""}
  ],
  "registry": [
    {"root": "HKLM", "path": "Software\\Sample\\Notes"},
    {"root": "HKCU", "path": "Software\\Sample\\Notes\\\\LastFile"},
    {"root": "HKCR", "path": ".snote"},
    {"root": 2147483654, "path": "Odd\\Root"}
  ],
  "registry_added": [
    {"root": "HKLM", "path": "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample Notes"},
    {"root": "HKU", "path": ".DEFAULT\\Software\\Sample"},
    {"root": "HKCC", "path": "Software\\Sample"}
  ],
  "patterns": [
    ".tmp",
    "notes.log",
    "."
  ]
}
)";

TEST(Manifest, DumpAfterAttachGivesTheManifestBackForEveryKindOfRecord) {
    EXPECT_EQ(AttachAndDump(kEveryKind), kEveryKind);
}

TEST(Manifest, EveryRecordReachesTheLogAsWritten) {
    tidewell::LogContent content = tidewell::ParseManifest(kEveryKind);
    EXPECT_EQ((*content.messages)[MSG_TITLE], "Sample Notes");
    EXPECT_EQ((*content.messages)[MSG_DONE], tidewell::DefaultMessages()[MSG_DONE]);
    EXPECT_EQ((*content.messages)[MSG_SHARED_UNUSED], "");
    ASSERT_EQ(content.files->size(), 6u);
    EXPECT_EQ((*content.files)[1].flags, FILE_SELFREG);
    EXPECT_EQ((*content.files)[4].flags, FILE_SHARED | FILE_FONT | FILE_SELFREG);
    EXPECT_EQ((*content.files)[5].name, "");
    EXPECT_EQ((*content.registry)[1].path, "Software\\Sample\\Notes\\\\LastFile");
    EXPECT_EQ((*content.registry)[2].root, 0x80000000u);
    EXPECT_EQ((*content.registry)[3].root, 0x80000006u);
    EXPECT_EQ(content.registryAdded[1].root, 0x80000003u);
    EXPECT_EQ(content.registryAdded[2].root, 0x80000005u);
    EXPECT_EQ(*content.patterns, (std::vector<std::string>{".tmp", "notes.log", "."}));
}

TEST(Manifest, LeftOutPartsStayOutAndEmptyListsStayEmpty) {
    // No messages: the English defaults, which dump leaves out again.
    EXPECT_EQ(AttachAndDump("{}"), "{\n}\n");
    EXPECT_EQ(AttachAndDump(R"({"messages": {}})"), "{\n}\n");
    const char noCatalogue[] = "{\n  \"messages\": null,\n  \"files\": [],\n  \"registry\": [],\n  \"patterns\": []\n}\n";
    EXPECT_EQ(AttachAndDump(noCatalogue), noCatalogue);
    tidewell::LogContent content = tidewell::ParseManifest(noCatalogue);
    EXPECT_FALSE(content.messages);
    EXPECT_FALSE(content.folders);
    EXPECT_TRUE(content.patterns && content.patterns->empty());
}

TEST(Manifest, EverySlotHasAnEnglishTextAndNullLeavesTheLastSlotsOut) {
    std::vector<std::string> texts = *tidewell::ParseManifest("{}").messages;
    ASSERT_EQ(texts.size(), size_t{MSG_SLOT_COUNT});
    EXPECT_NE(texts[MSG_CLOSE_APPS].find("\n%s\n"), std::string::npos);  // the names' list on lines of its own
    EXPECT_FALSE(texts[MSG_RESTART].empty());
    // Texts go by position: a slot left out before a given one goes in empty.
    texts = *tidewell::ParseManifest(R"({"messages": {"MSG_CLOSE_APPS": null}})").messages;
    ASSERT_EQ(texts.size(), size_t{MSG_SLOT_COUNT});
    EXPECT_EQ(texts[MSG_CLOSE_APPS], "");
    EXPECT_EQ(texts[MSG_RESTART], tidewell::DefaultMessages()[MSG_RESTART]);
    EXPECT_EQ(tidewell::ParseManifest(R"({"messages": {"MSG_RESTART": null, "MSG_CLOSE_APPS": null}})").messages->size(),
              size_t{MSG_CLOSE_APPS});
}

TEST(Manifest, TextsGoIntoTheLogInThePackagesCodePageAndComeBack) {
    const char spanish[] = R"({
  "codepage": "windows-1252",
  "messages": {
    "MSG_CONFIRM": "¿Quiere quitar Faro del Puerto?"
  },
  "files": [
    {"folder": ".\\Muestras\\Año", "name": "leame.txt"}
  ]
}
)";
    tidewell::Manifest manifest = tidewell::ReadManifest(spanish);
    EXPECT_EQ((*manifest.content.messages)[MSG_CONFIRM], "\xbfQuiere quitar Faro del Puerto?");
    EXPECT_EQ((*manifest.content.files)[0].folder, ".\\Muestras\\A\xf1o");
    EXPECT_TRUE(manifest.findings.empty());
    EXPECT_EQ(AttachAndDump(spanish, "windows-1252"), spanish);
    // By number, as the system counts its code pages.
    EXPECT_EQ((*tidewell::ParseManifest(R"({"codepage": 1252, "messages": {"MSG_TITLE": "Año"}})").messages)[MSG_TITLE], "A\xf1o");

    EXPECT_EQ(Refusal(R"({"codepage": "windows-1252", "messages": {"MSG_TITLE": "日本"}})"),
              "messages.MSG_TITLE: the text holds a character that code page windows-1252 cannot show");
    EXPECT_EQ(Refusal(R"({"codepage": "no-such-page"})"), "unknown code page \"no-such-page\" (for example windows-1252)");
}

TEST(Manifest, TextsOutsideAsciiWithoutACodePageAreNoted) {
    tidewell::Manifest manifest = tidewell::ReadManifest(R"({"files": [{"folder": ".\\Año", "name": "x"}]})");
    ASSERT_EQ(manifest.findings.size(), 1u);
    EXPECT_FALSE(manifest.findings[0].error);
    EXPECT_EQ(manifest.findings[0].where, "files[0].folder");
    EXPECT_NE(manifest.findings[0].text.find("\"codepage\""), std::string::npos);
    EXPECT_EQ((*manifest.content.files)[0].folder, ".\\A\xc3\xb1o");  // the UTF-8 bytes as they stand
}

TEST(Manifest, EachMistakeIsRefusedInOneLineThatNamesTheEntry) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"([1, 2])", "the manifest must be a JSON object"},
        {R"({"file": []})", "unknown manifest entry \"file\""},
        {R"({"messages": {"MSG_TITEL": "x"}})", "messages: unknown slot \"MSG_TITEL\""},
        {R"({"messages": {"MSG_TITLE": 3}})", "messages.MSG_TITLE: expected a string, or null to leave the slot out"},
        {R"({"messages": []})", "messages: expected an object of texts by slot name, such as \"MSG_TITLE\""},
        {R"({"files": {}})", "files: expected a list"},
        {R"({"files": [{"folder": ".\\"}, {"name": "x"}]})", "files[1]: missing \"folder\""},
        {R"({"files": [{"folder": ".\\", "name": "x", "flags": ["hidden"]}]})",
         "files[0].flags: unknown flag \"hidden\" (known: shared, font, selfreg)"},
        {R"({"folders": [{"folder": 7}]})", "folders[0].folder: expected a string"},
        {R"({"registry": [{"path": "Software\\X"}]})", "registry[0]: missing \"root\""},
        {R"({"registry": [{"root": "HKEY_LOCAL", "path": "x"}]})",
         "registry[0].root: unknown root key \"HKEY_LOCAL\" (for example HKEY_LOCAL_MACHINE or HKLM)"},
        {R"({"patterns": [".tmp", 3]})", "patterns[1]: expected a string"},
        {R"({"codepage": true})", "codepage: expected a code page's name or number, such as \"windows-1252\", 1252 or \"utf-8\""},
        // Not a sensible manifest: no silent truncation of a number, no unbounded nesting.
        {"", "the manifest is empty"},
        {R"({"registry": [{"root": 4294967298, "path": "x"}]})", "registry[0].root: 4294967298 does not fit a 32-bit root key"},
        {R"({"codepage": 66801})", "codepage: 66801 is not a code page's number"},
        {R"({"files": [{"folder": ".\\", "name": "x", "flags": [[[[[["font"]]]]]]}]})", "the manifest is nested deeper than 6 levels"},
    };
    for (const auto& [manifest, refusal] : cases) EXPECT_EQ(Refusal(manifest), refusal) << manifest;
    std::string syntax = Refusal("{\"files\": [}");
    EXPECT_EQ(syntax.rfind("the manifest is not valid JSON: parse error at line 1, column 12", 0), 0u) << syntax;
    EXPECT_EQ(syntax.find('\n'), std::string::npos);
    EXPECT_EQ(Refusal(std::string(100000, '[') + std::string(100000, ']')), "the manifest is nested deeper than 6 levels");
    EXPECT_EQ(Refusal("{\"patterns\": [\"" + std::string(16u << 20, 'x') + "\"]}"), "the manifest is larger than 16 MiB");
}

TEST(Manifest, BothNamesOfARootGiveItsValue) {
    tidewell::LogContent content = tidewell::ParseManifest(
        R"({"registry": [{"root": "HKEY_LOCAL_MACHINE", "path": "a"}, {"root": "HKLM", "path": "b"},
                         {"root": "HKEY_CURRENT_USER", "path": "c"}, {"root": "HKEY_CLASSES_ROOT", "path": "d"}]})");
    EXPECT_EQ((*content.registry)[0].root, 0x80000002u);
    EXPECT_EQ((*content.registry)[1].root, 0x80000002u);
    EXPECT_EQ((*content.registry)[2].root, 0x80000001u);
    EXPECT_EQ((*content.registry)[3].root, 0x80000000u);
}

TEST(Manifest, DumpReadsTheExampleLogInItsCodePage) {
    Bytes program = tidewell::AttachToProgram(tidewell::ExampleStub(), tidewell::ExampleLog());
    tidewell::ReadLog log = tidewell::ReadProgramLog(program);
    std::string dumped = tidewell::WriteManifest(log.content, "windows-1252");
    EXPECT_NE(dumped.find("\"MSG_YES\": \"&S\xc3\xad\""), std::string::npos);
    // Its eleven texts predate the last two slots, which stay out rather than taking English texts.
    EXPECT_NE(dumped.find("\"MSG_CLOSE_APPS\": null,\n    \"MSG_RESTART\": null\n  }"), std::string::npos) << dumped;
    // Attached again, the dumped manifest gives the example log byte for byte, with the code page
    // its texts are in recorded now.
    tidewell::LogContent recorded = tidewell::ExampleContent();
    recorded.codePage = 1252;
    EXPECT_EQ(tidewell::BuildLog(tidewell::ParseManifest(dumped)), tidewell::BuildLog(recorded));
}

}  // namespace
