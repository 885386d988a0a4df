// The files an input would write, named before it writes: exactly those its import writes.

#include "shell/output_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "shell_test_util.h"

namespace velt {
namespace {

namespace fs = std::filesystem;

TEST(OutputFiles, NamesWhatTheImportWrites) {
    const fs::path samples = fs::path(VELT_TEST_DATA) / ".." / ".." / "samples";
    const std::pair<const char*, Kind> cases[] = {
        {"KYD091122.txt", Kind::KYD},    {"SEB091122.txt", Kind::SEBZEB},
        {"ZEB091122.txt", Kind::SEBZEB}, {"OZ091122.txt", Kind::OZ},
        {"SKA091122.txt", Kind::SKAZKA}, {"JracSei1.dat", Kind::Lap},
    };
    for (const auto& [name, group] : cases) {
        SCOPED_TRACE(name);
        test::TempDir target;
        for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA/2009"})
            fs::create_directories(target / sub);
        const std::string text = test::readFile(samples / name);
        ImportContext ctx;
        ctx.dataFolder = target.path();
        ctx.fileDate = "091122";
        std::set<std::string> named;
        gatherOutputFiles(text, group, ctx, named);

        test::RecordingMessages messages;
        ImportEngine engine(messages);
        engine.setDataFolder(target.path());
        ASSERT_TRUE(engine.importFiles({test::utf8(samples / name)}, true).at(0).succeeded);
        std::set<std::string> written;
        for (const auto& e : fs::recursive_directory_iterator(target.path()))
            if (e.is_regular_file() && e.path().filename().string()[0] != '.' &&
                e.path().filename() != "velt-history.tsv")
                written.insert(test::utf8(e.path()));
        EXPECT_FALSE(named.empty());
        EXPECT_EQ(named, written);
    }
}

}  // namespace
}  // namespace velt
