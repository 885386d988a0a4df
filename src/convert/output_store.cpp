#include "convert/output_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

#include "codes/cp932.h"
#include "convert/import_error.h"
#include "convert/record.h"
#include "convert/sort.h"

namespace velt {
namespace {

constexpr std::size_t kFlushSize = 1 << 20;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

[[noreturn]] void fail(const std::string& path, const char* what, int err) {
    throw ImportError(path, std::string(what) + ": " + describeErrno(err));
}

bool readAll(int fd, std::string& out) {
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, std::string_view data, std::size_t* written = nullptr) {
    if (written) *written = 0;
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
        if (written) *written += static_cast<std::size_t>(n);
    }
    return true;
}

// Appends are journalled, so that an import killed in the middle of a write (or a write that
// failed part-way) leaves no torn line for the next import to take for a record: before the
// write, "<file>.velt-append" holds the file's size; it is removed once the write is whole. When
// the next import finds it, the whole lines written after that size stay (that import finds them
// present and goes on after them) and a torn last line is cut away. A file that lacks its last
// line end for any other reason is never cut: a line is only ever added after it.
std::string journalOf(const std::string& path) {
    return path + ".velt-append";
}

// The journal of a write, locked while the write lasts so that an import running beside this
// one leaves it alone; -1 when none could be made (the write then goes ahead without one).
int startJournal(const std::string& path, off_t size) {
    Fd j(::open(journalOf(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!j.ok() || ::flock(j.get(), LOCK_EX | LOCK_NB) != 0 || ::ftruncate(j.get(), 0) != 0 ||
        !writeAll(j.get(), "velt-append " + std::to_string(size) + "\n"))
        return -1;
    return j.release();
}

// Cuts the file back to the end of its last whole line after `size` bytes.
bool cutTornLine(int fd, off_t size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode) || st.st_size <= size) return true;
    std::string tail(static_cast<std::size_t>(st.st_size - size), '\0');
    if (::pread(fd, tail.data(), tail.size(), size) != static_cast<ssize_t>(tail.size()))
        return false;
    std::size_t nl = tail.find_last_of('\n');
    off_t keep = size + static_cast<off_t>(nl == std::string::npos ? 0 : nl + 1);
    return keep == st.st_size || ::ftruncate(fd, keep) == 0;
}

void recoverTornAppend(const std::string& path) {
    const std::string journal = journalOf(path);
    std::string text;
    Fd j(::open(journal.c_str(), O_RDONLY | O_CLOEXEC));
    if (!j.ok()) return;
    // Locked: an import beside this one is writing now; it was not killed.
    if (::flock(j.get(), LOCK_EX | LOCK_NB) != 0) return;
    if (!readAll(j.get(), text)) fail(path, "前回の書き込みの記録を読めません", errno);
    // A journal cut short was never followed by its write.
    const std::string_view head = "velt-append ";
    long long size = -1;
    if (text.size() > head.size() && text.compare(0, head.size(), head) == 0 &&
        text.back() == '\n') {
        auto [end, ec] =
            std::from_chars(text.data() + head.size(), text.data() + text.size() - 1, size);
        if (ec != std::errc() || end != text.data() + text.size() - 1) size = -1;
    }
    if (size >= 0) {
        Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
        if ((fd.ok() && !cutTornLine(fd.get(), static_cast<off_t>(size))) ||
            (!fd.ok() && errno != ENOENT))
            fail(path, "前回中断した書き込みの途中の行を取り除けません", errno);
    }
    ::unlink(journal.c_str());
}

std::string keyOf(std::string_view line, std::size_t keyChars) {
    return std::string(line.substr(0, cp932::prefixBytes(line, keyChars)));
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

std::string describeErrno(int err) {
    switch (err) {
        case ENOENT:
            return "フォルダがありません";
        case ENOTDIR:
            return "途中にフォルダでないものがあります";
        case EACCES:
        case EPERM:
            return "書き込みが許可されていません";
        case EROFS:
            return "読み取り専用のディスクです";
        case ENOSPC:
            return "ディスクがいっぱいです";
        case EDQUOT:
            return "ディスクの割り当てを超えました";
        case EFBIG:
            return "ファイルが大きすぎます";
        case EISDIR:
            return "同じ名前のフォルダがあります";
        case EIO:
            return "ディスクの読み書きに失敗しました";
        default:
            return std::strerror(err);
    }
}

OutputStore::~OutputStore() {
    try {
        flush();
    } catch (...) {
    }
}

OutputStore::File& OutputStore::open(const std::string& path, Mode mode, std::size_t keyChars) {
    auto it = files_.find(path);
    if (it != files_.end()) return it->second;

    File f;
    f.mode = mode;
    f.keyChars = keyChars;
    recoverTornAppend(path);
    // Left by an import killed while it rewrote the file.
    if (mode == Mode::Sorted) ::unlink((path + ".velt-tmp").c_str());
    // Non-blocking, so that a pipe in the file's place is refused below instead of waited on.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.ok() && ::fstat(fd.get(), &st) == 0 &&
        (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ||
         // A device could be read for ever (/dev/zero, /dev/full).
         (mode != Mode::Plain && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)))))
        throw ImportError(path, "ファイルではなく装置かパイプです");
    if (!fd.ok()) {
        if (errno != ENOENT) fail(path, "ファイルを開けません", errno);
        // Missing: create it empty now, as the record that first names it would.
        Fd created(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
        if (!created.ok() && errno == ENOENT)
            throw ImportError(path,
                              "ファイルを作れません: フォルダ " + folderOf(path) + " がありません");
        if (!created.ok()) fail(path, "ファイルを作れません", errno);
        f.writable = true;
    } else if (mode == Mode::Plain) {
        struct stat st {};
        char last = '\n';
        if (::fstat(fd.get(), &st) == 0 && st.st_size > 0 &&
            ::pread(fd.get(), &last, 1, st.st_size - 1) != 1)
            fail(path, "ファイルを読めません", errno);
        f.needsLineEnd = last != '\n' && last != '\r';
    } else {
        std::string text;
        if (!readAll(fd.get(), text)) fail(path, "ファイルを読めません", errno);
        f.needsLineEnd = !text.empty() && text.back() != '\n' && text.back() != '\r';
        for (std::string_view line : splitLines(text)) {
            if (mode == Mode::Sorted) f.lines.emplace_back(line);
            f.keys.insert(keyOf(line, keyChars));
        }
    }
    return files_.emplace(path, std::move(f)).first->second;
}

