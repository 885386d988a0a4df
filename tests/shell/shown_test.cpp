#include "shell/shown.h"

#include <gtest/gtest.h>

namespace velt {
namespace {

// Control characters from an input reach no terminal or message box raw; the rest stays.
TEST(Shown, EscapesControlCharactersOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"KYD091122.txt", "KYD091122.txt"},
        {"東京/成績 ①.txt", "東京/成績 ①.txt"},
        {"C:\\in\\a.txt", "C:\\in\\a.txt"},
        {"\x1b[2J\rvelt-cli: all fine\n", "\\x1b[2J\\rvelt-cli: all fine\\n"},
        {std::string("a\0b\tc\x7f", 6), "a\\x00b\\tc\\x7f"},
        {"\xc2\x9b"
         "2J \xc2\xa0",
         "\\u009b2J \xc2\xa0"},                    // C1 CSI; a no-break space stays
        {"\x93\xfa\x96\x7b", "\\x93\\xfa\\x96{"},  // CP932 bytes, not UTF-8
        {"\xe0\x80\xaf \xed\xa0\x80", "\\xe0\\x80\\xaf \\xed\\xa0\\x80"},  // over-long, surrogate
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(shown(text), want) << want;
}

}  // namespace
}  // namespace velt
