// Imports that fail part-way (a size limit, a read-only file, a folder removed, a full disk):
// the error names the file, the lines on disk before the import are unchanged, whole lines only
// are added, and no temporary file or folder is left behind.

#include <gtest/gtest.h>

#include "fault_util.h"

namespace velt {
namespace {

using namespace test;

// The lines of a text that belong to the racecourse of its last line (the first two bytes):
// imported, they go to one meeting file, partly present in the base.
std::string oneCourse(const std::string& text) {
    std::string out;
    const std::string course = text.substr(text.rfind('\n', text.size() - 2) + 1, 2);
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos) + 1;
        if (text.compare(pos, 2, course) == 0) out += text.substr(pos, end - pos);
        pos = end;
    }
    return out;
}

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct FaultFixture : ::testing::Test {
    TempDir dir;
    std::string base = dir / "base/", work = dir / "work/", tmp = dir / "tmp/", in = dir / "in/";
    std::string day = generated(true).at(0);
    std::string date = fs::path(day).parent_path().filename().string();

    void SetUp() override {
        fs::create_directories(tmp);
        fs::create_directories(in);
        makeBase(base, dir.path());
        copyTree(base, work);
    }

    // The one file that changes when `input` is imported into a copy of the base.
    std::string changedFile(const std::string& input) {
        std::string copy = dir / "probe/";
        copyTree(base, copy);
        test::Run r = runCli({"--data-folder", copy, input}, inTmp(tmp));
        EXPECT_TRUE(r.exited(0)) << r.err;
        Snapshot before = snapshot(base), after = snapshot(copy);
        std::string changed;
        for (const auto& [name, bytes] : after)
            if (before[name] != bytes) {
                EXPECT_EQ(changed, "") << "more than one file changed";
                changed = name;
            }
        fs::remove_all(copy);
        return changed;
    }

    // `input` imported into a fresh copy of the base under a file-size limit: it must fail.
    test::Run importWithSizeLimit(const std::string& input, std::size_t limit) {
        copyTree(base, work);
        RunOptions o = inTmp(tmp, limit);
        o.ignoreSizeSignal = true;
        test::Run r = runCli({"--data-folder", work, input}, o);
        EXPECT_TRUE(r.exited(1)) << r.err;
        return r;
    }

    // Everything but `except` is as it was; nothing is left in TMPDIR or beside Target's files.
    void expectRestUnchanged(const std::string& except) {
        Snapshot before = snapshot(base), after = snapshot(work);
        for (const auto& [name, bytes] : before)
            if (name != except) {
                EXPECT_EQ(after[name], bytes) << name << " changed";
            }
        EXPECT_EQ(strayFiles(after), std::vector<std::string>{});
        EXPECT_TRUE(fs::is_empty(tmp))
            << "left in TMPDIR: " << fs::begin(fs::directory_iterator(tmp))->path();
    }
};

// A write cut short by the file-size limit: the lines before stay as they were, the whole lines
// written stay, the torn one goes, and the report counts only the lines on disk.
TEST_F(FaultFixture, WriteThatFailsPartWay) {
    const std::string input = in + "KYD" + date + ".txt";
    writeFile(input, oneCourse(readFile(day + "KYD" + date + ".txt")));
    const std::string file = changedFile(input);
    ASSERT_NE(file, "");
    const std::string old = readFile(base + file);
    const std::size_t limits[] = {old.size() + 1, old.size() + 700, old.size() + 2345};
    for (std::size_t limit : limits) {
        SCOPED_TRACE(limit);
        test::Run r = importWithSizeLimit(input, limit);
        EXPECT_NE(r.err.find(work + file + ": ファイルに書き込めません: ファイルが大きすぎます"),
                  std::string::npos)
            << r.err;
        const std::string now = readFile(work + file);
        ASSERT_EQ(now.compare(0, old.size(), old), 0) << "the old lines changed";
        EXPECT_LE(now.size(), limit);
        if (now != old) {
            EXPECT_EQ(now.substr(now.size() - 2), "\r\n");
        }
        // The lines after the old ones (one more break when the old file lacked its line end).
        std::size_t added = now == old ? 0 : lineCount(now) - lineCount(old) - (old.back() != '\n');
        EXPECT_NE(r.err.find("、" + std::to_string(added) + " 行を書き込みました"),
                  std::string::npos)
            << added << " lines added: " << r.err;
        expectRestUnchanged(file);
    }
}

