#include "shell/text_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codes/cp932.h"
#include "convert/converters.h"
#include "convert/layouts.h"
#include "convert/record.h"

namespace velt {
namespace {

// Record lengths, line end not counted. Today's (KYI, KYG, SED, SEC, ZED, ZEC, SKB, ZKB, OZ) were
// measured on JRDB's downloads and match its published layouts (which give them with the CR LF,
// two bytes more); the 2009 layouts (KYD, SEB, ZEB, SKA, ZKA) are those the converters' fields
// were laid out from. Each Z kind shares the layout of its S kind.
struct KindLength {
    const char* kind;
    std::size_t length;
};
constexpr KindLength kLengths[] = {
    {"KYD", 430}, {"KYG", 543}, {"KYI", 1022},                // horse data
    {"SEB", 330}, {"ZEB", 330}, {"SEC", 344},  {"ZEC", 344},  // results
    {"SED", 374}, {"ZED", 374},                               //
    {"OZ", 955},                                              // odds
    {"SKA", 280}, {"ZKA", 280}, {"SKB", 302},  {"ZKB", 302},  // comments
};

// With fewer lines a length that is no kind's says nothing: the converters' own short test files.
constexpr std::size_t kLinesToTell = 10;
// Longer lines are counted together; no record is that long.
constexpr std::size_t kLongestCounted = 2047;

std::size_t lengthOf(std::string_view kind) {
    for (const KindLength& k : kLengths)
        if (kind == k.kind) return k.length;
    return 0;
}

bool groupHasLength(Kind group, std::size_t length) {
    for (const std::string& k : kindsOfGroup(group))
        if (lengthOf(k) == length) return true;
    return false;
}

// "SKB/ZKB": the kinds of that length; empty for none.
std::string kindsOfLength(std::size_t length) {
    std::string out;
    for (const KindLength& k : kLengths)
        if (k.length == length) out += (out.empty() ? "" : "/") + std::string(k.kind);
    return out;
}

// Eight bytes at a time for the usual run of printable ASCII: none below 0x20, none from 0x7F.
bool printableAscii(std::uint64_t v) {
    constexpr std::uint64_t ones = 0x0101010101010101u, high = 0x8080808080808080u;
    const std::uint64_t below20 = (v - ones * 0x20) & ~v & high;
    const std::uint64_t x = v ^ (ones * 0x7F);
    const std::uint64_t is7f = (x - ones) & ~x & high;
    return ((v & high) | below20 | is7f) == 0;
}

bool cleanCp932(std::string_view line) {
    for (std::size_t i = 0; i < line.size();) {
        std::uint64_t eight;
        if (i + 8 <= line.size() &&
            (std::memcpy(&eight, line.data() + i, 8), printableAscii(eight))) {
            i += 8;
            continue;
        }
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7F) {
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

bool digits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

KeyShape shapeOf(std::string_view key, Kind group) {
    const KeyShape shape = raceKeyShape(key);
    if (group != Kind::Lap || shape == KeyShape::Blank) return shape;
    return digits(key) ? KeyShape::Race : KeyShape::Bad;  // the lap file opens with its date
}

// What every line of a text showed.
struct Scan {
    std::size_t lines = 0;
    std::size_t judged = 0;     // lines whose key is not blank
    std::size_t unclean = 0;    // of those, lines with control bytes or bytes that are not CP932
    std::size_t malformed = 0;  // of those, clean lines with no race key (or year) at their head
    std::vector<std::uint32_t> lengths = std::vector<std::uint32_t>(kLongestCounted + 1);
    std::string_view last;

    bool mostlyNoText() const { return unclean * 2 > judged && unclean >= malformed; }
    bool mostlyOdd() const { return (unclean + malformed) * 2 > judged; }
    // The length more than half of the lines have; 0 when none has.
    std::size_t commonLength() const {
        auto most = std::max_element(lengths.begin(), lengths.end());
        if (static_cast<std::size_t>(*most) * 2 <= lines) return 0;
        return static_cast<std::size_t>(most - lengths.begin());
    }
};

Scan scan(std::string_view bytes, Kind group) {
    Scan s;
    std::string_view line;
    for (Lines all(bytes); all.next(line); ++s.lines) {
        s.last = line;
        ++s.lengths[std::min(line.size(), kLongestCounted)];
        const std::string_view key = line.substr(0, race::kRaceKeyBytes);
        const KeyShape shape = shapeOf(key, group);
        if (shape == KeyShape::Blank) continue;
        ++s.judged;
        if (!cleanCp932(line)) {
            ++s.unclean;
            continue;
        }
        // A line too short for its year is judged by its key: shortness is the converters' call.
        const bool yearShown = line.size() >= ska::kDate.pos + 3;
        if (shape == KeyShape::Bad ||
            (group == Kind::SKAZKA && yearShown && !commentYearInRange(line)))
            ++s.malformed;
    }
    return s;
}

std::string noTextCause(const Scan& s) {
    return "ほとんどの行に制御文字か CP932 でないバイトがあるか、行の頭にレースキーがありません (" +
           std::to_string(s.unclean + s.malformed) + " / " + std::to_string(s.judged) + " 行)";
}

// Another kind: most lines share a length none of the group's kinds has.
std::string anotherKind(const Scan& s, Kind group) {
    const std::size_t common = s.commonLength();
    if (common == 0 || groupHasLength(group, common)) return {};
    const std::string kinds = kindsOfLength(common);
    if (kinds.empty() && s.lines < kLinesToTell) return {};
    return std::string(groupName(group)) + "ではありません (レコードは " + std::to_string(common) +
           " バイト: " +
           (kinds.empty() ? "JRDB のどの種類の長さでもありません)" : kinds + " の長さです)");
}

// Cut short: the last line has no line end and is shorter than the kind's record: the group's
// length most lines have, else the length of the kind the name shows, else the group's shortest.
std::string cutShort(std::string_view bytes, const Scan& s, Kind group, std::string_view kind) {
    if (bytes.empty() || bytes.back() == '\n' || bytes.back() == '\r' || bytes.back() == '\x1a')
        return {};
    std::size_t expected = groupHasLength(group, s.commonLength()) ? s.commonLength() : 0;
    if (expected == 0) expected = lengthOf(kind);
    if (expected == 0)
        for (const std::string& k : kindsOfGroup(group))
            if (expected == 0 || lengthOf(k) < expected) expected = lengthOf(k);
    if (s.last.size() >= expected) return {};
    const std::string named =
        lengthOf(kind) == expected ? std::string(kind) : kindsOfLength(expected);
    return "ダウンロードが途中で切れています (最後の行が改行で終わらず " +
           std::to_string(s.last.size()) + " バイトで、" + named + " のレコードは " +
           std::to_string(expected) + " バイトです)。もう一度ダウンロードしてください";
}

}  // namespace

std::string refusalReason(std::string_view bytes, Kind group, std::string_view kindName) {
    const std::string notText =
        std::string(groupName(group)) + "のテキストファイルではありません (";
    if (std::memchr(bytes.data(), '\0', bytes.size())) return notText + "NUL バイトがあります)";
    const Scan s = scan(bytes, group);
    if (group == Kind::Lap || kindsOfGroup(group).empty())
        return s.mostlyOdd() ? notText + noTextCause(s) + ")" : std::string();
    if (s.mostlyOdd() && s.mostlyNoText()) return notText + noTextCause(s) + ")";
    if (std::string why = anotherKind(s, group); !why.empty()) return why;
    if (s.mostlyOdd())
        return std::string(groupName(group)) + "ではありません (レコード " +
               std::to_string(s.malformed + s.unclean) + " / " + std::to_string(s.judged) +
               " 件が不正です: 行の頭がレースキー" +
               (group == Kind::SKAZKA ? "と 1970〜2099 年の日付" : "") + "ではありません)";
    return cutShort(bytes, s, group, kindName);
}

std::string notTextReason(std::string_view bytes, bool lapLayout) {
    if (std::memchr(bytes.data(), '\0', bytes.size())) return "NUL バイトがあります";
    const Scan s = scan(bytes, lapLayout ? Kind::Lap : Kind::None);
    return s.mostlyOdd() ? noTextCause(s) : std::string();
}

}  // namespace velt
