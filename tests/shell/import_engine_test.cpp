#include "shell/import_engine.h"

// The engine's tests make archives with jlha and generated data with Python, set TMPDIR, fork and
// plant pipes: POSIX only. On Windows the engine is checked as a whole by
// tests/windows/compare_with_linux.sh, which imports archives with velt-cli.exe under Wine.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "convert/record.h"
#include "shell/history.h"
#include "shell/lha_archive.h"
#include "shell/recognition.h"
#include "shell_test_util.h"

namespace velt {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

const std::string kSamples = std::string(VELT_TEST_DATA) + "/../../samples/";

std::string sample(const std::string& name) {
    return readFile(kSamples + name);
}

std::size_t lineCount(const std::string& text) {
    return splitLines(text).size();
}

// Every file and folder under a folder, files with their bytes, to show that nothing changed; the
// data folder's lock file, which stays, and its history, which every import adds to, left out.
test::Tree snapshot(const std::string& folder) {
    test::Tree tree = test::tree(folder, true);
    tree.erase(".velt-lock");
    tree.erase(kHistoryFileName);
    return tree;
}

// A Target folder, a program folder holding its settings file, an input folder and a private
// temporary folder (TMPDIR) in which the engine's work folders must not outlive an import.
class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub :
             {"target/MDATA", "target/HDATA", "target/KCOM_DATA", "prog", "in", "tmp"})
            fs::create_directories(dir / sub);
        writeFile(dir / "prog/velt.ini", "[Velt]\r\npath=" + target() + "\r\n");
        oldTmp_ = getenv("TMPDIR") ? getenv("TMPDIR") : "";
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        engine.setDataFolder(target());
    }
    void TearDown() override {
        EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "a work folder was left behind";
        EXPECT_EQ(readFile(dir / "prog/velt.ini"), "[Velt]\r\npath=" + target() + "\r\n");
        EXPECT_EQ(snapshot(dir / "prog").size(), 1u);
        if (oldTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp_.c_str(), 1);
    }

    std::string target() const { return dir / "target/"; }

    // An archive in the input folder holding the named members (name -> bytes).
    std::string archive(const std::string& name,
                        const std::vector<std::pair<std::string, std::string>>& members) {
        test::TempDir src;
        std::vector<std::string> names;
        for (const auto& [n, bytes] : members) {
            writeFile(src / n, bytes);
            names.push_back(n);
        }
        EXPECT_TRUE(test::jlha(src.path(), "a", dir / ("in/" + name), names));
        return dir / ("in/" + name);
    }

    test::TempDir dir;
    test::RecordingMessages messages;
    ImportEngine engine{messages};

private:
    std::string oldTmp_;
};

TEST_F(Engine, ButtonImportsAnArchiveAndLeavesNothingBehind) {
    const std::string kyd = sample("KYD091122.txt");
    std::string path = archive("KYD091122.lzh", {{"KYD091122.txt", kyd}});
    auto inputs = snapshot(dir / "in");

    ImportSummary s = engine.importAs(Button::KYD, path);
    EXPECT_TRUE(s.recognised);
    EXPECT_TRUE(s.succeeded) << s.error;
    EXPECT_EQ(s.linesRead, lineCount(kyd));
    EXPECT_EQ(s.linesWritten, lineCount(kyd));
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"競走馬データを取り込みました"});
    EXPECT_TRUE(messages.failures.empty());
    EXPECT_GT(messages.progressCalls, 0);
    EXPECT_EQ(snapshot(dir / "in"), inputs);
    auto written = snapshot(target());
    EXPECT_EQ(written.size(), 5u);  // two MD files beside the three folders

    // Again: every record is present, no file changes.
    s = engine.importAs(Button::KYD, path);
    EXPECT_TRUE(s.succeeded);
    EXPECT_EQ(s.linesWritten, 0u);
    EXPECT_EQ(s.present, lineCount(kyd));
    EXPECT_EQ(snapshot(target()), written);
}

