#include "convert/record.h"

#include <algorithm>

#include "codes/cp932.h"

namespace velt {

Record::Record(std::string_view bytes)
    : bytes_(bytes), ascii_(std::none_of(bytes.begin(), bytes.end(), [](char c) {
          return static_cast<unsigned char>(c) >= 0x80;
      })) {}

const std::vector<unsigned char>& Record::kinds() const {
    if (kinds_.empty() && !bytes_.empty()) {
        kinds_.resize(bytes_.size());
        for (std::size_t i = 0; i < bytes_.size();) {
            auto c = static_cast<unsigned char>(bytes_[i]);
            if (cp932::charLength(bytes_, i) == 2) {
                kinds_[i] = 1;
                kinds_[i + 1] = 2;
                i += 2;
            } else {
                kinds_[i] = cp932::isSingle(c) ? 0 : 3;
                ++i;
            }
        }
    }
    return kinds_;
}

void Record::appendField(std::string& out, std::size_t pos, std::size_t len) const {
    if (pos == 0 || pos > bytes_.size() || len == 0) return;
    std::size_t begin = pos - 1;
    std::size_t end = std::min(bytes_.size(), begin + len);
    if (ascii_) {
        out.append(bytes_.data() + begin, end - begin);
        return;
    }
    const auto& k = kinds();
    for (std::size_t i = begin; i < end; ++i) {
        bool whole = k[i] == 0 || (k[i] == 1 && i + 1 < end) || (k[i] == 2 && i > begin);
        out.push_back(whole ? bytes_[i] : '?');
    }
}

std::string Record::field(std::size_t pos, std::size_t len) const {
    std::string out;
    appendField(out, pos, len);
    return out;
}

bool placeableKey(std::string_view key) {
    bool blank = true;
    for (char ch : key) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return false;
        if (c != ' ') blank = false;
    }
    return !blank;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c != '\r' && c != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < n) lines.push_back(text.substr(start));
    // An end-of-file mark and blank lines at the very end are not records.
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (!lines.empty() && lines.back().back() == '\x1a') lines.back().remove_suffix(1);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

}  // namespace velt
