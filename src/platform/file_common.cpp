// The parts of the file layer that every system shares, built on File.

#include <cctype>
#include <cerrno>
#include <random>
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
    if (st.kind == Kind::Directory) throw FileError(EISDIR, path_);
    if (st.kind == Kind::Regular && st.size <= limit)
        out.reserve(static_cast<std::size_t>(st.size));
    char buf[kChunk];
    for (;;) {
        std::size_t n = read(buf, sizeof buf);
        if (n == 0) return out;
        if (out.size() + n > limit) throw FileError(EFBIG, path_);
        out.append(buf, n);
    }
}

std::string readAll(const std::string& path, std::size_t limit) {
    return File(path, Read).readRest(limit);
}

File openRegularFile(const std::string& path) {
    File f(path, Read | NonBlocking);
    const Kind kind = f.status().kind;
    if (kind == Kind::Directory) throw FileError(EISDIR, path);
    if (kind != Kind::Regular) throw FileError(ENODEV, path);
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
        f = File(lockFile, Read | Write | Create | NoFollow | NonBlocking, 0644);
    } catch (const FileError& e) {
        // Made by another user of the folder: reading is enough to lock it.
        if (e.error() != EACCES || !exists(lockFile)) throw;
        f = File(lockFile, Read | NoFollow | NonBlocking);
    }
    if (f.status().kind != Kind::Regular) throw FileError(ENXIO, lockFile);
    return f;
}

}  // namespace

std::string FolderLock::fileOf(const std::string& dataFolder) {
    if (dataFolder.empty()) return ".velt-lock";
    return dataFolder + (isSeparator(dataFolder.back()) ? "" : std::string(1, kSeparator)) +
           ".velt-lock";
}

FolderLock FolderLock::acquire(const std::string& lockFile, const std::function<void()>& waiting) {
    File f = openLockFile(lockFile);
    if (!f.tryLock()) {
        if (waiting) waiting();
        f.lock();
    }
    return FolderLock(std::move(f));
}

std::optional<FolderLock> FolderLock::tryAcquire(const std::string& lockFile) {
    File f = openLockFile(lockFile);
    if (!f.tryLock()) return std::nullopt;
    return FolderLock(std::move(f));
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
