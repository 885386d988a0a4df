#include "shell/lha_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "platform/failure.h"
#include "shell_test_util.h"
#ifndef _WIN32
#include "../support/in_child.h"
#endif

// A sanitizer's shadow memory does not fit under an address-space limit.
#if defined(__SANITIZE_ADDRESS__)
#define VELT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELT_ASAN 1
#endif
#endif

namespace velt {
namespace {

using test::level0;
using test::TempDir;

// Text that compresses, with CP932 kana and kanji in it, as JRDB files have.
std::string sampleText(std::size_t lines) {
    std::string text;
    unsigned seed = 12345;
    for (std::size_t i = 0; i < lines; ++i) {
        text += "0601110" + std::to_string(i % 10) + "\x83\x4e\x83\x8a\x83\x58\x83\x67";
        for (int k = 0; k < 40; ++k) {
            seed = seed * 1103515245 + 12345;
            text += static_cast<char>('0' + (seed >> 16) % 10);
        }
        text += "\x93\x8c\x8b\x9e\r\n";
    }
    return text;
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// What an extraction into `dest` said: "" when it wrote every member, else the thrown failure or
// the members it did not write, one a line.
std::string extract(const std::string& archive, const std::string& dest) {
    try {
        std::string said;
        for (const Failure& f : extractArchive(archive, dest).notWritten)
            said += describe(f) + "\n";
        return said;
    } catch (const Failure& e) {
        return describe(e);
    }
}

// Every member listed and read from the headers of a plan, as an import reads them.
std::map<std::string, std::string> readAll(const std::string& archive) {
    const auto planned = listLhaMembers(archive, {});
    std::set<std::string> chosen;
    for (const LhaEntry& e : planned)
        if (!e.name.empty()) chosen.insert(e.name);
    return readLhaMembers(archive, planned, chosen, {});
}

TEST(Crc16, ArcCheckValue) {
    EXPECT_EQ(crc16(0, "123456789", 9), 0xBB3D);
    EXPECT_EQ(crc16(0, "", 0), 0);
}

// Every method and header level jlha writes comes back byte for byte.
TEST(LhaArchive, ReadsAndExtractsEveryKindJlhaMakes) {
#ifdef _WIN32
    GTEST_SKIP() << "needs archives made by jlha, a Linux program";
#endif
    struct Case {
        const char* command;
        const char* method;  // of the large member
        int level;
    };
    const Case cases[] = {
        {"a", "-lh5-", 2},  // JRDB's own downloads
        {"az", "-lh0-", 2}, {"ao6", "-lh6-", 2},  {"ao7", "-lh7-", 2},  {"a0", "-lh5-", 0},
        {"a1", "-lh5-", 1}, {"a1o6", "-lh6-", 1}, {"a0o7", "-lh7-", 0}, {"az0", "-lh0-", 0},
    };
    const std::string big = sampleText(600), small = "KYD\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        TempDir dir;
        test::writeFile(dir / "src/KYD011117.txt", big);
        test::writeFile(dir / "src/tiny.txt", small);
        ASSERT_TRUE(
            test::jlha(dir / "src", c.command, "../out.lzh", {"KYD011117.txt", "tiny.txt"}));

        LhaReader reader(dir / "out.lzh");
        LhaMember m;
        ASSERT_TRUE(reader.next(m));
        EXPECT_EQ(m.name, "KYD011117.txt");
        EXPECT_EQ(m.method, c.method);
        EXPECT_EQ(m.headerLevel, c.level);

        EXPECT_EQ(listLhaMembers(dir / "out.lzh", {}),
                  (std::vector<LhaEntry>{{"KYD011117.txt", big.size()}, {"tiny.txt", 5}}));
        EXPECT_EQ(readAll(dir / "out.lzh"), (std::map<std::string, std::string>{
                                                {"KYD011117.txt", big}, {"tiny.txt", small}}));

        std::filesystem::create_directory(dir / "dest");
        ASSERT_EQ(extract(dir / "out.lzh", dir / "dest"), "");
        EXPECT_EQ(filesIn(dir / "dest"), (std::vector<std::string>{"KYD011117.txt", "tiny.txt"}));
        EXPECT_EQ(test::readFile(dir / "dest/KYD011117.txt"), big);
        EXPECT_EQ(test::readFile(dir / "dest/tiny.txt"), small);
    }
}

// A damaged archive fails as a whole, read or extracted, in the same words, and leaves nothing
// behind.
TEST(LhaArchive, RefusesDamagedArchives) {
#ifdef _WIN32
    GTEST_SKIP() << "needs archives made by jlha, a Linux program";
#endif
    TempDir dir;
    test::writeFile(dir / "src/KYD011117.txt", sampleText(600));
    test::writeFile(dir / "src/SEB011117.txt", sampleText(300));
    ASSERT_TRUE(test::jlha(dir / "src", "a", "../good.lzh", {"KYD011117.txt", "SEB011117.txt"}));
    const std::string good = test::readFile(dir / "good.lzh");
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(good[at + i]);
        return v;
    };
    // Level-2 header: its size in bytes 0-1, the compressed size in bytes 7-10.
    const std::size_t second =
        (static_cast<unsigned char>(good[0]) | static_cast<unsigned char>(good[1]) << 8) + u32(7);
    ASSERT_LT(second + 30, good.size());
    ASSERT_EQ(good.substr(second + 2, 5), "-lh5-");

