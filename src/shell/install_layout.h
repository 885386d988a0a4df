#pragma once
// Where the program's own files lie: beside the program in a portable folder (and the build
// tree), or in the standard tree of an install (bin/ and share/velt/).

#include <string>

namespace velt {

// The help page: readme.html beside the program, else ../share/velt/readme.html of an install.
// When neither exists, the path beside the program, so that a message can name it.
std::string helpPage(const std::string& programFolder);

// The program runs from an install: its help page lies in ../share/velt/, not beside it.
bool installedTree(const std::string& programFolder);

}  // namespace velt
