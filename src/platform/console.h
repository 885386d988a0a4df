#pragma once
// Text for standard output and standard error: UTF-8 bytes, or wide characters where the stream
// is a Windows console (whose code page may be anything).

#include <cstdio>
#include <string_view>

namespace velt::platform {

// Writes UTF-8 `text` to `stream`.
void writeText(std::FILE* stream, std::string_view text);

// printf into writeText.
#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 2, 3)))
#elif defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void print(std::FILE* stream, const char* format, ...);

}  // namespace velt::platform