// Archives are read in memory: nothing is made in the temporary folder, and what others left
// there (a killed process's folder included) is not touched.
TEST_F(Engine, ArchivesLeaveTheTemporaryFolderAlone) {
    pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    const fs::path stale = dir / ("tmp/velt-" + std::to_string(child) + "-AbC123");
    const fs::path other = dir / "tmp/velt-notes";
    for (const fs::path& p : {stale, other}) fs::create_directories(p / "sub");
    writeFile(stale / "KYD091122.txt", "left over");
    const auto before = snapshot(dir / "tmp");

    std::string path = archive("KYD091122.lzh", {{"KYD091122.txt", sample("KYD091122.txt")}});
    EXPECT_TRUE(engine.importAs(Button::KYD, path).succeeded);
    EXPECT_EQ(snapshot(dir / "tmp"), before);
    fs::remove_all(stale);
    fs::remove_all(other);
}

// A chosen text file is read where it lies and kept; the current folder plays no part.
TEST_F(Engine, TextFilesAreReadWhereTheyLieAndKept) {
    const std::string seb = sample("SEB091122.txt");
    writeFile(dir / "in/SEB091122.txt", seb);
    fs::path cwd = fs::current_path();
    fs::current_path(dir / "tmp");
    ImportSummary s = engine.importAs(Button::SEBZEB, dir / "in/SEB091122.txt");
    fs::current_path(cwd);
    EXPECT_TRUE(s.succeeded) << s.error;
    EXPECT_EQ(s.linesRead, lineCount(seb));
    EXPECT_EQ(readFile(dir / "in/SEB091122.txt"), seb);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"成績データを取り込みました"});

    // An empty text file converts nothing and still succeeds.
    writeFile(dir / "in/ZEB091122.txt", "");
    s = engine.importAs(Button::SEBZEB, dir / "in/ZEB091122.txt");
    EXPECT_TRUE(s.succeeded);
    EXPECT_EQ(s.linesRead, 0u);

    // An archive whose name does not end in ".lzh" is not fed to the converters as text.
    writeFile(dir / "in/KYD091122.lha", readFile(archive("k.lzh", {{"KYD091122.txt", "x"}})));
    s = engine.importAs(Button::KYD, dir / "in/KYD091122.lha");
    EXPECT_FALSE(s.succeeded);
    EXPECT_NE(s.error.find("LHA 書庫です"), std::string::npos) << s.error;
    EXPECT_EQ(snapshot(dir / "target/MDATA").size(), 2u);  // the two MS files of SEB
}

TEST_F(Engine, EmptyDataFolderIsRefusedBeforeAnythingIsRead) {
    std::string path = archive("KYD091122.lzh", {{"KYD091122.txt", sample("KYD091122.txt")}});
    engine.setDataFolder("");
    ImportSummary s = engine.importAs(Button::KYD, path);
    EXPECT_TRUE(s.recognised);
    EXPECT_FALSE(s.succeeded);
    ASSERT_EQ(messages.failures.size(), 1u);
    EXPECT_NE(messages.failures[0].find("「設定」"), std::string::npos);
    EXPECT_NE(messages.failures[0].find("velt-cli --set-data-folder"), std::string::npos);
    EXPECT_TRUE(messages.shown.empty());

    auto sums = engine.importFiles({path, dir / "in/other.xyz"}, false);
    ASSERT_EQ(sums.size(), 2u);
    EXPECT_FALSE(sums[0].succeeded);
    EXPECT_EQ(messages.failures.size(), 2u);  // one report for the whole drop
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(snapshot(target()).size(), 3u);

    engine.setDataFolder(dir / "target");  // the final separator is added
    EXPECT_EQ(engine.dataFolder(), target());
    EXPECT_EQ(engine.context().dataFolder, target());
}

