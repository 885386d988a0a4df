#pragma once
// The journal of appends to Target's files, so that an import killed in the middle of a write
// (or a write that failed part-way) leaves no torn line for the next import to take for a record.
// Before an append, the journal holds the file's size and identity; once the write is whole the
// entry goes.
// Whoever finds an entry keeps the whole lines written after that size (the next import finds
// them present and goes on after them) and cuts a torn last line away. A file that lacks its last
// line end for any other reason is never cut: a line is only ever added after it.
//
// An import keeps one journal, ".velt-append" in the data folder, from when it takes the folder
// until it lets it go: one file made per import, not one per write. Writes without it (outside an
// import, or to a file outside the data folder) journal in "<file>.velt-append" beside the file.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"

namespace velt {

class AppendJournal {
public:
    // The journal of a data folder (its path ending in a separator), holding what a killed import
    // left acted on. Throws Failure when something that is no regular file takes the
    // journal's name, or a torn line cannot be cut; when the journal cannot be made, it is not
    // open and appends journal beside their files.
    explicit AppendJournal(std::string dataFolder);
    // Removed, unless it still holds the entry of a write that failed without its torn line cut.
    ~AppendJournal();
    AppendJournal(const AppendJournal&) = delete;
    AppendJournal& operator=(const AppendJournal&) = delete;

    // Records `path`'s size before an append to it; false when this journal cannot hold it (a file
    // outside the data folder, of none of Target's names, or reached through a link).
    bool begin(const std::string& path, std::uint64_t size);
    // The append to `path` is whole, or its torn line is cut.
    void end(const std::string& path);
    // The paths (within the data folder) of the entries found that recovery left alone: not one
    // of Target's files, reached through a link, or no longer the file that was written.
    const std::vector<std::string>& leftAlone() const { return leftAlone_; }
    const std::string& path() const { return path_; }

private:
    struct Entry {
        std::uint64_t size;  // before the write
        platform::FileId id;
    };
    bool recover(const std::string& rel, std::uint64_t size, std::optional<platform::FileId> id);
    void store();

    std::string dataFolder_;
    std::string path_;  // "<data folder>.velt-append"
    platform::File file_;
    std::map<std::string, Entry> open_;  // by path within the data folder
    std::vector<std::string> leftAlone_;
};

// The journal beside a file, for writes without an import's journal.
std::string journalBeside(const std::string& path);
// Opens a journal without following a link and without waiting on a pipe; anything but a regular
// file there is refused (Failure, naming the journal). Not open when it is missing.
platform::File openJournal(const std::string& journal, unsigned flags);
// Cuts `path` back to the end of its last whole line after `size` bytes; a missing file is left.
void cutTornLine(const std::string& path, std::uint64_t size);
// The size of an entry "velt-append <size>" and the rest of its line; -1 when the line is torn or
// no entry.
long long entrySize(std::string_view line, std::string_view& rest);

}  // namespace velt
