// A record's race key decides, in every converter, whether it is placed: a key of real shape is
// converted, one that is no key is malformed, a blank one is out of scope; neither writes a file.

#include <gtest/gtest.h>

#include "convert/converters.h"
#include "convert_fixture.h"

namespace velt {
namespace {
using namespace test;

constexpr Outcome W = Outcome::Written, M = Outcome::Malformed, O = Outcome::OutOfScope;

TEST(KeyShape, DecidesTheOutcomeInEveryConverter) {
    struct Case {
        const char* name;
        std::string key;
        Outcome outcome;
    } cases[] = {
        {"JRA race", "05091101", W},
        {"racecourse above 10", "35091101", W},
        {"blank inside the year", "05 91101", W},
        {"letters in meeting and day", "4409AB01", W},
        {"hex day", "05091c01", W},
        {"other organiser's race, letter in the race number", "68163QA2", W},
        {"blank key", "        ", O},
        {"tab", "0509\t101", M},
        {"escape",
         "\x1b"
         "5091101",
         M},
        {"DEL",
         "050911\x7f"
         "1",
         M},
        {"two-byte character",
         "05\x82\xA0"
         "1101",
         M},
        {"letters in the racecourse", "ZZ091101", M},
        {"letter in the year", "050A1101", M},
        {"folder separator", "05/91101", M},
        {"punctuation", "0509!!+?", M},
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
            EXPECT_EQ(folder.importOne(k.convert, record), c.outcome);
            std::size_t files = 0;
            for (const auto& [name, bytes] : tree(folder.root())) files += !bytes.empty();
            EXPECT_EQ(files > 0, c.outcome == W);
        }
    }
    // The lap file's key lies elsewhere: racecourse 9-10, year 3-4, meeting 12, day 14, race 15-16.
    struct LapCase {
        const char* year;
        const char* rest;  // bytes 9-16
        Outcome outcome;
    } laps[] = {{"09", "05030111", W}, {"  ", "        ", O}, {"09", "0/030111", M}};
    for (const LapCase& c : laps) {
        SCOPED_TRACE(c.rest);
        DataFolder folder;
        std::string lap = makeRecord(760, {{1, "20091122"}});
        lap.replace(2, 2, c.year);
        lap.replace(8, 8, c.rest);
        EXPECT_EQ(folder.importOne(&Lap, lap), c.outcome);
    }
}

}  // namespace
}  // namespace velt
