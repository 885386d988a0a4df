// The settings reader on a file of arbitrary content; then a value written into that file must
// read back as written.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "fuzz_util.h"
#include "shell/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static velt::fuzz::TempFolder folder;
    const std::string file = folder.path() + "velt.ini";
    velt::test::writeFile(file, std::string(reinterpret_cast<const char*>(data), size));
    // At most 255 CP932 bytes, each at most three bytes of UTF-8.
    for (const char* section : {"Velt", "velt", ""})
        for (const char* key : {"path", "PATH", ""})
            if (velt::readSetting(file, section, key, "none").size() > 3 * 255) std::abort();

    const std::string value = "/home/ユーザー/Target data/";
    try {
        velt::writeSetting(file, "Velt", "path", value);
    } catch (const velt::Failure&) {
        return 0;
    }
    std::string back = velt::readSetting(file, "Velt", "path", "none");
    if (back != value) {
        std::fprintf(stderr, "wrote \"%s\", read back \"%s\"\n", value.c_str(), back.c_str());
        std::abort();
    }
    return 0;
}
