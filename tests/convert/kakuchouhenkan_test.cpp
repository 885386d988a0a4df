#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "../support/test_files.h"
#include "codes/cp932.h"
#include "convert/converters.h"
#include "convert/output_store.h"
#include "convert/record.h"
#include "platform/failure.h"

namespace velt {
namespace {

namespace fs = std::filesystem;

using test::readFile;
using test::tree;

// A Target data folder with KCOM_DATA and the given year folders.
class Target {
public:
    explicit Target(std::vector<std::string> years = {"2001"})
        : dir_("velt-kc"), root_(test::fsPath(dir_.path()).parent_path()) {
        fs::create_directory(root_ / "KCOM_DATA");
        for (const std::string& y : years)
            fs::create_directory(root_ / "KCOM_DATA" / test::fsPath(y));
        ctx.dataFolder = test::utf8(root_) + "/";
        ctx.store = &store;
    }
    const fs::path& root() const { return root_; }

    std::string import(std::string_view text) {
        std::string outcomes;
        for (std::string_view line : splitLines(text)) {
            Outcome o = kakuchouhenkan(line, ctx);
            outcomes += o == Outcome::Written      ? 'W'
                        : o == Outcome::Present    ? 'P'
                        : o == Outcome::OutOfScope ? 'O'
                                                   : 'M';
        }
        store.finish();
        return outcomes;
    }

    OutputStore store;
    ImportContext ctx;

private:
    test::TempDir dir_;
    fs::path root_;
};

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// A well-formed record: race key and horse number, date at 19, codes from 27, comments from 114.
std::string record(const std::string& raceKey, const std::string& date,
                   const std::string& codes = std::string(87, ' '),
                   const std::string& comments = std::string(160, ' ')) {
    std::string r = raceKey + "12345678" + date + codes + comments;
    EXPECT_EQ(r.size(), 273u);
    return r;
}

TEST(Kakuchouhenkan, Golden) {
    const fs::path dir = fs::path(VELT_TEST_DATA) / "comments";
    Target target({"2001", "2002"});
    fs::copy(dir / "before", target.root(), fs::copy_options::recursive);
    const std::string input = readFile(dir / "input.txt");
    const auto expected = tree(dir / "expected");
    const std::string outcomes[] = {"WWWPWWWWWWMMWWWW", "PPPPPPPPPPMMPPPP"};
    for (const std::string& want : outcomes) {
        EXPECT_EQ(target.import(input), want);
        EXPECT_EQ(target.ctx.fileDate, "20011118");
        const auto got = tree(target.root());
        ASSERT_EQ(got.size(), expected.size());
        for (const auto& [name, bytes] : expected) {
            ASSERT_EQ(got.count(name), 1u) << name;
            EXPECT_EQ(cp932::toUtf8(got.at(name)), cp932::toUtf8(bytes)) << name;
            EXPECT_EQ(got.at(name), bytes) << name;
        }
    }
}

TEST(Kakuchouhenkan, WellFormedLineWidths) {
    struct Case {
        const char* name;
        std::string codes, comments;
    } cases[] = {
        {"blank codes and comments", std::string(87, ' '), std::string(160, ' ')},
        {"codes of every kind", std::string(87, '9'), std::string(160, 'x')},
        {"full-width comments", std::string(87, '1'), repeat(cp932::fromUtf8("脚"), 80)},
        {"half-width kana", std::string(87, '0'), std::string(160, '\xB1')},
    };
    for (const Case& c : cases) {
        Target target;
        EXPECT_EQ(target.import(record("0501561103", "20011118", c.codes, c.comments)), "W");
        const fs::path folder = target.root() / "KCOM_DATA" / "2001";
        EXPECT_EQ(readFile(folder / "KC2001111805.DAT").size(), 510u + 2) << c.name;
        EXPECT_EQ(readFile(folder / "KM2001111805.DAT").size(), 254u + 2) << c.name;
    }
}

TEST(Kakuchouhenkan, RefusedRecords) {
    struct Case {
        const char* name;
        std::string line;
    } cases[] = {
        {"empty", ""},
        {"under 26 bytes", record("0501561103", "20011118").substr(0, 25)},
        {"separator in the date", record("0501561103", "2001/118")},
        {"backslash in the date", record("0501561103", "2001\\118")},
        {"separator in the racecourse", record("/501561103", "20011118")},
        {"NUL in the racecourse", record(std::string("0\0", 2) + "01561103", "20011118")},
        {"year 1969", record("0501561103", "19691118")},
        {"year 2100", record("0501561103", "21001118")},
        {"year of three digits", record("0501561103", "200 1118")},
        {"year in two-byte digits", record("0501561103", cp932::fromUtf8("２０0111"))},
    };
    for (const Case& c : cases) {
        Target target;
        EXPECT_EQ(target.import(c.line + "\r\n" + record("0501561103", "20011118")), "MW")
            << c.name;
        EXPECT_EQ(tree(target.root()).size(), 2u) << c.name;
    }
}

TEST(Kakuchouhenkan, FileDateIsTheRecordDate) {
    // The date is taken as its characters stand, after a year of four digits.
    Target target({"2001"});
    EXPECT_EQ(target.import(record("0501561103", cp932::fromUtf8("2001１１"))), "W");
    EXPECT_EQ(target.ctx.fileDate, "2001１１");
    const fs::path year = target.root() / "KCOM_DATA" / "2001";
    EXPECT_TRUE(fs::exists(year / test::fsPath("KC2001１１05.DAT")));
    EXPECT_TRUE(fs::exists(year / test::fsPath("KM2001１１05.DAT")));
}

TEST(Kakuchouhenkan, MissingFolderStopsAndWritesNothing) {
    struct Case {
        const char* name;
        std::vector<std::string> years;
        bool kcomData;
    } cases[] = {
        {"year folder missing", {"2002"}, true},
        {"KCOM_DATA missing", {}, false},
    };
    for (const Case& c : cases) {
        Target target(c.years);
        if (!c.kcomData) fs::remove_all(target.root() / "KCOM_DATA");
        const auto before = tree(target.root());
        const std::string missing = target.ctx.dataFolder + "KCOM_DATA/2001";
        try {
            kakuchouhenkan(record("0501561103", "20011118"), target.ctx);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const Failure& e) {
            EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
        }
        target.store.finish();
        EXPECT_EQ(tree(target.root()), before) << c.name;
        EXPECT_FALSE(fs::exists(missing)) << c.name;
    }
}

}  // namespace
}  // namespace velt
