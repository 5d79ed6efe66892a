// tidewell-log: the package author's tool. It attaches an uninstall log, described by a JSON
// manifest, to a copy of the uninstaller; prints the manifest of an attached log; and checks a
// log or a manifest for what the program would refuse or regret.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/system.h"

namespace {

const char kUsage[] =
    "usage: tidewell-log attach --stub PROGRAM (--manifest MANIFEST.json | --log LOG.bin) --out OUTPUT\n"
    "                           [--folder NAME=PATH]... [--register]\n"
    "         Copies PROGRAM to OUTPUT with the log appended behind its image and the log's offset\n"
    "         written behind the log marker. A log the program already carries is replaced. The\n"
    "         execution level the manifest's scope needs goes into the copy's application manifest,\n"
    "         and UTF-8 as its code page when the log is in UTF-8 (on Windows 10 1903 and later, the\n"
    "         texts go into the log in UTF-8 unless the manifest names a \"codepage\").\n"
    "         Folder names in braces, such as {Desktop}, stand for this machine's folders;\n"
    "         --folder gives or overrides one ({InstallDir} is OUTPUT's folder).\n"
    "         --register (Windows only) then writes the package's entry in the list of installed\n"
    "         programs from the manifest's \"product\", and adds its key to the log.\n"
    "         Refuses, writing nothing, a manifest with errors (see check); prints its warnings.\n"
    "         --log attaches a log file as it stands, unchecked.\n"
    "       tidewell-log dump [--blocks] [--codepage NAME] PROGRAM\n"
    "         Prints the manifest of PROGRAM's log; attached again, it gives the same log.\n"
    "         --blocks lists the raw blocks instead: offset, tag, flags, length.\n"
    "         --codepage reads the texts in that code page (by default the one the log records;\n"
    "         in a log that records none, texts that are not UTF-8 are read as windows-1252).\n"
    "       tidewell-log check [--strict] [--folder NAME=PATH]... PROGRAM|MANIFEST.json\n"
    "         Reports, one line each, what the program would refuse (errors) and what it would do\n"
    "         but should not be asked to (warnings). Exits 1 on errors (--strict: on warnings too).\n"
    "         Folder names are resolved as attach resolves them, or stand for their usual paths.\n";

}  // namespace

int main(int argc, char** argv) {
    tidewell::MakeDllSearchSafe();
    tidewell::WriteMessagesAsText();
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        (argc < 2 ? std::cerr : std::cout) << kUsage;
        return argc < 2 ? 2 : 0;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "attach") return tidewell::AttachCommand(args);
        if (command == "dump") return tidewell::DumpCommand(args);
        if (command == "check") return tidewell::CheckCommand(args);
        std::cerr << "tidewell-log: unknown command " << command << " (attach, dump or check; --help says more)\n";
        return 2;
    } catch (const tidewell::UsageError& error) {
        std::cerr << "tidewell-log: " << error.what() << " (--help says more)\n";
        return 2;
    } catch (const tidewell::LogError& error) {
        std::cerr << "tidewell-log: " << error.what() << "\n";
        return 1;
    }
}