TEST_F(Engine, PacksNeedOnlyTheMembersTheyConvert) {
    std::vector<std::pair<std::string, std::string>> members;
    for (const char* kind : {"KYD", "OZ", "ZEB", "ZKA"}) {
        std::string name = std::string(kind) + "091122.txt";
        members.push_back({name, sample(name)});
    }
    fs::create_directories(dir / "target/KCOM_DATA/2009");
    std::string path = archive("JRDB091122.lzh", members);
    ImportSummary s = engine.importAs(Button::J, path);
    EXPECT_TRUE(s.succeeded) << s.error;
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"JRDBデータを取り込みました"});
    EXPECT_EQ(engine.context().fileDate.substr(0, 4), "2009");  // set by the comments converter
    EXPECT_TRUE(test::exists(dir / "target/HDATA/OD091122.CSV"));

    // Without ZEB the pack fails naming it, before anything is converted.
    members.erase(members.begin() + 2);
    test::TempDir other;
    engine.setDataFolder(other.path());
    for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA/2009"})
        fs::create_directories(other / sub);
    path = archive("JRDB091123.lzh", members);
    s = engine.importAs(Button::J, path);
    EXPECT_FALSE(s.succeeded);
    EXPECT_NE(s.error.find("ZEB091123.txt"), std::string::npos) << s.error;
    EXPECT_EQ(s.linesRead, 0u);
    EXPECT_EQ(snapshot(other.path()).size(), 4u);  // only the folders
}

// A damaged archive: the extraction's message, a report, nothing converted, nothing left.
TEST_F(Engine, DamagedArchiveConvertsNothing) {
    std::string path = archive("KYD091122.lzh", {{"KYD091122.txt", sample("KYD091122.txt")}});
    std::string bytes = readFile(path);
    bytes[bytes.size() * 3 / 4] ^= 0x10;
    writeFile(path, bytes);
    ImportSummary s = engine.importAs(Button::KYD, path);
    EXPECT_FALSE(s.succeeded);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"解凍に失敗しました。No.5"});
    ASSERT_EQ(messages.failures.size(), 1u);
    EXPECT_NE(messages.failures[0].find("KYD091122.lzh"), std::string::npos);
    EXPECT_NE(messages.failures[0].find("壊れて"), std::string::npos) << messages.failures[0];
    EXPECT_EQ(snapshot(target()).size(), 3u);

    s = engine.importAs(Button::KYD, dir / "in/KYD991231.lzh");
    EXPECT_FALSE(s.succeeded);
    EXPECT_EQ(messages.shown.back().text, "ファイルが見つかりません。No.4");
}

// A file the import would write that cannot be written (a folder in its place) stops the import
// before its first line: the files of the racecourse before it are not half written either.
TEST_F(Engine, OutputThatCannotBeWrittenStopsBeforeWriting) {
    const std::string kyd = sample("KYD091122.txt");
    writeFile(dir / "in/KYD091122.txt", kyd);
    ASSERT_TRUE(engine.importAs(Button::KYD, dir / "in/KYD091122.txt").succeeded);
    auto complete = snapshot(dir / "target/MDATA");
    ASSERT_EQ(complete.size(), 2u);

    test::TempDir other;
    fs::create_directories(other / "MDATA");
    const std::string secondFile = std::prev(complete.end())->first;
    fs::create_directories(other / ("MDATA/" + secondFile));
    engine.setDataFolder(other.path());
    ImportSummary s = engine.importAs(Button::KYD, dir / "in/KYD091122.txt");
    EXPECT_FALSE(s.succeeded);
    EXPECT_EQ(s.linesRead, 0u);
    const std::string& report = messages.failures.at(0);
    EXPECT_NE(report.find(secondFile + ": ファイルに書き込めません: 同じ名前のフォルダがあります。"
                                       "何も書き込んでいません"),
              std::string::npos)
        << report;
    EXPECT_EQ(snapshot(other / "MDATA").size(), 1u);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"競走馬データを取り込みました"});
}

