#include "platform/file.h"

#include <gtest/gtest.h>

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
    fs::create_symlink("target", dir / "link");
    platform::replaceAtomically(dir / "link", "new");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(readFile(dir / "target"), "new");
    EXPECT_EQ(fs::status(dir / "target").permissions(), fs::perms(0640));
    platform::replaceAtomically(dir / "fresh", "made");
    EXPECT_EQ(readFile(dir / "fresh"), "made");

    // Something already under the replacement's name is never written through.
    fs::create_directory(dir / "target.velt-tmp");
    EXPECT_THROW(platform::replaceAtomically(dir / "target", "lost"), platform::FileError);
    EXPECT_EQ(readFile(dir / "target"), "new");
    EXPECT_EQ(platform::listFolder(dir.path()).size(), 4u);
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
