// Checks of the installed-file and folder records: where their paths lead once the program
// resolves them, whether they fit its path buffer, and which folders they could remove.
#include <map>

#include "base/buffer_sizes.h"
#include "tools/tidewell-log/check.h"
#include "tools/tidewell-log/folder_rule.h"
#include "tools/tidewell-log/known_folders.h"

namespace tidewell {
namespace {

// The shortest installation folder there is, "C:\": the least a ".\" folder grows by.
const size_t kShortestInstallDir = 3;
// An installation folder such as C:\Program Files\Vendor\Package\ takes some 40 characters; a record
// that leaves less room than this fits only short ones.
const size_t kRoomWanted = 64;
const size_t kLongestPath = LONGEST_PATH;

// A text's length as the system counts a path's characters: UTF-16 units of the manifest's UTF-8.
size_t Characters(const std::string& text) {
    size_t units = 0;
    for (unsigned char byte : text)
        if (byte < 0x80 || byte >= 0xC0) units += byte >= 0xF0 ? 2 : 1;
    return units;
}

void Warn(Findings* findings, const std::string& where, const std::string& text) { findings->push_back({false, where, text}); }

// Warns about a folder that is not absolute and does not say plainly where it lies; false when
// the program passes the record over.
bool CheckRelative(const std::string& folder, FolderKind kind, const std::string& where, Findings* findings) {
    if (kind == FolderKind::Skipped) {
        Warn(findings, where,
             "the folder depends on the current drive or folder (\"\\name\" or \"X:name\"): the program passes the "
             "record over");
        return false;
    }
    if (kind != FolderKind::Relative || folder.empty()) return true;
    if (HasEnvironmentName(folder))
        Warn(findings, where,
             "the program expands no environment-style name such as " + folder.substr(0, folder.find('%', 1) + 1) +
                 ": it takes the text as a folder below the installation folder");
    else
        Warn(findings, where,
             "the folder is relative without a leading \".\\\": the program takes it relative to the installation "
             "folder; write \".\\\" before it to say so");
    return true;
}

// Folders no package owns, named where the program removes the folder itself once it is empty:
// a folder record's folder, or a file record's folder when its name is empty.
void CheckRemovedFolder(const std::string& spelt, bool folderRecord, const std::string& where, Findings* findings) {
    std::string folder = FullFormOf(spelt);
    const KnownFolder* known = IsDriveRoot(folder) ? nullptr : FindKnownFolder(folder);
    if (!known && !IsDriveRoot(folder)) return;
    std::string what = known ? known->name : "a drive's root folder";
    if (!folderRecord)
        Warn(findings, where,
             "a file record with an empty name removes its folder once it is empty, and this one names " + what +
                 ", which no package owns");
    else if (known && known->guarded)
        Warn(findings, where,
             "names " + what + ", which no package owns: a folder record's folder may be removed once it is empty; "
             "list a shortcut there as a file record instead, whose folder the program protects");
    else
        Warn(findings, where,
             "names " + what + ", which no package owns" + (known ? " and the program does not protect" : "") +
                 ": a folder record's folder is removed once it is empty");
}

// Pruning walks up from the file's folder and removes every empty folder until one the program
// protects. A well-known folder on the way that it does not protect could go.
void CheckPruning(const std::string& spelt, const std::string& where, Findings* findings) {
    std::string path = FullFormOf(spelt);
    std::string folder = path.substr(0, path.rfind('\\'));
    while (!folder.empty() && !IsDriveRoot(folder)) {
        if (const KnownFolder* known = FindKnownFolder(folder)) {
            if (!known->guarded)
                Warn(findings, where,
                     "once its files are gone, pruning removes " + std::string(known->name) + " (" + folder +
                         ") if it is empty: the program does not protect that folder");
            return;
        }
        size_t cut = folder.rfind('\\');
        if (cut == std::string::npos) return;
        folder.erase(cut);
    }
}

// The checks every file and folder record shares. False (with an error) when the program would
// refuse the record's strings; otherwise the folder and name as the program reads them.
bool CheckRecordStrings(const std::string& where, const std::string& storedFolder, const std::string& storedName,
                        Findings* findings, std::string* folder, std::string* name) {
    size_t length = storedFolder.size() + storedName.size();
    if (length > MAX_RECORD_STRINGS) {
        findings->push_back({true, where, "folder and name together are " + std::to_string(length) +
                                              " bytes; the program takes at most " + std::to_string(MAX_RECORD_STRINGS)});
        return false;
    }
    *folder = Visible(storedFolder);
    *name = Visible(storedName);
    if (*folder != storedFolder || *name != storedName)
        Warn(findings, where, "holds a zero byte: the program reads the text only up to it");
    return true;
}

}  // namespace

std::string RecordName(const char* list, size_t index, const std::string& folder, const std::string& name) {
    std::string shown = folder;
    if (!name.empty()) shown += (folder.empty() || folder.back() == '\\' ? "" : "\\") + name;
    return std::string(list) + "[" + std::to_string(index) + "] \"" + shown + "\"";
}

void CheckFiles(const LogContent& content, Findings* findings) {
    if (!content.files) return;
    std::map<std::string, size_t> shared;
    for (size_t i = 0; i < content.files->size(); ++i) {
        const FileEntry& entry = (*content.files)[i];
        std::string where = RecordName("files", i, entry.folder, entry.name);
        std::string folder, name;
        if (!CheckRecordStrings(where, entry.folder, entry.name, findings, &folder, &name)) continue;
        if (entry.flags & ~(FILE_SHARED | FILE_FONT | FILE_SELFREG))
            Warn(findings, where, "flag bits the program does not know are set; it ignores them");

        // Where the program looks for the file, and how long that path is at the least.
        FolderKind kind = KindOf(folder);
        bool inInstallDir = kind == FolderKind::Dot || kind == FolderKind::Relative;
        size_t length;
        if (kind == FolderKind::Dot) {
            if (folder.size() > 1 && folder[1] != '\\')
                Warn(findings, where,
                     "the folder begins with '.' but not \".\\\": the program takes it as the installation folder "
                     "itself and ignores the rest");
            std::string rest = folder.size() > 1 && folder[1] == '\\' ? folder.substr(2) : "";
            length = kShortestInstallDir + Characters(rest) + (!name.empty() && !rest.empty() && rest.back() != '\\') + Characters(name);
        } else if (kind == FolderKind::Relative) {
            if (folder.empty()) Warn(findings, where, "has no folder: the program looks for the file in the installation folder");
            CheckRelative(folder, kind, where, findings);
            length = kShortestInstallDir + Characters(folder) + (!name.empty() && !folder.empty() && folder.back() != '\\') + Characters(name);
        } else {
            if (!CheckRelative(folder, kind, where, findings)) continue;
            length = Characters(folder) + (!name.empty() && !folder.empty() && folder.back() != '\\') + Characters(name);
        }
        if (length > kLongestPath) {
            Warn(findings, where,
                 "needs at least " + std::to_string(length) + " characters once resolved, more than a path of " +
                     std::to_string(kLongestPath) + " characters: the program passes over it");
        } else if (inInstallDir && kLongestPath - length + kShortestInstallDir < kRoomWanted) {
            Warn(findings, where,
                 "fits the program's path buffer only when the installation folder's path has at most " +
                     std::to_string(kLongestPath - length + kShortestInstallDir) + " characters");
        }

        if (inInstallDir) {
            // Nothing outside the installation folder; its own protection is for the program to judge.
        } else if (name.empty()) {
            CheckRemovedFolder(folder, false, where, findings);
        } else if (!(entry.flags & FILE_FONT)) {
            CheckPruning(folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + name, where, findings);
        }

        if ((entry.flags & FILE_SHARED) && !name.empty()) {
            std::string key = Lowered(folder + "\\" + name);
            auto found = shared.find(key);
            if (found != shared.end())
                Warn(findings, where,
                     "lists the shared file of files[" + std::to_string(found->second) +
                         "] again: its use count would be lowered twice, for this package alone");
            else
                shared[key] = i;
        }
    }
}

void CheckFolders(const LogContent& content, Findings* findings) {
    if (!content.folders) return;
    for (size_t i = 0; i < content.folders->size(); ++i) {
        const FolderEntry& entry = (*content.folders)[i];
        std::string where = RecordName("folders", i, entry.folder, entry.name);
        std::string folder, name;
        if (!CheckRecordStrings(where, entry.folder, entry.name, findings, &folder, &name)) continue;
        if (folder.empty()) {
            Warn(findings, where,
                 name.empty() ? "names neither a folder nor a file: it does nothing"
                              : "has no folder: the program deletes the file from the installation folder");
            continue;
        }
        FolderKind kind = KindOf(folder);
        if (!CheckRelative(folder, kind, where, findings)) continue;
        if (kind == FolderKind::Dot && folder.size() > 1 && folder[1] != '\\')
            Warn(findings, where,
                 "the folder begins with '.' but not \".\\\": the program takes it as the installation folder itself and "
                 "ignores the rest");
        if (kind == FolderKind::Absolute) CheckRemovedFolder(folder, true, where, findings);
        size_t folderLength = Characters(folder);
        size_t length = folderLength + (!name.empty() && folder.back() != '\\') + Characters(name);
        if (folderLength > kLongestPath)
            Warn(findings, where, "the folder is longer than a path of " + std::to_string(kLongestPath) + " characters: it cannot be removed");
        else if (length > kLongestPath)
            Warn(findings, where,
                 "needs " + std::to_string(length) + " characters, more than a path of " + std::to_string(kLongestPath) +
                     " characters: the program does not delete the file");
    }
}

}  // namespace tidewell
