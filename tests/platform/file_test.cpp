#include "platform/file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#ifndef _WIN32
#include "../support/lock_probe.h"
#endif
#include "../support/test_files.h"
#include "platform/failure.h"

namespace velt {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

// Replacing keeps what stands in the file's place (a link, the permissions), and a failure keeps
// the old bytes.
TEST(File, ReplaceAtomically) {
    test::TempDir dir;
    writeFile(dir / "target", "old");
    fs::permissions(dir / "target", fs::perms(0640));
    std::error_code noLink;  // Wine makes no symbolic links
    fs::create_symlink("target", dir / "link", noLink);
    platform::replaceAtomically(noLink ? dir / "target" : dir / "link", "new");
    EXPECT_TRUE(noLink || fs::is_symlink(dir / "link"));
    EXPECT_EQ(readFile(dir / "target"), "new");
#ifndef _WIN32
    EXPECT_FALSE(noLink) << noLink.message();
    EXPECT_EQ(fs::status(dir / "target").permissions(), fs::perms(0640));
#endif
    platform::replaceAtomically(dir / "fresh", "made");
    EXPECT_EQ(readFile(dir / "fresh"), "made");

    // What is planted under replacement names is neither written through nor in the way.
    writeFile(dir / "outside", "outside");
    fs::create_directory(dir / "target.velt-tmp");
#ifndef _WIN32
    fs::create_symlink(dir / "outside", dir / "target.velt-tmp-");
#endif
    for (int i = 0; i < 20; ++i) platform::replaceAtomically(dir / "target", "again");
    EXPECT_EQ(readFile(dir / "target"), "again");
    EXPECT_EQ(readFile(dir / "outside"), "outside");
    EXPECT_EQ(platform::listFolder(dir.path()).size(), noLink ? 4u : 6u);
}

// A missing file is made whole under its name; a name that is taken (a file, a folder, a link,
// even a broken one) is left as it is, and no replacement stays beside it.
TEST(File, CreateAtomically) {
    test::TempDir dir;
    writeFile(dir / "taken", "old");
    fs::create_directory(dir / "folder");
    std::error_code noLink;  // Wine makes no symbolic links
    fs::create_symlink("gone", dir / "broken", noLink);
    const struct {
        const char* name;
        bool made;
    } cases[] = {{"fresh", true}, {"taken", false}, {"folder", false}, {"broken", false}};
    for (const auto& c : cases) {
        if (noLink && std::string(c.name) == "broken") continue;
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::createAtomically(dir / c.name, "new"), c.made);
    }
    EXPECT_EQ(readFile(dir / "fresh"), "new");
    EXPECT_EQ(readFile(dir / "taken"), "old");
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
    EXPECT_FALSE(fs::exists(dir / "gone"));
    EXPECT_EQ(platform::listFolder(dir.path()).size(), noLink ? 3u : 4u);
}

// Names are UTF-8 inside and whole characters on disk (UTF-16 on Windows): the folder's listing
// gives them back, and the standard library finds them under their own characters.
TEST(File, NamesKeepTheirCharacters) {
    test::TempDir dir;
    std::vector<std::string> names = {"MD095中.DAT", "KC２０011105.DAT", "ＭＳ Ｐゴシック.txt"};
    for (const std::string& name : names) platform::writeAll(dir / name, name);
    std::vector<std::string> listed = platform::listFolder(dir.path());
    std::sort(names.begin(), names.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, names);
    for (const std::string& name : names) {
        EXPECT_TRUE(fs::is_regular_file(test::fsPath(dir / name))) << name;
        EXPECT_EQ(platform::status(dir / name).size, name.size()) << name;
        EXPECT_EQ(platform::readAll(dir / name, 100), name);
    }
}

