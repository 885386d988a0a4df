// velt-cli: imports JRDB files into Target's data folder from the command line.

#include <cstdio>
#include <cstring>
#include <string>

#include "shell/version.h"

namespace {

const char kUsage[] =
    "Usage: velt-cli [--help] [--version]\n"
    "\n"
    "Converts JRDB data files into the data files of Target.\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", velt::versionText().c_str());
            return 0;
        }
        std::fprintf(stderr, "velt-cli: unknown argument: %s\n%s", argv[i], kUsage);
        return 2;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
