// The privileges the uninstaller asks Windows for, the requested execution level in its
// application manifest resource, and the code page it runs in, in the same manifest. The program carries the level of a machine's package
// (requireAdministrator) followed by blanks, so that attach can write the level a package's
// scope needs (asInvoker for a user's package) in place: the file keeps its size and layout.
#pragma once
#include <optional>
#include <string>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/folder_names.h"

namespace tidewell {

// The level's text in the file, with the room it may take: its own characters, the closing
// quote and the blanks behind it.
struct LevelField {
    size_t at = 0;
    size_t room = 0;
    std::string level;
};

// The program's requested execution level; none when it carries no application manifest. Raises
// LogError for a manifest without a level, or one without room for the levels of both scopes.
std::optional<LevelField> FindExecutionLevel(const Bytes& program);

// Writes the level into the field, padded with blanks to its room.
void WriteExecutionLevel(Bytes* program, const LevelField& field, const std::string& level);

// The code page the program runs in, the value of the code page element (<activeCodePage>) of
// its application manifest: "Legacy" (the system's ANSI code page) in the stub, with room for
// "UTF-8", which attach writes in place for a log in UTF-8. The value, the closing tag and the
// blanks behind it make the room.
struct CodePageField {
    size_t at = 0;
    size_t room = 0;
    std::string value;
};
extern const char kUtf8Element[];
extern const char kLegacyElement[];

// The element's value; none when the program has no application manifest or no such element.
// Raises LogError for an element without room for both values.
std::optional<CodePageField> FindCodePageElement(const Bytes& program);
void WriteCodePageElement(Bytes* program, const CodePageField& field, const std::string& value);

// requireAdministrator for the machine, asInvoker for one user.
const char* LevelFor(Scope scope);
// The scope a level stands for; none for any other level.
std::optional<Scope> ScopeOfLevel(const std::string& level);

}  // namespace tidewell
