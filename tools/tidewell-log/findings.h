// What `check` (and `attach`, before it writes anything) finds in a log: errors the program
// would refuse the log for, and warnings about what it accepts but may regret.
#pragma once
#include <string>
#include <vector>

namespace tidewell {

struct Finding {
    bool error = false;
    std::string where;  // the record or block concerned, such as files[3] or the block at 0xE1F5
    std::string text;
};
using Findings = std::vector<Finding>;

inline std::string FormatFinding(const Finding& finding) {
    return std::string(finding.error ? "error: " : "warning: ") + (finding.where.empty() ? "" : finding.where + ": ") +
           finding.text;
}

inline bool HasError(const Findings& findings) {
    for (const Finding& finding : findings)
        if (finding.error) return true;
    return false;
}

}  // namespace tidewell
