// CP932 through Windows' own code page 932, made to give exactly the bytes and texts that the
// iconv side gives, so that output files are identical on both platforms.
#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>

#include "codes/cp932.h"

namespace velt::cp932 {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr std::uint16_t kUnmapped = 0xFFFF;  // no CP932 character: 0xFF is never a lead byte

// Where code page 932 and iconv part ways, iconv's mapping is kept. Decoding agrees once the
// bytes that CP932 leaves unassigned (0x80, 0xA0, 0xFD-0xFF) are refused; encoding differs in
// iconv's one-way mappings of the JIS forms of a few symbols, and in the code points Windows gives
// to those unassigned bytes.
struct EncodeException {
    char16_t unicode;
    std::uint16_t bytes;  // kUnmapped: iconv has no CP932 character for it
};
constexpr EncodeException kEncodeExceptions[] = {
    {0x0080, kUnmapped},  // Windows' 0x80
    {0xF8F0, kUnmapped},  // Windows' 0xA0
    {0xF8F1, kUnmapped},  // Windows' 0xFD
    {0xF8F2, kUnmapped},  // Windows' 0xFE
    {0xF8F3, kUnmapped},  // Windows' 0xFF
    {0x00A2, 0x8191},     // ¢ as ￠
    {0x00A3, 0x8192},     // £ as ￡
    {0x00A5, 0x005C},     // ¥ as the backslash byte
    {0x00AC, 0x81CA},     // ¬ as ￢
    {0x2014, 0x815C},     // em dash as the horizontal bar
    {0x2016, 0x8161},     // ‖ as ∥
    {0x203E, 0x007E},     // overline as the tilde byte
    {0x2212, 0x817C},     // minus sign as －
    {0x301C, 0x8160},     // wave dash as ～
};

// Text of every CP932 character (single bytes at their value, pairs at lead << 8 | trail), and
// the CP932 character of every UTF-16 unit, both asked of the system once.
struct Tables {
    std::array<char16_t, 0x10000> decode;
    std::array<std::uint16_t, 0x10000> encode;
};

char16_t systemDecode(const char* bytes, int n) {
    wchar_t w[2];
    int r = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, n, w, 2);
    return r == 1 ? static_cast<char16_t>(w[0]) : kReplacement;
}

std::uint16_t systemEncode(char16_t unit) {
    wchar_t w = static_cast<wchar_t>(unit);
    char bytes[2];
    BOOL usedDefault = FALSE;
    int r = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &w, 1, bytes, 2, nullptr, &usedDefault);
    if (usedDefault || r < 1) return kUnmapped;
    if (r == 1) return static_cast<unsigned char>(bytes[0]);
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) << 8 |
                                      static_cast<unsigned char>(bytes[1]));
}

std::unique_ptr<const Tables> makeTables() {
    auto t = std::make_unique<Tables>();
    t->decode.fill(kReplacement);
    t->encode.fill(kUnmapped);
    for (unsigned b = 0; b < 0x100; ++b) {
        if (!isSingle(static_cast<unsigned char>(b))) continue;
        char c = static_cast<char>(b);
        t->decode[b] = systemDecode(&c, 1);
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLead(static_cast<unsigned char>(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!isTrail(static_cast<unsigned char>(trail))) continue;
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            t->decode[lead << 8 | trail] = systemDecode(pair, 2);
        }
    }
    for (unsigned u = 0; u < 0x10000; ++u)
        if (u < 0xD800 || u > 0xDFFF) t->encode[u] = systemEncode(static_cast<char16_t>(u));
    for (const EncodeException& e : kEncodeExceptions) t->encode[e.unicode] = e.bytes;
    return t;
}

const Tables& tables() {
    static const std::unique_ptr<const Tables> t = makeTables();
    return *t;
}

void appendUtf8(std::string& out, char16_t u) {
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | u >> 6);
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | u >> 12);
        out += static_cast<char>(0x80 | (u >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

// The code point of the well-formed UTF-8 sequence at s[0], or -1 (overlong forms, surrogates and
// values beyond U+10FFFF are not well-formed); `length` receives its byte length.
long decodeUtf8(std::string_view s, std::size_t& length) {
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char c = at(0);
    length = 1;
    if (c < 0x80) return c;
    unsigned char low = 0x80, high = 0xBF;
    long cp;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3, cp = c & 0x0F;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4, cp = c & 0x07;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    if (s.size() < length) return -1;
    for (std::size_t i = 1; i < length; ++i) {
        unsigned char b = at(i);
        if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) return -1;
        cp = cp << 6 | (b & 0x3F);
    }
    return cp;
}

}  // namespace

std::string fromUtf8(std::string_view utf8) {
    const Tables& t = tables();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length;
        long cp = decodeUtf8(utf8.substr(i), length);
        std::uint16_t bytes =
            cp >= 0 && cp < 0x10000 ? t.encode[static_cast<std::size_t>(cp)] : kUnmapped;
        if (bytes == kUnmapped) {
            out += '?';
            i += utf8SequenceLength(utf8.substr(i));
            continue;
        }
        if (bytes > 0xFF) out += static_cast<char>(bytes >> 8);
        out += static_cast<char>(bytes & 0xFF);
        i += length;
    }
    return out;
}

std::string toUtf8(std::string_view bytes) {
    const Tables& t = tables();
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t n = charLength(bytes, i);
        unsigned code = static_cast<unsigned char>(bytes[i]);
        if (n == 2) code = code << 8 | static_cast<unsigned char>(bytes[i + 1]);
        appendUtf8(out, t.decode[code]);
        i += n;
    }
    return out;
}

}  // namespace velt::cp932
