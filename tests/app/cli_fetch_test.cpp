// velt-cli --fetch run as a process against the fake member area (tests/support/fake_jrdb.py),
// with archives made by scripts/gen-jrdb.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../support/fake_jrdb.h"
#include "../support/test_files.h"

namespace {

namespace fs = std::filesystem;
using velt::test::readFile;
using velt::test::tree;
using velt::test::writeFile;

struct Result {
    int status;
    std::string out, err;
};

bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// The archives of two race days, made once: PACI, SED and SKB of 2018-12-01 and -02.
const fs::path& archives() {
    static velt::test::TempDir dir("velt-fetch-archives");
    static const fs::path made = [] {
        const std::string line = std::string(VELT_TEST_DATA) + "/../../scripts/gen-jrdb --out '" +
                                 dir.path() +
                                 "' --days 2 --start 2018-12-01 --archives --layout today "
                                 "--races 2 --jobs 1 >/dev/null 2>&1";
        if (std::system(line.c_str()) != 0) throw std::runtime_error("gen-jrdb failed");
        return fs::path(dir.path());
    }();
    return made;
}

class CliFetch : public ::testing::Test {
protected:
    void SetUp() override {
        dir = temp.path();
        for (const char* sub : {"prog", "target/MDATA", "target/HDATA", "target/KCOM_DATA/2018"})
            fs::create_directories(dir / sub);
        fs::copy_file(VELT_CLI, dir / "prog/velt-cli");
        ::setenv("VELT_JRDB_ID", "member", 1);
        ::setenv("VELT_JRDB_PASSWORD", "secret", 1);
        ::setenv("VELT_TEST_FETCH_PAUSE_MS", "50", 1);
        ::setenv("VELT_TEST_HTTP_TIMEOUT_MS", "400", 1);
        publish({"PACI181201", "SED181201", "SKB181201", "PACI181202", "SKB181202"});
    }

    // Puts daily archives in the member area's kinds' folders.
    void publish(const std::vector<std::string>& stems) {
        for (const auto& stem : stems) {
            // "PACI181201" lies in data/Paci/.
            std::string folder = stem.substr(0, stem.size() - 6);
            for (std::size_t i = 1; i < folder.size(); ++i)
                folder[i] = static_cast<char>(std::tolower(folder[i]));
            fs::create_directories(dir / "root/member/data" / folder);
            fs::copy_file(archives() / (stem + ".lzh"),
                          dir / "root/member/data" / folder / (stem + ".lzh"),
                          fs::copy_options::overwrite_existing);
        }
    }

    void serve(const std::vector<std::string>& faults = {}) {
        std::vector<std::string> args{"--root", (dir / "root").string(), "--id", "member",
                                      "--log",  (dir / "log").string()};
        for (const auto& f : faults) args.insert(args.end(), {"--fault", f});
        server.reset();
        server = std::make_unique<velt::test::FakeJrdb>(args, "secret");
    }

    Result run(std::vector<std::string> args, const std::string& target = "target") {
        std::string line = "cd '" + dir.string() + "' && prog/velt-cli --data-folder " + target +
                           " --download-folder dl --jrdb-url " + server->url() + "member/";
        for (const auto& a : args) line += " '" + a + "'";
        line += " >out 2>err </dev/null";
        const int raw = std::system(line.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir / "out"),
                readFile(dir / "err")};
    }

    // Target's files, without the history (which names times) and the lock.
    velt::test::Tree targetFiles(const std::string& target = "target") {
        auto files = tree(dir / target);
        files.erase("velt-history.tsv");
        files.erase(".velt-lock");
        return files;
    }

    // The paths the server was asked for since the last call.
    std::vector<std::string> requests() {
        std::vector<std::string> paths;
        std::istringstream log(readFile(dir / "log"));
        std::size_t n = 0;
        for (std::string line; std::getline(log, line);) {
            const auto tab = line.find('\t');
            if (n++ >= logSeen)
                paths.push_back(line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1));
        }
        logSeen = n;
        return paths;
    }
    std::size_t logSeen = 0;

    velt::test::TempDir temp{"velt-fetch-test"};
    fs::path dir;
    std::unique_ptr<velt::test::FakeJrdb> server;
};

bool isDownload(const std::string& path) {
    return path.ends_with(".lzh") || path.ends_with(".zip");
}

