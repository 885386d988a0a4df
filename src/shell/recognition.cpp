#include "shell/recognition.h"

#include <algorithm>
#include <optional>

#include "platform/system.h"
#include "shell/shown.h"

namespace velt {
namespace {

// Byte offsets where the characters of a UTF-8 text begin (a stray byte counts as a character).
std::vector<std::size_t> charStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 || i == 0) starts.push_back(i);
    return starts;
}

struct Group {
    Kind kind;
    const char* name;
    std::vector<std::string> kinds;      // every kind of the group, for names and messages
    std::vector<std::string> packKinds;  // what a pack may hold, newest layout first
};

// KYH is left out: its layout could not be checked against JRDB's published documents.
const std::vector<Group>& groups() {
    static const std::vector<Group> g = {
        {Kind::KYD, "競走馬データ", {"KYD", "KYG", "KYI"}, {"KYI", "KYG", "KYD"}},
        {Kind::SEBZEB,
         "成績データ",
         {"SEB", "SEC", "SED", "ZEB", "ZEC", "ZED"},
         {"ZED", "ZEC", "ZEB"}},
        {Kind::OZ, "オッズデータ", {"OZ"}, {"OZ"}},
        {Kind::SKAZKA, "成績拡張ファイル", {"SKA", "SKB", "ZKA", "ZKB"}, {"ZKB", "ZKA"}},
    };
    return g;
}

const Group* groupOf(Kind kind) {
    for (const Group& g : groups())
        if (g.kind == kind) return &g;
    return nullptr;
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

std::string lower(std::string_view s) {
    std::string l(s);
    for (char& c : l)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return l;
}

bool isDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string baseName(std::string_view path) {
    auto slash = path.find_last_of(platform::kSeparators);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// A year of one kind: kind + "_" + four digits + ".zip" ("SED_2017.zip").
Recognition recogniseZip(std::string_view path) {
    Recognition r;
    const std::string base = asJrdbNames(baseName(path));
    if (base.size() < 11 || base.compare(base.size() - 4, 4, ".zip") != 0) return r;
    const std::size_t underscore = base.size() - 9;
    const std::string kind = base.substr(0, underscore);
    if (base[underscore] != '_' || !isDigits(std::string_view(base).substr(underscore + 1, 4)) ||
        groupOfKind(kind) == Kind::None)
        return r;
    r.kind = Kind::Zip;
    r.kindName = kind;
    r.date = base.substr(underscore + 1, 4);
    r.extension = ".zip";
    return r;
}

struct ButtonRule {
    std::size_t tail, kindChars, stemChars;
    Kind kind;
    const char* done;
};

const ButtonRule& ruleOf(Button button) {
    static const ButtonRule rules[] = {
        {13, 3, 9, Kind::KYD, "競走馬データを取り込みました"},
        {13, 3, 9, Kind::SEBZEB, "成績データを取り込みました"},
        {12, 2, 8, Kind::OZ, "オッズ取り込み完了"},
        {13, 3, 9, Kind::SKAZKA, "成績拡張ファイル取り込み！"},
        {14, 4, 0, Kind::Pack, "JRDBデータを取り込みました"},
    };
    return rules[static_cast<int>(button)];
}

bool isPackName(std::string_view kind) {
    return kind == "JRDB" || kind == "PACI";
}

// The kind a name starts with, in JRDB's case ("s3" for laps), or empty.
std::string kindAtStart(std::string_view base) {
    const std::string u = upper(base.substr(0, 4));
    if (isPackName(u)) return u;
    if (u.size() >= 3 && groupOfKind(u.substr(0, 3)) != Kind::None) return u.substr(0, 3);
    if (u.compare(0, 2, "OZ") == 0) return "OZ";
    if (u.compare(0, 2, "S3") == 0) return "s3";
    return {};
}

const char* buttonCaption(Button button) {
    static const char* const captions[] = {"KYD", "SEBZEB", "OZ", "SKAZKA", "J"};
    return captions[static_cast<int>(button)];
}

// "NAME (1).ext" or "NAME(12).ext", a browser's second download of NAME.ext: NAME.ext.
std::string withoutCopyMark(std::string_view name) {
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot < 4 || name[dot - 1] != ')') return std::string(name);
    std::size_t open = dot - 1;
    while (open > 0 && name[open - 1] >= '0' && name[open - 1] <= '9') --open;
    if (open == dot - 1 || open < 2 || name[open - 1] != '(') return std::string(name);
    const std::size_t cut = name[open - 2] == ' ' ? open - 2 : open - 1;
    return std::string(name.substr(0, cut)) + std::string(name.substr(dot));
}

}  // namespace

