// What an import must refuse, as a user meets it: velt-cli run on an input that must not go in, or
// into a data folder it must not half write. It exits 1, says why naming the file, and leaves the
// data folder as it was.

#include <gtest/gtest.h>

#include "../shell/shell_test_util.h"
#include "../support/lock_probe.h"
#include "fault_util.h"

namespace velt {
namespace {

using namespace test;

constexpr uid_t kNobody = 65534;

struct Refusals : ::testing::Test {
    TempDir dir;
    std::string base = dir / "base/", work = dir / "work/", in = dir / "in/";
    std::string day = generated(true).at(0);
    std::string date = fs::path(day).parent_path().filename().string();

    void SetUp() override {
        fs::create_directories(in);
        makeBase(base, dir.path());
    }

    std::string text(const std::string& kind) { return readFile(day + kind + date + ".txt"); }
    std::string copy(const std::string& from, const std::string& name) {
        fs::copy_file(from, in + name, fs::copy_options::overwrite_existing);
        return in + name;
    }
    std::string plant(const std::string& name, const std::string& bytes) {
        writeFile(in + name, bytes);
        return in + name;
    }
    // Permission bits bind root only through another user: everything opened up for "nobody".
    void openUpForNobody() {
        fs::permissions(dir.path(), fs::perms::all);
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            fs::permissions(e.path(), e.is_directory()
                                          ? fs::perms::all
                                          : fs::perms::all & ~fs::perms::owner_exec &
                                                ~fs::perms::group_exec & ~fs::perms::others_exec);
    }
};

// The first `keep` lines of a text, then `lastBytes` of the next with no line end.
std::string lines(const std::string& text, std::size_t keep, std::size_t lastBytes = 0) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t n = 0; n < keep && pos < text.size(); ++n) {
        const std::size_t end = text.find('\n', pos) + 1;
        out += text.substr(pos, end - pos);
        pos = end;
    }
    if (lastBytes) out += text.substr(pos, lastBytes);
    return out;
}

