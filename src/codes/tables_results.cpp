#include "codes/code.h"
#include "codes/table.h"

namespace velt::code {

std::string_view positionName(double code) {
    static const Table table({{1, "最"}, {2, "内"}, {3, "中"}, {4, "外"}, {5, "大"}}, "？");
    return table(code);
}

std::string_view bodyName(double code) {
    static const Table table(
        {{1, "太い"}, {2, "余裕"}, {3, "良い"}, {4, "普通"}, {5, "細い"}, {6, "張り"}, {7, "緩い"}},
        "？？");
    return table(code);
}

std::string_view demeanorName(double code) {
    static const Table table({{1, "状態良"},
                              {2, "平凡　"},
                              {3, "不安定"},
                              {4, "イレ込"},
                              {5, "気合良"},
                              {6, "気不足"},
                              {7, "チャカ"},
                              {8, "イレチ"}},
                             "？？？");
    return table(code);
}

std::string_view surfaceName(double code) {
    static const Table table({{1, "芝"}, {2, "Ｄ"}, {3, "障"}}, "？");
    return table(code);
}

}  // namespace velt::code
