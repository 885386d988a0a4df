#include "shell/version.h"

namespace velt {
std::string versionText() {
    return std::string("velt ") + kVersionText;
}
}  // namespace velt
