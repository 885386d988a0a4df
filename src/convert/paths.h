#pragma once
// Pieces the converters share: output file paths, the meeting file name, the time format.

#include <optional>
#include <string>
#include <string_view>

#include "convert/import_context.h"
#include "convert/record.h"

namespace velt {

// Target's meeting files in MDATA: `prefix` ("MD" or "MS") + year + meeting + the racecourse
// kanji + ".DAT", all CP932 bytes. Returns the UTF-8 path under ctx.dataFolder, or an empty string
// when the name would hold a folder separator or a NUL byte (it could then not name one file in
// MDATA).
std::string meetingPath(const ImportContext& ctx, std::string_view prefix, std::string_view year,
                        std::string_view meeting, double courseCode);

// What a record's race key decides on its own: Malformed for a key that is no race key, OutOfScope
// for a blank one; nothing when it can place the record.
std::optional<Outcome> keyOutcome(std::string_view key);

// The horse key of a KYD, SEB or ZEB record: its first ten bytes, field by field, then `suffix`
// ('0' for horse data, '1' for results).
std::string horseKey(const Record& r, char suffix);

// How ky and Seiseki begin: the record's horse key and its meeting file (`prefix` "MD" or "MS").
// `outcome` is set when the record goes no further: too short or naming no usable file
// (Malformed), a blank key (OutOfScope), or its key already begins a line of the file (Present).
struct HorseLine {
    std::string key;
    std::string path;
    std::optional<Outcome> outcome;
};
HorseLine startHorseLine(const Record& r, ImportContext& ctx, std::string_view prefix, char suffix);

// The odds file of the running import: HDATA/"OD" + fileDate + ".CSV". Throws Failure when
// fileDate holds a folder separator or a NUL byte.
std::string oddsPath(const ImportContext& ctx);

// A three-character time field as Target shows it: its first two characters, ".", its last
// character ("352" -> "35.2", "35" -> "35.5", "" -> "."). Characters are CP932 characters.
std::string timeText(std::string_view field);

}  // namespace velt
