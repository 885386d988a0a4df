#include "shell/recognition.h"

#include <vector>

namespace velt {
namespace {

// Byte offsets where the characters of a UTF-8 text begin (a stray byte counts as a character).
std::vector<std::size_t> charStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 || i == 0) starts.push_back(i);
    return starts;
}

struct ButtonRule {
    std::size_t tail, kindChars, stemChars;
    const char* kinds[2];
    Kind kind;
    const char* done;
    const char* refused;
};

const ButtonRule& ruleOf(Button button) {
    static const ButtonRule rules[] = {
        {13,
         3,
         9,
         {"KYD", nullptr},
         Kind::KYD,
         "競走馬データを取り込みました",
         "競走馬データ(KYD)ではありません"},
        {13,
         3,
         9,
         {"SEB", "ZEB"},
         Kind::SEBZEB,
         "成績データを取り込みました",
         "成績データ(SEB/ZEB)ではありません"},
        {12,
         2,
         8,
         {"OZ", nullptr},
         Kind::OZ,
         "オッズ取り込み完了",
         "オッズデータ(OZ)ではありません"},
        {13,
         3,
         9,
         {"SKA", "ZKA"},
         Kind::SKAZKA,
         "成績拡張ファイル取り込み！",
         "成績拡張ファイル(SKA/ZKA)ではありません"},
        {14,
         4,
         0,
         {"JRDB", nullptr},
         Kind::Pack,
         "JRDBデータを取り込みました",
         "JRDBデータではありません"},
    };
    return rules[static_cast<int>(button)];
}

}  // namespace

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

Recognition recogniseForButton(Button button, std::string_view path) {
    const ButtonRule& rule = ruleOf(button);
    Recognition r;
    std::string tail = lastChars(path, rule.tail);
    std::string kind = midChars(tail, 0, rule.kindChars);
    r.extension = lastChars(tail, 4);
    if (button == Button::OZ) r.date = midChars(tail, 2, 6);
    if (button == Button::J) r.date = midChars(tail, 4, 6);
    r.setsFileDate = button == Button::OZ || button == Button::J;
    for (const char* accepted : rule.kinds)
        if (accepted && kind == accepted) r.kind = rule.kind;
    if (r.kind != Kind::None && rule.stemChars) r.stem = midChars(tail, 0, rule.stemChars);
    return r;
}

Recognition recogniseDropped(std::string_view path, bool commandLine) {
    Recognition r;
    std::string tail13 = lastChars(path, 13), tail12 = lastChars(path, 12);
    std::string kind3 = midChars(tail13, 0, 3), kind2 = midChars(tail12, 0, 2);
    r.extension = lastChars(tail13, 4);
    r.date = midChars(tail12, 2, 6);
    r.setsFileDate = true;
    if (kind3 == "KYD") {
        r.kind = Kind::KYD;
    } else if (kind3 == "SEB" || kind3 == "ZEB") {
        r.kind = Kind::SEBZEB;
    } else if (kind3 == "SKA" || kind3 == "ZKA") {
        r.kind = Kind::SKAZKA;
    } else if (kind2 == "OZ") {
        r.kind = Kind::OZ;
        r.stem = midChars(tail12, 0, 8);
        return r;
    } else if (kind2 == "s3") {
        r.kind = Kind::Lap;
        return r;
    } else if (commandLine && tail12 == "JracSei1.dat") {
        r.kind = Kind::Lap;
        return r;
    } else if (commandLine && r.archive()) {
        std::string tail14 = lastChars(path, 14);
        if (midChars(tail14, 0, 4) == "JRDB") {
            r.kind = Kind::Pack;
            r.date = midChars(tail14, 4, 6);
        }
        return r;
    } else {
        return r;
    }
    r.stem = midChars(tail13, 0, 9);
    return r;
}

const char* completionMessage(Button button) {
    return ruleOf(button).done;
}
const char* rejectionMessage(Button button) {
    return ruleOf(button).refused;
}

}  // namespace velt
