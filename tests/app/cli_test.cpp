// velt-cli run as a process on real files in a temporary folder.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "../support/test_files.h"
#include "platform/file.h"

namespace {

namespace fs = std::filesystem;

using velt::test::readFile;
using velt::test::writeFile;

std::string quote(const std::string& s) {
    return "'" + s + "'";
}

bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

struct Result {
    int status;
    std::string out, err;
};

// A copy of velt-cli in a program folder of its own, so that its settings file is the test's.
class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = temp.path();
        for (const char* sub : {"prog", "in", "target/MDATA", "target/HDATA", "target/KCOM_DATA"})
            fs::create_directories(dir / sub);
        fs::copy_file(VELT_CLI, dir / "prog/velt-cli");
        samples = fs::path(VELT_TEST_DATA) / ".." / ".." / "samples";
    }

    Result run(const std::vector<std::string>& args) {
        std::string line =
            "cd " + quote(dir.string()) + " && " + quote((dir / "prog/velt-cli").string());
        for (const auto& a : args) line += " " + quote(a);
        line += " >" + quote((dir / "out").string()) + " 2>" + quote((dir / "err").string()) +
                " </dev/null";
        int raw = std::system(line.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir / "out"),
                readFile(dir / "err")};
    }

    std::string in(const std::string& name) { return (dir / "in" / name).string(); }
    std::string target() { return (dir / "target").string(); }

    // An archive in the input folder made by jlha from sample files.
    std::string archive(const std::string& name, const std::vector<std::string>& members) {
        fs::path src = dir / "src";
        fs::create_directories(src);
        std::string line = "cd " + quote(src.string()) + " && jlha a " + quote(in(name));
        for (const auto& m : members) {
            fs::copy_file(samples / m, src / m, fs::copy_options::overwrite_existing);
            line += " " + quote(m);
        }
        EXPECT_EQ(std::system((line + " >/dev/null 2>&1").c_str()), 0);
        fs::remove_all(src);
        return in(name);
    }

    velt::test::TempDir temp{"velt-cli-test"};
    fs::path dir, samples;
};

TEST_F(Cli, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--bogus", "x"},
        {"--data-folder"},
        {"--as", "KYD"},
        {"--as", "kyd", "KYD091122.txt"},
        {"--as", "KYD", "a", "b"},
        {"--quiet"},
    };
    for (const auto& args : cases) {
        Result r = run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_TRUE(r.out.empty());
        EXPECT_TRUE(contains(r.err, "velt-cli --help")) << r.err;
    }
    Result v = run({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "velt 2.0.1\n");
    Result h = run({"--help"});
    EXPECT_EQ(h.status, 0);
    EXPECT_TRUE(contains(h.out, "--set-data-folder"));
    EXPECT_TRUE(contains(h.out, "--create-year-folders"));
}

TEST_F(Cli, ImportsFilesByName) {
    std::string kyd = archive("KYD091122.lzh", {"KYD091122.txt"});
    std::string lap = archive("s3091122.lzh", {"JracSei1.dat"});
    fs::copy_file(samples / "SEB091122.txt", in("SEB091122.txt"));
    Result r = run({"--data-folder", target(), kyd, in("SEB091122.txt"), lap});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(contains(
        r.out, "3 件のファイルを取り込みました (失敗 0 件)。すべての処理完了　V（＾0＾）\n"));
    EXPECT_TRUE(contains(
        r.out, kyd + ": 取り込みました (レコード: 読み込み 332、書き込み 332、既にあり 0、不正 0)"))
        << r.out;
    EXPECT_TRUE(contains(r.out, lap + ": 取り込みました (レコード: 読み込み 24、")) << r.out;
    EXPECT_TRUE(fs::exists(in("SEB091122.txt")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "target/MDATA"), fs::directory_iterator()),
              4);

    // Again, quietly: nothing is written and nothing is printed.
    r = run({"--quiet", "--data-folder", target(), kyd});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;  // not a terminal: no progress bar either
}

