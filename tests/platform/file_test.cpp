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
#include <filesystem>
#include <thread>

#include "../support/test_files.h"

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

TEST(File, FailuresCarryThePathAndTheCause) {
    test::TempDir dir;
    writeFile(dir / "big", std::string(100, 'x'));
    struct Case {
        std::function<void()> call;
        std::string path;
        int err;
    } cases[] = {
        {[&] { platform::readAll(dir / "big", 99); }, dir / "big", EFBIG},
        {[&] { platform::readAll(dir / "none", 10); }, dir / "none", ENOENT},
        {[&] { platform::writeAll(dir / "no/file", ""); }, dir / "no/file", ENOENT},
        {[&] { platform::writeAll(dir.path(), ""); }, dir.path(), EISDIR},
        {[&] { platform::listFolder(dir / "big"); }, dir / "big", ENOTDIR},
    };
    for (const Case& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.path;
        } catch (const platform::FileError& e) {
            EXPECT_EQ(e.path(), c.path);
            EXPECT_EQ(e.error(), c.err);
            EXPECT_EQ(std::string(e.what()), c.path + ": " + platform::describeErrno(c.err));
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
    const std::string lockFile = dir / "lock";
    auto first = platform::FolderLock::tryAcquire(lockFile);
    ASSERT_TRUE(first && first->held());
    EXPECT_FALSE(platform::FolderLock::tryAcquire(lockFile));

    std::atomic<bool> waited{false}, got{false};
    std::thread second([&] {
        auto lock = platform::FolderLock::acquire(lockFile, [&] { waited = true; });
        got = lock.held();
    });
    while (!waited) std::this_thread::yield();
    EXPECT_FALSE(got);
    first.reset();
    second.join();
    EXPECT_TRUE(got);
    EXPECT_TRUE(platform::FolderLock::tryAcquire(lockFile));
}

#ifndef _WIN32  // fork, pipes and links
// Another process holding the lock: the waiting call is made once, and the lock comes when the
// holder lets go (or dies). A lock file that is a link, a pipe or a folder is refused at once.
TEST(File, FolderLockBetweenProcesses) {
    test::TempDir dir;
    const std::string lockFile = platform::FolderLock::fileOf(dir.path());
    EXPECT_EQ(lockFile, dir / ".velt-lock");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        auto lock = platform::FolderLock::acquire(lockFile);
        ::close(ready[0]);
        ::close(ready[1]);  // the parent reads the end of the pipe: the lock is held
        ::usleep(300 * 1000);
        ::_exit(0);
    }
    ::close(ready[1]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 0);
    ::close(ready[0]);
    int waited = 0;
    auto lock = platform::FolderLock::acquire(lockFile, [&] { ++waited; });
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(waited, 1);
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, 0), holder);

    writeFile(dir / "outside", "outside");
    fs::create_symlink(dir / "outside", dir / "link");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    for (const char* name : {"link", "fifo", "folder"}) {
        EXPECT_THROW(platform::FolderLock::acquire(dir / name), platform::FileError) << name;
        EXPECT_THROW(platform::FolderLock::tryAcquire(dir / name), platform::FileError) << name;
    }
    EXPECT_EQ(readFile(dir / "outside"), "outside");
}
#endif  // _WIN32

}  // namespace
}  // namespace velt
