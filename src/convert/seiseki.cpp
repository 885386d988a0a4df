#include "codes/code.h"
#include "codes/cp932.h"
#include "codes/numeric.h"
#include "convert/converters.h"
#include "convert/layouts.h"
#include "convert/paths.h"
#include "convert/record.h"

namespace velt {

Outcome Seiseki(std::string_view line, ImportContext& ctx) {
    const Record r(line);
    const HorseLine h = startHorseLine(r, ctx, "MS", '1');
    if (h.outcome) return *h.outcome;

    static const std::string unfit = cp932::fromUtf8("不"), late = cp932::fromUtf8("遅]　["),
                             after = cp932::fromUtf8("]　"), gap = cp932::fromUtf8("　");
    auto value = [&r](Field f) { return numericValue(r.field(f)); };
    std::string out = h.key;
    out += code::gradeName(value(seb::kGrade));
    r.appendField(out, seb::kFigure);
    out += code::surfaceName(toInt16(value(seb::kSurface)));
    out += '-';
    out += code::bodyName(value(seb::kBody));
    out += '-';
    out += code::demeanorName(value(seb::kDemeanor));
    out += " [";
    r.appendField(out, seb::kUnfitFigure);
    out += unfit;
    r.appendField(out, seb::kLateFigure);
    out += late;
    out += code::trackConditionName(value(seb::kTrackCondition));
    r.appendField(out, seb::kTrackFigure);
    out += after;
    out += code::positionName(value(seb::kPosition));
    out += gap;
    r.appendField(out, seb::kNote);
    out += ' ';
    out += timeText(r.field(seb::kFirstTime));
    out += '-';
    out += timeText(r.field(seb::kSecondTime));
    ctx.store->append(h.path, out);
    return Outcome::Written;
}

}  // namespace velt
