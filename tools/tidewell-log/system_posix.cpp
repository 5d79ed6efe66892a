// The system of the host build: a build machine, which knows no Windows folders and has no list
// of installed programs. Names stand for what --folder gives, and --register is refused.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/system.h"

namespace tidewell {

std::string SystemFolder(FolderId) { return ""; }

std::string WindowsFolderOf(const std::string&) { return ""; }

std::string CommandLineText(const std::string& text) { return text; }

std::optional<uint64_t> FileSize(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(status.st_size);
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string scratch = folder + "/.tidewell-log-XXXXXX";
    int descriptor = mkstemp(&scratch[0]);
    if (descriptor < 0) throw LogError("cannot write in the folder of " + path);
    // Written through the descriptor that made it, never opened again by name. mkstemp makes
    // the file private; the output gets the usual mode of a new file.
    mode_t mask = umask(0);
    umask(mask);
    bool complete = fchmod(descriptor, 0666 & ~mask) == 0;
    for (size_t done = 0; complete && done < bytes.size();) {
        ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        complete = written > 0;
        if (complete) done += static_cast<size_t>(written);
    }
    complete = close(descriptor) == 0 && complete;
    if (!complete || std::rename(scratch.c_str(), path.c_str()) != 0) {
        std::remove(scratch.c_str());
        throw LogError("cannot write " + path);
    }
}

unsigned SystemCodePage() { return 0; }

std::string Today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &local);
    return text;
}

void MakeDllSearchSafe() {}

void WriteMessagesAsText() {}

std::unique_ptr<RegistryPort> OpenUninstallList(Scope) {
    throw LogError("--register writes the entry into the list of installed programs of the Windows machine the package is "
                   "installed on: run tidewell-log.exe there, as the installation's last step");
}

}  // namespace tidewell
