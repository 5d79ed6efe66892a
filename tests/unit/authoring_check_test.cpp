// check's findings: every refusal and every warning names its record; a sound package gets none.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/fixture/fixtures.h"
#include "tools/tidewell-log/check.h"
#include "tools/tidewell-log/known_folders.h"
#include "tools/tidewell-log/manifest.h"

namespace {

using tidewell::Findings;

Findings Check(const std::string& manifest) { return tidewell::CheckContent(tidewell::ParseManifest(manifest)); }

// The one finding of a manifest, as a line.
std::string Only(const std::string& manifest) {
    Findings findings = Check(manifest);
    if (findings.size() != 1) {
        std::string all;
        for (const tidewell::Finding& finding : findings) all += "\n  " + tidewell::FormatFinding(finding);
        return std::to_string(findings.size()) + " findings:" + all;
    }
    return tidewell::FormatFinding(findings[0]);
}

// A JSON string of the text, escaped.
std::string J(const std::string& text) { return nlohmann::json(text).dump(); }

std::string Files(const std::string& entries) { return R"({"files": [)" + entries + "]}"; }
std::string Folders(const std::string& entries) { return R"({"folders": [)" + entries + "]}"; }
std::string Registry(const std::string& entries) { return R"({"registry": [)" + entries + "]}"; }

TEST(Check, FindsNothingInASoundPackage) {
    EXPECT_TRUE(tidewell::CheckContent(tidewell::ExampleContent()).empty());
    EXPECT_TRUE(Check(R"json({
      "files": [{"folder": ".\\", "name": "notes.exe"}, {"folder": ".\\help\\en", "name": "notes.chm"},
                {"folder": "C:\\Program Files\\Common Files\\Sample", "name": "rt.dll", "flags": ["shared"]},
                {"folder": "C:\\Windows\\Fonts", "name": "notes.ttf", "flags": ["font"]},
                {"folder": "C:\\Users\\ana\\Desktop", "name": "Notes.lnk"},
                {"folder": ".\\data", "name": ""}],
      "folders": [{"folder": "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Notes", "name": "Notes.lnk"}],
      "registry": [{"root": "HKLM", "path": "Software\\Sample\\Notes"},
                   {"root": "HKLM", "path": "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\\\Notes (TrueType)"},
                   {"root": "HKCR", "path": ".snote"}],
      "registry_added": [{"root": "HKLM", "path": "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Notes"}],
      "patterns": [".tmp", "notes.log"]})json").empty());
}

TEST(Check, RefusesWhatTheProgramWouldRefuse) {
    std::string folder(1000, 'f'), name(MAX_RECORD_STRINGS + 1 - 1000, 'n');
    EXPECT_EQ(Only(Files(R"({"folder": ")" + folder + R"(", "name": ")" + name + R"("})")).substr(0, 40),
              "error: files[0] \"" + folder.substr(0, 23));
    EXPECT_NE(Only(Files(R"({"folder": ")" + folder + R"(", "name": ")" + name + R"("})"))
                  .find("folder and name together are 1555 bytes; the program takes at most 1554"),
              std::string::npos);
    EXPECT_NE(Only(Folders(R"({"folder": ")" + folder + R"(", "name": ")" + name + R"("})")).find("error: folders[0]"),
              std::string::npos);
    EXPECT_NE(Only(Registry(R"({"root": "HKLM", "path": ")" + std::string(520, 'k') + R"("})"))
                  .find("a path of 520 bytes; the program takes at most 519"),
              std::string::npos);
    EXPECT_EQ(Only(R"({"registry_added": [{"root": "HKLM", "path": "Software\\X"}]})"),
              "error: registry_added: added registry records need a registry list (\"registry\", even an empty one)");
    std::string added;
    for (int i = 0; i < 4; ++i) added += std::string(i ? "," : "") + R"({"root": "HKLM", "path": "Software\\X)" + std::to_string(i) + R"("})";
    EXPECT_EQ(Only(R"({"registry": [], "registry_added": [)" + added + "]}"),
              "error: registry_added: 4 added registry records; the program has room for 3 behind its list: put the rest in \"registry\"");
    EXPECT_EQ(Only(R"({"patterns": [".tmp", ""]})"),
              "error: patterns[1]: an empty pattern ends the list: the patterns after it would never be read");
    Findings findings = tidewell::CheckContent([] {
        tidewell::LogContent content = tidewell::ParseManifest("{}");
        (*content.messages)[MSG_DONE] = std::string(70000, 'x');
        return content;
    }());
    EXPECT_TRUE(tidewell::HasError(findings));
}

TEST(Check, WarnsAboutTheCatalogue) {
    EXPECT_EQ(Only(R"({"messages": null})"),
              "warning: messages: the log carries no texts: every box is empty, and a file whose deletion is refused is "
              "removed without a question");
    EXPECT_EQ(Only(R"({"messages": {"MSG_READONLY": ""}})"),
              "warning: messages.MSG_READONLY: is empty: the program then removes every file whose deletion is refused "
              "without asking, as if Yes to all had been chosen");
    EXPECT_EQ(Only(R"({"messages": {"MSG_CONFIRM": ""}})"),
              "warning: messages.MSG_CONFIRM: is empty: the confirmation before anything is removed shows no text");
    EXPECT_EQ(Only(R"({"messages": {"MSG_DONE": "%s is gone"}})"),
              "warning: messages.MSG_DONE: is shown as it stands: its \"%s\" appears literally");
    EXPECT_EQ(Only(R"({"messages": {"MSG_SHARED_UNUSED": "Remove the shared file?"}})"),
              "warning: messages.MSG_SHARED_UNUSED: has no \"%s\": the shared-file question does not say which file it is about");
    EXPECT_EQ(Only(R"({"messages": {"MSG_CONFIRM": ")" + std::string(1024, 'x') + R"("}})"),
              "warning: messages.MSG_CONFIRM: is cut to 1023 bytes in its box");
    EXPECT_EQ(Only(R"({"messages": {"MSG_READONLY": ")" + std::string(800, 'x') + R"(%s"}})"),
              "warning: messages.MSG_READONLY: may be cut to 1023 bytes in its box once a long path is put in");
    EXPECT_EQ(Only(R"({"messages": {"MSG_TITLE": "Notes\u0000 Setup"}})"),
              "warning: messages.MSG_TITLE: holds a zero byte: the program shows only what comes before it");
}

TEST(Check, TheTwoQuestionsAfterTheConfirmationTakeTheirArgumentOrNone) {
    // The running programs' names go where MSG_CLOSE_APPS has "%s"; MSG_RESTART is shown as it stands.
    EXPECT_EQ(Only(R"({"messages": {"MSG_CLOSE_APPS": "Close the running programs?"}})"),
              "warning: messages.MSG_CLOSE_APPS: has no \"%s\": the question whether to close the package's running "
              "programs does not say which programs it is about");
    EXPECT_EQ(Only(R"({"messages": {"MSG_RESTART": "%s needs a restart. Restart now?"}})"),
              "warning: messages.MSG_RESTART: is shown as it stands: its \"%s\" appears literally");
    EXPECT_EQ(Only(R"({"messages": {"MSG_CLOSE_APPS": ")" + std::string(800, 'x') + R"(%s"}})"),
              "warning: messages.MSG_CLOSE_APPS: may be cut to 1023 bytes in its box once the programs' names are put in");
    EXPECT_EQ(Only(R"({"messages": {"MSG_RESTART": ")" + std::string(1024, 'x') + R"("}})"),
              "warning: messages.MSG_RESTART: is cut to 1023 bytes in its box");
    // Empty or left out, neither is asked: a package's choice, and what every older log does.
    EXPECT_TRUE(Check(R"({"messages": {"MSG_CLOSE_APPS": "", "MSG_RESTART": ""}})").empty());
    EXPECT_TRUE(Check(R"({"messages": {"MSG_CLOSE_APPS": null, "MSG_RESTART": null}})").empty());
}

TEST(Check, WarnsAboutPatternsThatSweepTooMuchOrNothing) {
    EXPECT_EQ(Only(R"({"patterns": ["*", ".tmp"]})"),
              "warning: patterns[0] \"*\": a first pattern beginning with '*' deletes every file below the installation "
              "folder, and the other patterns do not matter");
    EXPECT_EQ(Only(R"({"patterns": ["*.tmp"]})"),
              "warning: patterns[0] \"*.tmp\": a first pattern beginning with '*' deletes every file below the installation "
              "folder, not only those its text suggests, and the other patterns do not matter");
    EXPECT_NE(Only(R"({"patterns": [".tmp", "*.bak"]})").find("patterns[1] \"*.bak\": matches no file"), std::string::npos);
    EXPECT_NE(Only(R"({"patterns": ["logs\\old.txt"]})").find("never a path"), std::string::npos);
    EXPECT_NE(Only(R"({"patterns": ["."]})").find("every file without an extension"), std::string::npos);
    EXPECT_NE(Only(R"({"patterns": [".tar.gz"]})").find("taken from its last dot"), std::string::npos);
}

TEST(Check, WarnsAboutFoldersNoPackageOwns) {
    EXPECT_EQ(Only(Folders(R"({"folder": "C:\\Users\\Public\\Desktop", "name": "Notes.lnk"})")),
              "warning: folders[0] \"C:\\Users\\Public\\Desktop\\Notes.lnk\": names the all-users Desktop, which no package "
              "owns: a folder record's folder may be removed once it is empty; list a shortcut there as a file record "
              "instead, whose folder the program protects");
    EXPECT_EQ(Only(Folders(R"({"folder": "C:\\Users\\ana\\Documents", "name": "Notes.lnk"})")),
              "warning: folders[0] \"C:\\Users\\ana\\Documents\\Notes.lnk\": names a user's Documents folder, which no "
              "package owns and the program does not protect: a folder record's folder is removed once it is empty");
    EXPECT_EQ(Only(Folders(R"({"folder": "C:\\Users\\ana\\Desktop", "name": "Notes.lnk"})")),
              "warning: folders[0] \"C:\\Users\\ana\\Desktop\\Notes.lnk\": names a user's Desktop, which no package owns: a "
              "folder record's folder may be removed once it is empty; list a shortcut there as a file record instead, whose "
              "folder the program protects");
    // The same folders by their other names: older systems' paths, environment-style names, any case.
    for (const char* folder : {"C:\\WINDOWS\\Start Menu\\Programs", "d:\\documents and settings\\ana\\start menu\\programs",
                               "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\"})
        EXPECT_NE(Only(Folders(R"({"folder": )" + J(tidewell::Lowered(folder)) + R"(, "name": ""})")).find("Programs menu"),
                  std::string::npos)
            << folder;
    // An environment-style name is no folder the program knows: it lies below the installation folder.
    EXPECT_NE(Only(Folders(R"({"folder": "%WINDIR%\\Fonts", "name": ""})")).find("expands no environment-style name such as %WINDIR%"),
              std::string::npos);
    EXPECT_NE(Only(Folders(R"({"folder": "C:\\", "name": ""})")).find("names a drive's root folder"), std::string::npos);
    EXPECT_NE(Only(Folders(R"({"folder": "\\\\server\\share", "name": ""})")).find("names a drive's root folder"), std::string::npos);

    EXPECT_EQ(Only(Files(R"({"folder": "C:\\Windows\\System32", "name": ""})")),
              "warning: files[0] \"C:\\Windows\\System32\": a file record with an empty name removes its folder once it is "
              "empty, and this one names the system folder, which no package owns");
    // A file in a folder the program protects is safe; in one it does not protect, pruning may take the folder.
    EXPECT_TRUE(Check(Files(R"({"folder": "C:\\Windows\\System32", "name": "notes.dll"})")).empty());
    EXPECT_EQ(Only(Files(R"({"folder": "C:\\Users\\ana\\Documents", "name": "Notes.txt"})")),
              "warning: files[0] \"C:\\Users\\ana\\Documents\\Notes.txt\": once its files are gone, pruning removes a "
              "user's Documents folder (C:\\Users\\ana\\Documents) if it is empty: the program does not protect that folder");
    // The machine's all-users folders are protected too.
    EXPECT_TRUE(Check(Files(R"({"folder": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "name": "Notes.lnk"},
                              {"folder": "C:\\Users\\Public\\Desktop\\Notes", "name": "a.lnk"})"))
                    .empty());
    // A font's folder is never pruned.
    EXPECT_TRUE(Check(Files(R"({"folder": "C:\\Windows\\SysWOW64", "name": "a.ttf", "flags": ["font"]})")).empty());
}

TEST(Check, WarnsAboutFoldersThatDoNotResolveWhereTheySeemTo) {
    EXPECT_EQ(Only(Files(R"({"folder": "bin", "name": "a.dll"})")),
              "warning: files[0] \"bin\\a.dll\": the folder is relative without a leading \".\\\": the program takes it "
              "relative to the installation folder; write \".\\\" before it to say so");
    for (const char* folder : {"\\\\Program Files\\\\Notes", "C:Notes", "/Notes"})
        EXPECT_NE(Only(Files(std::string(R"({"folder": ")") + folder + R"(", "name": "a.dll"})"))
                      .find("depends on the current drive or folder (\"\\name\" or \"X:name\"): the program passes the record over"),
                  std::string::npos)
            << folder;
    EXPECT_NE(Only(Files(R"({"folder": "..\\Other", "name": "a.dll"})")).find("as the installation folder itself and ignores the rest"),
              std::string::npos);
    EXPECT_NE(Only(Files(R"({"folder": "", "name": "a.dll"})")).find("has no folder: the program looks for the file in the installation folder"),
              std::string::npos);
    EXPECT_NE(Only(Files(R"({"folder": "%ProgramFiles%\\Notes", "name": "a.dll"})")).find("expands no environment-style name"),
              std::string::npos);
    EXPECT_TRUE(Check(Files(R"({"folder": ".", "name": "a.dll"}, {"folder": "\\\\server\\share\\notes", "name": "a.dll"})")).empty());

    EXPECT_TRUE(Check(Folders(R"({"folder": ".\\Menu", "name": "a.lnk"})")).empty());
    EXPECT_NE(Only(Folders(R"({"folder": "Menu", "name": "a.lnk"})")).find("relative to the installation folder"), std::string::npos);
    EXPECT_NE(Only(Folders(R"({"folder": "", "name": ""})")).find("it does nothing"), std::string::npos);
    EXPECT_NE(Only(Folders(R"({"folder": "", "name": "a.lnk"})")).find("from the installation folder"), std::string::npos);
}

TEST(Check, ReadsAFolderInEverySpellingTheSystemResolves) {
    // Forward slashes, dot levels, runs of backslashes and trailing dots name the Desktop as
    // surely as its usual spelling does.
    for (const char* folder : {"C:/Users/ana/Desktop", "C:\\\\Users\\\\\\\\ana\\\\Desktop\\\\.", "C:\\\\Users\\\\ana\\\\Desktop\\\\x\\\\..",
                               "C:\\\\Users\\\\ana\\\\Desktop. "})
        EXPECT_NE(Only(Files(std::string(R"({"folder": ")") + folder + R"(", "name": ""})")).find("names a user's Desktop"),
                  std::string::npos)
            << folder;
    EXPECT_NE(Only(Files(R"({"folder": "C:/Users/ana/Documents/Notes/..", "name": "a.txt"})"))
                  .find("pruning removes a user's Documents folder"),
              std::string::npos);
    EXPECT_NE(Only(Folders(R"({"folder": "C:\\\\Windows\\\\..", "name": ""})")).find("names a drive's root folder"), std::string::npos);
    EXPECT_EQ(tidewell::FullFormOf("c:/a//b/./c/../d. "), "c:\\a\\b\\d");
    EXPECT_EQ(tidewell::FullFormOf("\\\\server\\share\\..\\..\\x"), "\\\\server\\share\\x");
    EXPECT_EQ(tidewell::FullFormOf("C:\\.."), "C:\\");
}

TEST(Check, WarnsAboutPathsThatCannotFitThePathBuffer) {
    std::string deep = ".\\" + std::string(240, 'd');
    EXPECT_EQ(Only(Files(R"({"folder": )" + J(deep) + R"(, "name": ")" + std::string(20, 'n') + R"("})")).substr(0, 18), "warning: files[0] ");
    EXPECT_NE(Only(Files(R"({"folder": )" + J(deep) + R"(, "name": ")" + std::string(20, 'n') + R"("})"))
                  .find("needs at least 264 characters once resolved, more than a path of 259 characters: the program passes over it"),
              std::string::npos);
    // 3 + 200 + 1 + 20 = 224: fits, but only below a short installation folder.
    EXPECT_NE(Only(Files(R"({"folder": ".\\)" + std::string(200, 'd') + R"(", "name": ")" + std::string(20, 'n') + R"("})"))
                  .find("only when the installation folder's path has at most 38 characters"),
              std::string::npos);
    EXPECT_NE(Only(Files(R"({"folder": "C:\\)" + std::string(250, 'd') + R"(", "name": ")" + std::string(10, 'n') + R"("})"))
                  .find("needs at least 264 characters"),
              std::string::npos);
    EXPECT_NE(Only(Folders(R"({"folder": "C:\\)" + std::string(250, 'd') + R"(", "name": ")" + std::string(10, 'n') + R"("})"))
                  .find("needs 264 characters, more than a path of 259 characters: the program does not delete the file"),
              std::string::npos);
}

TEST(Check, WarnsAboutSharedFilesListedTwiceAndUnknownFlags) {
    EXPECT_EQ(Only(Files(R"({"folder": "C:\\Common\\Sample", "name": "rt.dll", "flags": ["shared"]},
                            {"folder": "c:\\common\\sample", "name": "RT.DLL", "flags": ["shared", "selfreg"]})")),
              "warning: files[1] \"c:\\common\\sample\\RT.DLL\": lists the shared file of files[0] again: its use count would "
              "be lowered twice, for this package alone");
    tidewell::LogContent content;
    content.files = std::vector<tidewell::FileEntry>{{".\\", "a.dll", 0x81}};
    Findings findings = tidewell::CheckContent(content);
    ASSERT_EQ(findings.size(), 2u);  // the flags, and the missing catalogue
    EXPECT_EQ(tidewell::FormatFinding(findings[1]), "warning: files[0] \".\\a.dll\": flag bits the program does not know are set; it ignores them");
}

TEST(Check, WarnsAboutRegistryKeysThatHoldEveryProgramsEntries) {
    EXPECT_EQ(Only(Registry(R"({"root": "HKLM", "path": "Software"})")),
              "warning: registry[0] \"HKLM\\Software\": names the top-level key HKLM\\Software, deleted with everything below it");
    EXPECT_EQ(Only(Registry(R"({"root": "HKEY_CURRENT_USER", "path": "\\Software\\"})")),
              "warning: registry[0] \"HKCU\\\\Software\\\": names the top-level key HKCU\\\\Software\\, deleted with everything below it");
    EXPECT_EQ(Only(Registry(R"({"root": "HKLM", "path": "\\"})")),
              "warning: registry[0] \"HKLM\\\\\": names the whole root HKLM: everything in it would be deleted");
    EXPECT_EQ(Only(Registry(R"({"root": "HKLM", "path": "software\\microsoft\\windows\\currentversion\\uninstall"})")),
              "warning: registry[0] \"HKLM\\software\\microsoft\\windows\\currentversion\\uninstall\": names the shared key "
              "HKLM\\software\\microsoft\\windows\\currentversion\\uninstall, deleted with every program's entries below it");
    EXPECT_NE(Only(Registry(R"({"root": "HKCR", "path": "CLSID"})")).find("names the shared class key HKCR\\CLSID"), std::string::npos);
    EXPECT_NE(Only(Registry(R"({"root": "HKU", "path": ".DEFAULT"})")).find("names a whole user's registry (.DEFAULT)"), std::string::npos);
    EXPECT_NE(Only(Registry(R"({"root": "HKU", "path": ".DEFAULT\\Software"})")).find("top-level key"), std::string::npos);
    // A package's own keys, values and class names are its to delete.
    EXPECT_TRUE(Check(Registry(R"({"root": "HKCR", "path": ".snote"}, {"root": "HKCR", "path": "CLSID\\{1234}"},
                                 {"root": "HKLM", "path": "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\Notes"},
                                 {"root": "HKU", "path": ".DEFAULT\\Software\\Notes"})")).empty());
}

TEST(Check, WarnsAboutRegistryPathsThatNameSomethingElse) {
    EXPECT_EQ(Only(Registry(R"({"root": "HKLM", "path": ""})")), "warning: registry[0] \"HKLM\\\": the path is empty: the record names nothing");
    EXPECT_NE(Only(Registry(R"({"root": "HKLM", "path": "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\\\\C:\\Notes\\rt.dll"})"))
                  .find("names a key with an empty level, not a value (a value's name cannot hold a backslash)"),
              std::string::npos);
    EXPECT_NE(Only(Registry(R"({"root": "HKLM", "path": "\\\\Version"})")).find("names a value of the root HKLM itself"), std::string::npos);
    EXPECT_EQ(Only(Registry(R"({"root": 5, "path": "Software\\Notes"})")),
              "warning: registry[0] \"0x00000005\\Software\\Notes\": the root 0x00000005 is not one of the system's predefined keys");
}

TEST(KnownFolders, MatchUsualPathsOnAnyDriveButNotTheirSubfolders) {
    ASSERT_NE(tidewell::FindKnownFolder("E:\\Program Files"), nullptr);
    EXPECT_STREQ(tidewell::FindKnownFolder("E:\\Program Files\\")->name, "the Program Files folder");
    EXPECT_EQ(tidewell::FindKnownFolder("C:\\Program Files\\Notes"), nullptr);
    EXPECT_EQ(tidewell::FindKnownFolder("Program Files"), nullptr);
    EXPECT_EQ(tidewell::FindKnownFolder("C:\\Users\\\\Desktop"), nullptr);  // an empty level is no user's
    EXPECT_TRUE(tidewell::IsDriveRoot("c:"));
    EXPECT_TRUE(tidewell::IsDriveRoot("%SystemDrive%\\"));
    EXPECT_FALSE(tidewell::IsDriveRoot("\\\\server\\share\\x"));
    EXPECT_FALSE(tidewell::IsDriveRoot("C:\\x"));
}

}  // namespace
