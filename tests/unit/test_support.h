// Shared set-up for the unit tests: a fresh stand-in world and run context for every test, and
// a program file with a log attached, as the authoring tool makes it.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_setup.h"
#include "base/run_context.h"
#include "log/loader.h"
#include "fake_win32.h"
#include "tools/logwriter/log_writer.h"

namespace test {

constexpr char kProgramPath[] = "C:\\Program Files\\Pkg\\Remove.exe";
constexpr char kInstallDir[] = "C:\\Program Files\\Pkg\\";
constexpr uint32_t kImageSize = 0xE000;

// The eleven texts of a catalogue; slot texts are named after their slot, with "%s" where the
// program puts a path in.
std::vector<std::string> Catalogue();

// Puts the program file (an image of kImageSize bytes, then the log) at kProgramPath and
// points the log offset at the log.
void InstallProgram(const tidewell::Bytes& log);
void InstallProgram(const tidewell::LogContent& content);

// InitRunContext for the program file, which must have succeeded.
void StartRun();
// Releases what the run holds, as the end of a normal run does.
void EndRun();

// One whole run of the program, started with the argument text; its exit code.
int RunProgram(const std::string& arguments);
// A report's lines, each of which must end with CR LF, without it.
std::vector<std::string> ReportLines(const std::string& text);

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace test
