#pragma once
// The output store: the one place that reads and writes Target's files during an import.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace velt {

// Paths are UTF-8 (native on Linux); lines are CP932 bytes without their line end (CR LF is
// added here). What ends on disk is what appending and re-reading the file for every record would
// give, but each file is read once per import and written in a few large writes.
class OutputStore {
public:
    static constexpr std::size_t kMaxSortedLines = 250;

    OutputStore() = default;
    virtual ~OutputStore();  // writes what is pending, ignoring failures: call finish() to see them
    OutputStore(const OutputStore&) = delete;
    OutputStore& operator=(const OutputStore&) = delete;

    // Appended files (MD, MS). The file is created empty when missing (its folder must exist).
    // True when a line of the file begins with `key`: the first `keyChars` characters of the line
    // (the whole line when shorter) equal `key`. A key of fewer characters (a record key holding
    // two-byte characters) is found at the start of any line, so that it is found at all.
    virtual bool hasKey(const std::string& path, std::string_view key, std::size_t keyChars);
    // Appends a line to a file opened by hasKey(), or to a plain file (OD).
    virtual void append(const std::string& path, std::string_view line);

    // Plain files (OD): empties the file now, creating it when missing.
    virtual void startAnew(const std::string& path);
    // Plain files (OD): creates the file empty when missing, leaves it as it is otherwise.
    virtual void ensureExists(const std::string& path);

    // Sorted files (KC, KM): adds `line` unless a line begins with the same first `keyChars`
    // characters; keeps the file in the order of upBubbleSortStr; at most kMaxSortedLines lines.
    // Returns false when the key is present. Throws ImportError, changing nothing, when the file
    // would grow past its limit. The file is created empty when missing.
    virtual bool addSorted(const std::string& path, std::string_view line, std::size_t keyChars);

    // Writes everything pending; sorted files are replaced atomically. Throws ImportError.
    virtual void flush();
    // flush(), then forgets every file, so the next import reads them afresh.
    virtual void finish();

    virtual std::size_t linesWritten() const { return linesWritten_; }

private:
    enum class Mode { Keyed, Plain, Sorted };
    struct File {
        Mode mode;
        std::size_t keyChars = 0;
        std::unordered_set<std::string> keys;
        std::string pending;             // bytes to append
        bool writable = false;           // checked on the first write of this import
        bool needsLineEnd = false;       // the file ends in a line without its line end
        std::vector<std::string> lines;  // sorted files: every line
        bool sortedOnce = false;
        bool dirty = false;
    };

    File& open(const std::string& path, Mode mode, std::size_t keyChars);
    void checkWritable(const std::string& path, File& f);
    void writePending(const std::string& path, File& f);
    void writeSorted(const std::string& path, File& f);

    std::unordered_map<std::string, File> files_;
    std::size_t linesWritten_ = 0;
};

}  // namespace velt
