// The package author's manifest: a readable JSON description of what the log is to hold.
#pragma once
#include <string>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/findings.h"

namespace tidewell {

struct Manifest {
    LogContent content;    // texts already in the code page
    std::string codePage;  // empty: the texts go into the log as the manifest's UTF-8 bytes
    Findings findings;     // warnings about the manifest itself
};

// The English texts an author gets for every slot the manifest leaves out.
const std::vector<std::string>& DefaultMessages();
const char* SlotName(int slot);
// "HKLM" and the like for a predefined root key; empty for any other value.
std::string RootShortName(uint32_t root);

// Reads a manifest; raises LogError, in one line, with the offending entry named.
Manifest ReadManifest(const std::string& json);
LogContent ParseManifest(const std::string& json);

// The manifest of a log's content, such that attaching it gives the same log again. Texts are
// read in the code page given (empty: as UTF-8); only the slots that differ from the English
// defaults are written.
std::string WriteManifest(const LogContent& content, const std::string& codePage);

}  // namespace tidewell
