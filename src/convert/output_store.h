#pragma once
// The output store: the one place that reads and writes Target's files during an import.

#include <cstddef>
#include <memory_resource>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "convert/output_sink.h"

namespace velt {

class AppendJournal;

// What ends on disk is what appending and re-reading the file for every record would give, but
// each file is read once per import and written in a few large writes.
class OutputStore : public ImportSink {
public:
    // Appends are journalled in `journal` (the import's) when given, else beside their files.
    explicit OutputStore(AppendJournal* journal = nullptr) : journal_(journal) {}
    ~OutputStore()
        override;  // writes what is pending, ignoring failures: call finish() to see them
    OutputStore(const OutputStore&) = delete;
    OutputStore& operator=(const OutputStore&) = delete;

    bool hasKey(const std::string& path, std::string_view key, std::size_t keyChars) override;
    void append(const std::string& path, std::string_view line) override;
    void startAnew(const std::string& path) override;
    void ensureExists(const std::string& path) override;
    bool addSorted(const std::string& path, std::string_view line, std::size_t keyChars) override;

    // Writes everything pending; sorted files are replaced atomically. Throws Failure.
    void flush();
    // flush(), then forgets every file, so the next import reads them afresh.
    void finish() override;

    // Lines that reached the disk: a line is counted once its write is done, never before.
    std::size_t linesWritten() const override { return linesWritten_; }

private:
    AppendJournal* journal_;
    std::size_t linesWritten_ = 0;
    enum class Mode { Keyed, Plain, Sorted };
    struct File {
        explicit File(std::pmr::memory_resource& nodes) : keys(&nodes) {}
        Mode mode;
        std::size_t keyChars = 0;
        std::pmr::unordered_set<std::string> keys;
        // The keys in order, made on the first key of fewer characters (one holding two-byte
        // characters), which is found at the start of a longer key; kept from then on.
        std::set<std::string> ordered;
        bool orderedMade = false;
        std::string pending;           // bytes to append
        std::size_t pendingLines = 0;  // lines in `pending`
        bool pendingBreak = false;     // `pending` begins with the line end of the last line
        bool writable = false;         // checked on the first write of this import
        bool anew = false;             // started anew: emptied should it turn up meanwhile
        // Missing when opened: made whole at its first write (empty at the flush when nothing
        // is written), never created empty first and then appended to or replaced.
        bool missing = false;
        bool needsLineEnd = false;       // the file ends in a line without its line end
        std::vector<std::string> lines;  // sorted files: every line
        bool sortedOnce = false;
        bool dirty = false;
        std::size_t added = 0;  // lines added since the file was last written
    };

    File& open(const std::string& path, Mode mode, std::size_t keyChars);
    void checkWritable(const std::string& path, File& f);
    bool createMissing(const std::string& path, File& f, std::string_view data, const char* what);
    void writePending(const std::string& path, File& f);
    void writeSorted(const std::string& path, File& f);

    // The keys' nodes, given back all at once with the store: a file's keys are read afresh by
    // every import and never removed one by one.
    std::pmr::unsynchronized_pool_resource keyNodes_;
    std::unordered_map<std::string, File> files_;
    std::unordered_set<std::string> cleanedFolders_;
};

}  // namespace velt
