#pragma once
// ReferenceStore: the output store done the slow, obvious way, to check and measure the fast one.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "codes/cp932.h"
#include "convert/import_error.h"
#include "convert/output_store.h"
#include "convert/record.h"
#include "convert/sort.h"

namespace velt::test {

// Every duplicate test reads its file again from the first line; every line is appended by
// opening the file, writing and closing it; every line added to a sorted file is appended, then the
// whole file is read back, sorted with upBubbleSortStr and rewritten in place. Nothing is cached
// between calls. The few rules where the fast store mends a fault (a last line without its line
// end, the 250-line limit refused before writing) are followed too, so that both must leave the
// same bytes.
class ReferenceStore : public OutputStore {
public:
    bool hasKey(const std::string& path, std::string_view key, std::size_t keyChars) override {
        create(path, false);
        const std::string text = read(path);
        const bool shortKey = cp932::charCount(key) < keyChars;
        for (std::string_view line : splitLines(text)) {
            if (line.substr(0, cp932::prefixBytes(line, keyChars)) == key) return true;
            if (shortKey && line.substr(0, key.size()) == key) return true;
        }
        return false;
    }

    void append(const std::string& path, std::string_view line) override {
        appendLine(path, line);
        ++written_;
    }

    void startAnew(const std::string& path) override { create(path, true); }
    void ensureExists(const std::string& path) override { create(path, false); }

    bool addSorted(const std::string& path, std::string_view line, std::size_t keyChars) override {
        create(path, false);
        const std::string key(line.substr(0, cp932::prefixBytes(line, keyChars)));
        std::size_t count = 0;
        {
            const std::string text = read(path);
            for (std::string_view old : splitLines(text)) {
                if (old.substr(0, cp932::prefixBytes(old, keyChars)) == key) return false;
                ++count;
            }
        }
        if (count >= kMaxSortedLines)
            throw ImportError(path, "1つのファイルに入るのは" + std::to_string(kMaxSortedLines) +
                                        "行までです。この行を加えると超えてしまいます");
        appendLine(path, line);
        const std::string text = read(path);
        std::vector<std::string> lines{std::string()};  // element 0 is not sorted
        for (std::string_view l : splitLines(text)) lines.emplace_back(l);
        upBubbleSortStr(lines, lines.size() - 1);
        std::string out;
        for (std::size_t i = 1; i < lines.size(); ++i) out.append(lines[i]).append("\r\n");
        Fd fd(path, O_WRONLY | O_TRUNC, "ファイルを書き直せません");
        fd.write(path, out);
        ++written_;
        return true;
    }

    void flush() override {}
    void finish() override {}
    std::size_t linesWritten() const override { return written_; }

private:
    class Fd {
    public:
        Fd(const std::string& path, int flags, const char* what)
            : fd_(::open(path.c_str(), flags | O_CLOEXEC, 0666)) {
            if (fd_ < 0) fail(path, what, errno);
        }
        ~Fd() { ::close(fd_); }
        Fd(const Fd&) = delete;
        Fd& operator=(const Fd&) = delete;
        int get() const { return fd_; }
        void write(const std::string& path, std::string_view data) const {
            while (!data.empty()) {
                ssize_t n = ::write(fd_, data.data(), data.size());
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) fail(path, "ファイルに書き込めません", errno);
                data.remove_prefix(static_cast<std::size_t>(n));
            }
        }

    private:
        int fd_;
    };

    [[noreturn]] static void fail(const std::string& path, const char* what, int err) {
        throw ImportError(path, std::string(what) + ": " + describeErrno(err));
    }

    // Creates the file when missing; an existing one is not opened for writing here, so that a
    // read-only file fails only when a line is to be written to it.
    static void create(const std::string& path, bool truncate) {
        if (!truncate && ::access(path.c_str(), F_OK) == 0) return;
        Fd(path, O_WRONLY | O_CREAT | (truncate ? O_TRUNC : 0), "ファイルを作れません");
    }

    static std::string read(const std::string& path) {
        Fd fd(path, O_RDONLY, "ファイルを開けません");
        std::string text;
        char buf[1 << 16];
        for (;;) {
            ssize_t n = ::read(fd.get(), buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) fail(path, "ファイルを読めません", errno);
            if (n == 0) return text;
            text.append(buf, static_cast<std::size_t>(n));
        }
    }

    static void appendLine(const std::string& path, std::string_view line) {
        Fd fd(path, O_RDWR | O_APPEND, "ファイルに書き込めません");
        char last = '\n';
        const off_t size = ::lseek(fd.get(), 0, SEEK_END);
        if (size > 0 && ::pread(fd.get(), &last, 1, size - 1) != 1)
            fail(path, "ファイルを読めません", errno);
        std::string out;
        if (last != '\n' && last != '\r') out = "\r\n";
        out.append(line).append("\r\n");
        fd.write(path, out);
    }

    std::size_t written_ = 0;
};

}  // namespace velt::test
