// tidewell-log attach: the log built from a manifest (or given whole) appended to a copy of the
// uninstaller, its offset written behind the log marker and the execution level the package's
// scope needs and the code page of its texts written into its application manifest; with --register, the package's entry in
// the list of installed programs.
#include <iostream>
#include <set>

#include "tools/tidewell-log/check.h"
#include "tools/tidewell-log/codepage.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/execution_level.h"
#include "tools/tidewell-log/folder_rule.h"
#include "tools/tidewell-log/known_folders.h"
#include "tools/tidewell-log/manifest.h"
#include "tools/tidewell-log/program_image.h"
#include "tools/tidewell-log/system.h"

namespace tidewell {
namespace {

std::string Required(const Arguments& arguments, const std::string& name) {
    auto found = arguments.options.find(name);
    if (found == arguments.options.end()) throw UsageError("attach needs --" + name);
    return found->second;
}

void Warn(const std::string& path, const std::string& text) { std::cerr << "tidewell-log: " << path << ": warning: " << text << "\n"; }

// A field of the copy's application manifest, with a damaged manifest named by the stub's path.
template <typename Find>
auto FindInManifest(const std::string& stubPath, Find find) {
    try {
        return find();
    } catch (const LogError& error) {
        throw LogError(stubPath + ": " + error.what());
    }
}

// The level the scope needs, in the copy's application manifest.
void WriteLevel(Bytes* program, Scope scope, const std::string& stubPath) {
    std::optional<LevelField> field = FindInManifest(stubPath, [&] { return FindExecutionLevel(*program); });
    if (field)
        WriteExecutionLevel(program, *field, LevelFor(scope));
    else
        Warn(stubPath, "carries no application manifest: Windows guesses the rights it runs with, and may redirect its deletions");
}

// The code page the log's texts are in, in the copy's application manifest: UTF-8, or the
// system's (Legacy) in a copy made from one that was marked UTF-8 before.
void WriteCodePage(Bytes* program, bool utf8, const std::string& stubPath) {
    std::optional<CodePageField> field = FindInManifest(stubPath, [&] { return FindCodePageElement(*program); });
    if (field)
        WriteCodePageElement(program, *field, utf8 ? kUtf8Element : kLegacyElement);
    else if (utf8)
        throw LogError(stubPath + ": has no code page element in its application manifest: the copy would read its UTF-8 log "
                                  "in the system's code page");
}

// The installed files' sizes on this machine, the uninstaller's own among them, each file once.
uint64_t InstalledBytes(const Manifest& manifest, const std::string& installDir, const std::string& program, size_t programSize) {
    std::set<std::string> counted = {Lowered(program)};
    uint64_t bytes = programSize;
    if (!manifest.content.files) return bytes;
    for (const FileEntry& file : *manifest.content.files) {
        std::string folder = manifest.codePage.empty() ? file.folder : FromCodePage(file.folder, manifest.codePage, "");
        std::string name = manifest.codePage.empty() ? file.name : FromCodePage(file.name, manifest.codePage, "");
        folder = InstalledFolder(folder, installDir);
        if (name.empty() || folder.empty()) continue;
        std::string path = folder + (folder.back() == '\\' ? "" : "\\") + name;
        if (!counted.insert(Lowered(path)).second) continue;
        if (std::optional<uint64_t> size = FileSize(path)) bytes += *size;
    }
    return bytes;
}

}  // namespace

int AttachCommand(const std::vector<std::string>& args) {
    Arguments arguments = ParseArguments(args, {"stub", "manifest", "log", "out"}, {"register"}, {"folder"});
    if (!arguments.files.empty()) throw UsageError("unexpected argument " + arguments.files[0]);
    std::string stubPath = Required(arguments, "stub");
    std::string outPath = Required(arguments, "out");
    bool fromManifest = arguments.options.count("manifest") != 0;
    if (fromManifest == (arguments.options.count("log") != 0)) throw UsageError("attach needs one of --manifest and --log");
    bool registering = arguments.switches.count("register") != 0;
    if (!fromManifest && (registering || arguments.lists.count("folder")))
        throw UsageError(std::string(registering ? "--register" : "--folder") + " needs --manifest");

    // Everything is read and checked before anything is written: bad input writes nothing.
    const std::string installDir = WindowsFolderOf(outPath);
    Bytes log;
    std::optional<Manifest> manifest;
    if (fromManifest) {
        std::string manifestPath = arguments.options.at("manifest");
        ManifestOptions options;
        options.folders = FolderNamesFor(arguments, false);
        options.registerEntry = registering;
        options.systemCodePage = SystemCodePage();
        try {
            manifest = ReadManifest(ReadInput(manifestPath), options);
        } catch (const LogError& error) {
            throw LogError(manifestPath + ": " + error.what());
        }
        Findings findings = CheckManifest(*manifest, options.folders);
        for (const Finding& finding : findings) std::cerr << "tidewell-log: " << manifestPath << ": " << FormatFinding(finding) << "\n";
        if (HasError(findings)) return 1;
        log = BuildLog(manifest->content);
    } else {
        // A log given whole goes in as it stands: the tests attach damaged logs this way.
        log = ReadInput(arguments.options.at("log"));
    }
    // The list is opened before anything is written: a machine without it, or without the
    // rights to change it, gets nothing.
    std::unique_ptr<RegistryPort> list;
    if (registering) list = OpenUninstallList(manifest->scope);
    Bytes stub = ReadInput(stubPath);
    Bytes program;
    try {
        program = AttachToProgram(stub, log);
    } catch (const LogError& error) {
        throw LogError(stubPath + ": " + error.what());
    }
    if (manifest) {
        WriteLevel(&program, manifest->scope, stubPath);
        WriteCodePage(&program, manifest->utf8, stubPath);
    }

    std::vector<EntryValue> values;
    if (registering) {
        if (installDir.empty()) throw LogError("cannot tell the folder of " + outPath);
        std::string programPath = installDir + (installDir.back() == '\\' ? "" : "\\") +
                                  CommandLineText(outPath.substr(outPath.find_last_of("\\/") + 1));
        values = EntryValues(*manifest->product, programPath, InstalledBytes(*manifest, installDir, programPath, program.size()),
                             Today());
    }
    WriteFileAtomically(outPath, program);
    if (registering) WriteEntry(*list, manifest->product->key, values);
    return 0;
}

}  // namespace tidewell
