// What `check` finds in a log's content: records the program would refuse, and records it
// accepts but that are dangerous or do not do what their author likely meant. Each finding
// names its record.
#pragma once
#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/findings.h"

namespace tidewell {

// Everything below, in the order of the log's blocks.
Findings CheckContent(const LogContent& content);

void CheckMessages(const LogContent& content, Findings* findings);
void CheckFiles(const LogContent& content, Findings* findings);
void CheckFolders(const LogContent& content, Findings* findings);
void CheckRegistry(const LogContent& content, Findings* findings);
void CheckPatterns(const LogContent& content, Findings* findings);

// The record as the program sees it: its text up to the first zero byte.
std::string Visible(const std::string& text);

}  // namespace tidewell
