#pragma once
// The import history of a data folder: one entry per input of every import, appended under the
// data-folder lock to a small file a person can read. The window's 取り込み履歴, velt-cli's
// --history and the fetch (what is held already) read it.

#include <cstdint>
#include <string>
#include <vector>

namespace velt {

struct HistoryEntry {
    std::string when;     // local date and time of the import, "YYYY-MM-DD HH:MM:SS"
    std::string name;     // the input's file name, without its folder
    std::uint64_t size = 0;
    std::string sha256;   // lower-case hex of the input's bytes
    std::string kind;     // the kind its name shows ("PACI", "SED"...)
    std::string raceDay;  // the day its name shows, "YYYY-MM-DD"; empty for a year's ZIP
    std::size_t read = 0, written = 0, present = 0, outOfScope = 0, malformed = 0;
    bool succeeded = false;
    std::string outcome;  // "ok" or the failure's words
};

// Every entry of the data folder's history, oldest first; none when there is no history yet.
// Throws Failure naming the file when it is there but cannot be read.
std::vector<HistoryEntry> readHistory(const std::string& dataFolder);

}  // namespace velt
