#include "convert/sort.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include "../support/in_child.h"
#endif
#include "../support/reference_store.h"
#include "../support/test_files.h"
#include "codes/cp932.h"
#include "platform/failure.h"
#include "convert/output_store.h"

namespace velt {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

int sign(int v) {
    return (v > 0) - (v < 0);
}

// Single-byte letters folded to lower case, pairs left alone; then plain byte order.
std::string folded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = cp932::charLength(s, i);
        for (std::size_t k = 0; k < len; ++k) {
            char c = s[i + k];
            out.push_back(len == 1 && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
        }
        i += len;
    }
    return out;
}

// Bytes chosen to meet at every boundary: letters of both cases, the punctuation between them,
// lead bytes, trail bytes that are letters, and bytes that are neither.
std::string randomText(std::mt19937& rng, std::size_t maxLen) {
    static const char alphabet[] = {'0', '1', 'A', 'a',    'B',    'b',    'Z',    'z',
                                    '[', '_', ' ', '\x82', '\x83', '\x7F', '\xFD', '\xB1'};
    std::uniform_int_distribution<std::size_t> len(0, maxLen), pick(0, sizeof alphabet - 1);
    std::string s(len(rng), ' ');
    for (char& c : s) c = alphabet[pick(rng)];
    return s;
}

TEST(Sort, CompareIgnoringCase) {
    struct Case {
        const char* name;
        std::string a, b;
        int expected;
    } cases[] = {
        {"equal", "200111180505061103", "200111180505061103", 0},
        {"case ignored", "0a0107abc", "0A0107ABC", 0},
        {"letters after digits", "0a", "09", 1},
        {"prefix first", "0505", "050506", -1},
        {"empty first", "", "0", -1},
        {"letter after the punctuation between the cases", "A", "_", 1},
        {"trail byte A is not a", "\x83\x41", "\x83\x61", -1},
        {"trail byte Z is not z", "X\x82\x5A", "x\x82\x7A", -1},
        {"letter after a pair still folded", "\x83\x41Q", "\x83\x41q", 0},
        {"lone lead byte, then a letter", "\x83 A", "\x83 a", 0},
        {"two-byte character after single bytes", "\x82\xA0", "z", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sign(compareIgnoringCase(c.a, c.b)), c.expected) << c.name;
        EXPECT_EQ(sign(compareIgnoringCase(c.b, c.a)), -c.expected) << c.name;
    }
}

// The comparison is a consistent order: the same as comparing the folded texts.
TEST(Sort, CompareMatchesFoldedOrder) {
    std::mt19937 rng(7);
    for (int n = 0; n < 200000; ++n) {
        std::string a = randomText(rng, 5), b = randomText(rng, 5);
        ASSERT_EQ(sign(compareIgnoringCase(a, b)), sign(folded(a).compare(folded(b))))
            << testing::PrintToString(a) << " " << testing::PrintToString(b);
    }
}

TEST(Sort, UpBubbleSortStr) {
    std::vector<std::string> lines = {"untouched", "11", "02", "10", "beyond count"};
    upBubbleSortStr(lines, 3);
    EXPECT_EQ(lines, (std::vector<std::string>{"untouched", "02", "10", "11", "beyond count"}));

    // Not stable: equal elements keep the order the exchanges leave them in.
    std::vector<std::string> equal = {"", "b1", "B1", "a"};
    upBubbleSortStr(equal, 3);
    EXPECT_EQ(equal, (std::vector<std::string>{"", "a", "B1", "b1"}));
}

TEST(Sort, InsertSortedMatchesAppendAndSort) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> count(0, 30);
    for (int n = 0; n < 20000; ++n) {
        std::vector<std::string> reference(1);
        for (int k = count(rng); k > 0; --k) reference.push_back(randomText(rng, 3));
        upBubbleSortStr(reference, reference.size() - 1);
        std::vector<std::string> sorted(reference.begin() + 1, reference.end());

        std::string line = randomText(rng, 3);
        reference.push_back(line);
        upBubbleSortStr(reference, reference.size() - 1);
        insertSorted(sorted, line);
        ASSERT_EQ(sorted, std::vector<std::string>(reference.begin() + 1, reference.end()));
    }
}