// A drop goes on after an unsupported or failed file; after a failure it ends without the
// completion message.
TEST_F(Engine, DropReportsEachFileAndGoesOn) {
    std::string kyd = archive("KYD091122.lzh", {{"KYD091122.txt", sample("KYD091122.txt")}});
    std::string lap = archive("s3091122.lzh", {{"JracSei1.dat", sample("JracSei1.dat")}});
    std::string badLap = archive("s3091123.lzh", {{"other.txt", "x\r\n"}});
    std::string unknown = archive("KYH091122.lzh", {{"KYH091122.txt", "x\r\n"}});
    std::string pack = archive("JRDB091122.lzh", {{"KYD091122.txt", "x"}});
    writeFile(dir / "in/OZ091122.txt", sample("OZ091122.txt"));
    writeFile(dir / "prog/JracSei1.dat", sample("JracSei1.dat"));  // stale, must not be read

    auto sums = engine.importFiles({badLap, kyd, dir / "in/missing/SEB091122.txt", unknown, pack,
                                    dir / "in/OZ091122.txt", lap},
                                   false);
    fs::remove(dir / "prog/JracSei1.dat");
    ASSERT_EQ(sums.size(), 7u);
    const bool recognised[] = {true, true, true, false, true, true, true};
    const bool succeeded[] = {false, true, false, false, false, true, true};
    for (std::size_t i = 0; i < sums.size(); ++i) {
        SCOPED_TRACE(sums[i].input);
        EXPECT_EQ(sums[i].recognised, recognised[i]);
        EXPECT_EQ(sums[i].succeeded, succeeded[i]);
    }
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(messages.texts()[0].rfind("対応データで無いんです（ -.-）ノ-=≡≡≡卍卍(シュ)！\n"
                                        "取り込まなかったファイル:\n" +
                                            unknown +
                                            " (ファイル名から JRDB データの種類がわかりません)\n"
                                            "取り込めるのは KYD/KYG/KYI、",
                                        0),
              0u)
        << messages.texts()[0];
    ASSERT_EQ(messages.failures.size(), 3u);
    EXPECT_NE(messages.failures[0].find("JracSei1.dat がありません"), std::string::npos);
    EXPECT_NE(messages.failures[1].find("SEB091122.txt"), std::string::npos);
    EXPECT_NE(messages.failures[2].find("成績データ (ZED091122.txt"), std::string::npos);
    EXPECT_EQ(sums[6].linesRead, lineCount(sample("JracSei1.dat")));
    EXPECT_EQ(engine.context().fileDate, "091122");
    EXPECT_NE(engine.context().oddsStartFlag, 0);
    EXPECT_TRUE(test::exists(dir / "target/HDATA/OD091122.CSV"));

    // The command line's list also takes packs and the lap file by name.
    messages.shown.clear();
    writeFile(dir / "in/JracSei1.dat", sample("JracSei1.dat"));
    sums = engine.importFiles({dir / "in/JracSei1.dat", pack}, true);
    EXPECT_TRUE(sums[0].succeeded) << sums[0].error;
    EXPECT_EQ(sums[0].present, lineCount(sample("JracSei1.dat")));
    EXPECT_TRUE(sums[1].recognised);
    EXPECT_FALSE(sums[1].succeeded);  // its ZEB, OZ and ZKA members are missing
    EXPECT_TRUE(messages.texts().empty());
    EXPECT_TRUE(engine.importFiles({}, false).empty());
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"すべての処理完了　V（＾0＾）"});
}

// A member named like the settings file lands in the work folder, not beside the program.
// A cancel stops between inputs: the inputs begun are whole, the others not begun, and the run
// does not end as complete.
TEST_F(Engine, CancelStopsBetweenInputs) {
    struct Cancelling : test::RecordingMessages {
        int asked = 0, after = 0;
        bool cancelled() override { return ++asked > after; }
    };
    writeFile(dir / "in/KYD091122.txt", sample("KYD091122.txt"));
    writeFile(dir / "in/OZ091122.txt", sample("OZ091122.txt"));
    for (int after : {0, 1}) {
        SCOPED_TRACE(after);
        fs::remove(dir / "target/HDATA/OD091122.CSV");
        Cancelling cancelling;
        cancelling.after = after;
        ImportEngine e(cancelling);
        e.setDataFolder(target());
        const auto sums = e.importFiles({dir / "in/KYD091122.txt", dir / "in/OZ091122.txt"}, false);
        ASSERT_EQ(sums.size(), 2u);
        EXPECT_TRUE(sums[0].succeeded);
        EXPECT_EQ(sums[0].linesRead, lineCount(sample("KYD091122.txt")));
        EXPECT_EQ(sums[1].cancelled, after == 0);
        EXPECT_EQ(test::exists(dir / "target/HDATA/OD091122.CSV"), after > 0);
        EXPECT_EQ(cancelling.texts().empty(), after == 0);
    }
}

