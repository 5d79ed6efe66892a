// tidewell-log attach: the log built from a manifest (or given whole) appended to a copy of the
// uninstaller, its offset written behind the log marker.
#include <iostream>

#include "tools/tidewell-log/check.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/manifest.h"
#include "tools/tidewell-log/program_image.h"

namespace tidewell {
namespace {

std::string Required(const Arguments& arguments, const std::string& name) {
    auto found = arguments.options.find(name);
    if (found == arguments.options.end()) throw UsageError("attach needs --" + name);
    return found->second;
}

}  // namespace

int AttachCommand(const std::vector<std::string>& args) {
    Arguments arguments = ParseArguments(args, {"stub", "manifest", "log", "out"}, {});
    if (!arguments.files.empty()) throw UsageError("unexpected argument " + arguments.files[0]);
    std::string stubPath = Required(arguments, "stub");
    std::string outPath = Required(arguments, "out");
    bool fromManifest = arguments.options.count("manifest") != 0;
    if (fromManifest == (arguments.options.count("log") != 0)) throw UsageError("attach needs one of --manifest and --log");

    // Everything is read and checked before anything is written: bad input writes nothing.
    Bytes log;
    if (fromManifest) {
        std::string manifestPath = arguments.options.at("manifest");
        Manifest manifest;
        try {
            manifest = ReadManifest(ReadInput(manifestPath));
        } catch (const LogError& error) {
            throw LogError(manifestPath + ": " + error.what());
        }
        Findings findings = manifest.findings;
        for (const Finding& finding : CheckContent(manifest.content)) findings.push_back(finding);
        for (const Finding& finding : findings) std::cerr << "tidewell-log: " << manifestPath << ": " << FormatFinding(finding) << "\n";
        if (HasError(findings)) return 1;
        log = BuildLog(manifest.content);
    } else {
        // A log given whole goes in as it stands: the tests attach damaged logs this way.
        log = ReadInput(arguments.options.at("log"));
    }
    Bytes stub = ReadInput(stubPath);
    Bytes program;
    try {
        program = AttachToProgram(stub, log);
    } catch (const LogError& error) {
        throw LogError(stubPath + ": " + error.what());
    }
    WriteFileAtomically(outPath, program);
    return 0;
}

}  // namespace tidewell
