#include "convert/record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velt {
namespace {

TEST(Record, FieldCuts) {
    // "あ" is 0x82 0xA0, "ｱ" the one-byte 0xB1.
    struct Case {
        const char* name;
        std::string line;
        std::size_t pos, len;
        std::string field;
    } cases[] = {
        {"first bytes", "ABCDE", 1, 3, "ABC"},
        {"one byte", "ABCDE", 3, 1, "C"},
        {"to the end", "ABCDE", 4, 2, "DE"},
        {"partly beyond the end", "ABCDE", 4, 5, "DE"},
        {"just beyond the end", "ABCDE", 6, 1, ""},
        {"far beyond the end", "ABCDE", 100, 3, ""},
        {"empty line", "", 1, 3, ""},
        {"zero length", "ABCDE", 2, 0, ""},
        {"blanks kept", " 5  ", 1, 4, " 5  "},
        {"whole character", "X\x82\xA0Y", 2, 2, "\x82\xA0"},
        {"cut after a lead byte", "X\x82\xA0Y", 1, 2, "X?"},
        {"cut before a trail byte", "X\x82\xA0Y", 3, 2, "?Y"},
        {"both halves cut", "\x82\xA0\x82\xA2", 2, 2, "??"},
        {"pairs counted from the start of the line", "\x82\xA0\x82\xA0", 2, 1, "?"},
        {"line ends after a lead byte", "XY\x82", 1, 5, "XY?"},
        {"trail byte that is 0x5C", "\x95\x5C ", 1, 3, "\x95\x5C "},
        {"trail byte that is a letter", "\x94\x6EZ", 1, 3, "\x94\x6EZ"},
        {"lead byte before a digit", std::string("\x82") + "01", 1, 3, "?01"},
        {"lead byte before a blank", "\x82 5", 1, 3, "? 5"},
        {"invalid single bytes", "\x80\xA0\xFD\xFE\xFFZ", 1, 6, "?????Z"},
        {"half-width katakana kept", "\xB1\xB2Z", 1, 3, "\xB1\xB2Z"},
    };
    for (const Case& c : cases) {
        Record record(c.line);
        EXPECT_EQ(record.field(c.pos, c.len), c.field) << c.name;
        std::string out = "x";
        record.appendField(out, c.pos, c.len);
        EXPECT_EQ(out, "x" + c.field) << c.name;
    }
}

TEST(Record, SplitLines) {
    using Lines = std::vector<std::string>;
    struct Case {
        const char* name;
        std::string text;
        Lines lines;
    } cases[] = {
        {"empty text", "", {}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"lone CR", "a\rb\r", {"a", "b"}},
        {"lone LF", "a\nb\n", {"a", "b"}},
        {"mixed", "a\r\nb\rc\nd\r\n", {"a", "b", "c", "d"}},
        {"last line without line end", "a\r\nb", {"a", "b"}},
        {"trailing blank lines", "a\r\n\r\n\r\n", {"a"}},
        {"blank line in the middle", "a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"CR then CR LF", "a\r\r\nb", {"a", "", "b"}},
        {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
        {"end-of-file mark on its own line", "a\r\n\x1a", {"a"}},
        {"end-of-file mark after the last line", "a\r\nb\x1a", {"a", "b"}},
        {"end-of-file mark after blank lines", "a\r\n\r\n\x1a", {"a"}},
        {"only an end-of-file mark", "\x1a", {}},
        {"blank lines after the end-of-file mark", "a\r\n\x1a\r\n\r\n", {"a"}},
        {"blanks are a line", "a\r\n   \r\n", {"a", "   "}},
        {"bytes kept", "\x82\xA0\r\n\x95\x5C\r\n", {"\x82\xA0", "\x95\x5C"}},
    };
    for (const Case& c : cases) {
        Lines lines;
        for (std::string_view line : splitLines(c.text)) lines.emplace_back(line);
        EXPECT_EQ(lines, c.lines) << c.name;
    }
}

}  // namespace
}  // namespace velt
