// What the check before an import refuses, on texts of every kind that scripts/gen-jrdb writes:
// another kind by its record length, a download cut short, records that are mostly malformed;
// and what it lets through (short lines that end, lines of varying lengths, blank keys).

#include "shell/text_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "../support/test_files.h"
#include "convert/record.h"

namespace velt {
namespace {

const std::string kGenerator = std::string(VELT_TEST_DATA) + "/../../scripts/gen-jrdb";

class TextCheck : public testing::Test {
protected:
    // One race day of both layouts, two races a racecourse, generated once for every case.
    static void SetUpTestSuite() {
#ifndef _WIN32
        dir_ = std::make_unique<test::TempDir>("velt-text-check");
        for (const char* layout : {"2009", "today"}) {
            const std::string out = *dir_ / layout;
            const std::string command = "python3 '" + kGenerator + "' --out '" + out +
                                        "' --races 2 --layout " + layout + " >/dev/null";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            for (const char* kind : {"KYD", "KYG", "KYI", "SEB", "SEC", "SED", "ZEB", "ZEC", "ZED",
                                     "OZ", "SKA", "SKB", "ZKA", "ZKB"})
                if (std::filesystem::exists(out + "/" + kind + "091122.txt"))
                    texts_[kind] = test::readFile(out + "/" + kind + "091122.txt");
        }
#endif
    }
    static void TearDownTestSuite() {
        dir_.reset();
    }
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "needs scripts/gen-jrdb run through a POSIX shell";
#endif
    }

    static std::string text(const char* kind) {
        return texts_.at(kind);
    }

    static inline std::unique_ptr<test::TempDir> dir_;
    static inline std::map<std::string, std::string> texts_;
};

// `count` lines: every `every`-th the real record `real`, the others a record of the same length
// whose key is no key, as in a file made to pass a sampled check.
std::string crafted(const std::string& real, std::size_t count, std::size_t every) {
    std::string junk = real;
    junk.replace(0, 8, "ZZ!!+?01");
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += (i % every == 0 ? real : junk) + "\r\n";
    return out;
}

// `count` CR LF lines with a real race key, each `length(i)` bytes long.
template <typename Length>
std::string keyedLines(std::size_t count, Length length) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        std::string line = "0509110" + std::to_string(1 + i % 9) + "01";
        line.resize(length(i), ' ');
        out += line + "\r\n";
    }
    return out;
}

TEST_F(TextCheck, RefusesAnotherKindCutShortAndMalformedTexts) {
    const std::string sed = text("SED");
    const std::string sedRecord = sed.substr(0, sed.find("\r\n"));
    const std::string ska = text("SKA");
    std::string badYears;
    for (std::string_view line : splitLines(ska))
        badYears += std::string(line).replace(18, 4, "2150") + "\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        Kind group;
        const char* kind;  // as the name shows it; "" when the group was chosen
        const char* why;   // a part of the reason; "" when the text may be imported
    } cases[] = {
        // Another kind, whatever says which: its name, a button or --as.
        {"SKB saved as SED", text("SKB"), Kind::SEBZEB, "SED",
         "成績データではありません (レコードは 302 バイト: SKB/ZKB の長さです)"},
        {"KYD as SKAZKA", text("KYD"), Kind::SKAZKA, "",
         "成績拡張ファイルではありません (レコードは 430 バイト: KYD の長さです)"},
        {"OZ as KYD", text("OZ"), Kind::KYD, "", "(レコードは 955 バイト: OZ の長さです)"},
        {"SKA as KYD", text("SKA"), Kind::KYD, "", "(レコードは 280 バイト: SKA/ZKA の長さです)"},
        {"SED saved as KYI", sed, Kind::KYD, "KYI", "(レコードは 374 バイト: SED/ZED の長さです)"},
        {"KYG as OZ", text("KYG"), Kind::OZ, "", "(レコードは 543 バイト: KYG の長さです)"},
        {"one SKB record saved as SED", text("SKB").substr(0, 304), Kind::SEBZEB, "SED",
         "302 バイト: SKB/ZKB"},
        {"many records of no kind's length", keyedLines(12, [](auto) { return 500; }), Kind::SEBZEB,
         "SED", "(レコードは 500 バイト: JRDB のどの種類の長さでもありません)"},
        // Cut short inside the last record.
        {"SED cut short", sed.substr(0, sed.size() - 100), Kind::SEBZEB, "SED",
         "ダウンロードが途中で切れています (最後の行が改行で終わらず 276 バイトで、SED "
         "のレコードは "
         "374 バイトです)。もう一度ダウンロードしてください"},
        {"KYI cut short", text("KYI").substr(0, text("KYI").size() - 30), Kind::KYD, "KYI",
         "ダウンロードが途中で切れています"},
        {"SKB cut short, group chosen", text("SKB").substr(0, text("SKB").size() - 5), Kind::SKAZKA,
         "", "SKB/ZKB のレコードは 302 バイトです"},
        {"OZ cut in its key", text("OZ").substr(0, text("OZ").size() - 950), Kind::OZ, "OZ",
         "途中で切れています"},
        {"one short record without a line end", "0501311207", Kind::KYD, "KYD",
         "途中で切れています"},
        // Mostly malformed.
        {"every 20th line real", crafted(sedRecord, 20000, 20), Kind::SEBZEB, "SED",
         "成績データではありません (レコード 19000 / 20000 件が不正です"},
        {"comment years out of range", badYears, Kind::SKAZKA, "SKA", "件が不正です"},
        // What the earlier check refused.
        {"NUL byte", sed + std::string(1, '\0'), Kind::SEBZEB, "SED", "NUL バイトがあります"},
        {"a few lines of control bytes",
         keyedLines(30, [](auto) { return 374; }) + std::string(40, '\x01') + "\r\n", Kind::SEBZEB,
         "SED", ""},
        {"mostly control bytes", std::string(3, '\x01') + "\r\n" + std::string(3, '\x02'),
         Kind::SEBZEB, "", "成績データのテキストファイルではありません (ほとんどの行に"},
        // What may be imported.
        {"SEC under a results button", text("SEC"), Kind::SEBZEB, "", ""},
        {"ZEC: blank keys and other organisers' races", text("ZEC"), Kind::SEBZEB, "ZEC", ""},
        {"no line end after the last record", sed.substr(0, sed.size() - 2), Kind::SEBZEB, "SED",
         ""},
        {"SEC saved as SED, no line end after the last record",
         text("SEC").substr(0, text("SEC").size() - 2), Kind::SEBZEB, "SED", ""},
        {"end-of-file mark after the last record", sed.substr(0, sed.size() - 2) + "\x1a",
         Kind::SEBZEB, "SED", ""},
        {"short lines that end", "0501311207\r\n050131120\r\n", Kind::KYD, "KYD", ""},
        {"a few lines of no kind's length", keyedLines(3, [](auto) { return 500; }), Kind::SEBZEB,
         "SED", ""},
        {"lines of varying lengths", keyedLines(60, [](std::size_t i) { return 100 + 7 * i; }),
         Kind::SEBZEB, "SED", ""},
        {"one record cut and the rest whole", sed + sedRecord.substr(0, 100) + "\r\n", Kind::SEBZEB,
         "SED", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string why = refusalReason(c.bytes, c.group, c.kind);
        if (*c.why == '\0')
            EXPECT_EQ(why, "");
        else
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
    for (const auto& [kind, bytes] : texts_) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(refusalReason(bytes, groupOfKind(kind), kind), "");
        EXPECT_EQ(refusalReason(bytes, groupOfKind(kind), ""), "");
    }
}

}  // namespace
}  // namespace velt
