#pragma once
// The summary an import ends with in a window: every input with its kind and counts, failures
// first with their cause, as one text that both windows show and the user can copy.

#include <string>
#include <vector>

#include "shell/import_engine.h"

namespace velt {

inline constexpr const char* kReportTitle = "取り込み結果";
inline constexpr const char* kReportCopy = "コピー";

// The summary of the inputs of one import; empty when there were none.
std::string importReport(const std::vector<ImportSummary>& summaries);

}  // namespace velt
