#pragma once
// The Target files an input would write, found before it writes anything: its records run through
// their converter against a sink that only notes the paths, so that the names are the converters'
// own.

#include <set>
#include <string>
#include <string_view>

#include "convert/import_context.h"
#include "shell/recognition.h"

namespace velt {

using Converter = Outcome (*)(std::string_view, ImportContext&);

// The converter of a group; nullptr for a group no converter reads.
Converter converterOf(Kind group);

// Adds to `paths` every file that converting `text` as `group` under `ctx` (its data folder and
// `fileDate`) would open, append to or create. Writes nothing; `ctx` is not changed. Throws what
// the converter throws before it would write (an odds date that names no file).
void gatherOutputFiles(std::string_view text, Kind group, const ImportContext& ctx,
                       std::set<std::string>& paths);

}  // namespace velt
