#pragma once
// Inside the file layer: the replacement files of atomic rewrites, which every system makes alike,
// and the one thing each system answers for them.

#include <string>
#include <string_view>

#include "platform/file.h"

namespace velt::platform {

// The file a path names once the links in its place are followed (the path itself when it is no
// link, is missing, or the links go round). Each system's own.
std::string followLinks(std::string path);

// Whether a folder entry is named as a replacement: "<file>.velt-tmp-" and six letters or digits.
bool isReplacementName(std::string_view name);

// A new replacement beside `target`, made exclusively (so never through a link or into something
// planted under the name) and locked until it is renamed.
File createReplacement(const std::string& target, unsigned permissions);

// The folder of a lock file, held against every other holder of the lock for as long as it is
// open: locked on POSIX, kept from being removed or renamed on Windows (which locks no folder).
// Not open when another holds it.
File lockFolder(const std::string& folder);

// Sleeps when a test asks for it at `point` through VELT_TEST_PAUSE="<point>:<milliseconds>", so
// that the test can act at that moment of a race.
void pauseForTest(std::string_view point);

}  // namespace velt::platform
