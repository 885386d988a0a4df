#include "platform/file.h"

#include <gtest/gtest.h>

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

    // Something already under the replacement's name is never written through.
    fs::create_directory(dir / "target.velt-tmp");
    EXPECT_THROW(platform::replaceAtomically(dir / "target", "lost"), platform::FileError);
    EXPECT_EQ(readFile(dir / "target"), "new");
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

}  // namespace
}  // namespace velt