TEST_F(Engine, MembersNeverReachTheProgramFolder) {
    std::string path = archive("KYD091122.lzh", {{"KYD091122.txt", sample("KYD091122.txt")},
                                                 {"velt.ini", "[Velt]\r\npath=/evil/\r\n"},
                                                 {"readme.html", "evil"}});
    ImportSummary s = engine.importAs(Button::KYD, path);
    EXPECT_TRUE(s.succeeded) << s.error;
}

// Hostile inputs, each imported in a child process: bombs fail from their headers with a message
// and little memory, undecoded when not converted; pipes and devices are refused unread; odd
// paths import; running out of memory is told in words. Nothing goes to the temporary folder.
TEST_F(Engine, HostileInputsFailFastInWords) {
    const std::string data = std::string(VELT_TEST_DATA) + "/archives/";
    fs::create_directories(dir / "in/r\"x/-y");
    for (const char* bomb : {"zeros", "lines"}) {
        fs::create_directories(dir / ("in/" + std::string(bomb)));
        fs::copy_file(data + bomb + ".lzh", dir / ("in/" + std::string(bomb) + "/KYD091122.lzh"));
    }
    const std::string seb =
        archive("r\"x/-y/SEB091122.lzh", {{"SEB091122.txt", sample("SEB091122.txt")}});
    // The results archive with a 200 MB member of zeros behind it, which it does not convert.
    std::string beside =
        readFile(archive("SEB091123.lzh", {{"SEB091123.txt", sample("SEB091122.txt")}}));
    beside.pop_back();  // the end mark: the bomb's member follows
    writeFile(dir / "in/SEB091123.lzh", beside + readFile(data + "zeros.lzh"));
    ASSERT_EQ(::mkfifo((dir / "in/KYD091122.lzh").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "in/SEB091124.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "in/SED_2009.zip").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "in/KYD091124.txt");
    writeFile(dir / "in/KYD091125.txt", "");
    fs::resize_file(dir / "in/KYD091125.txt", 200u << 20);  // sparse
    struct Case {
        const char* what;
        std::string path;
        const char* error;  // a piece of the report, or nullptr: imported
        bool lowMemory = false;
    } cases[] = {
        {"archive bomb", dir / "in/zeros/KYD091122.lzh", "200000000 バイト) が大きすぎます"},
        {"line bomb", dir / "in/lines/KYD091122.lzh", "100000000 バイト) が大きすぎます"},
        {"bomb beside the member", dir / "in/SEB091123.lzh", nullptr},
        {"pipe named as an archive", dir / "in/KYD091122.lzh", "通常のファイルではありません"},
        {"pipe named as a text", dir / "in/SEB091124.txt", "通常のファイルではありません"},
        {"pipe named as a yearly ZIP", dir / "in/SED_2009.zip", "通常のファイルではありません"},
        {"link to /dev/zero", dir / "in/KYD091124.txt", "通常のファイルではありません"},
        {"path holding a quote", seb, nullptr},
        {"relative path starting with -", "-y/SEB091122.lzh", nullptr},
        {"out of memory", dir / "in/KYD091125.txt", "KYD091125.txt: メモリが足りません", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t child = fork();
        if (child == 0) {
            ::alarm(30);  // a hang fails the case
            if (::chdir((dir / "in/r\"x").c_str()) != 0) _exit(3);
            if (c.lowMemory) {
                long pages = 0;
                std::ifstream("/proc/self/statm") >> pages;
                const rlim_t limit =
                    static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE)) + (64u << 20);
                rlimit rl{limit, limit};
                ::setrlimit(RLIMIT_AS, &rl);
            }
            ImportSummary s = engine.importFiles({c.path}, true).at(0);
            const std::string result = (s.succeeded ? "ok" : "failed") + ("\n" + s.error);
            if (::write(out[1], result.data(), result.size()) < 0) _exit(2);
            _exit(0);
        }
        ::close(out[1]);
        std::string result;
        char buf[4096];
        for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) result.append(buf, n);
        ::close(out[0]);
        int status = 0;
        rusage usage{};
        ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ADD_FAILURE() << "hung or died: " << status;
            continue;
        }
        EXPECT_EQ(result.rfind(c.error ? "failed" : "ok", 0), 0u) << result;
        if (c.error) {
            EXPECT_NE(result.find(c.error), std::string::npos) << result;
        }
        EXPECT_LT(usage.ru_maxrss, 100 * 1024) << "KB at most";
        EXPECT_TRUE(fs::is_empty(dir / "tmp"));
    }
}