void OutputStore::checkWritable(const std::string& path, File& f) {
    if (f.writable) return;
    Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (!fd.ok()) fail(path, "ファイルに書き込めません", errno);
    f.writable = true;
}

bool OutputStore::hasKey(const std::string& path, std::string_view key, std::size_t keyChars) {
    File& f = open(path, Mode::Keyed, keyChars);
    if (f.keys.count(std::string(key)) != 0) return true;
    if (cp932::charCount(key) >= f.keyChars) return false;
    for (const std::string& k : f.keys)
        if (k.size() >= key.size() && std::string_view(k).substr(0, key.size()) == key) return true;
    return false;
}

void OutputStore::ensureExists(const std::string& path) {
    open(path, Mode::Plain, 0);
}

void OutputStore::append(const std::string& path, std::string_view line) {
    File& f = open(path, Mode::Plain, 0);
    checkWritable(path, f);
    if (f.needsLineEnd) {
        // Never glue a new line onto a last line that lost its line end.
        f.pending.append("\r\n");
        f.needsLineEnd = false;
    }
    f.pending.append(line);
    f.pending.append("\r\n");
    if (f.mode == Mode::Keyed) f.keys.insert(keyOf(line, f.keyChars));
    ++linesWritten_;
    if (f.pending.size() >= kFlushSize) writePending(path, f);
}

void OutputStore::startAnew(const std::string& path) {
    File& f = open(path, Mode::Plain, 0);
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.ok()) fail(path, "ファイルを作れません", errno);
    f.writable = true;
    f.pending.clear();
    f.needsLineEnd = false;
}

