#pragma once
// The import history of a data folder: one entry per input of every import, appended under the
// data-folder lock to a small file a person can read. The window's 取り込み履歴, velt-cli's
// --history and the fetch (what is held already) read it.

#include <cstdint>
#include <string>
#include <vector>

namespace velt {

struct Recognition;

struct HistoryEntry {
    std::string when;  // local date and time of the import, "YYYY-MM-DD HH:MM:SS"
    std::string name;  // the input's file name, without its folder
    std::uint64_t size = 0;
    std::string sha256;   // lower-case hex of the input's bytes
    std::string kind;     // the kind its name shows ("PACI", "SED"...)
    std::string raceDay;  // the day its name shows, "YYYY-MM-DD"; empty for a year's ZIP
    std::size_t read = 0, written = 0, present = 0, outOfScope = 0, malformed = 0;
    bool succeeded = false;
    std::string outcome;  // "ok" or the failure's words
};

// The history's file in a data folder (its path ending in a separator): tab-separated UTF-8
// text, a header line, then an entry a line. Not a name Target uses, and no journal names it.
std::string historyFileOf(const std::string& dataFolder);
inline constexpr const char* kHistoryFileName = "velt-history.tsv";

// The kind an input's entry and summary show: what its name shows, else its group's button.
std::string entryKind(const Recognition& r);

// Every entry of the data folder's history, oldest first; none when there is no history yet.
// A line cut short (an import killed while appending) or not an entry is passed over.
// Throws Failure naming the file when it is there but cannot be read.
std::vector<HistoryEntry> readHistory(const std::string& dataFolder);

// Appends the entries, the caller holding the data folder's lock. A torn last line is cut away
// first; a new file starts with the header line. Tabs and line ends in a text become spaces.
// Throws Failure naming the file.
void appendHistory(const std::string& dataFolder, const std::vector<HistoryEntry>& entries);

// The date (YYYY-MM-DD) of the first import that took in the bytes of `sha256`; empty when none.
std::string firstImportOf(const std::vector<HistoryEntry>& history, const std::string& sha256);

// What one race day holds, from the imports that succeeded.
struct HistoryDay {
    std::string raceDay;  // "YYYY-MM-DD"
    bool horses = false;  // a pack or horse data
    bool results = false, odds = false, comments = false, laps = false;
    std::vector<std::string> inputs;  // the names imported for it, failed ones too, once each
};

// Every race day of the history, oldest first. A pack counts for horse data and odds; its
// results and comments are past runs, not the day's own.
std::vector<HistoryDay> historyDays(const std::vector<HistoryEntry>& entries);

// The day table's column heads and one day's cells, as both windows and velt-cli show them.
const std::vector<std::string>& historyDayHeaders();
std::vector<std::string> historyDayCells(const HistoryDay& day);
// The day table, then every entry, as velt-cli --history prints them.
std::string historyText(const std::vector<HistoryEntry>& entries);

}  // namespace velt

namespace velt {

struct ImportSummary;
struct Plan;
class Prefetch;
class Messages;

// The engine's one hook, at the end of a run, the data folder still locked: every recognised
// input's entry appended, and `sums` told which inputs were imported before. The import is done
// by then, so a history that cannot be read or written is told through `messages`, not thrown.
void recordRun(const std::string& dataFolder, const Plan& plan, Prefetch& prefetch,
               std::vector<ImportSummary>& sums, Messages& messages);

}  // namespace velt
