#include "shell/plan.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "platform/file.h"
#include "platform/system.h"
#include "shell/lha_archive.h"
#include "shell/shown.h"
#include "shell/zip_archive.h"

namespace velt {
namespace {

// The groups of a pack, in the order they are converted.
const Kind kPackOrder[] = {Kind::KYD, Kind::SEBZEB, Kind::OZ, Kind::SKAZKA};

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of(platform::kSeparators);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string withSeparator(const std::string& folder) {
    return platform::isSeparator(folder.back()) ? folder : folder + "/";
}

// The names of the regular files directly inside a folder, sorted. A folder that cannot be
// listed fails: an empty list would pass for a folder with nothing to import.
std::vector<std::string> filesIn(const std::string& folder) {
    const std::string prefix = withSeparator(folder);
    std::vector<std::string> names;
    for (auto& name : platform::listFolder(folder))
        if (platform::isRegularFile(prefix + name)) names.push_back(std::move(name));
    std::sort(names.begin(), names.end());
    return names;
}

std::string kindList(const std::vector<std::string>& kinds, const std::string& date = {}) {
    std::string list;
    for (const auto& k : kinds)
        list += (list.empty() ? "" : ", ") + k + date + (date.empty() ? "" : ".txt");
    return list;
}

// The name among `names` that is `wanted` but for case ("kyi181201.txt" in a pack), or empty.
std::string findMember(const std::vector<std::string>& names, const std::string& wanted) {
    auto same = [&](const std::string& n) { return n == wanted; };
    auto found = std::find_if(names.begin(), names.end(), same);
    if (found == names.end())
        found = std::find_if(names.begin(), names.end(),
                             [&](const std::string& n) { return sameLetters(n, wanted); });
    return found == names.end() ? std::string() : *found;
}

// The member to read for one group: the first of `kinds` named kind + date + ".txt", else (when
// `anyDate`) the first daily text file of such a kind.
std::string pickMember(const std::vector<std::string>& names, const std::vector<std::string>& kinds,
                       const std::string& date, bool anyDate) {
    for (const auto& k : kinds)
        if (std::string found = findMember(names, k + date + ".txt"); !found.empty()) return found;
    if (anyDate)
        for (const auto& k : kinds)
            for (const auto& n : names)
                if (recogniseDailyText(n).kindName == k) return n;
    return {};
}

// One member of each group of a pack, in the order of conversion; every group is looked for
// before anything is converted.
std::vector<std::string> pickPackMembers(const std::vector<std::string>& names,
                                         const std::string& date, bool archive,
                                         const std::string& path) {
    std::vector<std::string> members;
    std::string missing;
    for (Kind group : kPackOrder) {
        members.push_back(pickMember(names, packKindsOfGroup(group), date, archive));
        if (members.back().empty())
            missing += std::string(missing.empty() ? "" : "、") + groupName(group) + " (" +
                       kindList(packKindsOfGroup(group), date) + " のどれか)";
    }
    if (!missing.empty())
        throw MemberMissing(path, (archive ? "書庫に " : "") + missing + " がありません");
    return members;
}

std::vector<ArchiveEntry> lhaEntries(const std::string& path) {
    return listLhaMembers(path, LhaLimits{kMemberLimit, kArchiveLimit});
}

std::vector<std::string> namesOf(const std::vector<ArchiveEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    return names;
}

std::uint64_t sizeOf(const std::vector<ArchiveEntry>& entries, const std::string& name) {
    for (const auto& e : entries)
        if (e.name == name) return e.length;
    return 0;
}

// A pack's members, each with the date it is converted under: a pack named without a date
// (given with --as) takes its odds member's date from there on.
void planPack(PlannedInput& in, const std::vector<std::string>& members,
              const std::string& prefix) {
    std::string date = in.date;
    for (std::size_t k = 0; k < members.size(); ++k) {
        if (kPackOrder[k] == Kind::OZ && date.empty()) date = recogniseDailyText(members[k]).date;
        const bool lha = in.source == PlannedInput::Source::Lha;
        PlannedText t{
            members[k], lha ? std::string() : prefix + members[k], kPackOrder[k], date, 0, 0, {}};
        t.size = lha ? sizeOf(in.entries, members[k]) : platform::status(t.file).size;
        in.texts.push_back(std::move(t));
    }
}

// Every daily text file of a ZIP, by date and then in the order of a pack.
void planZip(PlannedInput& in) {
    const Recognition& r = in.recognition;
    ZipArchive zip(in.path);
    for (std::size_t i = 0; i < zip.size(); ++i) {
        std::string name = zip.name(i);
        in.entries.push_back({name, 0});
        if (zip.isFolder(i)) continue;
        name = name.substr(name.find_last_of('/') + 1);
        const Recognition daily = recogniseDailyText(name);
        if (daily.kind == Kind::None) continue;
        if (!r.memberKinds.empty() && std::find(r.memberKinds.begin(), r.memberKinds.end(),
                                                daily.kindName) == r.memberKinds.end())
            continue;
        PlannedText t{name, {}, daily.kind, daily.date, 0, i, {}};
        t.zipIndex = i;
        in.texts.push_back(std::move(t));
    }
    if (in.texts.empty())
        throw Failure(in.path, "書庫に日ごとのテキストファイル (" +
                                   (r.memberKinds.empty() ? r.kindName : kindList(r.memberKinds)) +
                                   " + 日付 6 桁 + .txt) がありません");
    auto key = [](const PlannedText& t) {
        return std::make_tuple(dateKey(recogniseDailyText(t.name)), groupOrder(t.group), t.name);
    };
    std::stable_sort(in.texts.begin(), in.texts.end(),
                     [&](const PlannedText& a, const PlannedText& b) { return key(a) < key(b); });
}

// The one member a single-kind archive converts.
void planArchiveMember(PlannedInput& in) {
    const Recognition& r = in.recognition;
    const std::vector<std::string> names = namesOf(in.entries);
    std::string member = r.kind == Kind::Lap ? kLapMember : r.stem + ".txt";
    if (!r.memberKinds.empty()) member = pickMember(names, r.memberKinds, r.date, true);
    if (std::string found = findMember(names, member); !found.empty()) member = found;
    if (member.empty() || std::find(names.begin(), names.end(), member) == names.end())
        throw MemberMissing(
            in.path,
            "書庫に " + (member.empty() ? kindList(r.memberKinds) : member) + " がありません");
    std::string date = in.date;
    if (!r.memberKinds.empty() && r.date.empty()) date = recogniseDailyText(member).date;
    in.texts.push_back({member, {}, r.kind, date, sizeOf(in.entries, member), 0, {}});
}

void planSources(PlannedInput& in) {
    const Recognition& r = in.recognition;
    if (r.kind == Kind::Zip) {
        in.source = PlannedInput::Source::Zip;
        return planZip(in);
    }
    if (r.archive()) {
        in.source = PlannedInput::Source::Lha;
        in.entries = lhaEntries(in.path);
        if (r.kind == Kind::Pack)
            planPack(in, pickPackMembers(namesOf(in.entries), in.date, true, in.path), {});
        else
            planArchiveMember(in);
    } else if (r.kind == Kind::Pack) {
        // A pack given as a text: the members beside it in its folder.
        const std::string prefix = folderOf(in.path);
        planPack(in,
                 pickPackMembers(filesIn(prefix.empty() ? "." : prefix), in.date, false, in.path),
                 prefix);
    } else {
        in.texts.push_back(
            {in.path, in.path, r.kind, in.date, platform::status(in.path).size, 0, {}});
    }
}

PlannedInput planInput(const std::string& path, const Recognition& r, const std::string& date) {
    PlannedInput in;
    in.path = path;
    in.recognition = r;
    in.date = date;
    if (r.kind == Kind::None) return in;
    try {
        planSources(in);
        if (r.memberKinds.empty())
            for (auto& t : in.texts) {
                const Recognition daily = recogniseDailyText(
                    t.name.substr(t.name.find_last_of(platform::kSeparators) + 1));
                if (daily.kind == t.group) t.kindName = daily.kindName;
            }
    } catch (const std::exception&) {
        // Told when the input's turn comes, after the inputs before it.
        in.texts.clear();
        in.failure = std::current_exception();
    }
    return in;
}

// The group a kind given by name converts as: a button's name or a kind of a group.
Kind groupOfGivenKind(const std::string& kind) {
    static const std::pair<const char*, Kind> buttons[] = {{"KYD", Kind::KYD},
                                                           {"SEBZEB", Kind::SEBZEB},
                                                           {"OZ", Kind::OZ},
                                                           {"SKAZKA", Kind::SKAZKA},
                                                           {"J", Kind::Pack}};
    for (const auto& [name, group] : buttons)
        if (kind == name) return group;
    return groupOfKind(kind);
}

// The last run of exactly six digits in a file name: the date JRDB puts there.
std::string dateInName(const std::string& path) {
    const std::string base = path.substr(path.find_last_of(platform::kSeparators) + 1);
    std::string found;
    for (std::size_t i = 0; i < base.size();) {
        std::size_t j = i;
        while (j < base.size() && base[j] >= '0' && base[j] <= '9') ++j;
        if (j - i == 6) found = base.substr(i, 6);
        i = j == i ? i + 1 : j;
    }
    return found;
}

}  // namespace

bool PlannedInput::lacksMember() const {
    if (!failure || source != Source::Lha) return false;
    try {
        std::rethrow_exception(failure);
    } catch (const MemberMissing&) {
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

Plan planButton(Button button, const std::string& path, const std::string& fileDate) {
    Plan plan;
    plan.button = button;
    const Recognition r = recogniseForButton(button, path);
    plan.inputs.push_back(planInput(path, r, r.setsFileDate ? r.date : fileDate));
    plan.given.emplace_back(path, r.kind != Kind::None);
    return plan;
}

bool acceptsGivenKind(const std::string& kind) {
    return groupOfGivenKind(kind) != Kind::None;
}

Plan planWithKind(const std::string& kind, const std::string& path) {
    Plan plan;
    const Kind group = groupOfGivenKind(kind);
    plan.button = buttonOf(group);
    Recognition r;
    r.kind = group;
    r.kindName = kind;
    r.extension = lastChars(path, 4);
    for (const char* known : {".lzh", ".zip"})
        if (sameLetters(r.extension, known)) r.extension = known;
    r.date = dateInName(path);
    if (group != Kind::Pack && group != Kind::None) {
        // A button's name takes any kind of its group, newest layout first; a kind only itself.
        const bool button = kind == "KYD" || kind == "SEBZEB" || kind == "SKAZKA";
        r.memberKinds = button ? packKindsOfGroup(group) : std::vector<std::string>{kind};
        if (button)
            for (const auto& k : kindsOfGroup(group))
                if (std::find(r.memberKinds.begin(), r.memberKinds.end(), k) == r.memberKinds.end())
                    r.memberKinds.push_back(k);
        if (r.extension == ".zip") r.kind = Kind::Zip;
    }
    PlannedInput in = planInput(path, r, r.date);
    if (group == Kind::None)
        in.failure = std::make_exception_ptr(Failure(kind, "知らない種類です"));
    plan.inputs.push_back(std::move(in));
    plan.given.emplace_back(path, true);
    return plan;
}

Plan planDrop(const std::vector<std::string>& paths, bool commandLine) {
    Plan plan;
    for (const auto& path : paths) {
        const bool isFolder = platform::isDirectory(path);
        plan.given.emplace_back(path,
                                isFolder || recogniseDropped(path, commandLine).kind != Kind::None);
        if (!isFolder) {
            const Recognition r = recogniseDropped(path, commandLine);
            if (r.kind == Kind::None && !platform::exists(path)) {
                // Not there at all: no question of its kind.
                PlannedInput in;
                in.path = path;
                in.failure =
                    std::make_exception_ptr(Failure(path, "ファイルもフォルダもありません"));
                plan.inputs.push_back(std::move(in));
                continue;
            }
            if (r.kind == Kind::None) plan.unsupported.push_back(path);
            plan.inputs.push_back(planInput(path, r, r.date));
            continue;
        }
        // A folder: its recognised files by date, and within a day in the order of a pack.
        const std::string folder = withSeparator(path);
        std::vector<PlannedInput> found;
        try {
            for (const auto& name : filesIn(folder)) {
                const Recognition r = recogniseDropped(folder + name, commandLine);
                if (r.kind == Kind::None)
                    plan.unsupported.push_back(folder + name);
                else
                    found.push_back(planInput(folder + name, r, r.date));
            }
        } catch (const platform::FileError&) {
            PlannedInput in;
            in.path = path;
            in.failure = std::current_exception();
            plan.inputs.push_back(std::move(in));
            continue;
        }
        std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
            return importsBefore(a.recognition, b.recognition);
        });
        for (auto& f : found) plan.inputs.push_back(std::move(f));
    }
    return plan;
}

bool importsBefore(const Recognition& a, const Recognition& b) {
    return std::make_pair(dateKey(a), groupOrder(a.kind)) <
           std::make_pair(dateKey(b), groupOrder(b.kind));
}

std::string describePlan(const Plan& plan) {
    std::string text;
    for (const auto& in : plan.inputs) {
        text += shown(in.path) + ": ";
        if (in.failure)
            text += "取り込めません: " + describe(in.failure) + "\n";
        else if (!in.recognised())
            text += "対応データではありません\n";
        else
            text +=
                std::string(in.recognition.kind == Kind::Pack  ? "パック"
                            : in.recognition.kind == Kind::Zip ? "年ごとの ZIP"
                                                               : groupName(in.recognition.kind)) +
                "\n";
        for (const auto& t : in.texts) {
            const bool dated =
                t.date.size() == 6 && std::all_of(t.date.begin(), t.date.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; });
            text += "  " + (t.name == in.path ? std::string("(テキスト)") : shown(t.name)) + " → " +
                    groupName(t.group) + (dated ? " (日付 " + t.date + ")" : "") + "\n";
        }
    }
    for (const auto& path : plan.unsupported)
        if (std::none_of(plan.inputs.begin(), plan.inputs.end(),
                         [&](const PlannedInput& in) { return in.path == path; }))
            text += shown(path) + ": 対応データではありません\n";
    return text;
}

}  // namespace velt