TEST_F(Refusals, EachIsToldAndWritesNothing) {
    const std::string mdLast = [&] {
        std::string last;
        for (const auto& [name, bytes] : snapshot(base))
            if (name.rfind("MDATA/MD", 0) == 0) last = name;
        return last;
    }();
    ASSERT_NE(mdLast, "");
    struct Case {
        const char* what;
        std::function<std::vector<std::string>()> plant;
        const char* said;
        bool asNobody = false;
    };
    const Case cases[] = {
        {"another kind under a known name",
         [&] {
             return std::vector<std::string>{
                 copy(day + "SKA" + date + ".txt", "SED" + date + ".txt")};
         },
         "成績データではありません (レコードは 280 バイト: SKA/ZKA の長さです)"},
        {"horse data given as comments, year folders to be made",
         [&] {
             fs::remove_all(work + "KCOM_DATA/2009");
             return std::vector<std::string>{"--create-year-folders", "--as", "SKAZKA",
                                             copy(day + "KYD" + date + ".txt", "a.txt")};
         },
         "(レコードは 430 バイト: KYD の長さです)"},
        {"odds given as horse data",
         [&] {
             return std::vector<std::string>{"--as", "KYD",
                                             copy(day + "OZ" + date + ".txt", "b.txt")};
         },
         "(レコードは 955 バイト: OZ の長さです)"},
        {"one real line in twenty, keys that are not keys",
         [&] {
             const std::string kyd = text("KYD");
             std::string crafted;
             for (std::size_t n = 0, pos = 0; n < 20000; ++n) {
                 std::size_t end = kyd.find('\n', pos) + 1;
                 const std::string line = kyd.substr(pos, end - pos);
                 crafted += n % 20 == 0 ? line : "ZZ!!+?" + line.substr(6);
                 pos = end == kyd.size() ? 0 : end;
             }
             return std::vector<std::string>{plant("KYD" + date + ".txt", crafted)};
         },
         "件が不正です"},
        {"a download cut short",
         [&] {
             return std::vector<std::string>{
                 plant("KYD" + date + ".txt", lines(text("KYD"), 40, 200))};
         },
         "ダウンロードが途中で切れています"},
        {"a pack with HDATA missing",
         [&] {
             fs::remove_all(work + "HDATA");
             return std::vector<std::string>{std::string(VELT_FAULT_DATA) + "JRDB" + date + ".lzh"};
         },
         "データフォルダに HDATA がありません"},
        {"a pack with one read-only meeting file",
         [&] {
             fs::permissions(work + mdLast, fs::perms::owner_read | fs::perms::group_read |
                                                fs::perms::others_read);
             return std::vector<std::string>{std::string(VELT_FAULT_DATA) + "JRDB" + date + ".lzh"};
         },
         "ファイルに書き込めません: 書き込みが許可されていません", true},
        {"a damaged ZIP, year folders to be made",
         [&] {
             fs::remove_all(work + "KCOM_DATA/2009");
             const std::string zip = in + "SKA_2009.zip";
             EXPECT_EQ(std::system(("cd '" + day +
                                    "' && python3 -c \"import zipfile,sys; "
                                    "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED); "
                                    "z.write('SKA" +
                                    date + ".txt'); z.close()\" '" + zip + "'")
                                       .c_str()),
                       0);
             std::string bytes = readFile(zip);
             bytes[bytes.size() / 2] ^= 0x55;
             writeFile(zip, bytes);
             return std::vector<std::string>{"--create-year-folders", zip};
         },
         "書庫が壊れています"},
        {"a ZIP cut short",
         [&] {
             writeFile(in + "SKA_2009.zip", readFile(in + "SKA_2009.zip").substr(0, 3000));
             return std::vector<std::string>{in + "SKA_2009.zip"};
         },
         "書庫が途中で切れています"},
        {"an empty archive",
         [&] { return std::vector<std::string>{plant("KYD" + date + ".lzh", "")}; },
         "ファイルが空です"},
        {"100 bytes that declare 4 GB",
         [&] {
             return std::vector<std::string>{
                 plant("SEB" + date + ".lzh",
                       level0("SEB" + date + ".txt", "tiny", 0xFFFFFFFFu) + std::string(1, '\0'))};
         },
         "大きすぎます"},
        {"an archive that may not be read",
         [&] {
             const std::string lzh =
                 copy(std::string(VELT_FAULT_DATA) + "SEB" + date + ".lzh", "SEB" + date + ".lzh");
             fs::permissions(lzh, fs::perms::owner_write);
             return std::vector<std::string>{lzh};
         },
         ": 読み取りが許可されていません", true},
        {"a folder that may not be listed",
         [&] {
             fs::create_directories(in + "locked");
             fs::permissions(in + "locked", fs::perms::none);
             return std::vector<std::string>{in + "locked"};
         },
         "locked/: フォルダの中を見ることが許可されていません", true},
        {"a folder that is not there", [&] { return std::vector<std::string>{in + "missing/"}; },
         "missing/: ファイルもフォルダもありません"},
        {"a data folder that is a file",
         [&] {
             return std::vector<std::string>{
                 "--data-folder", plant("target", ""),
                 copy(day + "KYD" + date + ".txt", "KYD" + date + ".txt")};
         },
         "target/ はフォルダではなくファイルです"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        copyTree(base, work);
        RunOptions o;
        if (c.asNobody && ::getuid() == 0) {
            openUpForNobody();
            o.user = kNobody;
        }
        std::vector<std::string> args = c.plant();
        if (args.at(0) != "--data-folder") args.insert(args.begin(), {"--data-folder", work});
        const Snapshot before = snapshot(work);
        test::Run r = runCli(args, o);
        EXPECT_TRUE(r.exited(1)) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("archive"), std::string::npos) << r.err;  // no libzip English
        EXPECT_EQ(snapshot(work), before);
        fs::permissions(in, fs::perms::all);
        if (fs::exists(in + "locked")) fs::permissions(in + "locked", fs::perms::all);
    }
}

