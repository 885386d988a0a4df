#include <gtest/gtest.h>

#include "platform/failure.h"
#include "convert_fixture.h"

namespace velt {
namespace {

using test::DataFolder;
using test::makeRecord;

TEST(Seiseki, Golden) {
    test::checkGolden("seiseki", Seiseki);
}

// The worked example's record, with some fields replaced, cut to `length` bytes.
std::string results(std::initializer_list<std::pair<std::size_t, std::string_view>> changes,
                    std::size_t length = 374) {
    std::string r = makeRecord(374, {{1, "0501231107"},
                                     {67, "1"},
                                     {70, "10"},
                                     {183, " 52"},
                                     {189, "-12"},
                                     {195, "  1"},
                                     {201, "  0"},
                                     {216, "2"},
                                     {217, "2"},
                                     {220, "4"},
                                     {221, "1"},
                                     {222, "M"},
                                     {259, "352"},
                                     {262, "348"}});
    for (const auto& [pos, text] : changes)
        r.replace(pos - 1, test::sj(text).size(), test::sj(text));
    r.resize(length);
    return r;
}

TEST(Seiseki, AwkwardRecords) {
    struct Case {
        const char* name;
        std::string record;
        const char* line;  // UTF-8 text of MS012東.DAT, or nullptr when nothing may be written
    } cases[] = {
        {"grade 1: two ASCII letters", results({{217, "1"}}),
         "05012311071AA 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 35.2-34.8"},
        {"grade 2: one full-width letter", results({}),
         "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 35.2-34.8"},
        {"times 000 and 1 2", results({{259, "000"}, {262, "1 2"}}),
         "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 00.0-1 .2"},
        {"time cut to 35", results({}, 260),
         "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 35.5-."},
        {"time cut to 3", results({}, 259),
         "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 3.3-."},
        {"time field with a two-byte character", results({{259, "ア1"}}),
         "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M ア1.1-34.8"},
        {"time field cut in a two-byte character", results({{261, "ア"}}),
         "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 35.?-?4.8"},
        {"unknown and blank codes",
         results({{67, "4"}, {70, "  "}, {216, " "}, {217, "6"}, {220, "8"}, {221, "0"}}),
         "05012311071？ 52？-？？-？？？ [  0不  1遅]　[？？-12]　？　M 35.2-34.8"},
        {"track condition with a blank", results({{70, " 2"}}),
         "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[？？-12]　内　M 35.2-34.8"},
        {"just the key", "0501231107", "05012311071？？-？？-？？？ [不遅]　[？？]　？　 .-."},
        {"nine bytes", "050123110", nullptr},
        {"empty line", "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder folder;
        EXPECT_EQ(folder.importOne(Seiseki, c.record),
                  c.line ? Outcome::Written : Outcome::Malformed);
        if (c.line == nullptr) {
            EXPECT_TRUE(test::tree(folder.root()).empty());
            continue;
        }
        const std::string got = folder.read("MDATA/MS012東.DAT");
        EXPECT_EQ(cp932::toUtf8(got), std::string(c.line) + "\r\n");
        if (c.record.size() >= 264 && c.record.find('\x83') == std::string::npos) {
            EXPECT_EQ(got.size(), 71u + 2u);
        }
    }
}

TEST(Seiseki, LapLineDoesNotStopTheHorses) {
    DataFolder folder;
    const std::string lap = "05012311001" + std::string(60, ' ');
    folder.write("MDATA/MS012東.DAT", lap + "\r\n");
    EXPECT_EQ(folder.import(Seiseki, results({}) + "\r\n" + results({{9, "08"}})),
              (std::vector<Outcome>{Outcome::Written, Outcome::Written}));
    EXPECT_EQ(splitLines(folder.read("MDATA/MS012東.DAT")).size(), 3u);
}

TEST(Seiseki, ReadOnlyResultsFileNamesTheFile) {
    // A folder where the file should be cannot be written even by root.
    DataFolder folder;
    std::filesystem::create_directory(folder.path("MDATA/MS012東.DAT"));
    try {
        Seiseki(results({}), folder.ctx);
        FAIL() << "no error";
    } catch (const Failure& e) {
        EXPECT_EQ(e.file(), folder.ctx.dataFolder + "MDATA/MS012東.DAT");
    }
}

}  // namespace
}  // namespace velt
