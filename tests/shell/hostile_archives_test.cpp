// Hostile archives: names that climb out of the working folder or are absolute (in every header
// level's own way), members that declare huge sizes, thousands of members, empty members, links,
// and files that are no LHA archive at all. Nothing lands outside the destination, and each
// refusal says why.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/failure.h"
#include "shell/lha_archive.h"
#include "shell_test_util.h"

namespace velt {
namespace {

namespace fs = std::filesystem;
using test::level0;
using test::put;
using test::TempDir;

// A stored member with a level-2 header: the folder goes in its own extended header, its parts
// separated by 0xFF, as LHA writes them.
std::string level2(const std::string& folder, const std::string& name, const std::string& data) {
    std::string ext;
    auto extended = [&ext](char type, const std::string& body) {
        put(ext, body.size() + 3, 2);  // the size of this header, given by the one before
        ext += type;
        ext += body;
    };
    extended('\x01', name);
    if (!folder.empty()) extended('\x02', folder);
    // Each extended header's size sits at the end of the one before: shift them by two bytes.
    std::string chain = ext.substr(2) + std::string(2, '\0');
    std::string h;
    h += "-lh0-";
    put(h, data.size(), 4);
    put(h, data.size(), 4);
    put(h, 1700000000, 4);
    h += '\x20';
    h += '\x02';
    put(h, crc16(0, data.data(), data.size()), 2);
    h += 'U';
    h += ext.substr(0, 2);
    h += chain;
    std::string member;
    put(member, h.size() + 2, 2);
    return member + h + data;
}

const std::string kEnd(1, '\0');

// Every name under a folder, sorted; a link marked "@".
std::vector<std::string> entriesUnder(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& [name, what] : test::tree(folder, true))
        names.push_back(name + (what.rfind("-> ", 0) == 0 ? "@" : ""));
    return names;
}

struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> extracted;  // the destination's files
    const char* cause = "";              // a piece of what the extraction reports
    const char* readCause = nullptr;     // a piece of the reading's failure, when it differs
};

// The archive sits in `root`, the destination two folders down: anything written anywhere but
// in the destination shows in the listing of `root`. An import reading every member listed gets
// the members extracted, or the failure that the extraction reports.
void check(const Case& c) {
    SCOPED_TRACE(c.what);
    TempDir root;
    const std::string archive = root / "in.lzh";
    test::writeFile(archive, c.bytes);
    fs::create_directories(root / "a/b/dest");
    std::string said, read;
    bool failed = false;
    try {
        for (const Failure& f : extractArchive(archive, root / "a/b/dest").notWritten)
            said += describe(f) + "\n";
    } catch (const Failure& e) {
        said = describe(e);
        failed = true;
    }
    try {
        const auto planned = listLhaMembers(archive, {});
        std::set<std::string> chosen;
        for (const LhaEntry& e : planned)
            if (!e.name.empty()) chosen.insert(e.name);
        for (const auto& [name, bytes] : readLhaMembers(archive, planned, chosen, {}))
            read += name + "\n";
    } catch (const Failure& e) {
        read = describe(e);
    }
    std::vector<std::string> want{"a", "a/b", "a/b/dest", "in.lzh"};
    std::string wantRead;
    for (const auto& name : c.extracted) {
        want.push_back("a/b/dest/" + name);
        wantRead += name + "\n";
    }
    std::sort(want.begin(), want.end());
    EXPECT_EQ(entriesUnder(root.path()), want);
    EXPECT_NE(said.find(c.cause), std::string::npos) << said;
    EXPECT_EQ(*c.cause == '\0', said.empty()) << said;
    if (c.readCause)
        EXPECT_NE(read.find(c.readCause), std::string::npos) << read;
    else
        EXPECT_EQ(read, failed ? said : wantRead);
}

TEST(HostileArchives, NamesStayInTheDestination) {
    const Case cases[] = {
        {"level 2, folder climbing out", level2("..\xff..\xff", "x", "1") + kEnd, {"x"}},
        {"level 2, absolute folder",
         level2("\xff"
                "tmp\xff",
                "x", "1") +
             kEnd,
         {"x"}},
        // lhasa turns the slashes of a level-2 name into "_".
        {"level 2, name with a slash", level2("", "../../x", "1") + kEnd, {".._.._x"}},
        {"level 2, name that is ..", level2("sub\xff", "..", "1") + kEnd, {}, "名前が安全でない"},
        {"level 2, empty name", level2("", "", "1") + kEnd, {}, "ヘッダが壊れています"},
        {"level 0, deep climb", level0("../../../../../../tmp/x", "1") + kEnd, {"x"}},
        {"level 0, backslashes", level0("..\\..\\x", "1") + kEnd, {"x"}},
        {"level 0, absolute", level0("/etc/velt-x", "1") + kEnd, {"velt-x"}},
        {"level 0, drive", level0("C:\\x", "1") + kEnd, {"x"}},
    };
    for (const Case& c : cases) check(c);
    EXPECT_FALSE(fs::exists("/etc/velt-x"));
    EXPECT_FALSE(fs::exists("/tmp/x") && test::readFile("/tmp/x") == "1");
}

