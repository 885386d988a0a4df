#pragma once
// Inside the file layer on Windows: UTF-8 paths and texts to the wide characters of the API, and
// back.

#include <string>

namespace velt::platform {

// Throws FileError (EILSEQ, naming `path`) when `path` is not UTF-8.
std::wstring wide(const std::string& path);
// Empty for an empty or null text.
std::string utf8(const wchar_t* text);

}  // namespace velt::platform
