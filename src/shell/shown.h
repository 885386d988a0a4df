#pragma once
// Names and texts from the inputs (file names, archive members, paths, fields) as messages show
// them: a control character there would move the cursor or forge a line on a terminal.

#include <string>
#include <string_view>

namespace velt {

// `text` (UTF-8) with its control characters escaped: "\r", "\n" and "\t", other C0 and DEL as
// "\x1b", C1 as "\u009b", and bytes that are no UTF-8 as "\xff". A backslash stays as it is.
std::string shown(std::string_view text);

}  // namespace velt