// Names as users have them import exactly as JRDB's own names do.
TEST_F(Cli, NamesInAnyCaseOrCopiedImportAlike) {
    fs::create_directories(dir / "src");
    const std::string src = quote((dir / "src").string());
    ASSERT_EQ(
        std::system(("cd " + src + " && lhasa xq " + quote((samples / "PACI181201.lzh").string()) +
                     " && for f in *; do mv \"$f\" \"$(echo $f | tr A-Z a-z)\"; done && jlha a " +
                     quote(in("paci181201.lzh")) + " *.txt >/dev/null 2>&1")
                        .c_str()),
        0);
    fs::copy_file(dir / "src/kyi181201.txt", in("kyi181201.txt"));
    fs::copy_file(dir / "src/kyi181201.txt", in("KYI181201.txt"));
    for (const char* copy : {"PACI181201.lzh", "PACI181201.LZH", "PACI181201 (1).lzh"})
        fs::copy_file(samples / "PACI181201.lzh", in(copy));
    const struct {
        const char* exact;
        std::vector<const char*> asUsersHaveThem;
    } cases[] = {
        {"PACI181201.lzh", {"PACI181201.LZH", "PACI181201 (1).lzh", "paci181201.lzh"}},
        {"KYI181201.txt", {"kyi181201.txt"}},
    };
    auto import = [&](const char* name) {
        fs::remove_all(dir / "target");
        for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA"})
            fs::create_directories(dir / "target" / sub);
        Result r = run({"--create-year-folders", "--data-folder", target(), in(name)});
        EXPECT_EQ(r.status, 0) << name << r.err;
        velt::test::Tree written = velt::test::tree(dir / "target");
        std::erase_if(written,
                      [](const auto& f) { return f.first.find('/') == std::string::npos; });
        return written;  // Target's folders: the lock and the history name the input
    };
    for (const auto& c : cases) {
        const velt::test::Tree expected = import(c.exact);
        EXPECT_FALSE(expected.empty());
        for (const char* name : c.asUsersHaveThem) EXPECT_TRUE(import(name) == expected) << name;
    }
}

TEST_F(Cli, ImportsAsAButton) {
    std::string kyd = archive("KYD091122.lzh", {"KYD091122.txt"});
    Result r = run({"--data-folder", target(), "--as", "KYD", kyd});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "競走馬データを取り込みました"));
    EXPECT_FALSE(contains(r.out, "すべての処理完了"));

    // The archive holds no results: nothing of that kind to read.
    r = run({"--data-folder", target(), "--as", "SEBZEB", kyd});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "書庫に ZED, ZEC, ZEB, SEB, SEC, SED がありません")) << r.err;
    EXPECT_TRUE(contains(r.err, kyd)) << r.err;

    std::string pack = archive("JRDB091122.lzh",
                               {"KYD091122.txt", "ZEB091122.txt", "OZ091122.txt", "ZKA091122.txt"});
    fs::create_directories(dir / "target/KCOM_DATA/2009");
    r = run({"--data-folder", target(), "--as", "J", pack});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "JRDBデータを取り込みました"));
    EXPECT_TRUE(fs::exists(dir / "target/HDATA/OD091122.CSV"));
}

