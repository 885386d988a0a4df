#pragma once
// Pieces the converters share: output file paths, the meeting file name, the time format.

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

// The horse key of a KYD, SEB or ZEB record: its first ten bytes, field by field, then `suffix`
// ('0' for horse data, '1' for results).
std::string horseKey(const Record& r, char suffix);

// The odds file of the running import: HDATA/"OD" + fileDate + ".CSV". Throws ImportError when
// fileDate holds a folder separator or a NUL byte.
std::string oddsPath(const ImportContext& ctx);

// A three-character time field as Target shows it: its first two characters, ".", its last
// character ("352" -> "35.2", "35" -> "35.5", "" -> "."). Characters are CP932 characters.
std::string timeText(std::string_view field);

}  // namespace velt
