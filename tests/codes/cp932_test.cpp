#include "codes/cp932.h"

#include <gtest/gtest.h>

#include <string>

#include "dump_digest.h"

namespace velt::cp932 {
namespace {

// Characters where CP932 differs from plain Shift-JIS, all found in real JRDB files.
TEST(Cp932, RoundTripsWhatShiftJisWouldNot) {
    struct Case {
        const char* utf8;
        const char* bytes;
    } cases[] = {
        {"\\", "\x5C"},      // a backslash, not a yen sign
        {"~", "\x7E"},       // a tilde, not an overline
        {"①", "\x87\x40"},   // NEC special row
        {"㈱", "\x87\x8A"},  // NEC special row
        {"髙", "\xFB\xFC"},  // IBM extension
        {"＼", "\x81\x5F"},  // full-width reverse solidus
        {"～", "\x81\x60"},  // full-width tilde, not the wave dash
        {"－", "\x81\x7C"},  // full-width hyphen-minus, not the minus sign
        {"ｱ", "\xB1"},       // half-width katakana
        {"馬", "\x94\x6E"},  // a trail byte in the ASCII range
        {"表", "\x95\x5C"},  // a trail byte that is 0x5C
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fromUtf8(c.utf8), c.bytes) << c.utf8;
        EXPECT_EQ(toUtf8(c.bytes), c.utf8) << c.utf8;
    }
}

// JIS forms of a few symbols are written as their CP932 look-alikes, and read back as those.
TEST(Cp932, JisFormsOfSymbolsEncodeOneWay) {
    struct Case {
        const char* utf8;
        const char* bytes;
    } cases[] = {
        {"¥", "\x5C"},     {"‾", "\x7E"},     {"〜", "\x81\x60"}, {"−", "\x81\x7C"},
        {"—", "\x81\x5C"}, {"‖", "\x81\x61"}, {"¢", "\x81\x91"},  {"¬", "\x81\xCA"},
    };
    for (const Case& c : cases) EXPECT_EQ(fromUtf8(c.utf8), c.bytes) << c.utf8;
}

// Each bad byte or cut sequence becomes one substitute; what follows it is kept.
TEST(Cp932, InvalidBytesAreSubstituted) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string utf8;
    } cases[] = {
        {"lone lead byte at the end", "A\x82", "A\uFFFD"},
        {"0x80", "A\x80Z", "A\uFFFDZ"},
        {"0xA0", "\xA0Z", "\uFFFDZ"},
        {"0xFD", "\xFD ", "\uFFFD "},
        {"0xFE", "\xFE", "\uFFFD"},
        {"0xFF", "\xFF\xFF", "\uFFFD\uFFFD"},
        {"lead byte before a blank", "\x82 X", "\uFFFD X"},
        {"lead byte before a control", "\x82\x0D", "\uFFFD\x0D"},
        {"unassigned pair", "\x85\x40Z", "\uFFFDZ"},
        {"NUL kept", std::string("A\0B", 3), std::string("A\0B", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(toUtf8(c.bytes), c.utf8) << c.name;
}

TEST(Cp932, UnrepresentableUtf8BecomesQuestionMark) {
    struct Case {
        const char* name;
        std::string utf8;
        std::string bytes;
    } cases[] = {
        {"emoji", "A\U0001F40EB", "A?B"},
        {"two emoji", "\U0001F40E\U0001F40E", "??"},
        {"character outside CP932", "A\u00E9", "A?"},
        {"invalid lead byte", "\xFFxyz", "?xyz"},
        {"stray continuation byte", "\x80z", "?z"},
        {"sequence cut short", "\xE3\x81Z", "?Z"},
        {"sequence cut short at the end", "A\xE3\x81", "A?"},
        {"overlong form", "\xC0\xAFz", "??z"},
        {"overlong three-byte form", "\xE0\x80\xAFz", "?z"},
        {"encoded surrogate", "\xED\xA0\x80z", "?z"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80z", "?z"},
        {"C1 control", "\u0080", "?"},
        {"private use that Windows gives to 0xA0", "\uF8F0", "?"},
    };
    for (const Case& c : cases) EXPECT_EQ(fromUtf8(c.utf8), c.bytes) << c.name;
}

// More than one buffer of output, and a long run of bad bytes, finish with everything in place.
TEST(Cp932, LongTexts) {
    std::string utf8, bytes;
    for (int i = 0; i < 3000; ++i) {
        utf8 += "①z";
        bytes += "\x87\x40z";
    }
    EXPECT_TRUE(fromUtf8(utf8) == bytes);
    EXPECT_TRUE(toUtf8(bytes) == utf8);

    std::string bad(100000, '\xFF');
    std::string expected;
    for (int i = 0; i < 100000; ++i) expected += "\uFFFD";
    EXPECT_TRUE(toUtf8(bad) == expected);
    EXPECT_TRUE(fromUtf8(bad) == std::string(100000, '?'));
}

TEST(Cp932, CharacterCounts) {
    struct Case {
        std::string bytes;
        std::size_t chars;
        std::size_t prefix2;  // bytes of the first two characters
    } cases[] = {
        {"", 0, 0},     {"AB", 2, 2},    {"\x82\xA0\x82\xA2X", 3, 4}, {"\xB1\x82\xA0", 2, 3},
        {"\x82", 1, 1}, {"\x82 ", 2, 2}, {"\x80\xFF\x82\xA0", 3, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(charCount(c.bytes), c.chars);
        EXPECT_EQ(prefixBytes(c.bytes, 2), c.prefix2);
    }
}

// Every one- and two-byte sequence decodes, and every character of the Basic Multilingual Plane
// encodes, to what the recorded digests hold on every platform; a mismatch leaves
// cp932-decode.txt / cp932-encode.txt in the build folder to compare with another platform's.
TEST(Cp932, WholeMappingIsTheRecordedOne) {
    std::string decode;
    for (unsigned b = 0; b < 0x100; ++b)
        decode += test::hex(std::string(1, static_cast<char>(b))) + ' ' +
                  test::hex(toUtf8(std::string(1, static_cast<char>(b)))) + '\n';
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLead(static_cast<unsigned char>(lead))) continue;
        for (unsigned second = 0; second < 0x100; ++second) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(second)};
            decode += test::hex(pair) + ' ' + test::hex(toUtf8(pair)) + '\n';
        }
    }
    std::string encode;
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        encode += test::hex(test::utf8(c)) + ' ' + test::hex(fromUtf8(test::utf8(c))) + '\n';
    }
    EXPECT_EQ(test::digestAndKeep(decode, "cp932-decode"), "d927f21064e4515d")
        << VELT_BINARY_DIR "/cp932-decode.txt differs from the recorded listing";
    EXPECT_EQ(test::digestAndKeep(encode, "cp932-encode"), "b7e1350ad067ba90")
        << VELT_BINARY_DIR "/cp932-encode.txt differs from the recorded listing";
}

}  // namespace
}  // namespace velt::cp932
