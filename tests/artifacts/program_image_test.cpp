// Checks on the built programs: system DLLs only, the log marker once with a zero offset, a GUI
// program of the right machine, small, with its icon, the question's dialog template, an
// application manifest whose level and code page attach can rewrite and a version resource; and
// tidewell-log for Windows, which needs system DLLs only and runs in UTF-8 where it can.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "log/log_format.h"
#include "pe_image.h"
#include "resources/resource.h"
#include "well_formed.h"

namespace {

struct Build {
    const char* name;
    std::string program;
    std::string objdump;
    uint16_t machine;
    std::string tool;  // tidewell-log.exe of the build
};

std::vector<Build> Builds() {
    return {{"win32", std::string(TIDEWELL_WIN32_DIR) + "/uninstall.exe", "i686-w64-mingw32-objdump", 0x14C,
             std::string(TIDEWELL_WIN32_DIR) + "/tidewell-log.exe"},
            {"win64", std::string(TIDEWELL_WIN64_DIR) + "/uninstall.exe", "x86_64-w64-mingw32-objdump", 0x8664,
             std::string(TIDEWELL_WIN64_DIR) + "/tidewell-log.exe"}};
}

// Named by its build in test names and messages.
void PrintTo(const Build& build, std::ostream* out) { *out << build.name; }

class ProgramImage : public ::testing::TestWithParam<Build> {};

std::string Output(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string out;
    std::array<char, 4096> buffer;
    while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe.get())) out.append(buffer.data(), n);
    return out;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::set<std::string> Imports(const Build& build, const std::string& program) {
    std::string dump = Output(build.objdump + " -p '" + program + "'");
    std::set<std::string> imported;
    const std::string label = "DLL Name: ";
    for (size_t at = dump.find(label); at != std::string::npos; at = dump.find(label, at + 1))
        imported.insert(Lower(dump.substr(at + label.size(), dump.find('\n', at) - at - label.size())));
    return imported;
}

TEST_P(ProgramImage, ImportsSystemDllsOnly) {
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll"};
    std::set<std::string> imported = Imports(GetParam(), GetParam().program);
    EXPECT_FALSE(imported.empty());
    for (const std::string& dll : imported) EXPECT_TRUE(system.count(dll)) << "imports " << dll;
}

// The tool an installation runs on the user's machine: linked statically, so that it needs
// nothing but what every Windows has (msvcrt.dll, the system's C library, among it).
TEST_P(ProgramImage, TidewellLogImportsSystemDllsOnly) {
    const std::set<std::string> system = {"kernel32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll"};
    std::set<std::string> imported = Imports(GetParam(), GetParam().tool);
    EXPECT_TRUE(imported.count("kernel32.dll"));
    for (const std::string& dll : imported) EXPECT_TRUE(system.count(dll)) << "imports " << dll;
    pe::Image image = pe::Load(GetParam().tool);
    EXPECT_EQ(image.machine, GetParam().machine);
    EXPECT_EQ(image.subsystem, 3);  // a console program, as an installation's step runs it
}

TEST_P(ProgramImage, IsAWindowsGuiProgramForItsMachine) {
    pe::Image image = pe::Load(GetParam().program);
    EXPECT_EQ(image.machine, GetParam().machine);
    EXPECT_EQ(image.subsystem, 2);  // the Windows GUI subsystem
}

TEST_P(ProgramImage, HoldsTheLogMarkerOnceWithAZeroOffsetBehindIt) {
    pe::Image image = pe::Load(GetParam().program);
    const char marker[] = {LOG_MARKER};
    std::string needle(marker, sizeof marker);
    size_t first = image.bytes.find(needle);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(image.bytes.find(needle, first + 1), std::string::npos);
    EXPECT_EQ(pe::U32(image.bytes, first + LOG_MARKER_LENGTH), 0u);
}

