#pragma once
// The converters: each takes one record (CP932 bytes, no line end) and the import context.

#include <string_view>

#include "convert/import_context.h"

namespace velt {

Outcome ky(std::string_view line, ImportContext& ctx);         // KYD  -> MDATA/MD*.DAT
Outcome Seiseki(std::string_view line, ImportContext& ctx);    // SEB, ZEB -> MDATA/MS*.DAT
Outcome ozzhenkan(std::string_view line, ImportContext& ctx);  // OZ   -> HDATA/OD*.CSV
Outcome kakuchouhenkan(std::string_view line,
                       ImportContext& ctx);              // SKA, ZKA -> KCOM_DATA/yyyy/KC, KM
Outcome Lap(std::string_view line, ImportContext& ctx);  // JracSei1.dat -> MDATA/MS*.DAT

// The frame (1-8) of horse h in a race of n horses.
int frameNumber(int n, int h);

}  // namespace velt
