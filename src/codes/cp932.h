#pragma once
// The CP932 (Shift-JIS as Windows writes it) edge: byte classes and conversion to and from UTF-8.
// The conversion gives the same bytes and texts on every platform (iconv, or code page 932).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velt::cp932 {

inline bool isLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
inline bool isTrail(unsigned char c) {
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}
inline bool isSingle(unsigned char c) {
    return c < 0x80 || (c >= 0xA1 && c <= 0xDF);
}

// Byte length of the character that starts at s[i]: 2 for a lead byte followed by a trail byte,
// otherwise 1 (a lone lead byte or an invalid byte counts as one character).
inline std::size_t charLength(std::string_view s, std::size_t i) {
    return (isLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
            isTrail(static_cast<unsigned char>(s[i + 1])))
               ? 2
               : 1;
}

// Bytes taken by the first n characters of s (all of s when it has fewer).
std::size_t prefixBytes(std::string_view s, std::size_t n);

// Number of characters in s.
std::size_t charCount(std::string_view s);

// Bytes to step over at a UTF-8 sequence that cannot be converted (s not empty): its lead byte
// and only the continuation bytes that belong to it, so that a cut sequence never swallows the
// next character.
std::size_t utf8SequenceLength(std::string_view s);

// UTF-8 to CP932. Characters that CP932 cannot hold become '?'; never throws on content.
std::string fromUtf8(std::string_view utf8);

// CP932 to UTF-8. Invalid or unmapped bytes become U+FFFD; never throws on content.
std::string toUtf8(std::string_view bytes);

}  // namespace velt::cp932