std::string randomCommentLine(std::mt19937& rng) {
    // Days 10 and up are hex letters, of either case; the text holds pairs whose trail bytes are
    // letters (ア 0x83 0x41, ャ 0x83 0x61, Ａ 0x82 0x60, ａ 0x82 0x81) and single letters.
    static const char* days[] = {"1", "2", "a", "A", "b", "B"};
    static const char* pieces[] = {"\x83\x41", "\x83\x61", "\x82\x60", "\x82\x81", "A", "a", " "};
    std::uniform_int_distribution<int> meeting(1, 2), race(1, 3), horse(1, 3), len(0, 3);
    std::uniform_int_distribution<std::size_t> day(0, 5), piece(0, 6);
    std::string line = "2001111805" + std::string("0") + std::to_string(meeting(rng)) + "0" +
                       days[day(rng)] + "0" + std::to_string(race(rng)) + "0" +
                       std::to_string(horse(rng));
    for (int k = len(rng); k > 0; --k) line += pieces[piece(rng)];
    return line;
}

TEST(SortedFiles, StoreMatchesLineByLineRewrite) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 20; ++trial) {
        TempDir naive, stored;
        const char* names[] = {"KC2001111805.DAT", "KM2001111805.DAT"};
        // One of the files exists, unsorted, with a duplicate key of its own.
        std::string existing;
        for (int k = 0; k < 6; ++k) existing += randomCommentLine(rng) + "\r\n";
        existing += "200111180505010101dup\r\n200111180505010101dup2\r\n";
        writeFile(naive / names[0], existing);
        writeFile(stored / names[0], existing);

        OutputStore store;
        // For every line: scan for its key, append, read back, sort, rewrite.
        test::ReferenceStore reference;
        std::uniform_int_distribution<int> which(0, 1);
        for (int k = 0; k < 120; ++k) {
            std::string line = randomCommentLine(rng);
            const char* name = names[which(rng)];
            reference.addSorted(naive / name, line, 18);
            store.addSorted(stored / name, line, 18);
            if (k == 60) store.finish();  // a second import reads the files afresh
        }
        store.finish();
        for (const char* name : names)
            ASSERT_EQ(readFile(stored / name), readFile(naive / name))
                << "trial " << trial << " " << name;
    }
}

std::string numberedLines(int from, int to) {
    std::string text;
    for (int k = from; k <= to; ++k) {
        char key[19];
        std::snprintf(key, sizeof key, "200111180505%06d", k);
        text += std::string(key) + "text\r\n";
    }
    return text;
}

TEST(SortedFiles, RefusesTheLineAfterTheLimit) {
    TempDir dir;
    const fs::path full = dir / "KC2001111805.DAT";
    const fs::path other = dir / "KM2001111805.DAT";
    writeFile(full, numberedLines(1, 249));
    const std::string before = readFile(full);

    OutputStore store;
    EXPECT_TRUE(store.addSorted(other.string(), "200111180505060101km", 18));
    EXPECT_TRUE(store.addSorted(full.string(), "200111180505000250text", 18));
    EXPECT_FALSE(store.addSorted(full.string(), "200111180505000007text", 18));  // present
    try {
        store.addSorted(full.string(), "200111180505000000text", 18);
        FAIL() << "a 251st line was accepted";
    } catch (const Failure& e) {
        EXPECT_EQ(e.file(), full.string());
    }
    store.finish();
    // What came before the refused line is written, sorted; the refused line is nowhere.
    EXPECT_EQ(readFile(full), before + "200111180505000250text\r\n");
    EXPECT_EQ(readFile(other), "200111180505060101km\r\n");

    // A file already at the limit is left exactly as it was.
    OutputStore again;
    EXPECT_THROW(again.addSorted(full.string(), "200111180505000000text", 18), Failure);
    again.finish();
    EXPECT_EQ(readFile(full), before + "200111180505000250text\r\n");
}

