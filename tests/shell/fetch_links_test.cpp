// The fetch's pure half: links resolved and kept inside the member area, index pages read by
// their links alone, and the files of the days chosen.

#include "shell/fetch_links.h"

#include <gtest/gtest.h>

namespace velt::fetch {
namespace {

TEST(FetchLinks, ResolvedAgainstThePageAndKeptInsideTheMemberArea) {
    const Url area = *parseUrl("https://JRDB.com:443/member/");
    const Url page = *resolve(area, "data/Paci/index.html");
    struct Case {
        const char* link;
        const char* resolved;  // "" when it is no address
        bool inside;
    } cases[] = {
        {"PACI181201.lzh", "https://jrdb.com/member/data/Paci/PACI181201.lzh", true},
        {" ./PACI181201.lzh#top ", "https://jrdb.com/member/data/Paci/PACI181201.lzh", true},
        {"../../datazip/Sed/2018/SED181201.zip",
         "https://jrdb.com/member/datazip/Sed/2018/SED181201.zip", true},
        {"/member/data/Paci/PACI181201.lzh", "https://jrdb.com/member/data/Paci/PACI181201.lzh",
         true},
        {"https://jrdb.com/member/data/Paci/PACI181201.lzh?x=1",
         "https://jrdb.com/member/data/Paci/PACI181201.lzh?x=1", true},
        {"//jrdb.com/member/x/PACI181201.lzh", "https://jrdb.com/member/x/PACI181201.lzh", true},
        {"../../../PACI181201.lzh", "https://jrdb.com/PACI181201.lzh", false},
        {"../../../../../etc/PACI181201.lzh", "https://jrdb.com/etc/PACI181201.lzh", false},
        {"/memberX/PACI181201.lzh", "https://jrdb.com/memberX/PACI181201.lzh", false},
        {"%2e%2e/%2e%2e/%2e%2e/PACI181201.lzh",
         "https://jrdb.com/member/data/Paci/%2e%2e/%2e%2e/%2e%2e/PACI181201.lzh", false},
        {"https://evil.example/member/PACI181201.lzh", "https://evil.example/member/PACI181201.lzh",
         false},
        {"http://jrdb.com/member/PACI181201.lzh", "http://jrdb.com/member/PACI181201.lzh", false},
        {"https://jrdb.com:8443/member/PACI181201.lzh",
         "https://jrdb.com:8443/member/PACI181201.lzh", false},
        {"https://id:pw@jrdb.com/member/PACI181201.lzh", "", false},
        {"ftp://jrdb.com/member/PACI181201.lzh", "", false},
        {"javascript:alert(1)", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        const auto url = resolve(page, c.link);
        EXPECT_EQ(url ? url->text() : "", c.resolved);
        EXPECT_EQ(url && within(area, *url), c.inside);
    }
}

TEST(FetchLinks, LinksAreTheHrefsOfAnyElementWhateverThePageLooksLike) {
    const std::string page =
        "<HTML><body><a HREF=\"PACI181201.lzh\">12/1</a><A href='SED181201.lzh'>x</A>"
        "<a class=x href = PACI181202.lzh>y</a><link rel=x href=\"a.css\">"
        "<a data-href=\"no.lzh\" title='href'>z</a><a href=\"q?a=1&amp;b=&#50;\">"
        "<a href=\"unterminated";
    EXPECT_EQ(extractLinks(page),
              (std::vector<std::string>{"PACI181201.lzh", "SED181201.lzh", "PACI181202.lzh",
                                        "a.css", "q?a=1&b=2"}));
}

TEST(FetchLinks, DaysAndArchiveNames) {
    struct Case {
        const char* kind;
        const char* name;
        const char* day;  // "" when the name is not the kind's daily archive
    } cases[] = {
        {"PACI", "PACI181201.lzh", "20181201"},
        {"PACI", "paci181201.LZH", "20181201"},
        {"SED", "SED181201.zip", "20181201"},
        {"SED", "SED991231.lzh", "19991231"},
        {"SED", "SED181301.lzh", ""},
        {"SED", "SED181201.txt", ""},
        {"SED", "SED_2018.zip", ""},
        {"SE", "SED181201.lzh", ""},
        {"SKB", "SKB181201 (1).lzh", ""},
        {"KYI", "KYI18120.lzh", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dayOfArchive(c.kind, c.name).value_or(""), c.day);
    }
    EXPECT_EQ(parseDay("2018-12-01").value_or(""), "20181201");
    EXPECT_EQ(parseDay("2019-02-29").value_or(""), "");
    EXPECT_EQ(parseDay("18-12-01").value_or(""), "");
    EXPECT_EQ(addDays("20190301", -14), "20190215");
    EXPECT_EQ(indexPath("PACI"), "data/Paci/index.html");
    EXPECT_EQ(fileNameOf(*parseUrl("https://h/m/PACI%31%38%2f1201.lzh")), "PACI18%2f1201.lzh");
}

TEST(FetchLinks, DaysChosenAndHeldFilesLeft) {
    auto l = [](const char* kind, const char* day, const char* ext = ".lzh") {
        const std::string d(day);
        return Listed{kind, d, std::string(kind) + d.substr(2) + ext, "u", "p"};
    };
    const std::vector<Listed> listed = {
        l("PACI", "20181124"), l("SED", "20181124"),  l("PACI", "20181201"),
        l("SED", "20181201"),  l("PACI", "20181208"), l("SED", "20181201", ".zip"),
    };
    auto held = [](const char* name, const char* day, bool ok = true) {
        HistoryEntry e;
        e.name = name;
        e.raceDay = day;
        e.succeeded = ok;
        return e;
    };
    struct Case {
        const char* what;
        std::vector<HistoryEntry> history;
        std::vector<std::string> days;
        std::string since;
        bool refetch;
        std::vector<std::string> files, unlisted, incomplete;
    } cases[] = {
        {"empty history: 14 days back",
         {},
         {},
         "",
         false,
         {"PACI181201.lzh", "SED181201.lzh", "PACI181208.lzh"},
         {},
         {"20181208 SED"}},
        {"from the newest day held, its results completed",
         {held("paci181201.lzh", "2018-12-01"), held("SED181124.lzh", "2018-11-24")},
         {},
         "",
         false,
         {"SED181201.lzh", "PACI181208.lzh"},
         {},
         {"20181208 SED"}},
        {"a failed import holds nothing",
         {held("PACI181201.lzh", "2018-12-01", false)},
         {},
         "",
         false,
         {"PACI181201.lzh", "SED181201.lzh", "PACI181208.lzh"},
         {},
         {"20181208 SED"}},
        {"since widens",
         {held("PACI181208.lzh", "2018-12-08")},
         {},
         "20181124",
         false,
         {"PACI181124.lzh", "SED181124.lzh", "PACI181201.lzh", "SED181201.lzh"},
         {},
         {"20181208 SED"}},
        {"days named, one not listed",
         {held("SED181124.lzh", "2018-11-24")},
         {"20181124", "20181125"},
         "",
         false,
         {"PACI181124.lzh"},
         {"20181125"},
         {}},
        {"refetch takes held files",
         {held("SED181124.lzh", "2018-11-24")},
         {"20181124"},
         "",
         true,
         {"PACI181124.lzh", "SED181124.lzh"},
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Choice choice =
            choose(listed, c.history, {{"PACI", "SED"}, c.days, c.since, "20181215", c.refetch});
        std::vector<std::string> names;
        for (const auto& f : choice.files) names.push_back(f.name);
        EXPECT_EQ(names, c.files);
        EXPECT_EQ(choice.unlisted, c.unlisted);
        EXPECT_EQ(choice.incomplete, c.incomplete);
    }
}

}  // namespace
}  // namespace velt::fetch
