#pragma once
// Helpers of the fuzz targets: a private temporary folder that lives as long as the process.

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace velt::fuzz {

class TempFolder {
public:
    TempFolder() {
        std::error_code ec;
        std::string base = std::filesystem::temp_directory_path(ec).string();
        if (ec || base.empty()) base = "/tmp";
        std::string pattern = base + "/velt-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline void writeBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

// Empties a folder, keeping the folder itself.
inline void clearFolder(const std::string& path) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(path, ec))
        std::filesystem::remove_all(e.path(), ec);
}

}  // namespace velt::fuzz