TEST_F(Cli, FailuresAndUnknownNamesExitOne) {
    std::string kyd = archive("KYD091122.lzh", {"KYD091122.txt"});
    std::string damaged = readFile(kyd);
    damaged[damaged.size() / 2] ^= 0x01;
    writeFile(in("SEB091122.lzh"), damaged);
    writeFile(in("notes.txt"), "hello\r\n");
    fs::remove_all(dir / "target/HDATA");
    fs::copy_file(samples / "OZ091122.txt", in("OZ091122.txt"));

    Result r = run(
        {"--data-folder", target(), in("SEB091122.lzh"), in("notes.txt"), in("OZ091122.txt"), kyd});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(
        r.err, "対応データで無いんです（ -.-）ノ-=≡≡≡卍卍(シュ)！\n取り込まなかったファイル:\n" +
                   in("notes.txt") +
                   " (ファイル名から JRDB データの種類がわかりません)\n取り込めるのは"));
    EXPECT_FALSE(contains(r.out + r.err, "すべての処理完了"));
    EXPECT_TRUE(contains(r.out, "1 件のファイルを取り込み、3 件は失敗しました。\n")) << r.out;
    EXPECT_TRUE(contains(r.err, "解凍に失敗しました。No.5")) << r.err;
    EXPECT_TRUE(contains(r.err, in("SEB091122.lzh") + " の取り込みに失敗しました")) << r.err;

    // Its folder is missing: refused before it writes, named.
    EXPECT_TRUE(contains(r.err, "データフォルダに HDATA がありません")) << r.err;
    EXPECT_TRUE(contains(r.out, kyd + ": 取り込みました")) << r.out;  // the last file still went in
}

// --extract writes every member of an archive into a folder, overwrites nothing, and writes
// nothing from a damaged archive.
TEST_F(Cli, ExtractsAnArchive) {
    std::string kyd = archive("KYD091122.lzh", {"KYD091122.txt", "SEB091122.txt"});
    fs::create_directories(dir / "unpacked");
    const std::string out = (dir / "unpacked").string();
    Result r = run({"--extract", kyd, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, out + "/KYD091122.txt\n" + out + "/SEB091122.txt\n" +
                         "2 個のファイルを書き出しました。\n");
    EXPECT_EQ(readFile(dir / "unpacked/KYD091122.txt"), readFile(samples / "KYD091122.txt"));
    EXPECT_EQ(readFile(dir / "unpacked/SEB091122.txt"), readFile(samples / "SEB091122.txt"));

    writeFile(dir / "unpacked/SEB091122.txt", "mine\r\n");
    fs::remove(dir / "unpacked/KYD091122.txt");
    r = run({"--extract", kyd, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velt-cli: " + out +
                         "/SEB091122.txt: 既にあるので書き出しませんでした (上書きしません)\n"
                         "velt-cli: " +
                         kyd + ": 1 個のファイルを書き出し、1 個は書き出しませんでした。\n");
    EXPECT_EQ(readFile(dir / "unpacked/SEB091122.txt"), "mine\r\n");
    EXPECT_TRUE(fs::exists(dir / "unpacked/KYD091122.txt"));

    std::string damaged = readFile(kyd);
    damaged[damaged.size() / 2] ^= 0x01;
    writeFile(in("bad.lzh"), damaged);
    fs::create_directories(dir / "empty");
    r = run({"--extract", in("bad.lzh"), (dir / "empty").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "velt-cli: " + in("bad.lzh") + ": 書庫が壊れています")) << r.err;
    EXPECT_TRUE(contains(r.err, in("bad.lzh") + ": 解凍に失敗しました。何も書き出していません。"))
        << r.err;
    EXPECT_TRUE(fs::is_empty(dir / "empty"));
    EXPECT_EQ(run({"--extract", kyd}).status, 2);
    EXPECT_TRUE(contains(run({"--help"}).out, "--extract ARCHIVE FOLDER"));
}

TEST_F(Cli, StoresTheDataFolderBesideTheProgram) {
    std::string kyd = archive("KYD091122.lzh", {"KYD091122.txt"});
    Result r = run({kyd});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "--set-data-folder")) << r.err;
    EXPECT_TRUE(fs::is_empty(dir / "target/MDATA"));

    r = run({"--set-data-folder", dir / "missing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "prog/velt.ini"));

    r = run({"--set-data-folder", target()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir / "prog/velt.ini"), "[Velt]\r\npath=" + target() + "/\r\n");

    r = run({kyd});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::is_empty(dir / "target/MDATA"));
}

}  // namespace

