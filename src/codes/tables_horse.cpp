#include "codes/code.h"
#include "codes/table.h"

namespace velt::code {

std::string_view runningStyleName(double code) {
    static const Table table(
        {{0, "？"}, {1, "逃"}, {2, "先"}, {3, "差"}, {4, "追"}, {5, "好"}, {6, "自"}}, "？");
    return table(code);
}

std::string_view trainingArrowName(double code) {
    static const Table table({{1, "↑"}, {2, "／"}, {3, "→"}, {4, "＼"}, {5, "↓"}}, "？");
    return table(code);
}

std::string_view stableRatingName(double code) {
    // No row for 5: a stable rating of 5 is unknown, unlike the training arrow.
    static const Table table({{1, "↑"}, {2, "／"}, {3, "→"}, {4, "＼"}}, "？");
    return table(code);
}

std::string_view markName(double code) {
    static const Table table({{1, "◎"}, {2, "○"}, {3, "▲"}, {4, "注"}, {5, "△"}, {6, "△"}}, "　");
    return table(code);
}

}  // namespace velt::code
