// The requested execution level in the uninstaller's application manifest resource.
#include "tools/tidewell-log/execution_level.h"

#include "tools/tidewell-log/program_image.h"

namespace tidewell {
namespace {

const uint32_t kManifestType = 24;  // RT_MANIFEST
const uint32_t kProgramManifest = 1;  // the manifest the loader reads for the process

const char kMachineLevel[] = "requireAdministrator";
const char kUserLevel[] = "asInvoker";

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

const char kCodePageOpen[] = "<activeCodePage";
const char kCodePageClose[] = "</activeCodePage>";

}  // namespace

const char kUtf8Element[] = "UTF-8";
const char kLegacyElement[] = "Legacy";

std::optional<LevelField> FindExecutionLevel(const Bytes& program) {
    std::optional<ResourcePlace> place = ResourceData(program, kManifestType, kProgramManifest);
    if (!place) return std::nullopt;
    const std::string manifest = program.substr(place->offset, place->size);
    const std::string none = "has an application manifest without a requested execution level";
    size_t element = manifest.find("<requestedExecutionLevel");
    if (element == std::string::npos) throw LogError(none);
    size_t end = manifest.find('>', element);
    size_t attribute = manifest.find("level=", element);
    while (attribute != std::string::npos && !Blank(manifest[attribute - 1])) attribute = manifest.find("level=", attribute + 1);
    if (end == std::string::npos || attribute == std::string::npos || attribute > end) throw LogError(none);
    size_t open = attribute + 6;
    char quote = manifest[open];
    size_t close = manifest.find(quote, open + 1);
    if ((quote != '"' && quote != '\'') || close == std::string::npos || close > end) throw LogError(none);
    LevelField field;
    field.at = place->offset + open + 1;
    field.level = manifest.substr(open + 1, close - open - 1);
    size_t after = close + 1;
    while (after < end && Blank(manifest[after])) ++after;
    field.room = after - open - 1;
    for (const char* level : {kMachineLevel, kUserLevel})
        if (std::string(level).size() + 1 > field.room)
            throw LogError("has no room in its application manifest for the execution level " + std::string(level) +
                           ": it is not the stub this tool writes levels into");
    return field;
}

void WriteExecutionLevel(Bytes* program, const LevelField& field, const std::string& level) {
    std::string text = level + (*program)[field.at - 1];  // the level and its closing quote
    text.resize(field.room, ' ');
    program->replace(field.at, field.room, text);
}

std::optional<CodePageField> FindCodePageElement(const Bytes& program) {
    std::optional<ResourcePlace> place = ResourceData(program, kManifestType, kProgramManifest);
    if (!place) return std::nullopt;
    const std::string manifest = program.substr(place->offset, place->size);
    size_t element = manifest.find(kCodePageOpen);
    if (element == std::string::npos) return std::nullopt;
    size_t open = manifest.find('>', element);
    size_t close = open == std::string::npos ? open : manifest.find(kCodePageClose, open);
    if (close == std::string::npos || manifest[open - 1] == '/')
        throw LogError("has a code page element without a value in its application manifest");
    CodePageField field;
    field.at = place->offset + open + 1;
    field.value = manifest.substr(open + 1, close - open - 1);
    size_t after = close + sizeof kCodePageClose - 1;
    while (after < manifest.size() && Blank(manifest[after])) ++after;
    field.room = after - open - 1;
    for (const char* value : {kUtf8Element, kLegacyElement})
        if (std::string(value).size() + sizeof kCodePageClose - 1 > field.room)
            throw LogError("has no room in its application manifest for the code page " + std::string(value) +
                           ": it is not the stub this tool writes code pages into");
    return field;
}

// The value, its closing tag, and blanks where a longer value stood: the text between the
// elements may hold blanks, the value may not.
void WriteCodePageElement(Bytes* program, const CodePageField& field, const std::string& value) {
    std::string text = value + kCodePageClose;
    text.resize(field.room, ' ');
    program->replace(field.at, field.room, text);
}

const char* LevelFor(Scope scope) { return scope == Scope::User ? kUserLevel : kMachineLevel; }

std::optional<Scope> ScopeOfLevel(const std::string& level) {
    if (level == kMachineLevel) return Scope::Machine;
    if (level == kUserLevel) return Scope::User;
    return std::nullopt;
}

}  // namespace tidewell