namespace {

// --as converts a file whatever its name; a folder lists what it did not import once, at the end.
TEST_F(Cli, AsKindWhateverTheNameAndFolders) {
    fs::create_directories(dir / "target/KCOM_DATA/2009");
    fs::copy_file(samples / "SEB091122.txt", in("results.txt"));
    fs::copy_file(samples / "OZ091122.txt", in("odds.txt"));
    std::string kyd = archive("horses.lzh", {"KYD091122.txt"});
    const struct {
        const char* kind;
        std::string file;
        int status;
        const char* shown;
    } cases[] = {
        {"SEBZEB", in("results.txt"), 0, "成績データを取り込みました"},
        {"SED", in("results.txt"), 0, "成績データを取り込みました"},
        {"KYD", kyd, 0, "競走馬データを取り込みました"},
        {"KYI", kyd, 1, "書庫に KYI がありません"},
        {"OZ", in("odds.txt"), 1, "オッズのファイル名が決まりません"},
    };
    for (const auto& c : cases) {
        Result r = run({"--data-folder", target(), "--as", c.kind, c.file});
        EXPECT_EQ(r.status, c.status) << c.kind << r.err;
        EXPECT_TRUE(contains(r.out + r.err, c.shown)) << c.kind << r.out << r.err;
    }

    fs::create_directories(dir / "in/day");
    for (const char* name : {"ZKA091122.txt", "KYD091122.txt", "OZ091122.txt"})
        fs::copy_file(samples / name, dir / "in/day" / name);
    writeFile(dir / "in/day/notes.txt", "hello\r\n");
    Result r = run({"--data-folder", target(), (dir / "in/day").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto kydAt = r.out.find("KYD091122.txt: 取り込みました"),
               ozAt = r.out.find("OZ091122.txt:"), zkaAt = r.out.find("ZKA091122.txt:");
    EXPECT_TRUE(kydAt < ozAt && ozAt < zkaAt && zkaAt != std::string::npos) << r.out;
    EXPECT_TRUE(
        contains(r.err, "取り込まなかったファイル:\n" + (dir / "in/day/notes.txt").string()));
    // A folder's other files are named, not counted as failures.
    EXPECT_TRUE(contains(r.out, "3 件のファイルを取り込みました (失敗 0 件)。すべての処理完了"))
        << r.out;
}

}  // namespace

namespace {

// read = written + present + malformed, from a summary line of `input`; -1 when it has none.
long unaccounted(const std::string& out, const std::string& input, long* written = nullptr) {
    std::smatch m;
    const std::regex line(
        std::regex_replace(input, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
        R"(: 取り込みました \(レコード: 読み込み (\d+)、書き込み (\d+)、既にあり (\d+)、不正 (\d+)\))");
    if (!std::regex_search(out, m, line)) return -1;
    if (written) *written = std::stol(m[2]);
    return std::stol(m[1]) - std::stol(m[2]) - std::stol(m[3]) - std::stol(m[4]);
}

// Every message a user can meet is Japanese: no line holds an English phrase.
TEST_F(Cli, EveryMessageIsJapanese) {
    std::string kyd = archive("KYD091122.lzh", {"KYD091122.txt"});
    writeFile(in("notes.txt"), "hello\r\n");
    fs::create_directories(dir / "plain");
    const std::vector<std::vector<std::string>> cases = {
        {"--help"},
        {"--bogus"},
        {"--as"},
        {"--as", "kyd", kyd},
        {"--as", "KYD", kyd, kyd},
        {},
        {kyd},  // no data folder stored
        {"--data-folder", (dir / "missing").string(), kyd},
        {"--set-data-folder", (dir / "missing").string()},
        {"--set-data-folder", (dir / "plain").string()},
        {"--data-folder", target(), kyd, in("notes.txt"), in("SEB091122.txt")},
        {"--data-folder", target(), "--as", "SEBZEB", kyd},
        {"--data-folder", target(), in("ZKA091122.txt")},
    };
    fs::copy_file(samples / "ZKA091122.txt", in("ZKA091122.txt"));
    const std::regex english(R"(\b[A-Za-z][a-z]+ [a-z]{2,} [a-z]{2,}\b)");
    for (const auto& args : cases) {
        Result r = run(args);
        SCOPED_TRACE(args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(r.out.empty() && r.err.empty());
        std::smatch m;
        const std::string all = r.out + r.err;
        EXPECT_FALSE(std::regex_search(all, m, english)) << m.str() << "\n" << all;
    }
    Result r = run({"--set-data-folder", (dir / "plain").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "Target のデータフォルダではないようです")) << r.err;
    EXPECT_TRUE(contains(readFile(dir / "prog/velt.ini"), (dir / "plain/").string()));
}

// Comment records of 2007 and 2008 with only KCOM_DATA/2009 there: the import stops naming both,
// writing nothing, or with --create-year-folders creates just those and goes on.
TEST_F(Cli, YearFoldersInOneGo) {
    fs::create_directories(dir / "target/KCOM_DATA/2009");
    std::string records;
    for (const char* date : {"20071118", "20081118", "20091122", "20071202"})
        records += std::string("050966010100000000") + date + std::string(247, ' ') + "\r\n";
    writeFile(in("ZKB091122.txt"), records);
    // In an archive taken by its kind alone, under a name without a date, they are found too.
    fs::create_directories(dir / "src");
    writeFile((dir / "src/SKB.txt").string(), records);
    ASSERT_EQ(std::system(("cd " + quote((dir / "src").string()) + " && jlha a " +
                           quote(in("notes.lzh")) + " SKB.txt >/dev/null 2>&1")
                              .c_str()),
              0);
    Result dateless = run({"--data-folder", target(), "--as", "SKB", in("notes.lzh")});
    EXPECT_EQ(dateless.status, 1) << dateless.err;
    EXPECT_TRUE(contains(dateless.err, "2007、2008")) << dateless.err;
    fs::remove_all(dir / "src");
    const std::string kyd = archive("KYD091122.lzh", {"KYD091122.txt"});
    for (const bool create : {false, true}) {
        std::vector<std::string> args = {"--data-folder", target(), kyd, in("ZKB091122.txt")};
        if (create) args.insert(args.begin(), "--create-year-folders");
        Result r = run(args);
        EXPECT_EQ(r.status, create ? 0 : 1) << r.err;
        EXPECT_TRUE(contains(r.out + r.err, "2007、2008")) << r.out << r.err;
        EXPECT_EQ(fs::is_empty(dir / "target/MDATA"), !create);
        EXPECT_EQ(fs::is_empty(dir / "target/KCOM_DATA/2009"), !create);
        std::vector<std::string> years;
        for (const auto& e : fs::directory_iterator(dir / "target/KCOM_DATA"))
            years.push_back(e.path().filename().string());
        std::sort(years.begin(), years.end());
        const std::vector<std::string> created = {"2007", "2008", "2009"}, kept = {"2009"};
        EXPECT_EQ(years, create ? created : kept);
    }
    // Velt never makes KCOM_DATA itself.
    fs::remove_all(dir / "target/KCOM_DATA");
    Result r = run({"--create-year-folders", "--data-folder", target(), in("ZKB091122.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "KCOM_DATA がありません")) << r.err;
    EXPECT_FALSE(fs::exists(dir / "target/KCOM_DATA"));
}

// Every summary counts records: a comment record is one record written, not its two lines.
TEST_F(Cli, CountsAddUp) {
    fs::create_directories(dir / "target/KCOM_DATA/2009");
    std::string pack = archive("JRDB091122.lzh",
                               {"KYD091122.txt", "ZEB091122.txt", "OZ091122.txt", "ZKA091122.txt"});
    fs::copy_file(samples / "ZKA091122.txt", in("ZKA091122.txt"));
    Result r = run({"--data-folder", target(), in("ZKA091122.txt")});
    EXPECT_TRUE(contains(r.out, "(レコード: 読み込み 332、書き込み 332、既にあり 0、不正 0)"))
        << r.out;
    long before = 0;  // the second time only the odds, which start anew, are written again
    for (int round = 0; round < 2; ++round) {
        r = run({"--data-folder", target(), pack});
        EXPECT_EQ(r.status, 0) << r.err;
        long written = -1;
        EXPECT_EQ(unaccounted(r.out, pack, &written), 0) << r.out;
        EXPECT_TRUE(round == 0 ? written > 0 : written < before) << r.out;
        before = written;
    }
}

// An import that finds another holding the data folder says so, writes nothing until it is free,
// and then imports.
TEST_F(Cli, WaitsForTheImportThatHoldsTheFolder) {
    fs::copy_file(samples / "KYD091122.txt", in("KYD091122.txt"));
    using velt::platform::FolderLock;
    std::optional<FolderLock> other = FolderLock::tryAcquire(FolderLock::fileOf(target()));
    bool wroteMeanwhile = true;
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        wroteMeanwhile = !fs::is_empty(dir / "target/MDATA");
        other.reset();
    });
    Result r = run({"--data-folder", target(), in("KYD091122.txt")});
    release.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "別の取り込みが終わるのを待っています")) << r.err;
    EXPECT_FALSE(wroteMeanwhile);
    EXPECT_FALSE(fs::is_empty(dir / "target/MDATA"));
}

// Output that cannot be written (a full disk behind standard output or error) fails the run; with
// nothing to write, nothing fails.
TEST_F(Cli, OutputThatCannotBeWrittenExitsOne) {
    fs::copy_file(samples / "KYD091122.txt", in("KYD091122.txt"));
    fs::create_directories(dir / "plain");
    const std::string cli = quote((dir / "prog/velt-cli").string()),
                      kyd = quote(in("KYD091122.txt"));
    const std::string data = " --data-folder " + quote(target()) + " ";
    const std::pair<std::string, int> cases[] = {
        {" --version >/dev/full", 1},
        {" --help >/dev/full", 1},
        {data + kyd + " >/dev/full", 1},
        {data + "--quiet " + kyd + " >/dev/full", 0},
        {" --set-data-folder " + quote((dir / "plain").string()) + " >/dev/null 2>/dev/full", 1},
    };
    for (const auto& [args, status] : cases) {
        const int raw = std::system((cli + args).c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, status) << args;
    }
}

// Control characters in names from the inputs reach the terminal escaped: a name cannot clear the
// screen or forge a line.
TEST_F(Cli, NamesAreShownEscaped) {
    const fs::path folder = dir / "in" / "e\x1b[2J\rvelt-cli: all fine";
    fs::create_directories(folder);
    fs::copy_file(samples / "KYD091122.txt", folder / "KYD091122.txt");
    writeFile(folder / "SEB091122.txt", "hello\r\n");
    writeFile(folder / "n\x1b]0;t\x07.txt", "");
    Result r = run({"--data-folder", target(), folder.string()});
    EXPECT_EQ(r.status, 1);
    for (const std::string& text : {r.out, r.err}) {
        EXPECT_EQ(text.find_first_of("\x1b\r\x07"), std::string::npos) << text;
    }
    EXPECT_TRUE(contains(r.out, "e\\x1b[2J\\rvelt-cli: all fine/KYD091122.txt: 取り込みました"))
        << r.out;
    EXPECT_TRUE(contains(r.err, "e\\x1b[2J\\rvelt-cli: all fine/SEB091122.txt の取り込みに失敗"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "/n\\x1b]0;t\\x07.txt")) << r.err;
}

// --dry-run tells the plan and the year folders, and leaves the data folder as it was.
TEST_F(Cli, DryRunTellsThePlanAndWritesNothing) {
    fs::create_directories(dir / "in/day");
    for (const char* f : {"KYD091122.txt", "SKA091122.txt", "README.md"})
        fs::copy_file(samples / f, dir / "in/day" / f);
    fs::copy_file(samples / "PACI181201.lzh", in("PACI181201.lzh"));
    ASSERT_EQ(std::system(("cd " + quote(samples.string()) +
                           " && python3 -c \"import zipfile,sys; "
                           "z=zipfile.ZipFile(sys.argv[1],'w'); z.write('ZKA091122.txt'); "
                           "z.close()\" " +
                           quote(in("ZKA_2009.zip")))
                              .c_str()),
              0);
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> said;
        int status;
    };
    const Case cases[] = {
        {{in("day")},
         {"KYD091122.txt: 競走馬データ", "SKA091122.txt: 成績拡張ファイル",
          "README.md: 対応データではありません", "要る年のフォルダ (KCOM_DATA): 2009"},
         1},
        {{in("PACI181201.lzh")},
         {"PACI181201.lzh: パック", "  KYI181201.txt → 競走馬データ (日付 181201)",
          "  ZKB181201.txt → 成績拡張ファイル", "そのうちないもの: "},
         0},
        {{in("ZKA_2009.zip")},
         {"ZKA_2009.zip: 年ごとの ZIP", "  ZKA091122.txt → 成績拡張ファイル"},
         0},
    };
    const auto before = velt::test::tree(dir / "target", true);
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--data-folder", target(), "--dry-run"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Result r = run(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const auto& s : c.said) EXPECT_TRUE(contains(r.out, s)) << s << "\n" << r.out;
        EXPECT_EQ(velt::test::tree(dir / "target", true), before);
    }
}

}  // namespace

TEST_F(Cli, HistoryListsEachInputOnceAndAReimportSaysSo) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(samples))
        if (e.path().filename() != "README.md") {
            names.push_back(e.path().filename().string());
            fs::copy_file(e.path(), in(names.back()));
        }
    Result first = run({"--data-folder", target(), "--create-year-folders", in("")});
    ASSERT_EQ(first.status, 0) << first.err;
    const auto written = velt::test::tree(dir / "target/MDATA");
    const auto odds = velt::test::tree(dir / "target/HDATA");
    const auto comments = velt::test::tree(dir / "target/KCOM_DATA");

    Result history = run({"--data-folder", target(), "--history"});
    ASSERT_EQ(history.status, 0) << history.err;
    Result again = run({"--data-folder", target(), in("")});
    ASSERT_EQ(again.status, 0) << again.err;
    const std::regex when(R"((\d{4}-\d{2}-\d{2}) \d{2}:\d{2}:\d{2})");
    for (const auto& name : names) {
        // Once, with the counts the import printed.
        const std::size_t at = first.out.find(in(name) + ": ");
        ASSERT_NE(at, std::string::npos) << name;
        const std::size_t from = at + in(name).size() + 2;
        const std::string counts = first.out.substr(from, first.out.find('\n', at) - from);
        const std::size_t shown = history.out.find("  " + name + " (");
        ASSERT_NE(shown, std::string::npos) << name << history.out;
        EXPECT_TRUE(
            contains(history.out.substr(shown, history.out.find('\n', shown) - shown), counts))
            << name << ": " << counts;
        EXPECT_EQ(history.out.find("  " + name + " (", shown + 1), std::string::npos);
        // Again: said to be in already, with the day of the first import.
        const std::size_t second = again.out.find(in(name) + ": ");
        const std::string line = again.out.substr(second, again.out.find('\n', second) - second);
        std::smatch date;
        EXPECT_TRUE(std::regex_search(history.out, date, when)) << history.out;
        EXPECT_TRUE(contains(line, " 以前に取り込み済み (" + date[1].str() + ")")) << line;
    }
    EXPECT_TRUE(contains(history.out, "2009-11-22\t○\t○\t○\t○\t○\t"));
    EXPECT_TRUE(contains(history.out, "2018-12-01\t○\t×\t○\t×\t×\tPACI181201.lzh\n"));
    EXPECT_EQ(velt::test::tree(dir / "target/MDATA"), written);
    EXPECT_EQ(velt::test::tree(dir / "target/HDATA"), odds);
    EXPECT_EQ(velt::test::tree(dir / "target/KCOM_DATA"), comments);
    EXPECT_EQ(run({"--history", "x"}).status, 2);
}
