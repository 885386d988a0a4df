#pragma once
// Text for standard output and standard error: UTF-8 bytes, or wide characters where the stream
// is a Windows console (whose code page may be anything).

#include <cstdio>
#include <optional>
#include <string>
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

// Whether standard input is a terminal (a console on Windows), where someone can answer.
bool inputIsTerminal();

// Writes `prompt` to standard error and reads one line from standard input, as UTF-8 without
// its line end. With `echo` false what is typed is not shown (a password). nullopt at the end
// of the input.
std::optional<std::string> askLine(std::string_view prompt, bool echo);

// One line of bytes from `stream` without its line end (LF or CR LF); nullopt at its end.
std::optional<std::string> readLine(std::FILE* stream);

}  // namespace velt::platform
