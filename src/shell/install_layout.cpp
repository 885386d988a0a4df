#include "shell/install_layout.h"

#include <filesystem>

namespace velt {
namespace {

namespace fs = std::filesystem;

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

bool isFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string installedHelpPage(const std::string& programFolder) {
    return (fs::path(withSlash(programFolder)) / ".." / "share" / "velt" / "readme.html")
        .lexically_normal()
        .string();
}

}  // namespace

std::string helpPage(const std::string& programFolder) {
    const std::string beside = withSlash(programFolder) + "readme.html";
    if (!isFile(beside) && installedTree(programFolder)) return installedHelpPage(programFolder);
    return beside;
}

bool installedTree(const std::string& programFolder) {
    return !isFile(withSlash(programFolder) + "readme.html") &&
           isFile(installedHelpPage(programFolder));
}

}  // namespace velt
