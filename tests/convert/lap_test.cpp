#include <gtest/gtest.h>

#include "convert_fixture.h"

namespace velt {
namespace {

using test::DataFolder;

TEST(Lap, Golden) {
    test::checkGolden("lap", Lap);
}

// A JracSei1.dat record of year 01, racecourse 05, meeting 2, day 3, race 11; lap fields from
// `laps`, "000" for the rest.
std::string laps(const std::vector<std::string>& fields, std::size_t length = 760) {
    std::string r = test::makeRecord(760, {{3, "01"}, {9, "05"}, {12, "2"}, {14, "3"}, {15, "11"}});
    for (std::size_t i = 0; i < 25; ++i)
        r.replace(649 + 3 * i, 3, i < fields.size() ? fields[i] : "000");
    r.resize(length);
    return r;
}

std::vector<std::string> repeat(const std::string& field, std::size_t n) {
    return std::vector<std::string>(n, field);
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string times(const std::string& piece, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += piece;
    return s;
}

// The lap text of the line Lap writes for `record` into a fresh MS012東.DAT, blanks before it
// removed; checks that the line is the key and exactly 60 characters.
std::string lapText(const std::string& record) {
    DataFolder folder;
    EXPECT_EQ(folder.importOne(Lap, record), Outcome::Written);
    const std::string file = folder.read("MDATA/MS012東.DAT");
    EXPECT_EQ(file.size(), 11u + 60u + 2u);
    EXPECT_EQ(file.substr(0, 11), "05012311001");
    EXPECT_EQ(file.substr(71), "\r\n");
    std::string text = file.substr(11, 60);
    return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

TEST(Lap, EveryLapCount) {
    const std::string lap = "-12.1";
    struct Case {
        int n;
        std::string text;
    } cases[] = {
        {4, "12.1" + times(lap, 3)},
        {5, "12.1" + times(lap, 4)},
        {6, "12.1" + times(lap, 5)},
        {7, "12.1" + times(lap, 6)},
        {8, "12.1" + times(lap, 7)},
        {9, "12.1" + times(lap, 8)},
        {10, "12.1" + times(lap, 9)},
        {11, "12.1" + times(lap, 10)},
        {12, "12.1" + times(lap, 11)},
        {13, "3F 36.3" + times(lap, 10)},
        {14, "3F 36.3" + times(lap, 10)},
        {15, "5F 60.5" + times(lap, 10)},
        {16, " 60.5" + times(lap, 11)},
        {17, " 60.5" + times(lap, 11)},
        {18, "5F 60.5-5F 60.5" + times(lap, 8)},
        {19, "5F 60.5-5F 60.5" + times(lap, 8)},
        {20, "5F 60.5-5F 60.5" + times(lap, 8)},
        {21, "5F 60.5-5F 60.5" + times(lap, 8)},
        {22, "5F 60.5-5F 60.5" + times(lap, 8)},
        {23, "5F 60.5-5F 60.5" + times(lap, 8)},
        {24, "5F 60.5-5F 60.5" + times(lap, 8)},
        {25, "5F 60.5-5F 60.5" + times(lap, 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        const std::size_t length = c.n <= 12 ? 5 * c.n - 1 : c.n <= 15 ? 57 : c.n <= 17 ? 60 : 55;
        ASSERT_EQ(c.text.size(), length);  // the table of lengths the layout gives
        // lapText strips leading blanks, so the text of 16 and 17 laps loses its own blank.
        const std::string text = c.text[0] == ' ' ? c.text.substr(1) : c.text;
        EXPECT_EQ(lapText(laps(repeat("121", static_cast<std::size_t>(c.n)))), text);
    }
}

TEST(Lap, Sums) {
    // The first three laps vary; laps 4 to 13 are 12.0, so the text is "3F", the sum, and them.
    struct Case {
        const char* name;
        std::vector<std::string> first;
        std::string sum;
    } cases[] = {
        {"whole", {"120", "120", "120"}, " 36"},
        {"fractional", {"123", "110", "115"}, " 34.8"},
        {"rounded to 15 digits", {"001", "002", "000"}, " 0.3"},
        {"below 1", {"005", "000", "000"}, " 0.5"},
        {"zero", {"000", "000", "000"}, " 0"},
        {"negative", {"-10", "-10", "005"}, "-1.5"},
        {"negative below 1", {"-05", "000", "000"}, "-0.5"},
        {"negative zeros", {"-00", "-00", "-00"}, " 0"},
        {"large", {"999", "999", "999"}, " 299.7"},
        {"blanks and letters", {"1 2", "A12", "   "}, " 1.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string rest;
        for (int i = 0; i < 10; ++i) rest += "-12.0";
        std::string expected = "3F" + c.sum + rest;
        EXPECT_EQ(lapText(laps(c.first + repeat("120", 10))),
                  expected[0] == ' ' ? expected.substr(1) : expected);
    }
}

TEST(Lap, LongTextKeepsItsLastSixtyCharacters) {
    // Sixteen laps with a sum of three integer digits: " 499.5" and eleven laps make 61.
    EXPECT_EQ(lapText(laps(repeat("999", 5) + repeat("120", 11))), "499.5" + times("-12.0", 11));
}

TEST(Lap, ShortLines) {
    struct Case {
        const char* name;
        std::string record;
        Outcome outcome;
        std::string text;
    } cases[] = {
        {"empty", "", Outcome::Malformed, ""},
        {"fifteen bytes", laps({}, 15), Outcome::Malformed, ""},
        {"just the key", laps({}, 16), Outcome::Written, "5F 0-5F 0" + times("-.", 8)},
        {"cut inside lap 2", laps({"123", "124"}, 653), Outcome::Written,
         "5F 13.4-5F 0-.-.-.-.-.-.-.-."}  // lap 2 is "1": 1.1,
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder folder;
        EXPECT_EQ(folder.importOne(Lap, c.record), c.outcome);
        if (c.outcome == Outcome::Malformed) {
            EXPECT_TRUE(test::tree(folder.root()).empty());
            continue;
        }
        const std::string line = folder.read("MDATA/MS012東.DAT");
        EXPECT_EQ(line, "05012311001" + std::string(60 - c.text.size(), ' ') + c.text + "\r\n");
    }
}

TEST(Lap, ResultsAfterTheLapLineAreStillAdded) {
    DataFolder folder;
    EXPECT_EQ(folder.importOne(Lap, laps(repeat("121", 8))), Outcome::Written);
    EXPECT_EQ(folder.importOne(Seiseki, "0501231107"), Outcome::Written);
    EXPECT_EQ(folder.importOne(Lap, laps(repeat("122", 8))), Outcome::Present);
    const std::string file = folder.read("MDATA/MS012東.DAT");
    const auto lines = splitLines(file);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 11), "05012311001");
    EXPECT_EQ(lines[1].substr(0, 11), "05012311071");
}

}  // namespace
}  // namespace velt
