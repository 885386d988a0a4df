#pragma once
// What converters see of the output store: the few calls they make on Target's files.

#include <cstddef>
#include <string>
#include <string_view>

namespace velt {

// Paths are UTF-8; lines are CP932 bytes without their line end (CR LF is added). Failures throw
// Failure naming the file.
class OutputSink {
public:
    static constexpr std::size_t kMaxSortedLines = 250;

    virtual ~OutputSink() = default;

    // Appended files (MD, MS). The file is created empty when missing (its folder must exist).
    // True when a line of the file begins with `key`: the first `keyChars` characters of the line
    // (the whole line when shorter) equal `key`. A key of fewer characters (a record key holding
    // two-byte characters) is found at the start of any line, so that it is found at all.
    virtual bool hasKey(const std::string& path, std::string_view key, std::size_t keyChars) = 0;
    // Appends a line to a file opened by hasKey(), or to a plain file (OD).
    virtual void append(const std::string& path, std::string_view line) = 0;

    // Plain files (OD): empties the file now, creating it when missing.
    virtual void startAnew(const std::string& path) = 0;
    // Plain files (OD): creates the file empty when missing, leaves it as it is otherwise.
    virtual void ensureExists(const std::string& path) = 0;

    // Sorted files (KC, KM): adds `line` unless a line begins with the same first `keyChars`
    // characters; keeps the file in the order of upBubbleSortStr; at most kMaxSortedLines lines.
    // Returns false when the key is present. Throws Failure, changing nothing, when the file
    // would grow past its limit. The file is created empty when missing.
    virtual bool addSorted(const std::string& path, std::string_view line,
                           std::size_t keyChars) = 0;

protected:
    OutputSink() = default;
    OutputSink(const OutputSink&) = default;
    OutputSink& operator=(const OutputSink&) = default;
};

// An import's whole store as the import engine sees it: the sink, plus writing what is pending at
// the end and how many lines reached the files. The output store implements it, and so does the
// tests' reference store, which the engine runs in its place.
class ImportSink : public OutputSink {
public:
    // Writes everything pending and forgets the files, so the next import reads them afresh.
    // Throws Failure.
    virtual void finish() = 0;
    // Output lines that reached Target's files.
    virtual std::size_t linesWritten() const = 0;
};

}  // namespace velt
