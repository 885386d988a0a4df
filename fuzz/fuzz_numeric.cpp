// `numeric value` and its 16-bit form on arbitrary text.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "codes/numeric.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    double v = velt::numericValue(text);
    if (std::isnan(v)) std::abort();  // digits and one point never make NaN
    std::int16_t i = velt::toInt16(v);
    if (std::isfinite(v) && std::abs(v) < 32000 && std::abs(i - v) > 0.5) std::abort();
    return 0;
}
