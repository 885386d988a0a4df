// Records whose race key cannot place them are malformed in every converter; other odd keys
// (a blank inside, letters, two-byte characters, racecourses above 10) are converted.

#include <gtest/gtest.h>

#include "convert/converters.h"
#include "convert_fixture.h"

namespace velt {
namespace {
using namespace test;

TEST(UnplaceableKey, MalformedInEveryConverterAndNothingWritten) {
    struct Case {
        const char* name;
        std::string key;
        bool placed;
    } cases[] = {
        {"blank key", "        ", false},
        {"tab in the key", "0509\t101", false},
        {"escape in the key",
         "\x1b"
         "5091101",
         false},
        {"DEL in the key",
         "050911\x7f"
         "1",
         false},
        {"blank inside", "05 91101", true},
        {"letters in meeting and day", "4409AB01", true},
        {"hex day", "05091c01", true},
        {"two-byte character",
         "05\x82\xA0"
         "1101",
         true},
        {"racecourse above 10", "35091101", true},
    };
    struct Conv {
        Converter convert;
        std::size_t length;
    } kinds[] = {{&ky, 430}, {&Seiseki, 330}, {&ozzhenkan, 955}, {&kakuchouhenkan, 280}};
    for (const Case& c : cases) {
        for (const Conv& k : kinds) {
            SCOPED_TRACE(c.name);
            DataFolder folder;
            fs::create_directories(folder.path("KCOM_DATA/2009"));
            folder.ctx.fileDate = "091122";
            folder.ctx.oddsStartFlag = 1;
            std::string record = makeRecord(k.length, {{9, "08"}, {19, "20091122"}});
            record.replace(0, 8, c.key);
            Outcome o = folder.importOne(k.convert, record);
            EXPECT_EQ(o == Outcome::Malformed, !c.placed);
            std::size_t files = 0;
            for (const auto& [name, bytes] : tree(folder.root())) files += !bytes.empty();
            EXPECT_EQ(files > 0, c.placed);
        }
    }
    // The lap file's key lies elsewhere: racecourse 9-10, year 3-4, meeting 12, day 14, race 15-16.
    DataFolder folder;
    std::string lap =
        makeRecord(760, {{1, "20091122"}, {9, "05"}, {11, "03"}, {13, "01"}, {15, "11"}});
    EXPECT_EQ(folder.importOne(&Lap, lap), Outcome::Written);
    lap.replace(2, 2, "  ");
    lap.replace(8, 8, "        ");
    EXPECT_EQ(folder.importOne(&Lap, lap), Outcome::Malformed);
}

}  // namespace
}  // namespace velt
