#include "shell/text_check.h"

#include <cstring>

#include "codes/cp932.h"
#include "convert/record.h"

namespace velt {
namespace {

constexpr std::size_t kSampleLines = 1000;

bool digit(char c) {
    return c >= '0' && c <= '9';
}
bool alnum(char c) {
    return digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Race key: racecourse, year and race number are digits; meeting and day digits or letters (hex
// days, and letters in the past runs of other organisers). The lap file starts with its date.
bool plausibleKey(std::string_view line, bool lapLayout) {
    const std::string_view key = line.substr(0, 8);
    for (std::size_t i = 0; i < key.size(); ++i) {
        const bool letterAllowed = !lapLayout && (i == 4 || i == 5);
        if (!(letterAllowed ? alnum(key[i]) : digit(key[i]))) return false;
    }
    return true;
}

bool cleanCp932(std::string_view line) {
    for (std::size_t i = 0; i < line.size();) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7F) {  // most of a line
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F) return false;
        const std::size_t n = cp932::charLength(line, i);
        if (n == 1 && !cp932::isSingle(c)) return false;
        i += n;
    }
    return true;
}

}  // namespace

std::string notTextReason(std::string_view bytes, bool lapLayout) {
    if (std::memchr(bytes.data(), '\0', bytes.size())) return "NUL バイトがあります";
    std::size_t count = 0;
    std::string_view line;
    for (Lines all(bytes); all.next(line);) ++count;
    const std::size_t step = count > kSampleLines ? count / kSampleLines : 1;
    std::size_t judged = 0, odd = 0, i = 0;
    for (Lines all(bytes); all.next(line); ++i) {
        if (i % step != 0) continue;
        // A blank key is a record that cannot be placed, counted as malformed, not a sign.
        if (line.substr(0, 8).find_first_not_of(' ') == std::string_view::npos) continue;
        ++judged;
        if (!cleanCp932(line) || !plausibleKey(line, lapLayout)) ++odd;
    }
    if (judged > 0 && odd * 2 > judged)
        return "ほとんどの行に制御文字か CP932 "
               "でないバイトがあるか、行の頭にレースキーがありません (" +
               std::to_string(odd) + " / " + std::to_string(judged) + " 行)";
    return {};
}

}  // namespace velt
