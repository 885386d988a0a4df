#pragma once
// Helpers of the fuzz targets: a private temporary folder, emptied between inputs.

#include <filesystem>
#include <string>

#include "../tests/support/test_files.h"

namespace velt::fuzz {

// A private temporary folder, with its final separator.
using TempFolder = test::TempDir;

// Empties a folder, keeping the folder itself.
inline void clearFolder(const std::string& path) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(path, ec))
        std::filesystem::remove_all(e.path(), ec);
}

}  // namespace velt::fuzz
