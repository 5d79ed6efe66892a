// Named logs for the tests and the fuzzer's seeds: the example log of a small package, and
// logs damaged in one way each, which the program must refuse as damaged.
#pragma once
#include <string>
#include <vector>

#include "tools/logwriter/log_writer.h"

namespace tidewell {

// A package's log as the installation tool writes it: a Spanish catalogue of eleven texts, a
// registry list of 0, nine installed files in one folder two levels below the installation
// folder, the package's uninstall key added behind the list, then the end. 946 bytes.
LogContent ExampleContent();
Bytes ExampleLog();

// A program image as the example log's figures assume: 0xE000 bytes, the log marker in its data
// with a zero offset behind it, no log. A Windows image in form only: headers and two sections.
Bytes ExampleStub();
constexpr uint32_t kExampleImageSize = 0xE000;

struct NamedLog {
    std::string name;
    std::string damage;  // what is wrong with it, empty for a sound log
    Bytes log;
};

// Each holds the example catalogue before its damage, so the refusal is reported in words.
std::vector<NamedLog> DamagedLogs();
// "example" first, then the damaged logs.
std::vector<NamedLog> FixtureLogs();

}  // namespace tidewell