// An archive rewritten between the reading of its headers and the decoding of its members (a
// moment the test holds open) fails as changed: no member is taken for an empty text.
TEST_F(Refusals, ArchiveReplacedWhileReadIsAFailure) {
    copyTree(base, work);
    const std::string lzh =
        copy(std::string(VELT_FAULT_DATA) + "SEB" + date + ".lzh", "SEB" + date + ".lzh");
    fs::create_directories(dir / "other");
    writeFile(dir / "other/notes.txt", "x\r\n");
    ASSERT_TRUE(jlha(dir / "other", "a", dir / "other.lzh", {"notes.txt"}));
    const Snapshot before = snapshot(work);
    RunOptions o;
    o.env = {{"VELT_TEST_PAUSE", "headers:3000"}};
    Child child = startCli({"--data-folder", work, lzh}, o);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!lockHeld(work + ".velt-lock") && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    writeFile(lzh, readFile(dir / "other.lzh"));  // in place: the same file, other bytes
    test::Run r = finishCli(child);
    EXPECT_TRUE(r.exited(1)) << r.err;
    EXPECT_NE(r.err.find(lzh + ": 書庫が読み込みの途中で変わりました"), std::string::npos) << r.err;
    EXPECT_EQ(snapshot(work), before);
}

// A write cut short by a size limit: the summary on standard output counts as written exactly the
// lines that are in MDATA.
TEST_F(Refusals, FailedFileCountsTheLinesOnDisk) {
    const std::string kyd = copy(day + "KYD" + date + ".txt", "KYD" + date + ".txt");
    for (std::size_t limit : {300u, 2000u, 7000u}) {
        SCOPED_TRACE(limit);
        fs::remove_all(work);
        makeTarget(work);
        RunOptions o;
        o.fileSizeLimit = limit;
        o.ignoreSizeSignal = true;
        o.quiet = false;
        test::Run r = runCli({"--data-folder", work, kyd}, o);
        EXPECT_TRUE(r.exited(1)) << r.err;
        std::size_t onDisk = 0;
        for (const auto& [name, bytes] : snapshot(work + "MDATA"))
            onDisk += static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
        EXPECT_NE(r.out.find("失敗しました (レコード: 読み込み "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("、書き込み " + std::to_string(onDisk) + "、"), std::string::npos)
            << onDisk << " lines on disk: " << r.out;
    }
}

// Packs whose four members each sit at the member cap: everything decoded and held at once stays
// within one budget, the pack converting included (it was one pack per input read ahead on top).
TEST_F(Refusals, PacksAtTheMemberCapStayWithinTheBudget) {
    const fs::path src = dir / "big";
    fs::create_directories(src);
    const std::pair<const char*, std::string> members[] = {
        {"KYD", text("KYD")}, {"ZEB", text("SEB")}, {"OZ", text("OZ")}, {"ZKA", text("SKA")}};
    std::vector<std::string> names;
    for (const auto& [kind, bytes] : members) {
        // One record repeated, its race key blank: a run outside JRA, placed in no file.
        const std::string line = std::string(8, ' ') + bytes.substr(8, bytes.find('\n') - 7);
        std::string member;
        member.reserve(64u << 20);
        while (member.size() + line.size() <= (64u << 20)) member += line;
        names.push_back(std::string(kind) + date + ".txt");
        writeFile(src / names.back(), member);
    }
    ASSERT_TRUE(jlha(src, "a", dir / "pack.lzh", names));
    fs::remove_all(src);
    std::vector<std::string> args = {"--data-folder", work};
    for (const char* d : {"01", "02"}) {
        args.push_back(in + "JRDB0911" + d + ".lzh");
        fs::copy_file(dir / "pack.lzh", args.back());
    }
    copyTree(base, work);
    test::Run r = runCli(args, {});
    EXPECT_TRUE(r.exited(0)) << r.err;
    EXPECT_LT(r.peakKb, 350 * 1024) << "peak " << r.peakKb / 1024 << " MB";
}

}  // namespace
}  // namespace velt