// Links and forks: POSIX only (Wine makes no links, and Windows has no fork).
#ifndef _WIN32
// Leftovers of killed replacements go: regular files of their names only, never through a link,
// and never one that a replacement running now holds.
TEST(File, ReplacementLeftovers) {
    test::TempDir dir;
    writeFile(dir / "outside", "outside");
    writeFile(dir / "KC.DAT", "kc");
    fs::create_symlink("KC.DAT", dir / "link.DAT");
    struct Case {
        const char* name;
        const char* kind;  // "file", "link" (to outside), "folder", "held"
        bool removed;
    } cases[] = {
        {"KC.DAT.velt-tmp-aB3xY9", "file", true},  {"other.DAT.velt-tmp-000000", "file", true},
        {"KC.DAT.velt-tmp-Zz9Zz9", "link", false}, {"KC.DAT.velt-tmp-folder", "folder", false},
        {"KC.DAT.velt-tmp-HELD00", "held", false}, {"KC.DAT.velt-tmp-abc", "file", false},
        {"KC.DAT.velt-tmp-abc.de", "file", false}, {"KC.DAT.velt-tmp", "file", false},
    };
    std::vector<platform::File> held;
    for (const Case& c : cases) {
        const std::string path = dir / c.name;
        if (std::string(c.kind) == "link")
            fs::create_symlink(dir / "outside", path);
        else if (std::string(c.kind) == "folder")
            fs::create_directory(path);
        else
            writeFile(path, "left");
        if (std::string(c.kind) == "held") {
            held.emplace_back(path, platform::Read);
            ASSERT_TRUE(held.back().tryLock());
        }
    }
    platform::removeReplacementLeftovers(dir / "link.DAT");
    for (const Case& c : cases) {
        EXPECT_EQ(fs::exists(fs::symlink_status(dir / c.name)), !c.removed) << c.name;
    }
    EXPECT_EQ(readFile(dir / "outside"), "outside");
    EXPECT_EQ(readFile(dir / "KC.DAT"), "kc");
}

// Two processes rewriting one file at once never meet in a replacement of the same name.
TEST(File, TwoProcessesReplaceOneFile) {
    test::TempDir dir;
    // Empty, so that no rewrite waits for the disk.
    writeFile(dir / "KC.DAT", "");
    auto rewrite = [&] {
        for (int i = 0; i < 500; ++i) platform::replaceAtomically(dir / "KC.DAT", "");
        return true;
    };
    pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        bool ok = false;
        try {
            ok = rewrite();
        } catch (const std::exception&) {
        }
        ::_exit(ok ? 0 : 1);
    }
    EXPECT_NO_THROW(rewrite());
    int status = 0;
    ASSERT_EQ(::waitpid(other, &status, 0), other);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(platform::listFolder(dir.path()), std::vector<std::string>{"KC.DAT"});
}
#endif  // _WIN32

// A failure names its file and is worded by what was being done: a missing name is a missing file
// to a read, a missing folder to a listing or a creation; a refusal is of reading or of writing.
TEST(File, FailuresCarryThePathAndTheCauseOfTheirOperation) {
    test::TempDir dir;
    writeFile(dir / "big", std::string(100, 'x'));
    fs::create_directory(dir / "folder");
    struct Case {
        std::function<void()> call;
        std::string path;
        int err;
        const char* words;
    } cases[] = {
        {[&] { platform::readAll(dir / "big", 99); }, dir / "big", EFBIG, "ファイルが大きすぎます"},
        {[&] { platform::readAll(dir / "none", 10); }, dir / "none", ENOENT,
         "ファイルがありません"},
        {[&] { platform::readAll(dir / "folder", 10); }, dir / "folder", EISDIR,
         "ファイルではなくフォルダです"},
        {[&] { platform::writeAll(dir / "no/file", ""); }, dir / "no/file", ENOENT,
         "フォルダがありません"},
        {[&] { platform::writeAll(dir.path(), ""); }, dir.path(), EISDIR,
         "同じ名前のフォルダがあります"},
        {[&] { platform::listFolder(dir / "big"); }, dir / "big", ENOTDIR,
         "フォルダではなくファイルです"},
        {[&] { platform::listFolder(dir / "none"); }, dir / "none", ENOENT, "フォルダがありません"},
        {[&] { throw platform::FileError(EACCES, dir / "big", platform::Op::Read); }, dir / "big",
         EACCES, "読み取りが許可されていません"},
        {[&] { throw platform::FileError(EACCES, dir / "big", platform::Op::Write); }, dir / "big",
         EACCES, "書き込みが許可されていません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        try {
            c.call();
            ADD_FAILURE() << c.path;
        } catch (const platform::FileError& e) {
            EXPECT_EQ(e.path(), c.path);
            EXPECT_EQ(e.error(), c.err);
            EXPECT_EQ(velt::describe(e), c.path + ": " + c.words);
            EXPECT_EQ(std::string(e.what()), velt::describe(e));
        }
    }
    EXPECT_EQ(platform::readAll(dir / "big", 100).size(), 100u);
}