// ---- Today's downloads: longer layouts, new names, packs of two shapes, yearly ZIPs, folders.

namespace today {

// Every line of a sample extended to `length` bytes, as JRDB's newer layouts append fields.
std::string extended(const std::string& text, std::size_t length, std::size_t lines = SIZE_MAX) {
    std::string out;
    for (std::string_view line : splitLines(text)) {
        if (lines-- == 0) break;
        std::string rec(line);
        for (std::size_t i = rec.size(); i < length; ++i) rec += static_cast<char>('0' + i % 10);
        out += rec + "\r\n";
    }
    return out;
}

// The sample kind a today's kind stands for, and its record length.
struct Layout {
    const char* kind;
    const char* old;
    std::size_t length;
};
const Layout kLayouts[] = {{"KYD", "KYD", 430}, {"KYG", "KYD", 543}, {"KYI", "KYD", 1022},
                           {"SEB", "SEB", 330}, {"SEC", "SEB", 344}, {"SED", "SEB", 374},
                           {"ZEB", "ZEB", 330}, {"ZEC", "ZEB", 344}, {"ZED", "ZEB", 374},
                           {"SKA", "SKA", 280}, {"SKB", "SKA", 302}, {"ZKA", "ZKA", 280},
                           {"ZKB", "ZKA", 302}, {"OZ", "OZ", 955}};

std::string member(const std::string& kind) {
    for (const Layout& l : kLayouts)
        if (kind == l.kind) return extended(sample(std::string(l.old) + "091122.txt"), l.length);
    return "0509110101 not read\r\n";  // a kind Velt does not read
}

}  // namespace today

class Today : public Engine {
protected:
    // A fresh Target folder that the engine writes into from now on.
    std::string freshTarget(const std::string& name) {
        for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA/2009"})
            fs::create_directories(dir / (name + "/" + sub));
        engine.setDataFolder(dir / name);
        return dir / name;
    }
    std::vector<std::pair<std::string, std::string>> members(const std::string& kinds) {
        std::vector<std::pair<std::string, std::string>> m;
        std::istringstream in(kinds);
        for (std::string k; in >> k;) m.push_back({k + "091122.txt", today::member(k)});
        return m;
    }
    // What the 2009 pack writes: the reference every shape of today must match.
    std::map<std::string, std::string> oldPackOutput() {
        const std::string t = freshTarget("old");
        EXPECT_TRUE(engine
                        .importAs(Button::J, archive("JRDB091122.lzh",
                                                     members("KYD ZEB OZ ZKA BA JOA OW UKA")))
                        .succeeded);
        return snapshot(t);
    }
};

