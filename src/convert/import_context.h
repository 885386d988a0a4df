#pragma once
// The `import context`: what an import shares with the converters it calls.

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/output_sink.h"

namespace velt {

struct ImportContext {
    std::string fileDate;     // UTF-8: six characters of the file name, or a record's date
    std::int16_t oddsStartFlag = 0;
    std::string dataFolder;       // UTF-8, Target's data folder with its final separator
    OutputSink* store = nullptr;  // the running import's output store
};

// What a converter did with one record.
enum class Outcome {
    Written,     // at least one line was written
    Present,     // every line it would write was already there
    Malformed,   // too short to hold its key, no race key, or otherwise refused; nothing written
    OutOfScope,  // a blank race key (a run outside JRA's): no file to place it in; nothing written
};

}  // namespace velt
