#include "shell/lha_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/failure.h"
#include "shell_test_util.h"

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

std::int32_t unlha(const std::string& archive, const std::string& dest,
                   std::string* out = nullptr) {
    char buffer[1024] = {};
    std::int32_t r =
        Unlha(0, unlhaCommandLine("e", "-x1m0", archive, dest).c_str(), buffer, sizeof buffer);
    if (out) *out = buffer;
    return r;
}

TEST(Crc16, ArcCheckValue) {
    EXPECT_EQ(crc16(0, "123456789", 9), 0xBB3D);
    EXPECT_EQ(crc16(0, "", 0), 0);
}

// Every method and header level jlha writes comes back byte for byte.
TEST(Unlha, ExtractsEveryKindJlhaMakes) {
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

        std::filesystem::create_directory(dir / "dest");
        std::string cause;
        ASSERT_EQ(unlha(dir / "out.lzh", dir / "dest", &cause), 0) << cause;
        EXPECT_EQ(filesIn(dir / "dest"), (std::vector<std::string>{"KYD011117.txt", "tiny.txt"}));
        EXPECT_EQ(test::readFile(dir / "dest/KYD011117.txt"), big);
        EXPECT_EQ(test::readFile(dir / "dest/tiny.txt"), small);
    }
}

// A damaged archive fails as a whole and leaves nothing behind.
TEST(Unlha, RefusesDamagedArchives) {
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
        const char* cause;  // a piece of the reported cause
    };
    std::string flipped = good;
    flipped[second / 2] = static_cast<char>(flipped[second / 2] ^ 0x20);
    std::string badHeader = good;
    badHeader[second + 20] = 7;  // no such header level
    const Case cases[] = {
        {"flipped data byte", flipped, "KYD011117.txt"},
        {"damaged second header", badHeader, "2 番目のメンバー"},
        {"truncated in the data", good.substr(0, second + (good.size() - second) / 2), "長さ"},
        {"truncated in the second header", good.substr(0, second + 12), "2 番目のメンバー"},
        {"not an archive", std::string(3000, 'x'), "LHA 書庫ではない"},
        {"empty file", "", "LHA 書庫ではない"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir run;
        test::writeFile(run / "bad.lzh", c.bytes);
        std::filesystem::create_directory(run / "dest");
        std::string cause;
        EXPECT_NE(unlha(run / "bad.lzh", run / "dest", &cause), 0);
        EXPECT_NE(cause.find(c.cause), std::string::npos) << cause;
        EXPECT_TRUE(filesIn(run / "dest").empty());
    }

    // Without its end mark the archive still ends where its last member ends.
    TempDir run;
    test::writeFile(run / "noend.lzh", good.substr(0, good.size() - 1));
    std::filesystem::create_directory(run / "dest");
    EXPECT_EQ(unlha(run / "noend.lzh", run / "dest"), 0);
    EXPECT_EQ(filesIn(run / "dest").size(), 2u);
}

// Members are written flat under their base names, and never outside the destination.
TEST(Unlha, WritesOnlyBaseNamesIntoTheDestination) {
    struct Case {
        std::string name;
        const char* extractedAs;  // nullptr: the archive is refused
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
        std::string cause;
        std::int32_t r = unlha(dir / "in.lzh", dir / "a/b/dest", &cause);
        if (c.extractedAs) {
            EXPECT_EQ(r, 0) << cause;
            EXPECT_EQ(test::readFile(dir / "a/b/dest/" + c.extractedAs), "evil\r\n");
            EXPECT_EQ(filesIn(dir / "a/b/dest").size(), 2u);
        } else {
            EXPECT_NE(r, 0);
            EXPECT_NE(cause.find("名前が安全でない"), std::string::npos) << cause;
            EXPECT_TRUE(filesIn(dir / "a/b/dest").empty());
        }
        EXPECT_EQ(filesIn(dir / "a/b"), std::vector<std::string>{"dest"});
        EXPECT_EQ(filesIn(dir / "a"), std::vector<std::string>{"b"});
    }
    EXPECT_FALSE(test::exists("/abs/x"));
}

