#pragma once
// The order of the comment files (KC, KM) and the exchange sort that keeps them in it.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velt {

// Letter case ignored (single-byte letters only: the trail byte of a two-byte CP932 character is
// never taken for a letter), otherwise byte order. Negative, zero or positive.
int compareIgnoringCase(std::string_view a, std::string_view b);

// Sorts elements 1..count of `lines` in place: for i from 1, for j > i, exchange when element i
// compares strictly greater than element j. Element 0 is not touched.
void upBubbleSortStr(std::vector<std::string>& lines, std::size_t count);

// The same result as appending `line` to an array that upBubbleSortStr has already sorted and
// sorting again, in one pass: on such an array only exchanges with the last element happen.
void insertSorted(std::vector<std::string>& sorted, std::string line);

}  // namespace velt
