#include "convert/sort.h"

#include <utility>

#include "codes/cp932.h"

namespace velt {

int compareIgnoringCase(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    while (i < n) {
        // Both texts are walked together; a byte pair is compared as it stands.
        std::size_t len = cp932::charLength(a, i);
        for (std::size_t k = 0; k < len && i + k < n; ++k) {
            auto x = static_cast<unsigned char>(a[i + k]);
            auto y = static_cast<unsigned char>(b[i + k]);
            if (len == 1) {
                if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
                if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
            }
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
    for (std::string& element : sorted)
        if (compareIgnoringCase(element, line) > 0) std::swap(element, line);
    sorted.push_back(std::move(line));
}

}  // namespace velt
