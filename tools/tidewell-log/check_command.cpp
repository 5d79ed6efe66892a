// tidewell-log check: what the program would refuse in a log, and what it would accept but
// should not be asked to do, for an uninstaller with its log or for a manifest.
#include <iostream>

#include "tools/tidewell-log/check.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/execution_level.h"
#include "tools/tidewell-log/log_reader.h"
#include "tools/tidewell-log/manifest.h"
#include "tools/tidewell-log/system.h"

namespace tidewell {
namespace {

// A manifest is a JSON object; anything else is taken for a program file.
bool LooksLikeManifest(const std::string& bytes) {
    size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string::npos && bytes[first] == '{';
}

}  // namespace

int CheckCommand(const std::vector<std::string>& args) {
    Arguments arguments = ParseArguments(args, {}, {"strict"}, {"folder"});
    if (arguments.files.size() != 1) throw UsageError("check needs one program file or manifest");
    const std::string& path = arguments.files[0];
    std::string bytes = ReadInput(path);
    // The names resolved as attach would here; where this machine has no folder for one, its usual
    // path stands in, with a warning.
    ManifestOptions options;
    options.folders = FolderNamesFor(arguments, true);
    options.systemCodePage = SystemCodePage();

    Findings findings;
    if (LooksLikeManifest(bytes)) {
        Manifest manifest;
        try {
            manifest = ReadManifest(bytes, options);
        } catch (const LogError& error) {
            findings.push_back({true, "", error.what()});
        }
        if (!HasError(findings)) findings = CheckManifest(manifest, options.folders);
    } else {
        ReadLog log = ReadProgramFile(path, bytes);
        findings = log.findings;
        if (log.accepted) {
            for (const Finding& finding : CheckContent(log.content)) findings.push_back(finding);
            // The scope it was attached for, when its manifest names a level the tool writes.
            std::optional<LevelField> field;
            try {
                field = FindExecutionLevel(bytes);
            } catch (const LogError& error) {
                findings.push_back({false, "the program", error.what()});
            }
            if (std::optional<Scope> scope = field ? ScopeOfLevel(field->level) : std::nullopt)
                CheckScope(log.content, *scope, options.folders, &findings);
            CheckCodePage(bytes, log.content, &findings);
        }
    }

    size_t errors = 0;
    for (const Finding& finding : findings) {
        std::cout << path << ": " << FormatFinding(finding) << "\n";
        errors += finding.error;
    }
    size_t warnings = findings.size() - errors;
    if (findings.empty())
        std::cout << path << ": no problems found\n";
    else
        std::cout << path << ": " << errors << (errors == 1 ? " error, " : " errors, ") << warnings
                  << (warnings == 1 ? " warning" : " warnings") << "\n";
    return errors > 0 || (warnings > 0 && arguments.switches.count("strict")) ? 1 : 0;
}

}  // namespace tidewell
