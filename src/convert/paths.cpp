#include "convert/paths.h"

#include "codes/code.h"
#include "codes/cp932.h"
#include "codes/numeric.h"
#include "platform/failure.h"
#include "convert/layouts.h"

namespace velt {
namespace {

bool usableName(std::string_view name) {
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace

std::string meetingPath(const ImportContext& ctx, std::string_view prefix, std::string_view year,
                        std::string_view meeting, double courseCode) {
    std::string name(prefix);
    name.append(year);
    name.append(meeting);
    name.append(code::courseName(courseCode));
    name.append(".DAT");
    // The records of a meeting come one after another: its name is converted once.
    thread_local std::string lastName, lastUtf8;
    if (name != lastName) {
        lastUtf8 = cp932::toUtf8(name);
        lastName = name;
    }
    if (!usableName(lastUtf8)) return {};
    return ctx.dataFolder + "MDATA/" + lastUtf8;
}

std::optional<Outcome> keyOutcome(std::string_view key) {
    switch (raceKeyShape(key)) {
        case KeyShape::Race:
            return std::nullopt;
        case KeyShape::Blank:
            return Outcome::OutOfScope;
        case KeyShape::Bad:
            break;
    }
    return Outcome::Malformed;
}

std::string horseKey(const Record& r, char suffix) {
    std::string key = r.field(race::kCourse) + r.field(race::kYear) + r.field(race::kMeeting) +
                      r.field(race::kDay) + r.field(race::kRace) + r.field(race::kHorse);
    key += suffix;
    return key;
}

HorseLine startHorseLine(const Record& r, ImportContext& ctx, std::string_view prefix,
                         char suffix) {
    HorseLine h;
    if (r.size() < race::kKeyBytes) {
        h.outcome = Outcome::Malformed;
        return h;
    }
    h.outcome = keyOutcome(r.field(1, race::kRaceKeyBytes));
    if (h.outcome) return h;
    h.key = horseKey(r, suffix);
    h.path = meetingPath(ctx, prefix, r.field(race::kYear), r.field(race::kMeeting),
                         numericValue(r.field(race::kCourse)));
    if (h.path.empty())
        h.outcome = Outcome::Malformed;
    else if (ctx.store->hasKey(h.path, h.key, kHorseKeyChars))
        h.outcome = Outcome::Present;
    return h;
}

std::string oddsPath(const ImportContext& ctx) {
    std::string name = "OD" + ctx.fileDate + ".CSV";
    std::string path = ctx.dataFolder + "HDATA/" + name;
    if (!usableName(name))
        throw Failure(path, "ファイル名の日付の部分にフォルダの区切りか NUL 文字があります");
    return path;
}

std::string timeText(std::string_view field) {
    std::string out(field.substr(0, cp932::prefixBytes(field, 2)));
    out.push_back('.');
    std::size_t last = 0;
    for (std::size_t i = 0; i < field.size(); i += cp932::charLength(field, i)) last = i;
    out.append(field.substr(last));
    return out;
}

}  // namespace velt
