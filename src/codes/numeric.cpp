#include "codes/numeric.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace velt {

double numericValue(std::string_view text) {
    std::string number;
    bool point = false, digits = false;
    for (char c : text) {
        if (c == ' ' || c == '\t') continue;
        if ((c == '+' || c == '-') && number.empty()) {
            number.push_back(c);
            continue;
        }
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
        } else {
            break;
        }
        number.push_back(c);
    }
    if (!digits) return 0.0;
    const char* first = number.data();
    if (*first == '+') ++first;
    double v = 0.0;
    // from_chars ignores the locale, which a window toolkit may have changed.
    std::from_chars(first, number.data() + number.size(), v);
    return v == 0.0 ? 0.0 : v;  // no negative zero
}

std::int16_t toInt16(double value) {
    if (std::isnan(value)) return 0;
    double r = std::nearbyint(value);  // the default rounding mode: ties to even
    if (r > std::numeric_limits<std::int16_t>::max())
        return std::numeric_limits<std::int16_t>::max();
    if (r < std::numeric_limits<std::int16_t>::min())
        return std::numeric_limits<std::int16_t>::min();
    return static_cast<std::int16_t>(r);
}

}  // namespace velt
