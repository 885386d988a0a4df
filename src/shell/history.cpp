#include "shell/history.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "platform/failure.h"
#include "platform/file.h"
#include "platform/system.h"
#include "shell/import_engine.h"
#include "shell/messages.h"
#include "shell/plan.h"
#include "shell/prefetch.h"
#include "shell/recognition.h"
#include "shell/shown.h"

namespace velt {
namespace {

constexpr const char* kHeader =
    "when\tname\tsize\tsha256\tkind\trace_day\tread\twritten\tpresent\tout_of_scope\tmalformed\t"
    "outcome\n";
constexpr std::size_t kFields = 12;
// Decades of daily imports stay far below this.
constexpr std::size_t kMaxHistoryBytes = 64u << 20;

std::vector<std::string_view> split(std::string_view line, char sep) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t next = line.find(sep, at);
        parts.push_back(line.substr(at, next - at));
        if (next == std::string_view::npos) return parts;
        at = next + 1;
    }
}

template <typename T>
bool number(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// An entry of a line; false for the header, a comment or a line that is no entry.
bool parse(std::string_view line, HistoryEntry& e) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto f = split(line, '\t');
    // Later versions may add fields at the end.
    if (f.size() < kFields || f[0].size() != 19 || f[0] == "when") return false;
    e.when = f[0];
    e.name = f[1];
    e.sha256 = f[3];
    e.kind = f[4];
    e.raceDay = f[5];
    e.outcome = f[11];
    e.succeeded = e.outcome == "ok";
    return number(f[2], e.size) && number(f[6], e.read) && number(f[7], e.written) &&
           number(f[8], e.present) && number(f[9], e.outOfScope) && number(f[10], e.malformed);
}

