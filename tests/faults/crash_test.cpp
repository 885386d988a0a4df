// Imports killed at random moments, or in the middle of a write, and run again, end with the
// same bytes on disk as one import that was never interrupted.

#include <gtest/gtest.h>
#include <sys/file.h>

#include <random>

#include "fault_util.h"

namespace velt {
namespace {

using namespace test;

std::vector<std::string> importArgs(const std::string& target,
                                    const std::vector<std::string>& files) {
    std::vector<std::string> args{"--data-folder", target};
    args.insert(args.end(), files.begin(), files.end());
    return args;
}

// The first difference between two snapshots, or "" when they are equal.
std::string difference(const Snapshot& want, const Snapshot& got) {
    for (const auto& [name, bytes] : want) {
        auto it = got.find(name);
        if (it == got.end()) return name + " is missing";
        if (it->second != bytes)
            return name + " differs (" + std::to_string(it->second.size()) + " bytes, want " +
                   std::to_string(bytes.size()) + ")";
    }
    for (const auto& [name, bytes] : got)
        if (!want.count(name)) return name + " should not be there";
    return "";
}

struct CrashFixture : ::testing::Test {
    TempDir dir;
    std::string base = dir / "base/", work = dir / "work/", tmp = dir / "tmp/";
    std::vector<std::string> files;
    Snapshot want;
    std::chrono::duration<double> whole{};

    void prepare(std::vector<std::string> inputs) {
        files = std::move(inputs);
        fs::create_directories(tmp);
        makeBase(base, dir.path());
        copyTree(base, work);
        auto start = std::chrono::steady_clock::now();
        test::Run r = runCli(importArgs(work, files), inTmp(tmp));
        whole = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(r.exited(0)) << r.err;
        want = snapshot(work);
        ASSERT_NE(difference(snapshot(base), want), "");
    }

    // Runs the import to its end and compares the folder with the uninterrupted one.
    void completeAndCompare(const std::string& what) {
        test::Run r = runCli(importArgs(work, files), inTmp(tmp));
        ASSERT_TRUE(r.exited(0)) << what << ": " << r.err;
        ASSERT_EQ(difference(want, snapshot(work)), "") << what;
    }
};

// At least 50 kills at random moments of a three-day import of every kind of archive; some rounds
// kill the import again while it recovers from the kill before.
TEST_F(CrashFixture, KilledAtRandomMomentsEndsAsOneImport) {
    ASSERT_NO_FATAL_FAILURE(prepare(generated(false)));
    std::mt19937 random(20091128);
    std::uniform_real_distribution<double> moment(0.0, whole.count());
    std::uniform_int_distribution<int> killsInRound(1, 3);
    int kills = 0, round = 0;
    while (kills < 60) {
        ++round;
        copyTree(base, work);
        for (int k = killsInRound(random); k > 0; --k) {
            Child child = startCli(importArgs(work, files), inTmp(tmp));
            std::this_thread::sleep_for(std::chrono::duration<double>(moment(random)));
            ::kill(child.pid, SIGKILL);
            test::Run r = finishCli(child);
            if (r.signalled(SIGKILL)) ++kills;
        }
        ASSERT_NO_FATAL_FAILURE(completeAndCompare("round " + std::to_string(round)));
    }
    std::printf("%d kills in %d rounds; an uninterrupted import takes %.0f ms\n", kills, round,
                whole.count() * 1000);
}

// An import that dies in a write (the size limit's signal kills it, the write cut at any byte)
// leaves torn lines and half-written replacements; the next import cleans them up.
TEST_F(CrashFixture, KilledInTheMiddleOfAWriteEndsAsOneImport) {
    std::vector<std::string> texts;
    for (const std::string& day : generated(true))
        for (const auto& e : fs::directory_iterator(day))
            if (e.path().filename().string().substr(0, 2) != "BA" &&
                e.path().filename().string().substr(0, 3) != "JOA" &&
                e.path().filename().string().substr(0, 2) != "OW" &&
                e.path().filename().string().substr(0, 3) != "UKA")
                texts.push_back(e.path().string());
    std::sort(texts.begin(), texts.end());
    ASSERT_NO_FATAL_FAILURE(prepare(texts));

    std::size_t largest = 0;
    for (const auto& [name, bytes] : want) largest = std::max(largest, bytes.size());
    std::mt19937 random(1128);
    std::uniform_int_distribution<std::size_t> limit(1, largest);
    int torn = 0, killed = 0;
    for (int i = 0; i < 40; ++i) {
        copyTree(base, work);
        std::size_t at = limit(random);
        test::Run r = runCli(importArgs(work, files), inTmp(tmp, at));
        if (r.signalled(SIGXFSZ)) ++killed;
        Snapshot left = snapshot(work), before = snapshot(base);
        for (const auto& [name, bytes] : left)
            if (!bytes.empty() && bytes.back() != '\n' && bytes != before[name]) {
                ++torn;
                break;
            }
        ASSERT_NO_FATAL_FAILURE(completeAndCompare("cut at byte " + std::to_string(at)));
    }
    std::printf("%d of 40 imports killed in a write, %d left a torn line\n", killed, torn);
    EXPECT_GE(killed, 20);
    EXPECT_GE(torn, 5);
}

}  // namespace
}  // namespace velt

namespace velt {
namespace {

// The journal of a write left by a killed import (beside its file, or the data folder's) is acted
// on; one beside its file that an import running beside this one holds locked is left alone, and
// so is the line it is writing.
TEST_F(CrashFixture, TornLineIsCutOnlyWhenItsWriterIsGone) {
    const std::string day = generated(true).at(0);
    const std::string date = fs::path(day).parent_path().filename().string();
    ASSERT_NO_FATAL_FAILURE(prepare({day + "KYD" + date + ".txt"}));
    std::string file;
    for (const auto& [name, bytes] : snapshot(base))
        if (name.rfind("MDATA/MD", 0) == 0 && want[name] != bytes) file = name;
    ASSERT_NE(file, "");
    const std::string old = readFile(base + file);

    for (int variant : {0, 1, 2}) {
        const bool locked = variant == 1, inDataFolder = variant == 2;
        SCOPED_TRACE(locked ? "locked" : inDataFolder ? "in the data folder" : "left beside");
        copyTree(base, work);
        writeFile(work + file, old + "0911281\x83\x4e");  // a line cut in its middle
        const std::string journal =
            inDataFolder ? work + ".velt-append" : work + file + ".velt-append";
        writeFile(journal, "velt-append " + std::to_string(old.size()) +
                               (inDataFolder ? " " + file : "") + "\n");
        int fd = ::open(journal.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        if (locked) {
            ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        }
        test::Run r = runCli(importArgs(work, files), inTmp(tmp));
        ::close(fd);
        EXPECT_TRUE(r.exited(0)) << r.err;
        const std::string now = readFile(work + file);
        if (locked) {
            EXPECT_EQ(now.substr(0, old.size() + 9), old + "0911281\x83\x4e");
            EXPECT_TRUE(fs::exists(journal));
        } else {
            EXPECT_EQ(now, want[file]);
            EXPECT_FALSE(fs::exists(journal));
        }
    }
}

}  // namespace
}  // namespace velt
