#include <array>
#include <charconv>
#include <string>

#include "codes/cp932.h"
#include "codes/numeric.h"
#include "convert/converters.h"
#include "convert/layouts.h"
#include "convert/paths.h"
#include "convert/record.h"

namespace velt {
namespace {

constexpr int kLaps = 25;
constexpr std::size_t kTextChars = 60;

// " " and the sum with at most 15 significant digits, no trailing zeros, no point when whole;
// "-" in place of the blank when negative. to_chars does not follow the locale.
std::string sumText(const std::array<std::string, kLaps + 1>& laps, int first, int last) {
    double sum = 0.0;
    for (int i = first; i <= last; ++i) sum += numericValue(laps[i]);
    if (sum == 0.0) sum = 0.0;  // no "-0"
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, sum, std::chars_format::general, 15);
    std::string out(buf, res.ptr);
    if (sum >= 0) out.insert(out.begin(), ' ');
    return out;
}

void appendLaps(std::string& text, const std::array<std::string, kLaps + 1>& laps, int first,
                int last) {
    for (int i = first; i <= last; ++i) {
        text += '-';
        text += laps[i];
    }
}

}  // namespace

Outcome Lap(std::string_view line, ImportContext& ctx) {
    const Record r(line);
    if (r.size() < lap::kMinBytes) return Outcome::Malformed;
    const std::string year = r.field(lap::kYear), course = r.field(lap::kCourse),
                      meeting = r.field(lap::kMeeting);
    // The race's horse key, with horse number "00".
    std::string key = course + year + meeting + r.field(lap::kDay) + r.field(lap::kRace);
    if (auto o = keyOutcome(key)) return *o;
    key += "001";

    const std::string path = meetingPath(ctx, "MS", year, meeting, numericValue(course));
    if (path.empty()) return Outcome::Malformed;
    if (ctx.store->hasKey(path, key, kHorseKeyChars)) return Outcome::Present;

    std::array<std::string, kLaps + 1> laps;  // laps[1] .. laps[25]
    for (int i = 1; i <= kLaps; ++i)
        laps[i] = timeText(r.field(lap::kLaps[static_cast<std::size_t>(i)]));
    auto present = [&laps](int i) { return laps[i] != "00.0"; };

    std::string text;
    if (present(18)) {
        text = "5F" + sumText(laps, 1, 5) + "-5F" + sumText(laps, 6, 10);
        appendLaps(text, laps, 11, 18);
    } else if (present(16)) {
        text = sumText(laps, 1, 5);
        appendLaps(text, laps, 6, 16);
    } else if (present(15)) {
        text = "5F" + sumText(laps, 1, 5);
        appendLaps(text, laps, 6, 15);
    } else if (present(13)) {
        text = "3F" + sumText(laps, 1, 3);
        appendLaps(text, laps, 4, 13);
    } else {
        text = laps[1];
        appendLaps(text, laps, 2, 4);
        for (int i = 5; i <= 12; ++i)
            if (present(i)) appendLaps(text, laps, i, i);
    }

    std::string out = key;
    const std::size_t chars = cp932::charCount(text);
    if (chars < kTextChars)
        out.append(kTextChars - chars, ' ');
    else
        text.erase(0, cp932::prefixBytes(text, chars - kTextChars));
    out += text;
    ctx.store->append(path, out);
    return Outcome::Written;
}

}  // namespace velt
