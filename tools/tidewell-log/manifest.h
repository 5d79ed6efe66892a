// The package author's manifest: a readable JSON description of what the log is to hold.
#pragma once
#include <string>

#include "tools/logwriter/log_writer.h"

namespace tidewell {

// The English texts an author gets for every slot the manifest leaves out.
const std::vector<std::string>& DefaultMessages();
const char* SlotName(int slot);

// Reads a manifest; raises LogError with the offending entry named.
LogContent ParseManifest(const std::string& json);

}  // namespace tidewell
