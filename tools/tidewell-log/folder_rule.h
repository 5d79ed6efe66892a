// The one rule by which the program places a record's folder, as the tool applies it: below the
// installation folder for one that begins with '.' (".\sub" below it, any other such folder the
// installation folder itself), as it stands for an absolute one, not at all for one that depends
// on the current drive or folder, and below the installation folder for every other. The program's
// own rule (removal/resolve_folder) is held equal to it by a test.
#pragma once
#include <string>

namespace tidewell {

enum class FolderKind { Dot, Absolute, Skipped, Relative };

FolderKind KindOf(const std::string& folder);

// Where the program looks for the record's folder, with the installation folder given; an
// absolute one in its full form; empty for one the program passes over.
std::string InstalledFolder(const std::string& folder, const std::string& installDir);

}  // namespace tidewell