TEST(SortedFiles, RewriteReplacesTheFileWhole) {
    TempDir dir;
    const fs::path file = dir / "KC2001111805.DAT";
    const fs::path link = dir / "old";
    writeFile(file, "200111180505061103b\r\n");
    fs::create_hard_link(file, link);

    OutputStore store;
    store.addSorted(file.string(), "200111180505060101a", 18);
    store.finish();
    EXPECT_EQ(readFile(file), "200111180505060101a\r\n200111180505061103b\r\n");
    // The old file was never truncated: a new one took its name.
    EXPECT_EQ(readFile(link), "200111180505061103b\r\n");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"KC2001111805.DAT", "old"}));
}

TEST(SortedFiles, FolderThatTakesNoNewFileFailsAtOnce) {
#ifdef _WIN32
    GTEST_SKIP() << "a read-only folder still takes new files on Windows";
#else
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
#endif
    TempDir dir;
    const fs::path file = dir / "KC2001111805.DAT";
    writeFile(file, "200111180505061103b\r\n");
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);

    OutputStore store;
    EXPECT_THROW(store.addSorted(file.string(), "200111180505060101a", 18), Failure);
    EXPECT_NO_THROW(store.finish());
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(readFile(file), "200111180505061103b\r\n");
}

// Size limits and links: POSIX only (Windows has no RLIMIT_FSIZE; Wine makes no links).
#ifndef _WIN32
TEST(SortedFiles, FailedRewriteKeepsTheOldFile) {
    TempDir dir;
    const fs::path file = dir / "KC2001111805.DAT";
    writeFile(file, "200111180505061103b\r\n");
    // The new file cannot grow past the old one's size.
    EXPECT_TRUE(test::inChild(
        [&] {
            OutputStore store;
            store.addSorted(file.string(), "200111180505060101a", 18);
            try {
                store.finish();
            } catch (const Failure& e) {
                return e.file() == file.string();
            }
            return false;
        },
        22));
    EXPECT_EQ(readFile(file), "200111180505061103b\r\n");
    EXPECT_EQ(platform::listFolder(dir.path()), std::vector<std::string>{"KC2001111805.DAT"});
}

// Folders and links planted under replacement names, and a sorted file that is a link: the
// link stays and its target is rewritten in its own folder; nothing outside changes.
TEST(SortedFiles, PlantedNamesAndLinks) {
    TempDir dir;
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "elsewhere");
    writeFile(dir / "outside", "outside");
    writeFile(dir / "elsewhere/KM.DAT", "200111180505061103b\r\n");
    const std::string kc = dir / "data/KC2001111805.DAT", km = dir / "data/KM2001111805.DAT";
    writeFile(kc, "200111180505061103b\r\n");
    fs::create_symlink(dir / "elsewhere/KM.DAT", km);
    for (const std::string& name : {kc, km}) {
        fs::create_directory(name + ".velt-tmp");
        fs::create_symlink(dir / "outside", name + ".velt-tmp-AAAAAA");
    }
    fs::create_symlink(dir / "outside", dir / "elsewhere/KM.DAT.velt-tmp-BBBBBB");
    for (int round = 0; round < 2; ++round) {
        OutputStore store;
        for (const std::string& name : {kc, km})
            store.addSorted(name, "20011118050506010" + std::to_string(round) + "a", 18);
        store.finish();
    }
    const std::string want =
        "200111180505060100a\r\n200111180505060101a\r\n200111180505061103b\r\n";
    EXPECT_EQ(readFile(kc), want);
    EXPECT_TRUE(fs::is_symlink(km));
    EXPECT_EQ(readFile(dir / "elsewhere/KM.DAT"), want);
    EXPECT_EQ(readFile(dir / "outside"), "outside");
    EXPECT_EQ(platform::listFolder(dir / "data").size(), 6u);
    EXPECT_EQ(platform::listFolder(dir / "elsewhere").size(), 2u);
}
#endif  // _WIN32

}  // namespace
}  // namespace velt