TEST(Unlha, RefusesTwoMembersOfOneName) {
    TempDir dir;
    test::writeFile(dir / "in.lzh", level0("x", "1") + level0("../x", "2") + std::string(1, '\0'));
    std::filesystem::create_directory(dir / "dest");
    std::string cause;
    EXPECT_NE(unlha(dir / "in.lzh", dir / "dest", &cause), 0);
    EXPECT_NE(cause.find("同じ名前"), std::string::npos) << cause;
    EXPECT_TRUE(filesIn(dir / "dest").empty());
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

TEST(Unlha, CommandLine) {
    EXPECT_EQ(quotePath("/data/KYD011117"), "/data/KYD011117");
    EXPECT_EQ(quotePath("/data/KYD011117.lzh"), "\"/data/KYD011117.lzh\"");
    EXPECT_EQ(unlhaCommandLine("e", "-x1m0", "/d/KYD011117.lzh", "/opt/Program Files/App  "),
              "e -x1m0 \"/d/KYD011117.lzh\" \"/opt/Program Files/App/\" ");
    EXPECT_EQ(unlhaCommandLine("e", "-x1m0", "/d/KYD011117", "/tmp/work/"),
              "e -x1m0 /d/KYD011117 /tmp/work/ ");

    char buffer[64];
    EXPECT_NE(Unlha(0, "x -x1m0 \"/nowhere/a.lzh\" /tmp/ ", buffer, sizeof buffer), 0);
    EXPECT_NE(Unlha(0, "e -x1m0 \"/nowhere/a.lzh", buffer, sizeof buffer), 0);
    EXPECT_NE(Unlha(0, "e -x1m0 /nowhere/a.lzh /tmp/ ", buffer, sizeof buffer), 0);
    EXPECT_LT(std::strlen(buffer), sizeof buffer);
}

// The extraction wrapper: its two messages, and an archive in a folder with a space and a dot.
TEST(ExtractArchive, ReportsAndExtracts) {
#ifdef _WIN32
    GTEST_SKIP() << "needs archives made by jlha, a Linux program";
#endif
    TempDir dir;
    test::RecordingMessages messages;
    std::string cause;
    EXPECT_EQ(ExtractArchive(messages, 0, dir / "missing.lzh", dir.path(), "e", "-x1m0", &cause),
              1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "ファイルが見つかりません。No.4");
    EXPECT_EQ(messages.shown[0].title, "LzhMeltエラー");
    EXPECT_EQ(messages.shown[0].icon, Message::Icon::None);

    test::writeFile(dir / "bad.lzh", "not an archive at all, not at all");
    EXPECT_EQ(ExtractArchive(messages, 0, dir / "bad.lzh", dir.path(), "e", "-x1m0", &cause), 1);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "解凍に失敗しました。No.5");
    EXPECT_EQ(messages.shown[1].title, "圧縮失敗");
    EXPECT_EQ(messages.shown[1].icon, Message::Icon::Exclamation);
    EXPECT_NE(cause.find("bad.lzh"), std::string::npos) << cause;

    test::writeFile(dir / "my data.d/KYD011117.txt", "line\r\n");
    ASSERT_TRUE(test::jlha(dir / "my data.d", "a", "KYD011117.lzh", {"KYD011117.txt"}));
    std::filesystem::create_directory(dir / "out dir.x");
    EXPECT_EQ(ExtractArchive(messages, 0, dir / "my data.d/KYD011117.lzh", dir / "out dir.x", "e",
                             "-x1m0"),
              0);
    EXPECT_EQ(test::readFile(dir / "out dir.x/KYD011117.txt"), "line\r\n");
    EXPECT_EQ(messages.shown.size(), 2u);
}

}  // namespace
}  // namespace velt
