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

}  // namespace velt::platform
