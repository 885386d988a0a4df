#include "codes/code.h"
#include "codes/table.h"

namespace velt::code {

std::string_view courseName(double code) {
    static const Table table({{1, "札"},
                              {2, "函"},
                              {3, "福"},
                              {4, "新"},
                              {5, "東"},
                              {6, "中"},
                              {7, "名"},
                              {8, "京"},
                              {9, "阪"},
                              {10, "小"}},
                             "？");
    return table(code);
}

std::string_view trackConditionName(double code) {
    static const Table table({{10, "　良"},
                              {11, "速良"},
                              {12, "遅良"},
                              {20, "稍重"},
                              {21, "速稍"},
                              {22, "遅稍"},
                              {30, "　重"},
                              {31, "速重"},
                              {32, "遅重"},
                              {40, "不良"},
                              {41, "速不"},
                              {42, "遅不"}},
                             "？？");
    return table(code);
}

std::string_view gradeName(double code) {
    static const Table table({{0, "？"}, {1, "AA"}, {2, "Ａ"}, {3, "Ｂ"}, {4, "Ｃ"}, {5, "Ｄ"}},
                             "？");
    return table(code);
}

}  // namespace velt::code
