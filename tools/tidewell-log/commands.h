// The commands of tidewell-log, each given the arguments after its name. Each returns the exit
// status; a refusal is raised as LogError and reported by main in one line.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/folder_names.h"

namespace tidewell {

// A command line the command does not understand: reported like any refusal, with status 2.
struct UsageError : LogError {
    using LogError::LogError;
};

struct Arguments {
    std::map<std::string, std::string> options;               // --name value
    std::map<std::string, std::vector<std::string>> lists;    // --name value, as often as given
    std::set<std::string> switches;                           // --name
    std::vector<std::string> files;
};

// Raises LogError for an option the command does not know or one without its value.
Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& withValue,
                         const std::set<std::string>& switches, const std::set<std::string>& repeatable = {});

// What the folder names stand for: the machine's folders, then each --folder NAME=PATH.
FolderNames FolderNamesFor(const Arguments& arguments, bool usualWhenMissing);

int AttachCommand(const std::vector<std::string>& args);
int DumpCommand(const std::vector<std::string>& args);
int CheckCommand(const std::vector<std::string>& args);

// Reads a whole file; the error names it.
std::string ReadInput(const std::string& path);
// The file's log as the program would read it, the file named in any refusal.
struct ReadLog;
ReadLog ReadProgramFile(const std::string& path, const std::string& bytes);

}  // namespace tidewell