TEST_F(CliFetch, NamedAndMissingDaysImportAsTheSameArchivesFromDisk) {
    serve();
    Result r = run({"--fetch", "181201", "2018-12-03"});
    EXPECT_EQ(r.status, 1) << r.err;  // 2018-12-03 is not listed
    EXPECT_TRUE(contains(r.err, "2018-12-03: JRDB の一覧にありません")) << r.err;
    EXPECT_TRUE(contains(r.out, "3 件のファイルを取り込みました")) << r.out;
    auto got = requests();
    EXPECT_EQ(std::count_if(got.begin(), got.end(), isDownload), 3);

    // The missing days: the results of 12-02 came late; 12-01's files are held.
    publish({"SED181202"});
    r = run({"--fetch"});
    EXPECT_EQ(r.status, 0) << r.err;
    got = requests();
    std::erase_if(got, [](const std::string& path) { return !isDownload(path); });
    EXPECT_EQ(got, (std::vector<std::string>{"/member/data/Paci/PACI181202.lzh",
                                             "/member/data/Sed/SED181202.lzh",
                                             "/member/data/Skb/SKB181202.lzh"}));

    // The same archives imported from the download folder give the same bytes.
    fs::create_directories(dir / "disk/MDATA");
    fs::create_directories(dir / "disk/HDATA");
    fs::create_directories(dir / "disk/KCOM_DATA/2018");
    const std::string line =
        "cd '" + dir.string() + "' && prog/velt-cli --data-folder disk dl >/dev/null 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0);
    EXPECT_EQ(targetFiles(), targetFiles("disk"));

    // Requests came one at a time, the pause apart.
    std::istringstream log(readFile(dir / "log"));
    double last = 0;
    for (std::string line; std::getline(log, line); last = std::stod(line))
        EXPECT_GE(last ? std::stod(line) - last : 1, 0.045) << line;

    // A second fetch downloads nothing; --refetch downloads a named day again.
    r = run({"--fetch", "--since", "181201"});
    EXPECT_EQ(r.status, 0) << r.err;
    got = requests();
    EXPECT_EQ(std::count_if(got.begin(), got.end(), isDownload), 0);
    r = run({"--fetch", "--refetch", "181202"});
    EXPECT_EQ(r.status, 0) << r.err;
    got = requests();
    EXPECT_EQ(std::count_if(got.begin(), got.end(), isDownload), 3);
    EXPECT_EQ(targetFiles(), targetFiles("disk"));
}

TEST_F(CliFetch, FailuresNameTheirFileAndLeaveTheDataFolderAlone) {
    // Each case its day or kind, so that one server holds every fault.
    const fs::path data = dir / "root/member/data";
    for (const char* copy :
         {"Sed/SED181203", "Paci/PACI181204", "Paci/PACI181205", "Sed/SED181206", "Skb/SKB181207"})
        fs::copy_file(archives() / "SED181201.lzh", data / (std::string(copy) + ".lzh"));
    writeFile(data / "Kyi/index.html",
              "<a href='http://example.com/member/data/Kyi/KYI181201.lzh'>");
    writeFile(data / "Jrdb/index.html", "<a href=\"../../../JRDB181201.lzh\">");
    serve({"/member/data/Sed/SED181203.lzh=404", "/member/data/Paci/PACI181204.lzh=stall",
           "/member/data/Paci/PACI181205.lzh=short", "/member/data/Sed/SED181206.lzh=html",
           "/member/data/Skb/SKB181207.lzh=huge:1073741824", "/member/data/Sec/index.html=500",
           "/member/data/Zkb/index.html=huge:104857600",
           "/member/data/Zec/index.html=stream:104857600",
           "/member/data/Paci/PACI181201.lzh=once:short"});
    struct Case {
        const char* what;
        const char* kinds;
        const char* day;
        const char* message;
        int status = 1;
        const char* password = "secret";
    } cases[] = {
        {"wrong login", "PACI", "181201", "ID かパスワードが違います", 1, "wrong"},
        {"no login, no terminal", "PACI", "181201", "velt-cli --jrdb-login", 1, nullptr},
        {"404", "SED", "181203", "リンクしていたページ: http"},
        {"500", "SEC", "181201", "HTTP 500"},
        {"stall", "PACI", "181204", "時間切れ"},
        {"cut short", "PACI", "181205", "途中で切れました"},
        {"HTML", "SED", "181206", "HTML のページ"},
        {"index of 100 MB", "ZKB", "181201", "8 MB まで"},
        {"index of 100 MB undeclared", "ZEC", "181201", "8 MB まで"},
        {"archive of 1 GB", "SKB", "181207", "256 MB まで"},
        {"another host", "KYI", "181201", "の外を指している"},
        {"..", "JRDB", "181201", "の外を指している"},
        {"cut short once", "PACI SED SKB", "181201", "3 件のファイルを取り込みました", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.password)
            ::setenv("VELT_JRDB_PASSWORD", c.password, 1);
        else
            ::unsetenv("VELT_JRDB_PASSWORD");
        const auto before = targetFiles();
        const Result r = run({"--fetch-kinds", c.kinds, "--fetch", c.day});
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_TRUE(contains(r.status ? r.err : r.out, c.message)) << r.out << r.err;
        if (c.status) {
            EXPECT_EQ(targetFiles(), before);
            EXPECT_TRUE(contains(r.err, "何も取り込んでいません")) << r.err;
        }
        EXPECT_FALSE(contains(r.out + r.err, c.password ? c.password : "secret"));
        for (const auto& [name, bytes] : tree(dir / "dl"))
            EXPECT_TRUE(isDownload(name) && bytes.size() > 100) << name;
    }
}

}  // namespace