// A file opened to append can still be cut back (a torn last line is cut this way).
TEST(File, AppendingFileIsCutBack) {
    test::TempDir dir;
    writeFile(dir / "od", "a\r\n");
    platform::File f(dir / "od", platform::Write | platform::Append);
    f.write("b\r\ntorn");
    f.truncate(6);
    f.write("c\r\n");
    f.close();
    EXPECT_EQ(readFile(dir / "od"), "a\r\nb\r\nc\r\n");
}

TEST(File, FolderLockIsHeldByOneAtATime) {
    test::TempDir dir;
    const std::string lockFile = platform::FolderLock::fileOf(dir.path());
    EXPECT_EQ(lockFile, dir / ".velt-lock");
    auto first = platform::FolderLock::tryAcquire(lockFile);
    ASSERT_TRUE(first && first->held());
    EXPECT_FALSE(platform::FolderLock::tryAcquire(lockFile));
    std::thread([&] { EXPECT_FALSE(platform::FolderLock::tryAcquire(lockFile)); }).join();
    first.reset();
    EXPECT_TRUE(platform::FolderLock::tryAcquire(lockFile));
}

#ifndef _WIN32  // fork, pipes and links
// Another process holding the lock keeps it until it lets go (or dies). A lock file that is a
// link, a pipe or a folder is refused at once.
TEST(File, FolderLockBetweenProcesses) {
    test::TempDir dir;
    const std::string lockFile = platform::FolderLock::fileOf(dir.path());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        auto lock = platform::FolderLock::tryAcquire(lockFile);
        ::close(ready[0]);
        ::close(ready[1]);  // the parent reads the end of the pipe: the lock is held
        ::usleep(300 * 1000);
        ::_exit(lock ? 0 : 1);
    }
    ::close(ready[1]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 0);
    ::close(ready[0]);
    EXPECT_FALSE(platform::FolderLock::tryAcquire(lockFile));
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, 0), holder);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(platform::FolderLock::tryAcquire(lockFile));

    writeFile(dir / "outside", "outside");
    fs::create_symlink(dir / "outside", dir / "link");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    for (const char* name : {"link", "fifo", "folder"})
        EXPECT_THROW(platform::FolderLock::tryAcquire(dir / name), platform::FileError) << name;
    EXPECT_EQ(readFile(dir / "outside"), "outside");
}

// The lock file removed while the lock is held lets no second holder in; replaced between the open
// and the lock (forced through the pause a test may ask for), the lock is taken on the file the
// name names now, where others look for it.
TEST(File, FolderLockSurvivesItsFileRemovedOrReplaced) {
    test::TempDir dir;
    const std::string lockFile = platform::FolderLock::fileOf(dir.path());
    {
        auto first = platform::FolderLock::tryAcquire(lockFile);
        ASSERT_TRUE(first);
        fs::remove(lockFile);
        EXPECT_FALSE(platform::FolderLock::tryAcquire(lockFile));
    }
    ASSERT_EQ(::setenv("VELT_TEST_PAUSE", "lock-open:400", 1), 0);
    std::optional<platform::FolderLock> taken;
    std::thread taker([&] { taken = platform::FolderLock::tryAcquire(lockFile); });
    for (int i = 0; i < 200 && !fs::exists(lockFile); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fs::rename(lockFile, dir / "old-lock");
    writeFile(lockFile, "");
    taker.join();
    ::unsetenv("VELT_TEST_PAUSE");
    ASSERT_TRUE(taken);
    EXPECT_TRUE(test::lockHeld(lockFile));
    EXPECT_FALSE(test::lockHeld(dir / "old-lock"));
}
#endif  // _WIN32

}  // namespace
}  // namespace velt
