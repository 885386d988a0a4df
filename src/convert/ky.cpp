#include "codes/code.h"
#include "codes/cp932.h"
#include "codes/numeric.h"
#include "convert/converters.h"
#include "convert/paths.h"
#include "convert/record.h"

namespace velt {

Outcome ky(std::string_view line, ImportContext& ctx) {
    const Record r(line);
    if (r.size() < 10) return Outcome::Malformed;
    if (!placeableKey(line.substr(0, 8))) return Outcome::Malformed;
    const std::string course = r.field(1, 2), year = r.field(3, 2), meeting = r.field(5, 1);
    const std::string key = horseKey(r, '0');

    const std::string path = meetingPath(ctx, "MD", year, meeting, numericValue(course));
    if (path.empty()) return Outcome::Malformed;
    if (ctx.store->hasKey(path, key, 11)) return Outcome::Present;

    static const std::string training = cp932::fromUtf8(" [調"), stable = cp932::fromUtf8("][厩"),
                             total = cp932::fromUtf8("総【"), close = cp932::fromUtf8("】");
    auto code = [&r](std::size_t pos) { return numericValue(r.field(pos, 1)); };
    std::string out = key;
    out += ' ';
    out += code::runningStyleName(code(90));
    r.appendField(out, 55, 5);
    out += "ID ";
    out += code::gradeName(code(92));
    out += training;
    r.appendField(out, 145, 5);
    out += code::trainingArrowName(code(155));
    out += stable;
    r.appendField(out, 150, 5);
    out += code::stableRatingName(code(156));
    out += ']';
    r.appendField(out, 85, 5);
    out += total;
    for (std::size_t pos = 327; pos <= 329; ++pos) out += code::markName(code(pos));
    out += '|';
    for (std::size_t pos = 330; pos <= 332; ++pos) out += code::markName(code(pos));
    out += close;
    ctx.store->append(path, out);
    return Outcome::Written;
}

}  // namespace velt
