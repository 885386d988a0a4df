#include "convert/sort.h"

#include <algorithm>
#include <utility>

#include "codes/cp932.h"

namespace velt {

int compareIgnoringCase(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    // Both texts are walked together, by the characters of `a`.
    while (i < n) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x < 0x80) {  // a single byte, compared without case
            if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
            if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
            if (x != y) return x < y ? -1 : 1;
            ++i;
            continue;
        }
        // Any other character's bytes as they stand (a letter of `b` would sort below it
        // lower case or not).
        const std::size_t len = cp932::charLength(a, i);
        for (std::size_t k = i; k < i + len && k < n; ++k) {
            x = static_cast<unsigned char>(a[k]);
            y = static_cast<unsigned char>(b[k]);
            if (x != y) return x < y ? -1 : 1;
        }
        i += len;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

void upBubbleSortStr(std::vector<std::string>& lines, std::size_t count) {
    for (std::size_t i = 1; i < count; ++i)
        for (std::size_t j = i + 1; j <= count; ++j)
            if (compareIgnoringCase(lines[i], lines[j]) > 0) std::swap(lines[i], lines[j]);
}

void insertSorted(std::vector<std::string>& sorted, std::string line) {
    // The array is in order: no element up to the first one above `line` is exchanged, so the
    // pass starts there, found by halving.
    auto first = std::upper_bound(sorted.begin(), sorted.end(), line,
                                  [](const std::string& value, const std::string& element) {
                                      return compareIgnoringCase(element, value) > 0;
                                  });
    for (auto it = first; it != sorted.end(); ++it)
        if (compareIgnoringCase(*it, line) > 0) std::swap(*it, line);
    sorted.push_back(std::move(line));
}

}  // namespace velt
