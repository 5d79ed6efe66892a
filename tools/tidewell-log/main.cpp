// tidewell-log: builds an uninstall log and attaches it to a copy of the uninstaller.
#include <cstring>
#include <iostream>
#include <map>
#include <string>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/manifest.h"

namespace {

const char kUsage[] =
    "usage: tidewell-log attach --stub PROGRAM (--manifest MANIFEST.json | --log LOG.bin) --out OUTPUT\n"
    "  Copies PROGRAM to OUTPUT with the log appended and its offset written behind the log marker.\n"
    "  A program that already carries a log has it replaced.\n";

// Options of the form --name value.
std::map<std::string, std::string> Options(int argc, char** argv, int first) {
    std::map<std::string, std::string> options;
    for (int i = first; i < argc; i += 2) {
        std::string name = argv[i];
        if (name.rfind("--", 0) != 0) throw tidewell::LogError("unexpected argument " + name);
        if (i + 1 >= argc) throw tidewell::LogError(name + " needs a value");
        options[name.substr(2)] = argv[i + 1];
    }
    return options;
}

std::string Required(const std::map<std::string, std::string>& options, const std::string& name) {
    auto found = options.find(name);
    if (found == options.end()) throw tidewell::LogError("missing --" + name);
    return found->second;
}

int Attach(const std::map<std::string, std::string>& options) {
    for (const auto& option : options)
        if (option.first != "stub" && option.first != "manifest" && option.first != "log" && option.first != "out")
            throw tidewell::LogError("unknown option --" + option.first);
    std::string stubPath = Required(options, "stub");
    std::string outPath = Required(options, "out");
    bool fromManifest = options.count("manifest");
    if (fromManifest == static_cast<bool>(options.count("log")))
        throw tidewell::LogError("give exactly one of --manifest and --log");
    tidewell::Bytes log = fromManifest ? tidewell::BuildLog(tidewell::ParseManifest(tidewell::ReadFileBytes(options.at("manifest"))))
                                       : tidewell::ReadFileBytes(options.at("log"));
    // Everything is checked before the output is written, so bad input writes nothing.
    tidewell::Bytes program = tidewell::Attach(tidewell::ReadFileBytes(stubPath), log);
    tidewell::WriteFileBytes(outPath, program);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
            std::cout << kUsage;
            return argc < 2 ? 2 : 0;
        }
        std::string command = argv[1];
        if (command == "attach") return Attach(Options(argc, argv, 2));
        throw tidewell::LogError("unknown command " + command);
    } catch (const tidewell::LogError& error) {
        std::cerr << "tidewell-log: " << error.what() << "\n";
        return 1;
    }
}
