// The command line of tidewell-log's commands, and the one way it writes a file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/log_reader.h"

namespace tidewell {

Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& withValue,
                         const std::set<std::string>& switches) {
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

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string scratch = folder + "/.tidewell-log-XXXXXX";
    int descriptor = mkstemp(&scratch[0]);
    if (descriptor < 0) throw LogError("cannot write in the folder of " + path);
    close(descriptor);
    // mkstemp makes the file private; the output gets the usual mode of a new file.
    mode_t mask = umask(0);
    umask(mask);
    chmod(scratch.c_str(), 0666 & ~mask);
    try {
        WriteFileBytes(scratch, bytes);
    } catch (const LogError&) {
        std::remove(scratch.c_str());
        throw LogError("cannot write " + path);
    }
    if (std::rename(scratch.c_str(), path.c_str()) != 0) {
        std::remove(scratch.c_str());
        throw LogError("cannot write " + path);
    }
}

}  // namespace tidewell
