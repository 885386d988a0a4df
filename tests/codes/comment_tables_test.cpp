// The long comment tables checked against what can be known without retyping them: which codes
// exist, how their texts are built, and which codes share a text.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "codes/code.h"
#include "codes/cp932.h"

namespace velt::code {
namespace {

using Lookup = std::string_view (*)(double);
using Ranges = std::vector<std::pair<int, int>>;

constexpr std::string_view kIdeographicSpace = "\x81\x40";

struct CommentTable {
    const char* name;
    Lookup lookup;
    std::size_t chars;
    Ranges present;
    int count;
};

const Ranges kRemarkCodes = {{33, 35},   {37, 138},  {140, 213}, {215, 219}, {221, 242}, {245, 247},
                             {301, 311}, {313, 317}, {320, 376}, {378, 565}, {572, 573}, {575, 576},
                             {578, 645}, {700, 775}, {779, 787}, {789, 811}, {901, 922}};
const Ranges kEquipmentCodes = {{1, 26},  {28, 28}, {30, 30}, {32, 32}, {36, 45},
                                {47, 51}, {54, 56}, {66, 71}, {94, 94}};
const Ranges kLegCodes = {{0, 15}, {17, 38}, {100, 113}};

const CommentTable kTables[] = {
    {"remarkName", remarkName, 4, kRemarkCodes, 672},
    {"equipmentName", equipmentName, 1, kEquipmentCodes, 54},
    {"legName", legName, 2, kLegCodes, 52},
};

bool listed(const Ranges& ranges, int code) {
    for (auto [first, last] : ranges)
        if (code >= first && code <= last) return true;
    return false;
}

TEST(CommentTables, CodesPresentAndAbsent) {
    for (const CommentTable& t : kTables) {
        const std::string_view fallback = t.lookup(-1);
        int count = 0;
        for (int code = -5; code <= 2000; ++code) {
            bool present = t.lookup(code) != fallback;
            count += present;
            EXPECT_EQ(present, listed(t.present, code)) << t.name << '(' << code << ')';
        }
        EXPECT_EQ(count, t.count) << t.name;
        std::string blank;
        for (std::size_t i = 0; i < t.chars; ++i) blank += kIdeographicSpace;
        EXPECT_EQ(fallback, blank) << t.name;
    }
}

// Full-width characters only, and ideographic spaces only as the fill at the end.
TEST(CommentTables, TextsAreFullWidthAndFilledAtTheEnd) {
    for (const CommentTable& t : kTables) {
        for (int code = -5; code <= 1000; ++code) {
            if (!listed(t.present, code)) continue;
            std::string_view text = t.lookup(code);
            const std::string where = std::string(t.name) + '(' + std::to_string(code) + ')';
            ASSERT_EQ(cp932::charCount(text), t.chars) << where;
            bool fill = false;
            for (std::size_t i = 0; i < text.size(); i += 2) {
                std::string_view ch = text.substr(i, 2);
                EXPECT_EQ(cp932::charLength(text, i), 2u) << where;
                bool space = ch == kIdeographicSpace;
                EXPECT_FALSE(space && i == 0) << where;
                EXPECT_FALSE(fill && !space) << where;
                fill = fill || space;
            }
        }
    }
}

TEST(CommentTables, SharedTexts) {
    struct Case {
        Lookup lookup;
        int code;
        int sameAs;
    } cases[] = {
        {remarkName, 533, 528}, {remarkName, 559, 516},  {remarkName, 199, 179},
        {remarkName, 909, 901}, {remarkName, 910, 901},  {remarkName, 912, 901},
        {remarkName, 239, 231}, {equipmentName, 69, 20}, {equipmentName, 70, 20},
        {legName, 102, 1},      {legName, 34, 32},       {legName, 112, 32},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.lookup(c.code), c.lookup(c.sameAs)) << c.code << " = " << c.sameAs;
}

}  // namespace
}  // namespace velt::code
