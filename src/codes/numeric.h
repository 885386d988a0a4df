#pragma once
// `numeric value`: the number a JRDB text field stands for, and its 16-bit integer form.

#include <cstdint>
#include <string_view>

namespace velt {

// Blanks anywhere are skipped; then an optional sign, digits and at most one "." are read as far
// as they go. A text that starts with no number gives 0.
double numericValue(std::string_view text);

// The value rounded to the nearest integer, ties to even, kept within the 16-bit range.
std::int16_t toInt16(double value);

}  // namespace velt