// One record of every layout length, each imported twice: the output is byte for byte that of
// the same record under its old kind name, and the second import changes nothing.
TEST_F(Today, EveryLayoutLengthConvertsAsItsOldKind) {
    for (const today::Layout& l : today::kLayouts) {
        SCOPED_TRACE(l.kind);
        const std::string old = std::string(l.old) + "091122.txt";
        const std::string name = std::string(l.kind) + "091122.txt";
        writeFile(dir / ("in/" + old), today::extended(sample(old), 0, 3));
        writeFile(dir / ("in/" + name), today::extended(sample(old), l.length, 3));
        const std::string a = freshTarget(std::string("a") + l.kind);
        ASSERT_TRUE(engine.importFiles({dir / ("in/" + old)}, false)[0].succeeded);
        const std::string b = freshTarget(std::string("b") + l.kind);
        for (int round = 0; round < 2; ++round) {
            ImportSummary s = engine.importFiles({dir / ("in/" + name)}, false)[0];
            EXPECT_TRUE(s.succeeded) << s.error;
            // The odds file is written afresh each time, with the same bytes.
            if (std::string(l.kind) != "OZ") {
                EXPECT_EQ(s.linesWritten == 0, round == 1);
            }
            EXPECT_EQ(s.malformed, 0u);
            EXPECT_EQ(snapshot(b), snapshot(a));
        }
    }
}

TEST_F(Today, PacksOfEveryShape) {
    const auto expected = oldPackOutput();
    struct Case {
        const char* name;
        const char* kinds;
        const char* missing;  // what the failure names, or nullptr
    } cases[] = {
        {"JRDB091122.lzh", "KYD ZEB OZ ZKA BA JOA OW UKA", nullptr},
        {"JRDB091122.lzh", "KYG ZEC OZ OW OU OT JOA UKC ZKB BAB KAA CYA KKA", nullptr},
        {"PACI091122.lzh", "KYI ZED OZ OW OU OT JOA UKC ZKB BAC KAB CYB CHA KKA", nullptr},
        {"PACI091122.lzh", "KYI ZED OZ OW",
         "成績拡張ファイル (ZKB091122.txt, ZKA091122.txt のどれか)"},
        {"PACI091122.lzh", "ZED OZ ZKB",
         "競走馬データ (KYI091122.txt, KYG091122.txt, KYD091122.txt"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kinds);
        auto m = members(c.kinds);
        for (auto& [name, bytes] : m)  // a past run without a race key, as ZEC holds
            if (name.rfind("ZEC", 0) == 0) bytes += std::string(8, ' ') + "01 no key\r\n";
        const std::string t = freshTarget("t" + std::to_string(n++));
        fs::remove(dir / ("in/" + std::string(c.name)));  // jlha adds to an archive that exists
        const std::string path = archive(c.name, m);
        for (int round = 0; round < 2; ++round) {
            ImportSummary s = engine.importFiles({path}, false)[0];
            EXPECT_EQ(s.succeeded, c.missing == nullptr) << s.error;
            if (c.missing) {
                EXPECT_NE(s.error.find(c.missing), std::string::npos) << s.error;
                EXPECT_EQ(snapshot(t).size(), 4u);  // nothing but the folders
                break;
            }
            EXPECT_EQ(snapshot(t), expected);  // the odds file is written afresh, the same
        }
    }
}

