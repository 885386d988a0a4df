#pragma once
// The program's name and version, as both front ends show them.

#include <string>

namespace velt {
std::string versionText();  // "velt 2.0.1"
inline constexpr int kVersionMajor = 2, kVersionMinor = 0, kVersionRevision = 1;
}  // namespace velt