// A file that cannot be written: read-only to the user running the import (root is not stopped by
// permission bits, so the import runs as "nobody" then), or a folder in its place. Found before
// the import writes anything.
TEST_F(FaultFixture, OutputFileThatCannotBeWritten) {
    const std::string input = in + "KYD" + date + ".txt";
    writeFile(input, oneCourse(readFile(day + "KYD" + date + ".txt")));
    const std::string file = changedFile(input);
    ASSERT_NE(file, "");

    struct Case {
        const char* what;
        bool folder;
        const char* cause;
    };
    const Case cases[] = {
        {"read-only file", false, "ファイルに書き込めません: 書き込みが許可されていません"},
        {"folder in its place", true, "ファイルに書き込めません: 同じ名前のフォルダがあります"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        copyTree(base, work);
        RunOptions o = inTmp(tmp);
        if (c.folder) {
            fs::remove(work + file);
            fs::create_directory(work + file);
            copyTree(work, base + "../folder-base/");
        } else {
            fs::permissions(work + file,
                            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
            if (::getuid() == 0) {
                o.user = 65534;
                for (const auto& e : fs::recursive_directory_iterator(dir.path()))
                    if (e.is_directory()) fs::permissions(e.path(), fs::perms::all);
                fs::permissions(dir.path(), fs::perms::all);
            }
        }
        test::Run r = runCli({"--data-folder", work, input}, o);
        EXPECT_TRUE(r.exited(1)) << r.err;
        EXPECT_NE(r.err.find(work + file + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.cause), std::string::npos) << r.err;
        if (c.folder) {
            EXPECT_TRUE(fs::is_directory(work + file));
            EXPECT_TRUE(fs::is_empty(work + file));
        } else {
            EXPECT_EQ(readFile(work + file), readFile(base + file));
        }
        expectRestUnchanged(c.folder ? file : "");
    }
}

// A data folder in which the lock file cannot be made: the run stops before it writes anything and
// names the lock file (root is not stopped by permission bits, so the import runs as "nobody").
TEST_F(FaultFixture, LockFileThatCannotBeMadeStopsBeforeWriting) {
    const std::string input = in + "KYD" + date + ".txt";
    writeFile(input, oneCourse(readFile(day + "KYD" + date + ".txt")));
    fs::remove(work + ".velt-lock");
    RunOptions o = inTmp(tmp);
    if (::getuid() == 0) {
        o.user = 65534;
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            if (e.is_directory()) fs::permissions(e.path(), fs::perms::all);
        fs::permissions(dir.path(), fs::perms::all);
    }
    fs::permissions(work, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
    test::Run r = runCli({"--data-folder", work, input}, o);
    fs::permissions(work, fs::perms::all);
    EXPECT_TRUE(r.exited(1)) << r.err;
    EXPECT_NE(r.err.find(work + ".velt-lock: 取り込みのロックファイルを作れません: "
                                "書き込みが許可されていません。何も書き込んでいません"),
              std::string::npos)
        << r.err;
    expectRestUnchanged("");
}

// A year folder removed before a run that needs it: the run stops before it writes anything,
// naming the folder, and leaves no temporary files (the folders are checked before the first
// input is converted, so no input is half imported).
TEST_F(FaultFixture, YearFolderRemovedStopsBeforeWriting) {
    const std::string first = std::string(VELT_FAULT_DATA) + "SEB" + date + ".lzh";
    const std::string second = in + "SKA" + date + ".txt";
    writeFile(second, readFile(day + "SKA" + date + ".txt"));

    fs::remove_all(work + "KCOM_DATA/2009");
    const Snapshot before = snapshot(work);
    test::Run r = runCli({"--data-folder", work, first, second}, inTmp(tmp));

    EXPECT_TRUE(r.exited(1)) << r.err;
    EXPECT_NE(r.err.find(work + "KCOM_DATA/"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("2009"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("何も書き込んでいません"), std::string::npos) << r.err;
    EXPECT_EQ(snapshot(work), before);
    EXPECT_FALSE(fs::exists(work + "KCOM_DATA/2009"));
    EXPECT_TRUE(fs::is_empty(tmp));
}

// A full disk, through /dev/full in the place of an output file: the odds file (written, never
// read) fails with the disk's error; a meeting file (read for its keys) is refused at once
// instead of being read for ever.
TEST_F(FaultFixture, FullDisk) {
    struct Case {
        const char* kind;
        const char* cause;
    };
    const Case cases[] = {
        {"OZ", "ファイルに書き込めません: ディスクがいっぱいです"},
        {"KYD", "ファイルではなく装置かパイプです"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string input = in + c.kind + date + ".txt";
        writeFile(input, oneCourse(readFile(day + c.kind + date + ".txt")));
        const std::string file = changedFile(input);
        ASSERT_NE(file, "");
        copyTree(base, work);
        fs::remove(work + file);
        fs::create_symlink("/dev/full", work + file);
        test::Run r = finishCli(startCli({"--data-folder", work, input}, inTmp(tmp)),
                                std::chrono::seconds(20));
        EXPECT_TRUE(r.exited(1)) << r.err;
        EXPECT_NE(r.err.find(work + file + ": " + c.cause), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_symlink(work + file));
        expectRestUnchanged(file);
    }
}

// A size limit that stops the comment files' sorted rewrites part-way through a day: the report
// counts exactly the lines that reached the disk, and the import after it ends as one import.
TEST_F(FaultFixture, CountsTellTheLinesOnDisk) {
    const std::string input = in + "SKA" + date + ".txt";
    writeFile(input, readFile(day + "SKA" + date + ".txt"));
    auto lines = [](const Snapshot& s) {
        std::size_t n = 0;
        for (const auto& [name, bytes] : s) n += lineCount(bytes);
        return n;
    };
    const std::string whole = dir / "whole/";
    copyTree(base, whole);
    ASSERT_TRUE(runCli({"--data-folder", whole, input}, inTmp(tmp)).exited(0));
    const Snapshot one = snapshot(whole);
    Snapshot before = snapshot(base);
    std::vector<std::size_t> sizes;
    for (const auto& [name, bytes] : one)
        if (before[name] != bytes) sizes.push_back(bytes.size());
    ASSERT_GE(sizes.size(), 2u);
    std::sort(sizes.begin(), sizes.end());
    for (std::size_t limit : {sizes.front() / 2, sizes.back() - 1}) {
        SCOPED_TRACE(limit);
        test::Run r = importWithSizeLimit(input, limit);
        const std::size_t added = lines(snapshot(work)) - lines(before);
        EXPECT_NE(r.err.find("、" + std::to_string(added) + " 行を書き込みました"),
                  std::string::npos)
            << added << " lines added: " << r.err;
        EXPECT_TRUE(runCli({"--data-folder", work, input}, inTmp(tmp)).exited(0));
        Snapshot after = snapshot(work);
        after.erase(".velt-lock");
        Snapshot want = one;
        want.erase(".velt-lock");
        EXPECT_EQ(after, want);
    }
}

}  // namespace
}  // namespace velt
