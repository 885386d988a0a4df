#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "platform/failure.h"
#include "convert_fixture.h"

namespace velt {
namespace {

using test::DataFolder;

constexpr const char* kOdds = "HDATA/OD011117.CSV";

void startOddsImport(ImportContext& ctx) {
    ctx.fileDate = "011117";
    ctx.oddsStartFlag = 1;
}

TEST(Ozzhenkan, Golden) {
    test::checkGolden("ozzhenkan", ozzhenkan, startOddsImport);
}

// An OZ record of race 05012311 with the count text `count`; win odds of horse h "%5.1f" of h,
// place odds of h/10, and pair (a, b) "%5.2f" of a + b/100, for horses up to `horses`.
std::string odds(const char* count, int horses) {
    std::string r(955, ' ');
    r.replace(0, 8, "05012311");
    r.replace(8, 2, count);
    char cell[16];
    auto put = [&](std::size_t pos, double v, const char* format = "%5.1f") {
        std::snprintf(cell, sizeof cell, format, v);
        r.replace(pos - 1, 5, cell);
    };
    int k = 0;
    for (int a = 1; a <= 18; ++a) {
        if (a <= horses) put(11 + 5 * (a - 1), a);
        if (a <= horses) put(101 + 5 * (a - 1), a / 10.0);
        for (int b = a + 1; b <= 18; ++b, ++k)
            if (b <= horses) put(191 + 5 * k, a + b / 100.0, "%5.2f");
    }
    return r;
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(line.substr(start, comma - start));
    fields.push_back(line.substr(start));
    return fields;
}

TEST(FrameNumber, EveryCountAsDescribed) {
    // Frame sizes: one horse a frame up to 8 horses; for 9 to 15 one horse in each of the first
    // 16 - N frames and two in the others; two everywhere for 16; three in frame 8 for 17; three in
    // frames 7 and 8 for 18.
    for (int n = 1; n <= 18; ++n) {
        std::array<int, 8> sizes{};
        for (int f = 0; f < 8; ++f) {
            if (n <= 8)
                sizes[f] = f < n ? 1 : 0;
            else if (n <= 15)
                sizes[f] = f < 16 - n ? 1 : 2;
            else
                sizes[f] = 2;
        }
        if (n >= 17) sizes[7] = 3;
        if (n == 18) sizes[6] = 3;
        int h = 1;
        for (int f = 0; f < 8; ++f)
            for (int i = 0; i < sizes[f]; ++i, ++h)
                EXPECT_EQ(frameNumber(n, h), f + 1) << "n " << n << " horse " << h;
        EXPECT_EQ(h, n + 1);
    }
    const int twelve[] = {1, 2, 3, 4, 5, 5, 6, 6, 7, 7, 8, 8};
    for (int h = 1; h <= 12; ++h) EXPECT_EQ(frameNumber(12, h), twelve[h - 1]);
}

TEST(Ozzhenkan, LinesOfARaceOfTwelve) {
    DataFolder folder;
    startOddsImport(folder.ctx);
    EXPECT_EQ(folder.importOne(ozzhenkan, odds("12", 12)), Outcome::Written);
    const std::string file = folder.read(kOdds);
    const auto lines = splitLines(file);
    ASSERT_EQ(lines.size(), 12u);
    for (int h = 1; h <= 12; ++h) {
        SCOPED_TRACE(h);
        const std::string line(lines[h - 1]);
        EXPECT_EQ(line.size(), h < 10 ? 284u : 285u);
        const auto f = fieldsOf(line);
        ASSERT_EQ(f.size(), 37u);
        char key[11];
        std::snprintf(key, sizeof key, "05012311%02d", h);
        EXPECT_EQ(f[0], key);
        EXPECT_EQ(f[1], " 12");
        EXPECT_EQ(f[2], " 5");
        EXPECT_EQ(f[3], "    ");
        EXPECT_EQ(f[4], " " + std::to_string(h));
        EXPECT_EQ(f[5], " " + std::to_string(frameNumber(12, h)));
        EXPECT_EQ(f[6], std::string(18, ' '));
        EXPECT_EQ(f[8], f[9]);
        for (int j = 1; j <= 18; ++j) {
            const int a = std::min(h, j), b = std::max(h, j);
            char cell[16];
            std::snprintf(cell, sizeof cell, "%5.2f", a + b / 100.0);
            EXPECT_EQ(f[9 + j], "  " + std::string(h == j || b > 12 ? "  0.0" : cell)) << j;
        }
        for (int i = 28; i < 36; ++i) EXPECT_EQ(f[i], "    0.0");
        EXPECT_EQ(f[36], "0900");
    }
}

TEST(Ozzhenkan, OddsStartFlagCycle) {
    DataFolder folder;
    folder.write(kOdds, "old line\r\n");
    startOddsImport(folder.ctx);

    // A first record of count 0 empties the file and leaves the flag at 1.
    EXPECT_EQ(folder.importOne(ozzhenkan, odds(" 0", 0)), Outcome::Present);
    EXPECT_EQ(folder.read(kOdds), "");
    EXPECT_EQ(folder.ctx.oddsStartFlag, 1);

    // A count above 18 is refused and changes nothing, not even while the flag is 1.
    folder.write(kOdds, "old line\r\n");
    EXPECT_EQ(folder.importOne(ozzhenkan, odds("19", 18)), Outcome::Malformed);
    EXPECT_EQ(folder.read(kOdds), "old line\r\n");
    EXPECT_EQ(folder.ctx.oddsStartFlag, 1);

    // Count 0, then 2 (starts the file again, flag 1 + 2), then 3 (appended); a blank count.
    EXPECT_EQ(folder.import(ozzhenkan, odds(" 0", 0) + "\r\n" + odds(" 2", 2) + "\r\n" +
                                           odds(" 3", 3) + "\r\n" + odds("  ", 3)),
              (std::vector<Outcome>{Outcome::Present, Outcome::Written, Outcome::Written,
                                    Outcome::Present}));
    EXPECT_EQ(folder.ctx.oddsStartFlag, 3);
    const std::string once = folder.read(kOdds);
    EXPECT_EQ(splitLines(once).size(), 5u);

    // The same file again gives the same file.
    startOddsImport(folder.ctx);
    folder.import(ozzhenkan, odds(" 0", 0) + "\r\n" + odds(" 2", 2) + "\r\n" + odds(" 3", 3));
    EXPECT_EQ(folder.read(kOdds), once);

    // With the flag past 1 even a count of 0 only makes sure the file exists.
    std::filesystem::remove(folder.path(kOdds));
    EXPECT_EQ(folder.importOne(ozzhenkan, odds(" 0", 0)), Outcome::Present);
    EXPECT_EQ(folder.read(kOdds), "");
    EXPECT_TRUE(std::filesystem::exists(folder.path(kOdds)));
}

TEST(Ozzhenkan, ShortAndRefusedRecords) {
    struct Case {
        const char* name;
        std::string record;
        Outcome outcome;
    } cases[] = {
        {"empty", "", Outcome::Malformed},
        {"nine bytes", "050123111", Outcome::Malformed},
        {"count 99", odds("99", 18), Outcome::Malformed},
        {"count 19", odds("19", 18), Outcome::Malformed},
        {"count 18", odds("18", 18), Outcome::Written},
        {"negative count", odds("-1", 0), Outcome::Present},
        {"just the key and count", "0501231101", Outcome::Written},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder folder;
        startOddsImport(folder.ctx);
        EXPECT_EQ(folder.importOne(ozzhenkan, c.record), c.outcome);
        EXPECT_EQ(std::filesystem::exists(folder.path(kOdds)), c.outcome != Outcome::Malformed);
    }
}

TEST(Ozzhenkan, MissingHdataFolderNamesTheFile) {
    DataFolder folder(true, false);
    startOddsImport(folder.ctx);
    try {
        ozzhenkan(odds(" 3", 3), folder.ctx);
        FAIL() << "no error";
    } catch (const Failure& e) {
        EXPECT_EQ(e.file(), folder.ctx.dataFolder + kOdds);
    }
    EXPECT_EQ(folder.ctx.oddsStartFlag, 1);
}

}  // namespace
}  // namespace velt
