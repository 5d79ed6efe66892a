// Reads the program's text resources as the system would, and says what is wrong with them:
// its application manifest (XML, which Windows refuses to start a program over when it is not
// well formed) and its version resource (a tree of blocks, each within its parent).
#pragma once
#include <cstdint>
#include <map>
#include <string>

namespace wellformed {

// "" for well-formed XML of one root element: declaration, elements, quoted attributes, text and
// comments; otherwise the first problem and where it lies.
std::string XmlProblem(const std::string& xml);

struct VersionInfo {
    uint64_t fileVersion = 0;  // the fixed part's four numbers, most significant first
    uint32_t fileType = 0;
    uint32_t translation = 0;  // language in the low word, code page in the high one
    std::map<std::string, std::map<std::string, std::string>> strings;  // by table, then by name (ASCII)
};

// "" once the whole VS_VERSIONINFO tree has been read into `info`; otherwise the first problem.
std::string ReadVersionInfo(const std::string& resource, VersionInfo* info);

}  // namespace wellformed
