#include <algorithm>
#include <optional>
#include <string>

#include "codes/code.h"
#include "codes/cp932.h"
#include "codes/numeric.h"
#include "convert/converters.h"
#include "convert/layouts.h"
#include "convert/paths.h"
#include "convert/record.h"

namespace velt {
namespace {

std::string ideographicSpaces(int n) {
    static const std::string space = cp932::fromUtf8("　");
    std::string out;
    for (int i = 0; i < n; ++i) out += space;
    return out;
}

// The fixed texts of the two lines, in CP932.
struct Texts {
    std::string equipmentComment = cp932::fromUtf8("] 　馬具コメント【");
    std::string closeAndFill = cp932::fromUtf8("】") + ideographicSpaces(23);
    std::string legComment = cp932::fromUtf8("脚元コメント【");
    std::string leftFore = cp932::fromUtf8("　脚元左前＞");
    std::string rightFore = cp932::fromUtf8("脚元右前＞");
    std::string foreFill = ideographicSpaces(28);
    std::string leftHind = cp932::fromUtf8("　脚元左後＞");
    std::string rightHind = cp932::fromUtf8("脚元右後＞");
    std::string hindFill = ideographicSpaces(31);
    std::string remarkMark = cp932::fromUtf8("＞");
    std::string remarkFill = ideographicSpaces(70);
};

const Texts& texts() {
    static const Texts t;
    return t;
}

double codeAt(const Record& r, FieldRun codes, int i) {
    return numericValue(r.field(codes[static_cast<std::size_t>(i)]));
}

// Three blanks are "no leg code": 0 is a real code in the leg table.
std::string_view legAt(const Record& r, int i) {
    std::string f = r.field(ska::kLegs[static_cast<std::size_t>(i)]);
    return code::legName(f == "   " ? 999 : numericValue(f));
}

std::string kcLine(const Record& r, const std::string& key) {
    const Texts& t = texts();
    std::string s = key;
    r.appendField(s, ska::kFirstComment);
    s += " [";
    for (int i = 1; i <= 8; ++i) s += code::equipmentName(codeAt(r, ska::kEquipment, i));
    s += "][";
    s += legAt(r, 1);
    s += ' ';
    s += legAt(r, 2);
    s += ' ';
    s += legAt(r, 3);
    s += t.equipmentComment;
    r.appendField(s, ska::kEquipmentComment);
    s += t.closeAndFill;
    s += t.legComment;
    r.appendField(s, ska::kLegComment);
    s += t.closeAndFill;
    auto legs = [&](const std::string& label, int first) {
        s += label;
        for (int i = first; i < first + 3; ++i) s += legAt(r, i);
    };
    legs(t.leftFore, 4);
    legs(t.rightFore, 7);
    s += t.foreFill;
    legs(t.leftHind, 10);
    legs(t.rightHind, 13);
    s += t.hindFill;
    return s;
}

std::string kmLine(const Record& r, const std::string& key) {
    const Texts& t = texts();
    std::string s = key;
    r.appendField(s, ska::kRemarkComment);
    s += t.remarkMark;
    for (int i = 1; i <= 6; ++i) {
        s += code::remarkName(codeAt(r, ska::kRemarks, i));
        s += ' ';
    }
    s += t.remarkFill;
    return s;
}

// Parts of a file name must not lead out of the year folder.
bool safeNamePart(std::string_view utf8) {
    return utf8.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

// Where a comment record goes: its date and course as they stand (CP932), as its file names
// carry them (UTF-8), and its year folder; or why it goes nowhere. Only the first ska::kMinBytes
// bytes are looked at.
struct Place {
    std::string date, course, dateText, courseText, year;
    std::optional<Outcome> refused;
};

Place placeOf(std::string_view line) {
    Place p;
    if (line.size() < ska::kMinBytes) p.refused = Outcome::Malformed;
    if (!p.refused) p.refused = keyOutcome(line.substr(0, race::kRaceKeyBytes));
    if (!p.refused && !commentYearInRange(line)) p.refused = Outcome::Malformed;
    if (p.refused) return p;
    // The fields lie in the head, and so do the characters they cut.
    const Record head(line.substr(0, ska::kMinBytes));
    p.date = head.field(ska::kDate);
    p.course = head.field(race::kCourse);
    p.dateText = cp932::toUtf8(p.date);
    p.courseText = cp932::toUtf8(p.course);
    if (!safeNamePart(p.dateText) || !safeNamePart(p.courseText)) p.refused = Outcome::Malformed;
    p.year = p.dateText.substr(0, 4);
    return p;
}

}  // namespace

bool commentYearInRange(std::string_view line) {
    const std::string_view year = line.substr(std::min(line.size(), ska::kDate.pos - 1), 4);
    int value = 0;
    for (char c : year) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return year.size() == 4 && value >= 1970 && value <= 2099;
}

std::string commentYearFolder(std::string_view line) {
    const Place place = placeOf(line);
    return place.refused ? std::string() : place.year;
}

Outcome kakuchouhenkan(std::string_view line, ImportContext& ctx) {
    const Place place = placeOf(line);
    if (place.refused) return *place.refused;
    const auto& [date, course, dateText, courseText, year, refused] = place;
    const Record r(line);
    ctx.fileDate = dateText;

    std::string key = date + course;
    key += '0';
    r.appendField(key, race::kMeeting);
    key += '0';
    r.appendField(key, race::kDay);
    r.appendField(key, race::kRace);
    r.appendField(key, race::kHorse);

    const std::string folder = ctx.dataFolder + "KCOM_DATA/" + year + "/";
    const std::string stem = dateText + courseText + ".DAT";
    bool kc = ctx.store->addSorted(folder + "KC" + stem, kcLine(r, key), kCommentKeyChars);
    bool km = ctx.store->addSorted(folder + "KM" + stem, kmLine(r, key), kCommentKeyChars);
    return kc || km ? Outcome::Written : Outcome::Present;
}

}  // namespace velt