bool OutputStore::addSorted(const std::string& path, std::string_view line, std::size_t keyChars) {
    File& f = open(path, Mode::Sorted, keyChars);
    std::string key = keyOf(line, keyChars);
    if (f.keys.count(key) != 0) return false;
    if (f.lines.size() >= kMaxSortedLines)
        throw ImportError(path, "1つのファイルに入るのは" + std::to_string(kMaxSortedLines) +
                                    "行までです。この行を加えると超えてしまいます");
    checkWritable(path, f);
    // The file is replaced, not written in place: its folder must take the new one. Found out
    // here, the failure stops the import at this record instead of at the end.
    if (!f.dirty && ::access(folderOf(path).c_str(), W_OK | X_OK) != 0)
        fail(path, "ファイルを書き直せません", errno);
    if (f.sortedOnce) {
        insertSorted(f.lines, std::string(line));
    } else {
        // The first addition sorts the whole file, whatever order it was left in.
        f.lines.insert(f.lines.begin(), std::string());
        f.lines.emplace_back(line);
        upBubbleSortStr(f.lines, f.lines.size() - 1);
        f.lines.erase(f.lines.begin());
        f.sortedOnce = true;
    }
    f.keys.insert(std::move(key));
    f.dirty = true;
    ++linesWritten_;
    return true;
}

void OutputStore::writePending(const std::string& path, File& f) {
    if (f.pending.empty()) return;
    // Taken out first: after a failure these lines are reported, never written twice.
    std::string data = std::move(f.pending);
    f.pending.clear();
    Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (!fd.ok()) fail(path, "ファイルに書き込めません", errno);
    struct stat st {};
    const off_t before = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
    Fd journal(before >= 0 ? startJournal(path, before) : -1);
    const bool journalled = journal.ok();
    std::size_t written = 0;
    if (!writeAll(fd.get(), data, &written)) {
        const int err = errno;
        // Failed part-way (a full disk, a size limit): the whole lines written stay, a torn
        // last line goes, and the lines that did not reach the disk are not counted.
        std::size_t nl = std::string_view(data).substr(0, written).find_last_of('\n');
        std::size_t keep = nl == std::string::npos ? 0 : nl + 1;
        bool cut = before >= 0 && ::ftruncate(fd.get(), before + static_cast<off_t>(keep)) == 0;
        if (cut && journalled) ::unlink(journalOf(path).c_str());
        std::size_t lost = 0;
        for (std::size_t i = keep; i < data.size(); ++i) lost += data[i] == '\n';
        if (keep == 0 && data.compare(0, 2, "\r\n") == 0) --lost;  // the break before them
        linesWritten_ -= std::min(lost, linesWritten_);
        fail(path, "ファイルに書き込めません", err);
    }
    if (::close(fd.release()) != 0) fail(path, "ファイルに書き込めません", errno);
    if (journalled) ::unlink(journalOf(path).c_str());
}

void OutputStore::writeSorted(const std::string& path, File& f) {
    if (!f.dirty) return;
    // A new file beside the old one, renamed over it: a crash or a full disk leaves either the
    // old lines or the new ones, never a file cut short. The wait for the disk is only worth it
    // when there are old lines to keep: a file that was empty loses nothing (a backfill creates
    // hundreds of these, and a wait each would double its time).
    std::string tmp = path + ".velt-tmp";
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    mode_t mode = exists ? (st.st_mode & 07777) : 0666;
    const bool oldLines = exists && st.st_size > 0;
    Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (!fd.ok()) fail(path, "ファイルを書き直せません", errno);
    std::string text;
    for (const std::string& line : f.lines) {
        text.append(line);
        text.append("\r\n");
    }
    int err = 0;
    if (!writeAll(fd.get(), text) || (oldLines && ::fsync(fd.get()) != 0)) err = errno;
    if (::close(fd.release()) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        fail(path, "ファイルを書き直せません", err);
    }
    if (oldLines) {
        Fd dir(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.ok()) ::fsync(dir.get());
    }
    f.dirty = false;
}

void OutputStore::flush() {
    // Every file is tried even when one fails, so that nothing converted is held back.
    std::exception_ptr first;
    for (auto& [path, f] : files_) {
        try {
            if (f.mode == Mode::Sorted)
                writeSorted(path, f);
            else
                writePending(path, f);
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

void OutputStore::finish() {
    try {
        flush();
    } catch (...) {
        files_.clear();
        throw;
    }
    files_.clear();
}

}  // namespace velt
