#include "convert/record.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "codes/cp932.h"
#include "convert/layouts.h"

namespace velt {

Record::Record(std::string_view bytes)
    : bytes_(bytes), ascii_(std::none_of(bytes.begin(), bytes.end(), [](char c) {
          return static_cast<unsigned char>(c) >= 0x80;
      })) {}

const unsigned char* Record::kinds() const {
    unsigned char* k = small_.data();
    if (bytes_.size() > small_.size()) {
        large_.resize(bytes_.size());
        k = large_.data();
    }
    if (kindsMade_) return k;
    kindsMade_ = true;
    for (std::size_t i = 0; i < bytes_.size();) {
        // Eight ASCII bytes at a time: most of a record is digits and blanks.
        std::uint64_t eight;
        if (i + 8 <= bytes_.size() &&
            (std::memcpy(&eight, bytes_.data() + i, 8), (eight & 0x8080808080808080u) == 0)) {
            std::memset(k + i, 0, 8);
            i += 8;
            continue;
        }
        auto c = static_cast<unsigned char>(bytes_[i]);
        if (c < 0x80) {
            k[i++] = 0;
        } else if (cp932::charLength(bytes_, i) == 2) {
            k[i] = 1;
            k[i + 1] = 2;
            i += 2;
        } else {
            k[i++] = cp932::isSingle(c) ? 0 : 3;
        }
    }
    return k;
}

void Record::appendField(std::string& out, std::size_t pos, std::size_t len) const {
    if (pos == 0 || pos > bytes_.size() || len == 0) return;
    std::size_t begin = pos - 1;
    std::size_t end = std::min(bytes_.size(), begin + len);
    if (ascii_) {
        out.append(bytes_.data() + begin, end - begin);
        return;
    }
    const unsigned char* k = kinds();
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

KeyShape raceKeyShape(std::string_view key) {
    bool blank = true;
    for (std::size_t i = 0; i < key.size() && i < race::kRaceKeyBytes; ++i) {
        const char c = key[i];
        if (c == ' ') continue;
        blank = false;
        const bool digit = c >= '0' && c <= '9';
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!(digit || (i >= 4 && letter))) return KeyShape::Bad;
    }
    return blank ? KeyShape::Blank : KeyShape::Race;
}

namespace {

// The end of the text once the line ends, an end-of-file mark and the line ends before it are
// taken off its end.
std::size_t contentEnd(std::string_view text) {
    std::size_t end = text.size();
    auto trim = [&] {
        while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n')) --end;
    };
    trim();
    if (end > 0 && text[end - 1] == '\x1a') {
        --end;
        trim();
    }
    return end;
}

}  // namespace

Lines::Lines(std::string_view text) : text_(text.substr(0, contentEnd(text))) {}

// Where the next `c` is from the current line on (the end when there is none), searched again only
// once the lines have passed the one found: each byte is looked at once for each of CR and LF.
std::size_t Lines::nextOf(char c, std::size_t& found) const {
    if (found == std::string_view::npos || found < pos_) {
        const void* at = std::memchr(text_.data() + pos_, c, text_.size() - pos_);
        found = at ? static_cast<std::size_t>(static_cast<const char*>(at) - text_.data())
                   : text_.size();
    }
    return found;
}

bool Lines::next(std::string_view& line) {
    const std::size_t n = text_.size();
    if (pos_ >= n) return false;
    std::size_t i = std::min(nextOf('\r', cr_), nextOf('\n', lf_));
    line = text_.substr(pos_, i - pos_);
    if (i + 1 < n && text_[i] == '\r' && text_[i + 1] == '\n') ++i;
    pos_ = i + 1;
    return true;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    Lines each(text);
    for (std::string_view line; each.next(line);) lines.push_back(line);
    return lines;
}

}  // namespace velt
