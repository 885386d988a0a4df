#pragma once
// Whether a file's bytes can be text of JRDB records, judged before anything is converted.

#include <string>
#include <string_view>

namespace velt {

// Why the bytes are not text of JRDB records, or "" when they may be. Signs: a NUL byte, or most
// lines holding control bytes, bytes that are not CP932, or no plausible record key. Line length
// is no sign, and a few odd lines are not either. `lapLayout`: the key is the lap file's date.
std::string notTextReason(std::string_view bytes, bool lapLayout);

}  // namespace velt
