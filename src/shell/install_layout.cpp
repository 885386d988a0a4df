#include "shell/install_layout.h"

#include "platform/file.h"
#include "platform/system.h"

namespace velt {
namespace {

std::string withSlash(std::string folder) {
    if (folder.empty() || !platform::isSeparator(folder.back())) folder += '/';
    return folder;
}

bool isFile(const std::string& path) {
    return platform::isRegularFile(path);
}

std::string installedHelpPage(const std::string& programFolder) {
    return platform::normalPath(withSlash(programFolder) + "../share/velt/readme.html");
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
