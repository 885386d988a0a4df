#pragma once
// Whether a file's bytes can be imported as records of their kind, judged on every line before
// anything is written.

#include <string>
#include <string_view>

#include "shell/recognition.h"

namespace velt {

// Why the bytes must not be imported as records of `group`, in Japanese ("成績データではありません
// (…)"), or "" when they may. `kindName` is the kind the name shows ("SED", "SKB"…), empty when
// the user chose the group with a button or --as. Refused, in this order:
// - no text: a NUL byte, or most lines holding control bytes or bytes that are not CP932;
// - another kind: more than half of the lines of one length that none of the group's kinds has,
//   when that length is another kind's or the file has enough lines to tell;
// - more than half of the records malformed: no race key at their head (a blank key is a run
//   outside JRA's, judged by no one), or for comments a year that is not 1970-2099;
// - cut short: the last line has no line end and is shorter than the kind's record.
// Lines that are merely short, or of varying lengths, are no sign: the converters define them.
// The lap file keeps its own test: no text, or most lines not opening with a date.
std::string refusalReason(std::string_view bytes, Kind group, std::string_view kindName);

// The first of those tests alone, for a text of no known group, worded as a cause ("NUL バイトが
// あります"). `lapLayout`: the key is the lap file's date.
std::string notTextReason(std::string_view bytes, bool lapLayout);

}  // namespace velt
