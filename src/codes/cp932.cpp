#include "codes/cp932.h"

namespace velt::cp932 {

std::size_t prefixBytes(std::string_view s, std::size_t n) {
    std::size_t i = 0;
    for (std::size_t k = 0; k < n && i < s.size(); ++k) i += charLength(s, i);
    return i;
}

std::size_t charCount(std::string_view s) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); i += charLength(s, i)) ++count;
    return count;
}

std::size_t utf8SequenceLength(std::string_view s) {
    auto c = static_cast<unsigned char>(s[0]);
    std::size_t n = c >= 0xC2 && c < 0xE0   ? 2
                    : c >= 0xE0 && c < 0xF0 ? 3
                    : c >= 0xF0 && c < 0xF5 ? 4
                                            : 1;
    std::size_t i = 1;
    while (i < n && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    return i;
}

}  // namespace velt::cp932
