#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "codes/code.h"
#include "codes/cp932.h"
#include "codes/numeric.h"
#include "dump_digest.h"

namespace velt::code {
namespace {

using Lookup = std::string_view (*)(double);

struct NamedTable {
    const char* name;
    Lookup lookup;
    std::size_t width;  // CP932 bytes
};

const NamedTable kTables[] = {
    {"courseName", courseName, 2},
    {"trackConditionName", trackConditionName, 4},
    {"gradeName", gradeName, 2},
    {"runningStyleName", runningStyleName, 2},
    {"trainingArrowName", trainingArrowName, 2},
    {"stableRatingName", stableRatingName, 2},
    {"markName", markName, 2},
    {"positionName", positionName, 2},
    {"bodyName", bodyName, 4},
    {"demeanorName", demeanorName, 6},
    {"surfaceName", surfaceName, 2},
    {"remarkName", remarkName, 8},
    {"equipmentName", equipmentName, 2},
    {"legName", legName, 4},
};

std::vector<double> probeValues() {
    std::vector<double> values;
    for (int i = -5; i <= 1000; ++i) values.push_back(i);
    for (double f : {0.5, 1.5, 33.5, -0.5, 1e9, -1e9}) values.push_back(f);
    values.push_back(std::numeric_limits<double>::infinity());
    values.push_back(std::numeric_limits<double>::quiet_NaN());
    return values;
}

// The output lines are fixed-width: a text one byte short shifts every later column, and a
// character CP932 cannot hold would turn into '?'.
TEST(CodeTables, EveryTextHasTheTableWidth) {
    const std::vector<double> values = probeValues();
    for (const NamedTable& t : kTables) {
        for (double v : values) {
            std::string_view text = t.lookup(v);
            EXPECT_EQ(text.size(), t.width) << t.name << '(' << v << ')';
            EXPECT_EQ(text.find('?'), std::string_view::npos) << t.name << '(' << v << ')';
        }
    }
}

TEST(CodeTables, EdgeCases) {
    struct Case {
        Lookup lookup;
        double code;
        const char* expected;  // UTF-8
    } cases[] = {
        {courseName, 5, "東"},
        {courseName, 10, "小"},
        {courseName, 0, "？"},
        {courseName, 11, "？"},
        {trackConditionName, 10, "　良"},
        {trackConditionName, 30, "　重"},
        {trackConditionName, 42, "遅不"},
        {trackConditionName, 0, "？？"},
        {trackConditionName, 13, "？？"},
        {gradeName, 1, "AA"},  // ASCII here, full-width for the other grades
        {gradeName, 2, "Ａ"},
        {gradeName, 5, "Ｄ"},
        {gradeName, 0, "？"},
        {gradeName, 6, "？"},
        {runningStyleName, 0, "？"},
        {runningStyleName, 6, "自"},
        {runningStyleName, 7, "？"},
        {trainingArrowName, 2, "／"},
        {trainingArrowName, 4, "＼"},
        {trainingArrowName, 5, "↓"},
        {stableRatingName, 4, "＼"},
        {stableRatingName, 5, "？"},
        {markName, 5, "△"},
        {markName, 6, "△"},
        {markName, 0, "　"},
        {markName, 7, "　"},
        {positionName, 5, "大"},
        {positionName, 0, "？"},
        {positionName, 6, "？"},
        {bodyName, 7, "緩い"},
        {bodyName, 0, "？？"},
        {bodyName, 8, "？？"},
        {demeanorName, 2, "平凡　"},
        {demeanorName, 8, "イレチ"},
        {demeanorName, 0, "？？？"},
        {demeanorName, 9, "？？？"},
        {surfaceName, 2, "Ｄ"},
        {surfaceName, 0, "？"},
        {surfaceName, 4, "？"},
        {remarkName, 33, "口向悪い"},
        {remarkName, 34, "放馬　　"},
        {remarkName, 35, "Ｒ中落鉄"},
        {remarkName, 102, "芝×　　"},
        {remarkName, 245, "直線芝○"},
        {remarkName, 779, "再ゲ気失"},
        {remarkName, 922, "左開脱臼"},
        {remarkName, 0, "　　　　"},
        {remarkName, 36, "　　　　"},
        {remarkName, 923, "　　　　"},
        {equipmentName, 1, "ブ"},
        {equipmentName, 20, "Ｐ"},
        {equipmentName, 69, "Ｐ"},
        {equipmentName, 70, "Ｐ"},
        {equipmentName, 94, "裂"},
        {equipmentName, 0, "　"},
        {equipmentName, 27, "　"},
        {equipmentName, 46, "　"},
        {equipmentName, 95, "　"},
        {legName, 0, "バン"},
        {legName, 1, "蹄汚"},
        {legName, 102, "蹄汚"},
        {legName, 15, "鉄橋"},
        {legName, 17, "Ｊ鉄"},
        {legName, 32, "膝焼"},
        {legName, 34, "膝焼"},
        {legName, 112, "膝焼"},
        {legName, 38, "ブリ"},
        {legName, 113, "脚不"},
        {legName, 16, "　　"},
        {legName, 39, "　　"},
        {legName, 99, "　　"},
        {legName, 114, "　　"},
        {legName, 999, "　　"},
        {legName, 0.5, "　　"},
        {positionName, 1.5, "？"},
        {courseName, 5.0000001, "？"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.lookup(c.code), cp932::fromUtf8(c.expected)) << c.code << " -> " << c.expected;
}

// Callers pass the numeric value of the field, so zero-padded and blank-padded codes agree.
TEST(CodeTables, CodesReadFromFieldText) {
    struct Case {
        Lookup lookup;
        const char* field;
        const char* expected;
    } cases[] = {
        {remarkName, "045", "恐がり　"}, {remarkName, " 45", "恐がり　"},
        {remarkName, "   ", "　　　　"}, {courseName, "05", "東"},
        {legName, "000", "バン"},        {equipmentName, "   ", "　"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.lookup(numericValue(c.field)), cp932::fromUtf8(c.expected)) << c.field;
}

// Every text of every table, as CP932 bytes, is what the recorded digest holds on every platform;
// a mismatch leaves code-tables.txt in the build folder to compare with another platform's.
TEST(CodeTables, EveryTextIsTheRecordedOne) {
    std::string listing;
    for (const NamedTable& t : kTables)
        for (int v = -1; v <= 1000; ++v)
            listing +=
                std::string(t.name) + ' ' + std::to_string(v) + ' ' + test::hex(t.lookup(v)) + '\n';
    EXPECT_EQ(test::digestAndKeep(listing, "code-tables"), "4197302fc4a597f3")
        << VELT_BINARY_DIR "/code-tables.txt differs from the recorded listing";
}

}  // namespace
}  // namespace velt::code
