// The command line of tidewell-log's commands, and the files it reads.
#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/log_reader.h"
#include "tools/tidewell-log/system.h"

namespace tidewell {

Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& withValue,
                         const std::set<std::string>& switches, const std::set<std::string>& repeatable) {
    Arguments parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            parsed.files.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2);
        if (switches.count(name)) {
            parsed.switches.insert(name);
        } else if (repeatable.count(name)) {
            if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            parsed.lists[name].push_back(args[++i]);
        } else if (withValue.count(name)) {
            if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            if (parsed.options.count(name)) throw UsageError(arg + " is given twice");
            parsed.options[name] = args[++i];
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    return parsed;
}

FolderNames FolderNamesFor(const Arguments& arguments, bool usualWhenMissing) {
    FolderNames names;
    names.usualWhenMissing = usualWhenMissing;
    for (const FolderName& name : FolderNameList()) {
        std::string path = name.id == FolderId::InstallDir ? "" : SystemFolder(name.id);
        if (!path.empty()) names.paths[name.id] = path;
    }
    auto given = arguments.lists.find("folder");
    if (given != arguments.lists.end())
        for (const std::string& assignment : given->second) GiveFolder(CommandLineText(assignment), &names);
    return names;
}

std::string ReadInput(const std::string& path) {
    try {
        return ReadFileBytes(path);
    } catch (const LogError&) {
        throw LogError("cannot read " + path);
    }
}

ReadLog ReadProgramFile(const std::string& path, const std::string& bytes) {
    try {
        return ReadProgramLog(bytes);
    } catch (const LogError& error) {
        throw LogError(path + ": " + error.what());
    }
}

}  // namespace tidewell
