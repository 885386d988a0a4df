#include "codes/numeric.h"

#include <gtest/gtest.h>

namespace velt {
namespace {

TEST(NumericValue, ReadsWhatTheFieldStandsFor) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"05", 5},
        {" 5", 5},
        {"5", 5},
        {"   ", 0},
        {"", 0},
        {"1 2", 12},
        {" -5", -5},
        {"- 5", -5},
        {"+7", 7},
        {"1.2.3", 1.2},
        {"5a", 5},
        {"a5", 0},
        {"-", 0},
        {".5", 0.5},
        {"5.", 5},
        {"--5", 0},
        {"5-3", 5},
        {"12.3", 12.3},
        {" 0 0 1", 1},
        {"-0", 0},
        {"\x81\x40"
         "5",
         0},
        {"999", 999},
        {"1\t2", 12},
        {"3 . 5", 3.5},
        {"1e3", 1},
        {"-.5", -0.5},
        {".", 0},
        {"+-5", 0},
        {"5 -", 5},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(numericValue(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumericValue, RoundsToSixteenBitsTiesToEven) {
    struct Case {
        double value;
        int expected;
    } cases[] = {{0.5, 0},         {1.5, 2},         {2.5, 2},          {-0.5, 0},
                 {-1.5, -2},       {2.4, 2},         {2.6, 3},          {40000, 32767},
                 {-40000, -32768}, {32767.5, 32767}, {-32768.5, -32768}};
    for (const Case& c : cases) EXPECT_EQ(toInt16(c.value), c.expected) << c.value;
}

}  // namespace
}  // namespace velt
