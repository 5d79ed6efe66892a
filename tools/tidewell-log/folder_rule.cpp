// The program's rule for a record's folder.
#include "tools/tidewell-log/folder_rule.h"

#include "tools/tidewell-log/known_folders.h"

namespace tidewell {

FolderKind KindOf(const std::string& folder) {
    if (!folder.empty() && folder[0] == '.') return FolderKind::Dot;
    if (IsAbsolute(folder)) return FolderKind::Absolute;
    if (DependsOnCurrentFolder(folder)) return FolderKind::Skipped;
    return FolderKind::Relative;
}

std::string InstalledFolder(const std::string& folder, const std::string& installDir) {
    std::string rest;
    switch (KindOf(folder)) {
    case FolderKind::Absolute:
        return FullFormOf(folder);
    case FolderKind::Skipped:
        return "";
    case FolderKind::Dot:
        rest = folder.rfind(".\\", 0) == 0 ? folder.substr(2) : "";
        break;
    case FolderKind::Relative:
        rest = folder;
        break;
    }
    return rest.empty() ? installDir : installDir + (installDir.back() == '\\' ? "" : "\\") + rest;
}

}  // namespace tidewell