// A year of daily files in a ZIP: converted in date order, whatever the order in the archive;
// a damaged member fails the whole archive before anything is written.
TEST_F(Today, YearlyZipOfSeveralDays) {
    const std::string old = freshTarget("old");
    writeFile(dir / "in/SEB091122.txt", sample("SEB091122.txt"));
    ASSERT_TRUE(engine.importFiles({dir / "in/SEB091122.txt"}, false)[0].succeeded);
    const auto expected = snapshot(old);

    const std::string seb = sample("SEB091122.txt");
    const auto lines = splitLines(seb);
    const std::string days[] = {"091128", "091121", "091122"};  // stored in this order
    const std::size_t firsts[] = {2 * lines.size() / 3, 0, lines.size() / 3, lines.size()};
    test::TempDir src;
    std::string line = "cd '" + src.path() + "' && zip -q -0 '" + (dir / "in/SED_2009.zip") + "'";
    for (int d : {0, 1, 2}) {
        std::string part;
        for (std::size_t i = firsts[d]; i < firsts[d == 0 ? 3 : d == 1 ? 2 : 0]; ++i)
            part += std::string(lines[i]) + "\r\n";
        writeFile(src / ("SED" + days[d] + ".txt"), today::extended(part, 374));
        line += " SED" + days[d] + ".txt";
    }
    writeFile(src / "readme.txt", "not a daily file\r\n");
    ASSERT_EQ(std::system((line + " readme.txt").c_str()), 0);

    const std::string t = freshTarget("zip");
    for (int round = 0; round < 2; ++round) {
        ImportSummary s = engine.importFiles({dir / "in/SED_2009.zip"}, true)[0];
        EXPECT_TRUE(s.succeeded) << s.error;
        EXPECT_EQ(s.linesRead, lines.size());
        EXPECT_EQ(snapshot(t), expected);
    }
    // One byte of the second day's text changed: its CRC no longer matches.
    std::string bytes = readFile(dir / "in/SED_2009.zip");
    const auto at = bytes.find(std::string(lines[lines.size() / 3 + 1]));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 20] ^= 0x01;
    writeFile(dir / "in/SED_2009.zip", bytes);
    const std::string d = freshTarget("damaged");
    ImportSummary s = engine.importFiles({dir / "in/SED_2009.zip"}, true)[0];
    EXPECT_FALSE(s.succeeded);
    EXPECT_NE(s.error.find("SED091122.txt の CRC が合いません"), std::string::npos) << s.error;
    EXPECT_EQ(snapshot(d).size(), 4u);
}

// A folder: its recognised files by date and in the order of a pack, the others listed once.
TEST_F(Today, FolderImportsItsRecognisedFiles) {
    const auto expected = oldPackOutput();
    for (const auto& [name, bytes] : members("ZKB OZ KYI ZED BAC"))
        writeFile(dir / ("in/day/" + name), bytes);
    writeFile(dir / "in/day/notes.txt", "hello\r\n");
    const std::string t = freshTarget("folder");
    for (int round = 0; round < 2; ++round) {
        messages.shown.clear();
        auto sums = engine.importFiles({dir / "in/day"}, false);
        std::vector<std::string> order;
        for (const auto& s : sums) order.push_back(fs::path(s.input).filename().string());
        EXPECT_EQ(order, (std::vector<std::string>{"KYI091122.txt", "ZED091122.txt", "OZ091122.txt",
                                                   "ZKB091122.txt"}));
        EXPECT_EQ(snapshot(t), expected);
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_NE(messages.shown[0].text.find("BAC091122.txt"), std::string::npos);
        EXPECT_NE(messages.shown[0].text.find("notes.txt"), std::string::npos);
        EXPECT_EQ(messages.shown[1].text, kDropCompleteMessage);
    }
}

// Bytes that are no text of the kind are refused before anything is written; a few odd lines
// among good ones are not a sign.
TEST_F(Today, FilesThatAreNotTextWriteNothing) {
    std::string controls, highBytes;
    for (int i = 0; i < 50; ++i) {
        controls += "0509\x01\x02\x03\x04 some\x1b[0m text\r\n";
        highBytes += "\x80\xfd\xfe\xff\xa0 not cp932 \x85\r\n";
    }
    std::string someOdd = sample("ZEB091122.txt");
    someOdd += "\x01\x02 odd line\r\n\xff\xfe\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        bool refused;
    } cases[] = {
        {"ZEB091128.txt", readFile("/proc/self/exe"), true},
        {"KYI091128.txt", controls, true},
        {"SKB091128.txt", highBytes, true},
        {"ZEB091122.txt", someOdd, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir / ("in/" + std::string(c.name)), c.bytes);
        const std::string t = freshTarget(std::string("t") + c.name);
        ImportSummary s = engine.importFiles({dir / ("in/" + std::string(c.name))}, true)[0];
        EXPECT_EQ(s.succeeded, !c.refused) << s.error;
        if (c.refused) {
            EXPECT_NE(s.error.find("テキストファイルではありません"), std::string::npos) << s.error;
            EXPECT_EQ(snapshot(t).size(), 4u);
        } else {
            EXPECT_EQ(s.malformed, 2u);
        }
    }
}

}  // namespace
}  // namespace velt
#endif  // _WIN32