std::string flat(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

std::string line(const HistoryEntry& e) {
    std::string out;
    for (const std::string& field :
         {flat(e.when), flat(e.name), std::to_string(e.size), flat(e.sha256), flat(e.kind),
          flat(e.raceDay), std::to_string(e.read), std::to_string(e.written),
          std::to_string(e.present), std::to_string(e.outOfScope), std::to_string(e.malformed)})
        out += field + '\t';
    return out + (e.succeeded ? std::string("ok") : flat(e.outcome.empty() ? "失敗" : e.outcome)) +
           '\n';
}

// The group an entry's kind stands for: a kind's name, a pack's, or a button's when the name
// showed none.
Kind groupOfEntry(const std::string& kind) {
    const Kind group = groupOfKind(kind);
    if (group != Kind::None) return group;
    if (kind == "JRDB" || kind == "PACI" || kind == "J") return Kind::Pack;
    if (kind == "s3") return Kind::Lap;
    static const std::map<std::string, Kind> buttons = {{"SEBZEB", Kind::SEBZEB},
                                                        {"SKAZKA", Kind::SKAZKA}};
    auto it = buttons.find(kind);
    return it == buttons.end() ? Kind::None : it->second;
}


std::string raceDayOf(const Recognition& r) {
    const std::string key = dateKey(r);
    if (r.kind == Kind::Zip || key == "99999999") return {};
    return key.substr(0, 4) + "-" + key.substr(4, 2) + "-" + key.substr(6, 2);
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of(platform::kSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string entryKind(const Recognition& r) {
    if (!r.kindName.empty()) return r.kindName;
    switch (r.kind) {
        case Kind::KYD:
            return "KYD";
        case Kind::SEBZEB:
            return "SEBZEB";
        case Kind::OZ:
            return "OZ";
        case Kind::SKAZKA:
            return "SKAZKA";
        case Kind::Pack:
            return "J";
        case Kind::Lap:
            return "s3";
        default:
            return {};
    }
}

std::string historyFileOf(const std::string& dataFolder) {
    return dataFolder + kHistoryFileName;
}

std::vector<HistoryEntry> readHistory(const std::string& dataFolder) {
    const std::string path = historyFileOf(dataFolder);
    std::string text;
    try {
        platform::File file = platform::File::openIfExists(path, platform::Read);
        if (!file.isOpen()) return {};
        if (file.status().kind != platform::Kind::Regular)
            throw Failure(path, "取り込み履歴が普通のファイルではありません");
        text = file.readRest(kMaxHistoryBytes);
    } catch (const platform::FileError& e) {
        throw Failure(path, causeOf(e));
    }
    std::vector<HistoryEntry> entries;
    // The text after the last line end is a line cut short: passed over.
    text.resize(text.find_last_of('\n') == std::string::npos ? 0 : text.find_last_of('\n') + 1);
    for (std::string_view l : split(text, '\n')) {
        HistoryEntry e;
        if (parse(l, e)) entries.push_back(std::move(e));
    }
    return entries;
}

void appendHistory(const std::string& dataFolder, const std::vector<HistoryEntry>& entries) {
    if (entries.empty()) return;
    const std::string path = historyFileOf(dataFolder);
    try {
        platform::File file(path, platform::Read | platform::Write | platform::Create |
                                      platform::NoFollow | platform::NonBlocking);
        if (file.status().kind != platform::Kind::Regular)
            throw Failure(path, "取り込み履歴が普通のファイルではありません");
        std::uint64_t size = file.status().size;
        if (size > 0) {
            char last = 0;
            file.readAt(&last, 1, size - 1);
            if (last != '\n') {
                const std::string text = file.readRest(kMaxHistoryBytes);
                const std::size_t nl = text.find_last_of('\n');
                size = nl == std::string::npos ? 0 : nl + 1;
                file.truncate(size);
            }
        }
        std::string lines = size == 0 ? kHeader : "";
        for (const auto& e : entries) lines += line(e);
        file.seek(size);
        platform::appendWholeLines(file, lines, size);
        file.close();
    } catch (const platform::FileError& e) {
        throw Failure(path, causeOf(e));
    }
}

std::string firstImportOf(const std::vector<HistoryEntry>& history, const std::string& sha256) {
    if (sha256.empty()) return {};
    for (const auto& e : history)
        if (e.succeeded && e.sha256 == sha256) return e.when.substr(0, 10);
    return {};
}

std::vector<HistoryDay> historyDays(const std::vector<HistoryEntry>& entries) {
    std::map<std::string, HistoryDay> days;
    for (const auto& e : entries) {
        if (e.raceDay.empty()) continue;
        HistoryDay& d = days[e.raceDay];
        d.raceDay = e.raceDay;
        if (std::find(d.inputs.begin(), d.inputs.end(), e.name) == d.inputs.end())
            d.inputs.push_back(e.name);
        if (!e.succeeded) continue;
        switch (groupOfEntry(e.kind)) {
            case Kind::Pack:
                d.horses = d.odds = true;
                break;
            case Kind::KYD:
                d.horses = true;
                break;
            case Kind::SEBZEB:
                d.results = true;
                break;
            case Kind::OZ:
                d.odds = true;
                break;
            case Kind::SKAZKA:
                d.comments = true;
                break;
            case Kind::Lap:
                d.laps = true;
                break;
            default:
                break;
        }
    }
    std::vector<HistoryDay> out;
    for (auto& [day, d] : days) out.push_back(std::move(d));
    return out;
}

const std::vector<std::string>& historyDayHeaders() {
    static const std::vector<std::string> heads = {
        "開催日", "パック・競走馬", "成績", "オッズ", "成績拡張", "ラップ", "ファイル"};
    return heads;
}

std::vector<std::string> historyDayCells(const HistoryDay& day) {
    auto mark = [](bool in) { return std::string(in ? "○" : "×"); };
    std::string names;
    for (const auto& n : day.inputs) names += (names.empty() ? "" : " ") + shown(n);
    return {day.raceDay,    mark(day.horses),   mark(day.results),
            mark(day.odds), mark(day.comments), mark(day.laps),
            names};
}

std::string historyText(const std::vector<HistoryEntry>& entries) {
    std::string out;
    auto row = [&out](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) out += (i ? "\t" : "") + cells[i];
        out += '\n';
    };
    row(historyDayHeaders());
    for (const auto& d : historyDays(entries)) row(historyDayCells(d));
    out += "\n取り込んだファイル (古い順):\n";
    for (const auto& e : entries)
        out += shown(e.when) + "  " + shown(e.name) + " (" + shown(e.kind) + ", " +
               std::to_string(e.size) +
               " バイト): " + (e.succeeded ? "取り込みました" : "失敗しました") +
               " (レコード: 読み込み " + std::to_string(e.read) + "、書き込み " +
               std::to_string(e.written) + "、既にあり " + std::to_string(e.present) + "、不正 " +
               std::to_string(e.malformed) +
               (e.outOfScope ? "、JRA 以外 " + std::to_string(e.outOfScope) : "") + ")" +
               (e.succeeded ? "" : " " + shown(e.outcome)) + "\n    SHA-256 " + shown(e.sha256) +
               "\n";
    return out;
}

void recordRun(const std::string& dataFolder, const Plan& plan, Prefetch& prefetch,
               std::vector<ImportSummary>& sums, Messages& messages) {
    auto tell = [&messages](const std::string& text) {
        messages.message({Message::Kind::Failure, text, {}, Message::Icon::Warning});
    };
    std::vector<HistoryEntry> history;
    try {
        history = readHistory(dataFolder);
    } catch (const std::exception& e) {
        tell(shown(describe(e)) +
             " (取り込み履歴を読めないので、以前に取り込んだかは分かりません)");
    }
    const std::string now = platform::localDateTime();
    std::vector<HistoryEntry> added;
    for (std::size_t i = 0; i < plan.inputs.size() && i < sums.size(); ++i) {
        const PlannedInput& in = plan.inputs[i];
        const ImportSummary& sum = sums[i];
        if (!in.recognised()) continue;
        const Prefetch::Digest digest = prefetch.digest(i);
        HistoryEntry e;
        e.when = now;
        e.name = baseName(in.path);
        e.size = digest.size;
        e.sha256 = digest.sha256;
        e.kind = entryKind(in.recognition);
        e.raceDay = raceDayOf(in.recognition);
        e.read = sum.linesRead;
        e.written = sum.written;
        e.present = sum.present;
        e.outOfScope = sum.outOfScope;
        e.malformed = sum.malformed;
        e.succeeded = sum.succeeded;
        e.outcome = sum.succeeded ? "ok" : sum.error;
        sums[i].previouslyImported = firstImportOf(history, e.sha256);
        added.push_back(std::move(e));
    }
    try {
        appendHistory(dataFolder, added);
    } catch (const std::exception& e) {
        tell(shown(describe(e)) +
             " (取り込み履歴に書き込めませんでした。取り込みそのものは済んでいます)");
    }
}

}  // namespace velt
