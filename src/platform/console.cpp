#include "platform/console.h"

#include <cstdarg>
#include <string>

namespace velt::platform {

void print(std::FILE* stream, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        std::string text(static_cast<std::size_t>(n) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, again);
        text.pop_back();
        writeText(stream, text);
    }
    va_end(again);
}

std::optional<std::string> readLine(std::FILE* stream) {
    std::string line;
    int c = std::fgetc(stream);
    if (c == EOF) return std::nullopt;
    for (; c != EOF && c != '\n'; c = std::fgetc(stream)) line.push_back(char(c));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace velt::platform