TEST_P(ProgramImage, CarriesTheIconGroupWithTwoSixteenColourImages) {
    pe::Image image = pe::Load(GetParam().program);
    auto group = image.resources.find({14, IDI_APP, 1033});  // RT_GROUP_ICON
    ASSERT_NE(group, image.resources.end());
    const std::string& dir = group->second;
    ASSERT_EQ(pe::U16(dir, 4), 2);
    std::set<int> sizes;
    for (int i = 0; i < 2; ++i) {
        size_t entry = 6 + 14 * i;
        int width = static_cast<uint8_t>(dir[entry]);
        int height = static_cast<uint8_t>(dir[entry + 1]);
        EXPECT_EQ(width, height);
        EXPECT_EQ(static_cast<uint8_t>(dir[entry + 2]), 16) << "colours";
        sizes.insert(width);
        auto icon = image.resources.find({3, pe::U16(dir, entry + 12), 1033});  // RT_ICON
        ASSERT_NE(icon, image.resources.end());
        EXPECT_EQ(pe::U16(icon->second, 14), 4) << "bits per pixel";
        EXPECT_EQ(static_cast<int>(pe::U32(icon->second, 4)), width);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
}

// The classic dialog template: header, then five items, each aligned to four bytes.
TEST_P(ProgramImage, CarriesTheQuestionDialogTemplateWithoutTexts) {
    pe::Image image = pe::Load(GetParam().program);
    auto found = image.resources.find({5, IDD_ASK, 1033});  // RT_DIALOG
    ASSERT_NE(found, image.resources.end());
    const std::string& t = found->second;
    EXPECT_EQ(pe::U32(t, 0), 0x80C800C0u) << "style";
    EXPECT_EQ(pe::U32(t, 4), 0u) << "extended style";
    ASSERT_EQ(pe::U16(t, 8), 5) << "controls";
    EXPECT_EQ(pe::U16(t, 10), 0);
    EXPECT_EQ(pe::U16(t, 12), 0);
    EXPECT_EQ(pe::U16(t, 14), 257);
    EXPECT_EQ(pe::U16(t, 16), 73);
    size_t at = 18;
    EXPECT_EQ(pe::U16(t, at), 0) << "menu";
    EXPECT_EQ(pe::U16(t, at + 2), 0) << "class";
    EXPECT_EQ(pe::U16(t, at + 4), 0) << "caption";
    EXPECT_EQ(pe::U16(t, at + 6), 8) << "point size";
    at += 8;
    std::string face;
    for (; pe::U16(t, at); at += 2) face += static_cast<char>(pe::U16(t, at));
    at += 2;
    EXPECT_EQ(face, "MS Sans Serif");

    struct Item {
        uint32_t style;
        int x, y, cx, cy, id;
        uint16_t classAtom;
    };
    const Item expected[] = {
        {0x50010001, 20, 52, 50, 14, 6, 0x80},     {0x50010000, 75, 52, 50, 14, 1001, 0x80},
        {0x50020000, 7, 7, 243, 36, 1000, 0x82},   {0x50010000, 130, 52, 50, 14, 7, 0x80},
        {0x50010000, 186, 52, 50, 14, 1002, 0x80},
    };
    for (const Item& item : expected) {
        at = (at + 3) & ~static_cast<size_t>(3);
        EXPECT_EQ(pe::U32(t, at), item.style) << "control " << item.id;
        EXPECT_EQ(pe::U32(t, at + 4), 0u);
        EXPECT_EQ(pe::U16(t, at + 8), item.x);
        EXPECT_EQ(pe::U16(t, at + 10), item.y);
        EXPECT_EQ(pe::U16(t, at + 12), item.cx);
        EXPECT_EQ(pe::U16(t, at + 14), item.cy);
        EXPECT_EQ(pe::U16(t, at + 16), item.id);
        EXPECT_EQ(pe::U16(t, at + 18), 0xFFFF);
        EXPECT_EQ(pe::U16(t, at + 20), item.classAtom);
        EXPECT_EQ(pe::U16(t, at + 22), 0) << "no text in the template";
        EXPECT_EQ(pe::U16(t, at + 24), 0) << "no creation data";
        at += 26;
    }
}

// The application manifest as the resource script takes it in, whole and well formed, with the
// level of a machine's package and the room behind it that attach rewrites in place.
TEST_P(ProgramImage, CarriesAnApplicationManifestWhoseLevelAttachCanRewrite) {
    pe::Image image = pe::Load(GetParam().program);
    auto found = image.resources.find({24, 1, 1033});  // RT_MANIFEST, the process's manifest
    ASSERT_NE(found, image.resources.end());
    const std::string& manifest = found->second;
    std::ifstream source(std::string(TIDEWELL_SOURCE_DIR) + "/resources/uninstall.manifest", std::ios::binary);
    EXPECT_EQ(manifest, std::string(std::istreambuf_iterator<char>(source), std::istreambuf_iterator<char>()));
    EXPECT_EQ(wellformed::XmlProblem(manifest), "");
    const std::string level = "<requestedExecutionLevel level=\"requireAdministrator\" ";
    ASSERT_NE(manifest.find(level), std::string::npos);
    EXPECT_NE(manifest.find("<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">"), std::string::npos);
    // Windows Vista, 7, 8, 8.1, and 10 and later.
    for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
        EXPECT_NE(manifest.find("<supportedOS Id=\"{" + std::string(os) + "}\"/>"), std::string::npos) << os;
    // The system's code page, with room behind it for UTF-8, which attach writes for a UTF-8 log.
    const std::string settings = "<application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n<windowsSettings>\n";
    const std::string codePage = "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">";
    EXPECT_NE(manifest.find(settings + codePage + "Legacy</activeCodePage>\n</windowsSettings>"), std::string::npos);
}

// tidewell-log.exe runs in UTF-8 where Windows allows it: the logs it writes there are UTF-8.
TEST_P(ProgramImage, TidewellLogAsksForUtf8AsItsCodePage) {
    pe::Image image = pe::Load(GetParam().tool);
    auto found = image.resources.find({24, 1, 1033});
    ASSERT_NE(found, image.resources.end());
    EXPECT_EQ(wellformed::XmlProblem(found->second), "");
    EXPECT_NE(found->second.find("<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8"
                                 "</activeCodePage>"),
              std::string::npos);
}

TEST_P(ProgramImage, CarriesAVersionResourceThatNamesItAnUninstaller) {
    pe::Image image = pe::Load(GetParam().program);
    auto found = image.resources.find({16, 1, 1033});  // RT_VERSION
    ASSERT_NE(found, image.resources.end());
    wellformed::VersionInfo version;
    ASSERT_EQ(wellformed::ReadVersionInfo(found->second, &version), "");
    EXPECT_EQ(version.fileVersion, 0x0001000000000000ull);
    EXPECT_EQ(version.fileType, 1u);  // VFT_APP
    EXPECT_EQ(version.translation, 0x04B00409u);  // US English, Unicode
    EXPECT_EQ(version.strings["040904B0"]["FileDescription"], "Uninstaller");
    EXPECT_EQ(version.strings["040904B0"]["FileVersion"], "1.0.0.0");
    EXPECT_EQ(version.strings["040904B0"]["OriginalFilename"], "uninstall.exe");
    EXPECT_EQ(version.strings["040904B0"]["ProductName"], "Tidewell uninstaller");
}

INSTANTIATE_TEST_SUITE_P(Builds, ProgramImage, ::testing::ValuesIn(Builds()),
                         [](const ::testing::TestParamInfo<Build>& info) { return std::string(info.param.name); });

// 32 KB until the program had to defend an elevated run against the machine's other users (its
// links, its batch's own folder and rights, its report's checks), 36 KB until it closed the
// package's running programs and queued files in use for the restart, 40 KB until it kept the
// guard's folders between checks and read logs in UTF-8 and double-byte code pages: 44 KB since.
TEST(ShippedProgram, StaysWithin44Kilobytes) {
    pe::Image image = pe::Load(std::string(TIDEWELL_WIN32_DIR) + "/uninstall.exe");
    EXPECT_LE(image.bytes.size(), 44u * 1024);
}

}  // namespace
