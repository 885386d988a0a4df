#pragma once
// A long listing checked against a digest recorded once. The same digest on Linux and Windows
// shows the same conversion; the listing is left in the build tree so that two platforms' files
// can be compared line by line when the digests differ.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

namespace velt::test {

inline std::string hex(std::string_view bytes) {
    std::string out;
    char buf[3];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        out += buf;
    }
    return out;
}

inline std::string utf8(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | c >> 6);
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | c >> 12);
        s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

// FNV-1a, 64 bits, as hex; writes the listing to <build>/<name>.txt.
inline std::string digestAndKeep(const std::string& listing, const std::string& name) {
    std::ofstream(std::string(VELT_BINARY_DIR) + "/" + name + ".txt", std::ios::binary) << listing;
    std::uint64_t h = 0xcbf29ce484222325u;
    for (unsigned char c : listing) h = (h ^ c) * 0x100000001b3u;
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

}  // namespace velt::test
