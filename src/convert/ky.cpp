#include "codes/code.h"
#include "codes/cp932.h"
#include "codes/numeric.h"
#include "convert/converters.h"
#include "convert/layouts.h"
#include "convert/paths.h"
#include "convert/record.h"

namespace velt {

Outcome ky(std::string_view line, ImportContext& ctx) {
    const Record r(line);
    const HorseLine h = startHorseLine(r, ctx, "MD", '0');
    if (h.outcome) return *h.outcome;

    static const std::string training = cp932::fromUtf8(" [調"), stable = cp932::fromUtf8("][厩"),
                             total = cp932::fromUtf8("総【"), close = cp932::fromUtf8("】");
    auto code = [&r](Field f) { return numericValue(r.field(f)); };
    std::string out = h.key;
    out += ' ';
    out += code::runningStyleName(code(kyd::kRunningStyle));
    r.appendField(out, kyd::kIndex);
    out += "ID ";
    out += code::gradeName(code(kyd::kGrade));
    out += training;
    r.appendField(out, kyd::kTrainingIndex);
    out += code::trainingArrowName(code(kyd::kTrainingArrow));
    out += stable;
    r.appendField(out, kyd::kStableIndex);
    out += code::stableRatingName(code(kyd::kStableRating));
    out += ']';
    r.appendField(out, kyd::kOverallIndex);
    out += total;
    for (std::size_t i = 1; i <= 3; ++i) out += code::markName(code(kyd::kMarks[i]));
    out += '|';
    for (std::size_t i = 4; i <= 6; ++i) out += code::markName(code(kyd::kMarks[i]));
    out += close;
    ctx.store->append(h.path, out);
    return Outcome::Written;
}

}  // namespace velt
