#include <array>
#include <charconv>

#include "codes/cp932.h"
#include "codes/numeric.h"
#include "convert/converters.h"
#include "convert/layouts.h"
#include "convert/paths.h"
#include "convert/record.h"

namespace velt {
namespace {

constexpr int kHorses = oz::kMaxHorses;
constexpr std::string_view kZero = "  0.0";

void appendNumber(std::string& out, int n) {
    char buf[12];
    auto res = std::to_chars(buf, buf + sizeof buf, n);
    out.append(buf, res.ptr);
}

}  // namespace

int frameNumber(int n, int h) {
    if (n >= 16) {
        if (h == 15) return n == 18 ? 7 : 8;
        if (h > 16) return 8;
        return (h + 1) / 2;
    }
    if (n <= 8) return h;
    const int r = 8 - n % 8;
    return h <= r ? h : (h + 1 + r) / 2;
}

Outcome ozzhenkan(std::string_view line, ImportContext& ctx) {
    const Record r(line);
    if (r.size() < race::kKeyBytes) return Outcome::Malformed;
    if (auto o = keyOutcome(line.substr(0, race::kRaceKeyBytes))) return *o;
    const std::string count = r.field(oz::kHorses);
    const double n = numericValue(count);
    // The record holds odds for 18 horses; a larger count has nothing to write for the rest.
    if (n > kHorses) return Outcome::Malformed;

    const std::string path = oddsPath(ctx);
    const bool startFile = ctx.oddsStartFlag == 1;
    if (startFile)
        ctx.store->startAnew(path);
    else
        ctx.store->ensureExists(path);
    if (n < 1) return Outcome::Present;

    std::array<std::array<std::string, kHorses>, kHorses> pairs;
    std::size_t pair = 1;
    for (int a = 0; a < kHorses; ++a) {
        pairs[a][a] = kZero;
        for (int b = a + 1; b < kHorses; ++b, ++pair) {
            std::string cell = r.field(oz::kQuinella[pair]);
            std::size_t chars = cp932::charCount(cell);
            if (chars < 5) cell.append(5 - chars, ' ');
            if (cell == "     ") cell = kZero;
            pairs[a][b] = pairs[b][a] = cell;
        }
    }

    const std::string raceKey = r.field(oz::kRaceKey);
    for (int h = 1; h <= n; ++h) {
        std::string out = raceKey;
        if (h < 10) out += '0';
        appendNumber(out, h);
        out += ", ";
        out += count;
        out += ", 5,    , ";
        appendNumber(out, h);
        out += ", ";
        appendNumber(out, frameNumber(static_cast<int>(n), h));
        out += ",                  ,  ";
        r.appendField(out, oz::kWin[static_cast<std::size_t>(h)]);
        const std::string place = r.field(oz::kPlace[static_cast<std::size_t>(h)]);
        out += ",  ";
        out += place;
        out += ",  ";
        out += place;
        for (int j = 0; j < kHorses; ++j) {
            out += ",  ";
            out += pairs[h - 1][j];
        }
        for (int k = 0; k < 8; ++k) {
            out += ",  ";
            out += kZero;
        }
        out += ",0900";
        ctx.store->append(path, out);
        if (startFile) ++ctx.oddsStartFlag;
    }
    return Outcome::Written;
}

}  // namespace velt