Kind groupOfKind(std::string_view kindName) {
    for (const Group& g : groups())
        if (std::find(g.kinds.begin(), g.kinds.end(), kindName) != g.kinds.end()) return g.kind;
    return Kind::None;
}

const std::vector<std::string>& kindsOfGroup(Kind group) {
    static const std::vector<std::string> none;
    const Group* g = groupOf(group);
    return g ? g->kinds : none;
}

const std::vector<std::string>& packKindsOfGroup(Kind group) {
    static const std::vector<std::string> none;
    const Group* g = groupOf(group);
    return g ? g->packKinds : none;
}

const char* groupName(Kind group) {
    const Group* g = groupOf(group);
    return g ? g->name : "ラップデータ";
}

int groupOrder(Kind group) {
    switch (group) {
        case Kind::Pack:
            return 0;
        case Kind::KYD:
            return 1;
        case Kind::SEBZEB:
            return 2;
        case Kind::OZ:
            return 3;
        case Kind::SKAZKA:
            return 4;
        case Kind::Lap:
            return 5;
        default:
            return 6;
    }
}

std::string dateKey(const Recognition& r) {
    if (r.kind == Kind::Zip && isDigits(r.date)) return r.date + "0000";
    if (r.date.size() != 6 || !isDigits(r.date)) return "99999999";
    return (r.date < "70" ? "20" : "19") + r.date;
}

std::string lastChars(std::string_view text, std::size_t n) {
    if (n == 0) return {};
    auto starts = charStarts(text);
    if (starts.size() <= n) return std::string(text);
    return std::string(text.substr(starts[starts.size() - n]));
}

std::string midChars(std::string_view text, std::size_t from, std::size_t n) {
    auto starts = charStarts(text);
    if (from >= starts.size()) return {};
    std::size_t begin = starts[from];
    std::size_t end = from + n < starts.size() ? starts[from + n] : text.size();
    return std::string(text.substr(begin, end - begin));
}

Recognition recogniseDailyText(std::string_view givenName) {
    Recognition r;
    const std::string name = asJrdbNames(givenName);
    if (name.size() < 12 || name.substr(name.size() - 4) != ".txt") return r;
    const std::string stem = name.substr(0, name.size() - 4);
    const std::string kind = stem.substr(0, stem.size() - 6);
    const Kind group = groupOfKind(kind);
    if (group == Kind::None || !isDigits(stem.substr(kind.size()))) return r;
    r.kind = group;
    r.kindName = kind;
    r.stem = stem;
    r.extension = ".txt";
    r.date = stem.substr(kind.size());
    return r;
}

Recognition recogniseForButton(Button button, std::string_view givenPath) {
    const ButtonRule& rule = ruleOf(button);
    Recognition r;
    const std::string path = asJrdbNames(givenPath);
    std::string tail = lastChars(path, rule.tail);
    std::string kind = midChars(tail, 0, rule.kindChars);
    r.extension = lastChars(tail, 4);
    if (button == Button::OZ) r.date = midChars(tail, 2, 6);
    if (button == Button::J) r.date = midChars(tail, 4, 6);
    r.setsFileDate = button == Button::OZ || button == Button::J;
    if (button != Button::J && r.extension == ".zip") {
        Recognition zip = recogniseZip(path);
        if (zip.kind == Kind::Zip && groupOfKind(zip.kindName) == rule.kind) {
            zip.setsFileDate = r.setsFileDate;
            return zip;
        }
    }
    const bool accepted = button == Button::J ? isPackName(kind) : groupOfKind(kind) == rule.kind;
    if (accepted && kind.size() == rule.kindChars) {
        r.kind = rule.kind;
        r.kindName = kind;
        if (rule.stemChars) r.stem = midChars(tail, 0, rule.stemChars);
    }
    return r;
}

Recognition recogniseDropped(std::string_view givenPath, bool commandLine) {
    Recognition r;
    const std::string path = asJrdbNames(givenPath);
    std::string tail13 = lastChars(path, 13), tail12 = lastChars(path, 12);
    std::string kind3 = midChars(tail13, 0, 3), kind2 = midChars(tail12, 0, 2);
    r.extension = lastChars(tail13, 4);
    r.date = midChars(tail12, 2, 6);
    r.setsFileDate = true;
    if (r.extension == ".zip") {
        Recognition zip = recogniseZip(path);
        if (zip.kind == Kind::Zip) {
            zip.setsFileDate = true;
            return zip;
        }
    }
    const Kind group = kind3.size() == 3 ? groupOfKind(kind3) : Kind::None;
    if (group != Kind::None && group != Kind::OZ) {
        r.kind = group;
        r.kindName = kind3;
        r.stem = midChars(tail13, 0, 9);
    } else if (kind2 == "OZ") {
        r.kind = Kind::OZ;
        r.kindName = kind2;
        r.stem = midChars(tail12, 0, 8);
    } else if (kind2 == "s3") {
        r.kind = Kind::Lap;
    } else if (commandLine && tail12 == kLapMember) {
        r.kind = Kind::Lap;
    } else if (r.archive()) {
        std::string tail14 = lastChars(path, 14);
        std::string kind4 = midChars(tail14, 0, 4);
        if (isPackName(kind4)) {
            r.kind = Kind::Pack;
            r.kindName = kind4;
            r.date = midChars(tail14, 4, 6);
        }
    }
    return r;
}