    struct Case {
        const char* what;
        std::string bytes;
        const char* cause;  // the whole cause
    };
    std::string flipped = good;
    flipped[second / 2] = static_cast<char>(flipped[second / 2] ^ 0x20);
    std::string badHeader = good;
    badHeader[second + 20] = 7;  // no such header level
    const std::string cutShort = archiveWords::cutShort();
    const Case cases[] = {
        {"flipped data byte", flipped,
         "書庫が壊れています: メンバー KYD011117.txt の CRC が合いません"},
        {"damaged second header", badHeader,
         "書庫が壊れています: 2 番目のメンバーのヘッダが壊れています"},
        {"cut short in the data", good.substr(0, second + (good.size() - second) / 2),
         cutShort.c_str()},
        {"cut short in the second header", good.substr(0, second + 12), cutShort.c_str()},
        {"cut short in the first header", good.substr(0, 12), cutShort.c_str()},
        {"not an archive", std::string(3000, 'x'), "LHA 書庫ではありません"},
        {"empty file", "", "ファイルが空です (0 バイト)。書庫ではありません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir run;
        test::writeFile(run / "bad.lzh", c.bytes);
        std::filesystem::create_directory(run / "dest");
        const std::string said = run / "bad.lzh: " + c.cause;
        EXPECT_EQ(extract(run / "bad.lzh", run / "dest"), said);
        EXPECT_TRUE(filesIn(run / "dest").empty());
        try {
            readAll(run / "bad.lzh");
            ADD_FAILURE() << "read";
        } catch (const Failure& e) {
            EXPECT_EQ(describe(e), said);
        }
    }

    // Without its end mark the archive still ends where its last member ends.
    TempDir run;
    test::writeFile(run / "noend.lzh", good.substr(0, good.size() - 1));
    std::filesystem::create_directory(run / "dest");
    EXPECT_EQ(extract(run / "noend.lzh", run / "dest"), "");
    EXPECT_EQ(filesIn(run / "dest").size(), 2u);
}

// Members are written flat under their base names, never outside the destination; a member whose
// name is unsafe is reported and not written, the others are.
TEST(LhaArchive, ExtractsOnlyBaseNamesIntoTheDestination) {
    struct Case {
        std::string name;
        const char* extractedAs;  // nullptr: reported as unsafe
    };
    const Case cases[] = {
        {"../x", "x"},      {"/abs/x", "x"},          {"a\\..\\x", "x"},
        {"..\\..\\x", "x"}, {"velt.ini", "velt.ini"}, {"..", nullptr},
        {"a/..", nullptr},  {"c:x", nullptr},         {"sub/.", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        test::writeFile(dir / "in.lzh", level0("KYD011117.txt", "ok\r\n") +
                                            level0(c.name, "evil\r\n") + std::string(1, '\0'));
        std::filesystem::create_directories(dir / "a/b/dest");
        const std::string said = extract(dir / "in.lzh", dir / "a/b/dest");
        EXPECT_EQ(test::readFile(dir / "a/b/dest/KYD011117.txt"), "ok\r\n");
        if (c.extractedAs) {
            EXPECT_EQ(said, "");
            EXPECT_EQ(test::readFile(dir / "a/b/dest/" + c.extractedAs), "evil\r\n");
            EXPECT_EQ(filesIn(dir / "a/b/dest").size(), 2u);
        } else {
            EXPECT_EQ(said, dir / "in.lzh: メンバー " + c.name +
                                " は名前が安全でないので書き出しませんでした\n");
            EXPECT_EQ(filesIn(dir / "a/b/dest").size(), 1u);
        }
        EXPECT_EQ(filesIn(dir / "a/b"), std::vector<std::string>{"dest"});
        EXPECT_EQ(filesIn(dir / "a"), std::vector<std::string>{"b"});
    }
    EXPECT_FALSE(test::exists("/abs/x"));
}

// What is in the folder already stays as it is, a link is never written through, and two members
// of one name, or a folder that is not there, write nothing at all.
TEST(LhaArchive, ExtractionOverwritesNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "makes symbolic links";
#endif
    TempDir dir;
    const std::string archive = dir / "in.lzh";
    test::writeFile(archive, level0("a.txt", "new a") + level0("b.txt", "new b") +
                                 level0("c.txt", "new c") + std::string(1, '\0'));
    test::writeFile(dir / "dest/a.txt", "old a");
    test::writeFile(dir / "outside.txt", "outside");
    std::filesystem::create_symlink(dir / "outside.txt", dir / "dest/b.txt");
    EXPECT_EQ(extract(archive, dir / "dest"),
              dir / "dest/a.txt: 既にあるので書き出しませんでした (上書きしません)\n" +
                  dir / "dest/b.txt: 既にあるので書き出しませんでした (上書きしません)\n");
    EXPECT_EQ(test::readFile(dir / "dest/a.txt"), "old a");
    EXPECT_EQ(test::readFile(dir / "outside.txt"), "outside");
    EXPECT_EQ(test::readFile(dir / "dest/c.txt"), "new c");
    EXPECT_EQ(filesIn(dir / "dest"), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));

    test::writeFile(archive, level0("x", "1") + level0("../x", "2") + std::string(1, '\0'));
    std::filesystem::create_directory(dir / "empty");
    EXPECT_EQ(extract(archive, dir / "empty"), archive + ": 同じ名前のメンバーが二つあります: x");
    EXPECT_TRUE(filesIn(dir / "empty").empty());
    EXPECT_EQ(extract(archive, dir / "missing"), dir / "missing: そのフォルダはありません");
    EXPECT_FALSE(test::exists(dir / "missing"));
}

TEST(MemberFileName, KeepsOnlySafeBaseNames) {
    const std::pair<std::string, std::string> cases[] = {
        {"KYD011117.txt", "KYD011117.txt"},
        {"JracSei1.dat", "JracSei1.dat"},
        {"\x95\x5c.txt", "表.txt"},  // CP932: the second byte is 0x5C, not a separator
        {"", ""},
        {".", ""},
        {"..", ""},
        {"a\\..\\x", ""},
        {"a/x", ""},
        {"c:x", ""},
    };
    for (const auto& [raw, expected] : cases) {
        LhaMember m;
        m.name = raw;
        EXPECT_EQ(memberFileName(m), expected) << raw;
    }
}

// An import reads what its plan listed, from one open file: an archive replaced since the plan,
// or rewritten while it is read, fails; a member replaced after the file was opened is not seen;
// a chosen member that is not there fails; a size over the cap is refused before memory is taken.
TEST(LhaArchive, ReadsTheMembersOfThePlan) {
    TempDir dir;
    const std::string archive = dir / "KYD011117.lzh", end(1, '\0');
    const std::string first = level0("KYD011117.txt", "old\r\n") + level0("b.txt", "b") + end;
    const std::string other = level0("KYD011117.txt", "new!\r\n") + level0("b.txt", "b") + end;
    const auto replace = [&](const std::string& bytes) {
        test::writeFile(dir / "next.lzh", bytes);
        std::filesystem::rename(dir / "next.lzh", archive);
    };
    const auto rewrite = [&] { test::writeFile(archive, other); };  // same file, new bytes
    const std::string changed =
        archive + ": 書庫が読み込みの途中で変わりました。もう一度取り込んでください";
    struct Case {
        const char* what;
        std::string bytes;  // the archive the plan lists
        std::function<void()> beforeReading, afterHeaders;
        std::string chosen;
        std::string outcome;  // the member's text, or the failure
    } cases[] = {
        {"as planned", first, {}, {}, "KYD011117.txt", "old\r\n"},
        {"replaced before reading", first, [&] { replace(other); }, {}, "KYD011117.txt", changed},
        {"replaced once open", first, {}, [&] { replace(other); }, "KYD011117.txt", "old\r\n"},
        {"rewritten once open", first, {}, rewrite, "KYD011117.txt", changed},
        {"a member the plan lacks",
         first,
         {},
         {},
         "KYG011117.txt",
         archive + ": 書庫に KYG011117.txt がありません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
#ifdef _WIN32
        // Windows replaces no file that is open.
        if (std::string(c.what) == "replaced once open") continue;
#endif
        test::writeFile(archive, c.bytes);
        const auto planned = listLhaMembers(archive, {});
        if (c.beforeReading) c.beforeReading();
        try {
            const auto got = readLhaMembers(archive, planned, {c.chosen}, {}, c.afterHeaders);
            EXPECT_EQ(got, (std::map<std::string, std::string>{{c.chosen, c.outcome}}));
        } catch (const Failure& e) {
            EXPECT_EQ(describe(e), c.outcome);
        }
    }
}

// A hundred bytes that declare 4 GB: too large, from the header, before any memory is reserved
// for it; in a child that cannot have 4 GB, never short of memory.
TEST(LhaArchive, SizeCapCheckedBeforeMemory) {
#if defined(_WIN32) || defined(VELT_ASAN)
    GTEST_SKIP() << "needs an address-space limit";
#else
    TempDir dir;
    const std::string archive = dir / "KYD011117.lzh";
    test::writeFile(archive, level0("KYD011117.txt", "x", 0xFFFFFFFFu) + std::string(1, '\0'));
    EXPECT_TRUE(test::inChild([&] {
        const rlimit limit{1u << 30, 1u << 30};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) return false;
        try {
            readAll(archive);
        } catch (const Failure& e) {
            return describe(e) == archive +
                                      ": メンバー KYD011117.txt の大きさ (4294967295 バイト) が"
                                      "大きすぎます。256 MB までしか読みません";
        }
        return false;
    }));
#endif
}

}  // namespace
}  // namespace velt
