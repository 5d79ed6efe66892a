// What `check` finds in a log's content: records the program would refuse, and records it
// accepts but that are dangerous or do not do what their author likely meant. Each finding
// names its record.
#pragma once
#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/findings.h"
#include "tools/tidewell-log/folder_names.h"
#include "tools/tidewell-log/manifest.h"

namespace tidewell {

// What attach and check both report about a manifest: its own findings (its folder names, its
// texts), then, when none of them is an error, its content's and its scope's.
Findings CheckManifest(const Manifest& manifest, const FolderNames& names);

// Everything below, in the order of the log's blocks.
Findings CheckContent(const LogContent& content);

void CheckMessages(const LogContent& content, Findings* findings);
void CheckFiles(const LogContent& content, Findings* findings);
void CheckFolders(const LogContent& content, Findings* findings);
void CheckRegistry(const LogContent& content, Findings* findings);
void CheckPatterns(const LogContent& content, Findings* findings);

// Records that do not suit the package's scope. A user's package is removed with that user's
// rights; a machine's package may be removed by another administrator, whose own folders and
// keys the program then takes. `names` tells the user's folders from the machine's on this
// machine; usual paths tell them apart elsewhere.
void CheckScope(const LogContent& content, Scope scope, const FolderNames& names, Findings* findings);
// An error where the program's code page element and its log's code page disagree: the
// program would refuse the log as damaged.
void CheckCodePage(const Bytes& program, const LogContent& content, Findings* findings);

// The record as the program sees it: its text up to the first zero byte.
std::string Visible(const std::string& text);

// How findings name a record: files[3] "C:\Folder\name", registry[0] "HKLM\Software\Sample".
std::string RecordName(const char* list, size_t index, const std::string& folder, const std::string& name);
std::string RegistryRecordName(const char* list, size_t index, const RegistryEntry& entry);

}  // namespace tidewell
