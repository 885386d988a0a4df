#pragma once
// The converters: each takes one record (CP932 bytes, no line end) and the import context.

#include <string>
#include <string_view>

#include "convert/import_context.h"

namespace velt {

Outcome ky(std::string_view line, ImportContext& ctx);         // KYD  -> MDATA/MD*.DAT
Outcome Seiseki(std::string_view line, ImportContext& ctx);    // SEB, ZEB -> MDATA/MS*.DAT
Outcome ozzhenkan(std::string_view line, ImportContext& ctx);  // OZ   -> HDATA/OD*.CSV
Outcome kakuchouhenkan(std::string_view line,
                       ImportContext& ctx);              // SKA, ZKA -> KCOM_DATA/yyyy/KC, KM
Outcome Lap(std::string_view line, ImportContext& ctx);  // JracSei1.dat -> MDATA/MS*.DAT

// The year folder (KCOM_DATA/<year>/, UTF-8) that kakuchouhenkan puts a comment record in; empty
// for a record it refuses.
std::string commentYearFolder(std::string_view line);
// Whether a comment record's date begins with a year from 1970 to 2099, in four digits: any other
// would make a year folder of whatever bytes stand there.
bool commentYearInRange(std::string_view line);

// The frame (1-8) of horse h in a race of n horses.
int frameNumber(int n, int h);

}  // namespace velt
