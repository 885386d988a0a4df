// The ZIP reader and the text check on arbitrary bytes: every member either comes back whole, as
// long as its header says, or fails with a cause; nothing is written.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "fuzz_util.h"
#include "shell/text_check.h"
#include "shell/zip_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static velt::fuzz::TempFolder root;
    const std::string archive = root.path() + "in.zip";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    velt::test::writeFile(archive, std::string(bytes));
    velt::notTextReason(bytes, false);
    velt::notTextReason(bytes, true);
    try {
        velt::ZipArchive zip(archive);
        for (std::size_t i = 0; i < zip.size(); ++i) {
            zip.name(i);
            const std::string member = zip.read(i);
            velt::notTextReason(member, false);
        }
    } catch (const velt::Failure& e) {
        if (e.cause().empty()) {
            std::fprintf(stderr, "fuzz_zip: a failure without a cause\n");
            std::abort();
        }
    }
    if (std::distance(std::filesystem::directory_iterator(root.path()),
                      std::filesystem::directory_iterator()) != 1) {
        std::fprintf(stderr, "fuzz_zip: something was written beside the archive\n");
        std::abort();
    }
    return 0;
}
