#include "test_support.h"

#include "base/memory.h"
#include "removal/record_paths.h"
#include "removal/report.h"

namespace test {

std::vector<std::string> Catalogue() {
    return {"Tidewell",   "Remove the package?", "Removed.", "&Yes",    "Yes to &all", "&No",
            "No to a&ll", "No memory for %s",    "The log in %s is damaged.", "Read-only:\n%s\nRemove?",
            "Shared:\n%s\nRemove?"};
}

void InstallProgram(const tidewell::Bytes& log) {
    fake::AddFile(kProgramPath, std::string(kImageSize, 'M') + log);
    fake::SetModulePath(kProgramPath);
    fake::SetLogOffset(kImageSize);
}

void InstallProgram(const tidewell::LogContent& content) { InstallProgram(tidewell::BuildLog(content)); }

void StartRun() {
    fake::SetModulePath(kProgramPath);
    ASSERT_EQ(InitRunContext(nullptr), 1);
}

void EndRun() {
    FreeRecordPaths();
    FreeUninstallLog();
    ReleaseRunContext();
}

int RunProgram(const std::string& arguments) {
    return WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, const_cast<char*>(arguments.c_str()), 1);
}

std::vector<std::string> ReportLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "a line without its CR LF: " << text.substr(at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

void ProgramTest::SetUp() {
    fake::Reset();
    ResetRunContext();
    ResetReport();
}

void ProgramTest::TearDown() {
    // Every test leaves the world as a finished run does: no open file, no open key.
    EXPECT_EQ(fake::OpenHandles(), 0u);
    EXPECT_EQ(fake::OpenKeys(), 0u);
}

}  // namespace test
