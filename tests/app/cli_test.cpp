// velt-cli run as a process on real files in a temporary folder.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

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
        std::string pattern = (fs::temp_directory_path() / "velt-cli-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        for (const char* sub : {"prog", "in", "target/MDATA", "target/HDATA", "target/KCOM_DATA"})
            fs::create_directories(dir / sub);
        fs::copy_file(VELT_CLI, dir / "prog/velt-cli");
        samples = fs::path(VELT_TEST_DATA) / ".." / ".." / "samples";
    }
    void TearDown() override { fs::remove_all(dir); }

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
}

TEST_F(Cli, ImportsFilesByName) {
    std::string kyd = archive("KYD091122.lzh", {"KYD091122.txt"});
    std::string lap = archive("s3091122.lzh", {"JracSei1.dat"});
    fs::copy_file(samples / "SEB091122.txt", in("SEB091122.txt"));
    Result r = run({"--data-folder", target(), kyd, in("SEB091122.txt"), lap});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(contains(r.out, "すべての処理完了　V（＾0＾）"));
    EXPECT_TRUE(contains(r.out, kyd + ": imported, 332 lines read, 332 written, 0 already present"))
        << r.out;
    EXPECT_TRUE(contains(r.out, lap + ": imported, 24 lines read")) << r.out;
    EXPECT_TRUE(fs::exists(in("SEB091122.txt")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "target/MDATA"), fs::directory_iterator()),
              4);

    // Again, quietly: nothing is written and nothing is printed.
    r = run({"--quiet", "--data-folder", target(), kyd});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;  // not a terminal: no progress bar either
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
    EXPECT_TRUE(contains(r.out, "対応データで無いんです"));
    EXPECT_TRUE(contains(r.out, "すべての処理完了"));
    EXPECT_TRUE(contains(r.err, "解凍に失敗しました。No.5")) << r.err;
    EXPECT_TRUE(contains(r.err, in("SEB091122.lzh") + " の取り込みに失敗しました")) << r.err;
    EXPECT_TRUE(contains(r.err, in("notes.txt") + ": not imported")) << r.err;
    EXPECT_TRUE(contains(r.err, "OD091122.CSV")) << r.err;      // its folder is missing
    EXPECT_TRUE(contains(r.out, kyd + ": imported")) << r.out;  // the last file still went in
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
    const auto kydAt = r.out.find("KYD091122.txt: imported"), ozAt = r.out.find("OZ091122.txt:"),
               zkaAt = r.out.find("ZKA091122.txt:"), listAt = r.out.find("notes.txt");
    EXPECT_TRUE(kydAt < ozAt && ozAt < zkaAt && zkaAt < listAt && listAt != std::string::npos)
        << r.out;
    EXPECT_LT(listAt, r.out.find("すべての処理完了"));
}

}  // namespace
