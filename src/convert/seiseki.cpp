#include "codes/code.h"
#include "codes/cp932.h"
#include "codes/numeric.h"
#include "convert/converters.h"
#include "convert/paths.h"
#include "convert/record.h"

namespace velt {

Outcome Seiseki(std::string_view line, ImportContext& ctx) {
    const Record r(line);
    if (r.size() < 10) return Outcome::Malformed;
    if (!placeableKey(line.substr(0, 8))) return Outcome::Malformed;
    const std::string course = r.field(1, 2), year = r.field(3, 2), meeting = r.field(5, 1);
    const std::string key = horseKey(r, '1');

    const std::string path = meetingPath(ctx, "MS", year, meeting, numericValue(course));
    if (path.empty()) return Outcome::Malformed;
    if (ctx.store->hasKey(path, key, 11)) return Outcome::Present;

    static const std::string unfit = cp932::fromUtf8("不"), late = cp932::fromUtf8("遅]　["),
                             after = cp932::fromUtf8("]　"), gap = cp932::fromUtf8("　");
    auto value = [&r](std::size_t pos, std::size_t len) { return numericValue(r.field(pos, len)); };
    std::string out = key;
    out += code::gradeName(value(217, 1));
    r.appendField(out, 183, 3);
    out += code::surfaceName(toInt16(value(67, 1)));
    out += '-';
    out += code::bodyName(value(220, 1));
    out += '-';
    out += code::demeanorName(value(221, 1));
    out += " [";
    r.appendField(out, 201, 3);
    out += unfit;
    r.appendField(out, 195, 3);
    out += late;
    out += code::trackConditionName(value(70, 2));
    r.appendField(out, 189, 3);
    out += after;
    out += code::positionName(value(216, 1));
    out += gap;
    r.appendField(out, 222, 1);
    out += ' ';
    out += timeText(r.field(259, 3));
    out += '-';
    out += timeText(r.field(262, 3));
    ctx.store->append(path, out);
    return Outcome::Written;
}

}  // namespace velt