// A member that declares more than 256 MB is refused before anything is decoded or written, even
// after a good member (which is removed again).
TEST(HostileArchives, HugeDeclaredSizesAreRefused) {
    const std::string good = level0("KYD011117.txt", "ok\r\n");
    const Case cases[] = {
        {"stored, 4 GB", level0("big.txt", "tiny", 0xFFFFFFFFu) + kEnd, {}, "大きすぎます"},
        {"stored, 256 MB and a byte",
         good + level0("big.txt", "tiny", (256u << 20) + 1) + kEnd,
         {},
         "大きすぎます"},
        {"lh5, 1 GB",
         good + level0("big.txt", std::string(40, '\0'), 1u << 30, "-lh5-") + kEnd,
         {},
         "大きすぎます"},
        // Exactly 256 MB is allowed through to the length check, which the short data fails.
        {"stored, 256 MB", level0("big.txt", "tiny", 256u << 20) + kEnd, {}, "長さ"},
    };
    for (const Case& c : cases) check(c);
}

// In memory, only the chosen members are decoded, within the limits per member and per archive;
// a damaged member that is not chosen is never looked at.
TEST(HostileArchives, MembersReadInMemoryWithinLimits) {
    std::string damaged = level0("d.txt", "123456");
    damaged.back() ^= 1;
    const std::string archive = level0("a.txt", "123456") + level0("b.txt", "abcdef") + damaged +
                                level0("c.txt", "ABCDEF") + level0("big.txt", "tiny", 11) + kEnd;
    struct Case {
        std::set<std::string> chosen;
        const char* cause;  // a piece of the failure, or "" for success
    } cases[] = {
        {{"a.txt", "c.txt"}, ""},
        {{"a.txt", "b.txt", "c.txt"}, "書庫の中身が大きすぎます"},
        {{"big.txt"}, "big.txt の大きさ (11 バイト) が大きすぎます"},
        {{"d.txt"}, "CRC"},
    };
    TempDir root;
    test::writeFile(root / "in.lzh", archive);
    const auto planned = listLhaMembers(root / "in.lzh", {});
    EXPECT_EQ(planned,
              (std::vector<LhaEntry>{
                  {"a.txt", 6}, {"b.txt", 6}, {"d.txt", 6}, {"c.txt", 6}, {"big.txt", 11}}));
    for (const Case& c : cases) {
        try {
            auto got = readLhaMembers(root / "in.lzh", planned, c.chosen, LhaLimits{10, 15});
            EXPECT_STREQ(c.cause, "");
            EXPECT_EQ(got.size(), c.chosen.size());
            for (const auto& [name, bytes] : got) EXPECT_EQ(bytes.size(), 6u) << name;
        } catch (const Failure& e) {
            EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << e.what();
            EXPECT_STRNE(c.cause, "");
        }
    }
}

TEST(HostileArchives, ManyAndEmptyMembers) {
    std::string many;
    std::vector<std::string> names;
    for (int i = 0; i < 2000; ++i) {
        names.push_back("m" + std::to_string(10000 + i) + ".txt");
        many += level0(names.back(), std::to_string(i));
    }
    std::sort(names.begin(), names.end());
    const Case cases[] = {
        {"2000 members", many + kEnd, names},
        {"empty members",
         level0("KYD011117.txt", "") + level0("e.txt", "") + kEnd,
         {"KYD011117.txt", "e.txt"}},
        {"2000 members, the last one damaged",
         many.substr(0, many.size() - 1) + "X" + kEnd,
         {},
         "CRC"},
    };
    for (const Case& c : cases) check(c);

    TempDir root;
    test::writeFile(root / "in.lzh", level0("KYD011117.txt", "") + kEnd);
    fs::create_directory(root / "dest");
    EXPECT_TRUE(extractArchive(root / "in.lzh", root / "dest").notWritten.empty());
    EXPECT_EQ(fs::file_size(root / "dest/KYD011117.txt"), 0u);
}

TEST(HostileArchives, FilesThatAreNoLhaArchive) {
    const std::string text = "0611110101\x83\x4e\x83\x8a\r\n";
    const Case cases[] = {
        // Extracted as the ZIP it starts as; an import wants an LHA archive.
        {"zip",
         "PK\x03\x04" + std::string(100, 'z'),
         {},
         "途中で切れています",
         "LHA 書庫ではありません"},
        {"gzip",
         std::string("\x1f\x8b\x08\x00", 4) + std::string(60, '\x01'),
         {},
         "LHA 書庫ではありません"},
        {"a JRDB text", text + text, {}, "LHA 書庫ではありません"},
        {"one zero byte", kEnd, {}, "LHA 書庫ではありません"},
        {"a header cut after the method", level0("x", "1").substr(0, 9), {}, "途中で切れています"},
        {"an unknown method",
         level0("x", "1", UINT64_MAX, "-lh9-") + kEnd,
         {},
         "圧縮方式 -lh9- には対応していません"},
        {"garbage after the end mark", level0("x", "1") + kEnd + "garbage", {}, "壊れています"},
    };
    for (const Case& c : cases) check(c);
}

}  // namespace
}  // namespace velt
