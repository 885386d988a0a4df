#pragma once
// ReferenceStore: the output store done the slow, obvious way, to check and measure the fast one.

#include <string>
#include <string_view>
#include <vector>

#include "codes/cp932.h"
#include "platform/failure.h"
#include "convert/output_sink.h"
#include "convert/record.h"
#include "convert/sort.h"
#include "platform/file.h"

namespace velt::test {

// Every duplicate test reads its file again from the first line; every line is appended by
// opening the file, writing and closing it; every line added to a sorted file is appended, then the
// whole file is read back, sorted with upBubbleSortStr and rewritten in place. Nothing is cached
// between calls. The few rules where the fast store mends a fault (a last line without its line
// end, the 250-line limit refused before writing) are followed too, so that both must leave the
// same bytes. Nothing is pending, so finish() has nothing to write.
class ReferenceStore : public ImportSink {
    // Runs a file-layer call; its failure becomes the import's, worded as `what`.
    template <typename Call>
    static auto guard(const std::string& path, const char* what, Call&& call) {
        try {
            return call();
        } catch (const platform::FileError& e) {
            throw Failure(path, std::string(what) + ": " + platform::describeErrno(e.error()));
        }
    }

public:
    void finish() override {}
    std::size_t linesWritten() const override { return linesWritten_; }

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
        ++linesWritten_;
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
            throw Failure(path, "1つのファイルに入るのは" + std::to_string(kMaxSortedLines) +
                                        "行までです。この行を加えると超えてしまいます");
        appendLine(path, line);
        const std::string text = read(path);
        std::vector<std::string> lines{std::string()};  // element 0 is not sorted
        for (std::string_view l : splitLines(text)) lines.emplace_back(l);
        upBubbleSortStr(lines, lines.size() - 1);
        std::string out;
        for (std::size_t i = 1; i < lines.size(); ++i) out.append(lines[i]).append("\r\n");
        guard(path, "ファイルを書き直せません",
              [&] { platform::File(path, platform::Write | platform::Truncate).write(out); });
        ++linesWritten_;
        return true;
    }

private:
    std::size_t linesWritten_ = 0;

    // Creates the file when missing; an existing one is not opened for writing here, so that a
    // read-only file fails only when a line is to be written to it.
    static void create(const std::string& path, bool truncate) {
        if (!truncate && platform::exists(path)) return;
        guard(path, "ファイルを作れません", [&] {
            platform::File(path, platform::Write | platform::Create |
                                     (truncate ? unsigned{platform::Truncate} : 0u));
        });
    }

    static std::string read(const std::string& path) {
        return guard(path, "ファイルを読めません",
                     [&] { return platform::readAll(path, std::size_t(1) << 30); });
    }

    static void appendLine(const std::string& path, std::string_view line) {
        guard(path, "ファイルに書き込めません", [&] {
            platform::File f(path, platform::Read | platform::Write | platform::Append);
            const std::uint64_t size = f.status().size;
            char last = '\n';
            if (size > 0) f.readAt(&last, 1, size - 1);
            std::string out;
            if (last != '\n' && last != '\r') out = "\r\n";
            out.append(line).append("\r\n");
            f.write(out);
        });
    }
};

}  // namespace velt::test
