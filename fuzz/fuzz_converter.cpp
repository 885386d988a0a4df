// Feeds arbitrary lines through one converter (VELT_FUZZ_CONVERTER) into a temporary data folder,
// twice: the second pass reads back what the first one wrote.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "convert/converters.h"
#include "platform/failure.h"
#include "convert/output_store.h"
#include "convert/record.h"
#include "fuzz_util.h"

namespace {

struct DataFolder {
    velt::fuzz::TempFolder temp;
    std::string path = temp.path() + "data/";

    // Target's folders as an installation has them, emptied of their files.
    void reset() {
        velt::fuzz::clearFolder(temp.path());
        for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA/2009", "KCOM_DATA/2010",
                                "KCOM_DATA/0000", "KCOM_DATA/    "})
            std::filesystem::create_directories(path + sub);
    }
};

void importLines(const std::vector<std::string_view>& lines, const std::string& folder) {
    velt::OutputStore store;
    velt::ImportContext ctx;
    ctx.dataFolder = folder;
    ctx.fileDate = "091122";
    ctx.oddsStartFlag = 1;
    ctx.store = &store;
    try {
        for (std::string_view line : lines) {
            VELT_FUZZ_CONVERTER(line, ctx);
        }
    } catch (const velt::Failure&) {
        // A refused record (a missing year folder, a full sorted file) ends the import.
    }
    try {
        store.finish();
    } catch (const velt::Failure&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static DataFolder folder;
    folder.reset();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto lines = velt::splitLines(text);
    importLines(lines, folder.path);
    importLines(lines, folder.path);
    return 0;
}
