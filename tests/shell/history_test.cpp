// The history file read back as it may be found (torn by a killed import, edited, of a later
// version), repaired by the next append, and turned into the day table.

#include "shell/history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/test_files.h"
#include "platform/failure.h"

namespace {

using velt::HistoryEntry;

const std::string kHead =
    "when\tname\tsize\tsha256\tkind\trace_day\tread\twritten\tpresent\tout_of_scope\tmalformed\t"
    "outcome\n";

std::string entryLine(const std::string& name, const std::string& outcome = "ok") {
    return "2026-01-02 03:04:05\t" + name + "\t10\tab12\tSED\t2018-12-01\t5\t4\t1\t0\t0\t" +
           outcome + "\n";
}

std::vector<std::string> names(const std::vector<HistoryEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    return out;
}

TEST(History, ReadsWhatIsWholeAndAppendRepairsATornLine) {
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> read;
    } cases[] = {
        {"header only", kHead, {}},
        {"two entries", kHead + entryLine("A") + entryLine("B"), {"A", "B"}},
        {"torn last line", kHead + entryLine("A") + entryLine("B").substr(0, 30), {"A"}},
        {"torn header", kHead.substr(0, 9), {}},
        {"CR LF and a field added later",
         kHead + "2026-01-02 03:04:05\tC\t1\tx\tSED\t\t1\t1\t0\t0\t0\tok\tnew\r\n",
         {"C"}},
        {"no entry",
         kHead + "garbage\n" + entryLine("A").replace(20, 1, "X").replace(21, 2, "zz"),
         {}},
    };
    for (const auto& c : cases) {
        velt::test::TempDir dir;
        velt::test::writeFile(velt::historyFileOf(dir.path()), c.text);
        EXPECT_EQ(names(velt::readHistory(dir.path())), c.read) << c.what;
        HistoryEntry added;
        added.when = "2026-02-03 04:05:06";
        added.name = "new\tname";
        added.outcome = "failed\nat line 3";
        velt::appendHistory(dir.path(), {added});
        const auto after = velt::readHistory(dir.path());
        ASSERT_EQ(after.size(), c.read.size() + 1) << c.what;
        EXPECT_EQ(after.back().name, "new name") << c.what;
        EXPECT_EQ(after.back().outcome, "failed at line 3") << c.what;
        EXPECT_FALSE(after.back().succeeded);
        EXPECT_EQ(velt::test::readFile(velt::historyFileOf(dir.path())).rfind(kHead, 0), 0u)
            << c.what;
    }
    velt::test::TempDir none;
    EXPECT_TRUE(velt::readHistory(none.path()).empty());
    EXPECT_THROW(velt::appendHistory(none / "missing/", {HistoryEntry{}}), velt::Failure);
}

TEST(History, DayTableAndFirstImport) {
    auto entry = [](const char* kind, const char* day, bool ok, const char* when = "2026-01-01") {
        HistoryEntry e;
        e.when = std::string(when) + " 10:00:00";
        e.kind = kind;
        e.raceDay = day;
        e.name = std::string(kind) + day;
        e.succeeded = ok;
        e.sha256 = e.name;
        return e;
    };
    const std::vector<HistoryEntry> entries = {
        entry("PACI", "2018-12-02", true),
        entry("SED", "2018-12-02", false),
        entry("SKB", "2018-12-02", true),
        entry("KYD", "2018-12-01", true),
        entry("SEBZEB", "2018-12-01", true),
        entry("OZ", "2018-12-01", true),
        entry("s3", "2018-12-01", true),
        entry("SED", "", true),
        entry("SED", "2018-12-02", true, "2026-01-05"),
    };
    const auto days = velt::historyDays(entries);
    ASSERT_EQ(days.size(), 2u);
    const std::vector<std::vector<std::string>> cells = {
        {"2018-12-01", "○", "○", "○", "×", "○",
         "KYD2018-12-01 SEBZEB2018-12-01 OZ2018-12-01 s32018-12-01"},
        {"2018-12-02", "○", "○", "○", "○", "×", "PACI2018-12-02 SED2018-12-02 SKB2018-12-02"},
    };
    for (std::size_t i = 0; i < days.size(); ++i)
        EXPECT_EQ(velt::historyDayCells(days[i]), cells[i]);
    EXPECT_EQ(velt::historyDayHeaders().size(), cells[0].size());
    // Results only from the later import that went in.
    EXPECT_TRUE(velt::historyDays({entries[1]})[0].inputs.size() == 1 &&
                !velt::historyDays({entries[1]})[0].results);
    EXPECT_EQ(velt::firstImportOf(entries, "SED2018-12-02"), "2026-01-05");
    EXPECT_EQ(velt::firstImportOf(entries, "none"), "");
}

}  // namespace
