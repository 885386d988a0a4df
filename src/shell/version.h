#pragma once
// The program's name and version, as both front ends show them.

#include <string>

#include "shell/version_config.h"

namespace velt {
std::string versionText();  // "velt " and the version
}  // namespace velt