const char* completionMessage(Button button) {
    return ruleOf(button).done;
}

std::string rejectionMessage(Button button, std::string_view path) {
    std::string text = "JRDBデータではありません";
    if (button != Button::J) {
        const Group& g = *groupOf(ruleOf(button).kind);
        std::string kinds;
        for (const auto& k : g.kinds) kinds += (kinds.empty() ? "" : "/") + k;
        text = std::string(g.name) + "(" + kinds + ")ではありません";
    }
    if (!path.empty()) text += "\n" + refusalReason(path, button);
    return text;
}

std::string refusalReason(std::string_view path, std::optional<Button> button) {
    const std::string base = withoutCopyMark(baseName(path));
    const std::string kind = kindAtStart(base);
    if (kind.empty()) return "ファイル名から JRDB データの種類がわかりません";
    const Kind group = isPackName(kind) ? Kind::Pack : kind == "s3" ? Kind::Lap : groupOfKind(kind);
    if (button && group != ruleOf(*button).kind) {
        if (group == Kind::Lap)
            return "これはラップデータです: "
                   "ボタンではなく、ウィンドウにドロップして取り込んでください";
        return std::string("これは") + (group == Kind::Pack ? "JRDB のパック" : groupName(group)) +
               "です: " + buttonCaption(buttonOf(group)) + " ボタンで取り込んでください";
    }
    const std::string_view rest = std::string_view(base).substr(kind.size());
    if (rest.size() < 6 || !isDigits(rest.substr(0, 6)))
        return "ファイル名に日付 (数字 6 桁) がありません";
    if (group == Kind::Pack) return "パックは書庫 (.lzh) のまま取り込んでください";
    return "ファイル名が " + kind + " + 日付 6 桁 + 拡張子 (" + kind +
           "181201.lzh など) の形ではありません";
}

std::string asJrdbNames(std::string_view path) {
    const std::size_t slash = path.find_last_of(platform::kSeparators);
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    const std::string folder(path.substr(0, start));
    const std::string base = withoutCopyMark(path.substr(start));
    if (sameLetters(base, kLapMember)) return folder + kLapMember;
    const std::size_t dot = base.find_last_of('.');
    if (dot == std::string::npos || base.size() - dot != 4) return folder + base;
    const std::string kind = kindAtStart(base);
    const std::string_view rest = std::string_view(base).substr(kind.size(), dot - kind.size());
    const bool daily = rest.size() == 6 && isDigits(rest);
    const bool year = rest.size() == 5 && rest[0] == '_' && isDigits(rest.substr(1)) &&
                      groupOfKind(kind) != Kind::None && sameLetters(base.substr(dot), ".zip");
    if (kind.empty() || !(daily || year)) return folder + base;
    return folder + kind + std::string(rest) + lower(base.substr(dot));
}

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && upper(a) == upper(b);
}

Button buttonOf(Kind group) {
    switch (group) {
        case Kind::KYD:
            return Button::KYD;
        case Kind::SEBZEB:
            return Button::SEBZEB;
        case Kind::OZ:
            return Button::OZ;
        case Kind::SKAZKA:
            return Button::SKAZKA;
        default:
            return Button::J;
    }
}

const char* acceptedKindsText() {
    return "取り込めるのは KYD/KYG/KYI、SEB/SEC/SED/ZEB/ZEC/ZED、SKA/SKB/ZKA/ZKB、OZ の"
           "ファイルと書庫 (KYI181201.lzh、SED170108.txt など)、年ごとの ZIP (SED_2017.zip)、"
           "ラップの書庫 s3 (s3181201.lzh)、JRDB と PACI のパック (JRDB181201.lzh) です"
           " (コマンド行ではラップのファイル JracSei1.dat も)。";
}

std::string unsupportedMessage(const std::vector<std::string>& files) {
    std::string text = kUnsupportedMessage;
    text += "\n取り込まなかったファイル:";
    for (const auto& f : files) text += "\n" + shown(f) + " (" + refusalReason(f, {}) + ")";
    text += "\n";
    text += acceptedKindsText();
    return text;
}

}  // namespace velt
