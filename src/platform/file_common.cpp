// The parts of the file layer that every system shares, built on File.

#include <cerrno>
#include <utility>

#include "platform/file.h"

namespace velt::platform {
namespace {

constexpr std::size_t kChunk = 1 << 16;

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

FolderLock FolderLock::acquire(const std::string& lockFile, const std::function<void()>& waiting) {
    File f(lockFile, Write | Create | NoFollow);
    if (!f.tryLock()) {
        if (waiting) waiting();
        f.lock();
    }
    return FolderLock(std::move(f));
}

std::optional<FolderLock> FolderLock::tryAcquire(const std::string& lockFile) {
    File f(lockFile, Write | Create | NoFollow);
    if (!f.tryLock()) return std::nullopt;
    return FolderLock(std::move(f));
}

}  // namespace velt::platform
