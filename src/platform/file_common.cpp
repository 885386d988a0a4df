// The parts of the file layer that every system shares, built on File.

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <utility>

#include "platform/file.h"
#include "platform/replacement.h"
#include "platform/system.h"

namespace velt::platform {
namespace {

constexpr std::size_t kChunk = 1 << 16;

// A replacement is made as "<file>.velt-tmp-XXXXXX": a name of its own for every rewrite, so that
// two imports rewriting one file never meet in it.
constexpr std::string_view kReplacementTag = ".velt-tmp-";
constexpr std::size_t kUniqueChars = 6;

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of(kSeparators);
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

std::string File::readRest(std::size_t limit) {
    std::string out;
    const Status st = status();
    // Said alike everywhere: Windows reads a folder as an unnamed failure.
    if (st.kind == Kind::Directory) throw FileError(EISDIR, path_, Op::Read);
    if (st.kind == Kind::Regular && st.size <= limit)
        out.reserve(static_cast<std::size_t>(st.size));
    char buf[kChunk];
    for (;;) {
        std::size_t n = read(buf, sizeof buf);
        if (n == 0) return out;
        if (out.size() + n > limit) throw FileError(EFBIG, path_, Op::Read);
        out.append(buf, n);
    }
}

std::string readAll(const std::string& path, std::size_t limit) {
    return openRegularFile(path).readRest(limit);
}

File openRegularFile(const std::string& path) {
    File f(path, Read | NonBlocking);
    const Kind kind = f.status().kind;
    if (kind == Kind::Directory) throw FileError(EISDIR, path, Op::Read);
    if (kind != Kind::Regular) throw FileError(ENODEV, path, Op::Read);
    return f;
}

void writeAll(const std::string& path, std::string_view data, unsigned permissions) {
    File f(path, Write | Create | Truncate, permissions);
    f.write(data);
    f.close();
}

void appendWholeLines(File& file, std::string_view lines, std::optional<std::uint64_t> sizeBefore) {
    std::size_t written = 0;
    try {
        file.write(lines, &written);
    } catch (const FileError& e) {
        const std::size_t nl = lines.substr(0, written).find_last_of('\n');
        const std::size_t keep = nl == std::string_view::npos ? 0 : nl + 1;
        bool cut = false;
        if (sizeBefore) try {
                file.truncate(*sizeBefore + keep);
                cut = true;
            } catch (const FileError&) {
            }
        throw PartialAppend(e.error(), file.path(), keep, cut);
    }
}

namespace {

// The lock file, refused unless it is a regular file: never through a link, never a pipe waited on.
File openLockFile(const std::string& lockFile) {
    File f;
    try {
        f = File(lockFile, Read | Write | Create | NoFollow | NonBlocking | Kept, 0644);
    } catch (const FileError& e) {
        // Made by another user of the folder: reading is enough to lock it.
        if (e.error() != EACCES || !exists(lockFile)) throw;
        f = File(lockFile, Read | NoFollow | NonBlocking | Kept);
    }
    if (f.status().kind != Kind::Regular) throw FileError(ENXIO, lockFile, Op::Lock);
    return f;
}

// Whether the name still names the open file: false once it was removed or replaced.
bool stillNamed(const File& f, const std::string& path) {
    try {
        return idOf(path) == f.id();
    } catch (const FileError& e) {
        if (e.error() == ENOENT) return false;
        throw;
    }
}

}  // namespace

std::string FolderLock::fileOf(const std::string& dataFolder) {
    if (dataFolder.empty()) return ".velt-lock";
    return dataFolder + (isSeparator(dataFolder.back()) ? "" : std::string(1, kSeparator)) +
           ".velt-lock";
}

std::optional<FolderLock> FolderLock::tryAcquire(const std::string& lockFile) {
    File folder = lockFolder(folderOf(lockFile));
    if (!folder.isOpen()) return std::nullopt;
    // The name may be given to another file between the open and the lock: the lock would then
    // hold a file that no one else finds, so it is taken again on the file the name names now.
    for (int attempt = 0;; ++attempt) {
        File f = openLockFile(lockFile);
        pauseForTest("lock-open");
        if (!f.tryLock()) return std::nullopt;
        if (stillNamed(f, lockFile)) {
            pauseForTest("locked");
            return FolderLock(std::move(folder), std::move(f));
        }
        if (attempt == 100) throw FileError(EBUSY, lockFile, Op::Lock);
    }
}

void pauseForTest(std::string_view point) {
    const char* asked = std::getenv("VELT_TEST_PAUSE");
    if (!asked) return;
    const std::string_view pause(asked);
    const std::size_t colon = pause.find(':');
    if (pause.substr(0, colon) != point || colon == std::string_view::npos) return;
    const int ms = std::atoi(asked + colon + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool isReplacementName(std::string_view name) {
    const std::size_t tag = name.rfind(kReplacementTag);
    if (tag == std::string_view::npos || tag == 0 ||
        name.size() != tag + kReplacementTag.size() + kUniqueChars)
        return false;
    for (char c : name.substr(tag + kReplacementTag.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

// Locked as soon as it is made, so that the clean-up of an import running beside this one leaves
// it alone. (Between the creation and the lock such a clean-up could still take it; the data-folder
// lock keeps imports from running side by side.)
File createReplacement(const std::string& target, unsigned permissions) {
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0;; ++attempt) {
        std::string name = target + std::string(kReplacementTag);
        for (std::size_t i = 0; i < kUniqueChars; ++i) name += chars[random() % (sizeof chars - 1)];
        try {
            File f(name, Write | Create | Exclusive | NoFollow, permissions);
            f.tryLock();
            return f;
        } catch (const FileError& e) {
            if (e.error() != EEXIST || attempt == 100) throw;
        }
    }
}

void removeReplacementLeftovers(const std::string& path) {
    const std::string folder = folderOf(followLinks(path));
    std::vector<std::string> names;
    try {
        names = listFolder(folder);
    } catch (const FileError&) {
        return;
    }
    for (const std::string& name : names) {
        if (!isReplacementName(name)) continue;
        const std::string leftover = folder + kSeparator + name;
        // Only regular files, never through a link, and none that a rewrite holds now.
        try {
            File f = File::openIfExists(leftover, Read | NoFollow | NonBlocking);
            if (f.isOpen() && f.status().kind == Kind::Regular && f.tryLock()) remove(leftover);
        } catch (const FileError&) {
            // A link (refused by the open) or a name that went meanwhile: left as it is.
        }
    }
}

}  // namespace velt::platform
