#include "shell/fetch_links.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace velt::fetch {
namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}
std::string uppered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), upper);
    return out;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), isDigit);
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The path with "." and ".." segments worked out; ".." never climbs above the root.
std::string removeDots(std::string_view path) {
    std::vector<std::string_view> out;
    bool trailing = false;
    std::size_t start = path.empty() || path[0] != '/' ? 0 : 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view seg = path.substr(start, end - start);
        trailing = seg == "." || seg == "..";
        if (seg == ".." && !out.empty()) out.pop_back();
        if (!trailing) out.push_back(seg);
        start = end + 1;
    }
    std::string result;
    for (const auto& seg : out) result.append("/").append(seg);
    if (trailing || result.empty()) result += '/';
    return result;
}

std::chrono::year_month_day dateOf(std::string_view day) {
    const int y = std::stoi(std::string(day.substr(0, 4)));
    const unsigned m = static_cast<unsigned>(std::stoi(std::string(day.substr(4, 2))));
    const unsigned d = static_cast<unsigned>(std::stoi(std::string(day.substr(6, 2))));
    return std::chrono::year_month_day{std::chrono::year{y}, std::chrono::month{m},
                                       std::chrono::day{d}};
}

std::string textOf(std::chrono::year_month_day date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

// A character reference's text, for the ASCII ones links hold; the reference itself otherwise.
std::string decodeReferences(std::string_view s) {
    static const std::pair<std::string_view, char> named[] = {
        {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        bool done = false;
        for (const auto& [name, c] : named)
            if (s.substr(i + 1, name.size()) == name) {
                out += c;
                i += name.size();
                done = true;
                break;
            }
        if (!done && s.substr(i + 1, 1) == "#") {
            const bool hex = s.substr(i + 2, 1) == "x" || s.substr(i + 2, 1) == "X";
            const std::size_t from = i + (hex ? 3 : 2), semi = s.find(';', from);
            const std::string_view digits =
                semi == std::string_view::npos ? "" : s.substr(from, semi - from);
            char* end = nullptr;
            const std::string d(digits);
            const long code = d.empty() ? 0 : std::strtol(d.c_str(), &end, hex ? 16 : 10);
            if (!d.empty() && end && *end == '\0' && code > 0 && code < 0x80) {
                out += static_cast<char>(code);
                i = semi;
                done = true;
            }
        }
        if (!done) out += '&';
    }
    return out;
}

}  // namespace

std::string Url::text() const {
    return scheme + "://" + host + (port.empty() ? "" : ":" + port) + path + query;
}

std::optional<Url> parseUrl(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    const auto colon = text.find("://");
    if (colon == std::string_view::npos) return std::nullopt;
    Url url;
    url.scheme = lowered(text.substr(0, colon));
    if (url.scheme != "http" && url.scheme != "https") return std::nullopt;
    std::string_view rest = text.substr(colon + 3);
    rest = rest.substr(0, rest.find('#'));
    const auto authorityEnd = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, authorityEnd);
    rest = authorityEnd == std::string_view::npos ? "" : rest.substr(authorityEnd);
    if (authority.empty() || authority.find_first_of("@\\ ") != std::string_view::npos)
        return std::nullopt;
    const auto bracket = authority.rfind(']');
    const auto portAt = authority.rfind(':');
    if (portAt != std::string_view::npos &&
        (bracket == std::string_view::npos || portAt > bracket)) {
        url.port = std::string(authority.substr(portAt + 1));
        authority = authority.substr(0, portAt);
        if (!url.port.empty() && !allDigits(url.port)) return std::nullopt;
        if ((url.scheme == "http" && url.port == "80") ||
            (url.scheme == "https" && url.port == "443"))
            url.port.clear();
    }
    url.host = lowered(authority);
    if (url.host.empty()) return std::nullopt;
    const auto q = rest.find('?');
    url.path = removeDots(rest.substr(0, q));
    if (q != std::string_view::npos) url.query = std::string(rest.substr(q));
    return url;
}

std::optional<Url> resolve(const Url& base, std::string_view link) {
    std::string ref;
    for (char c : link)
        if (c != '\t' && c != '\n' && c != '\r') ref += c;
    while (!ref.empty() && isSpace(ref.front())) ref.erase(0, 1);
    while (!ref.empty() && isSpace(ref.back())) ref.pop_back();
    ref = ref.substr(0, ref.find('#'));
    // A scheme: letters, digits, "+", "-" or "." before the first ":", ahead of any "/?".
    const auto colon = ref.find(':');
    if (colon != std::string::npos && colon > 0 && colon < ref.find_first_of("/?") &&
        std::all_of(ref.begin(), ref.begin() + static_cast<long>(colon), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        }))
        return parseUrl(ref);
    if (ref.rfind("//", 0) == 0) return parseUrl(base.scheme + ":" + ref);
    Url url = base;
    const auto q = ref.find('?');
    const std::string path = ref.substr(0, q);
    url.query = q == std::string::npos ? "" : ref.substr(q);
    if (path.empty()) {
        if (q == std::string::npos) url.query = base.query;
    } else if (path[0] == '/') {
        url.path = removeDots(path);
    } else {
        url.path = removeDots(base.path.substr(0, base.path.rfind('/') + 1) + path);
    }
    return url;
}

bool within(const Url& area, const Url& url) {
    if (url.scheme != area.scheme || url.host != area.host || url.port != area.port) return false;
    const std::string path = lowered(url.path);
    for (const char* escape : {"%2e", "%2f", "%5c", "\\"})
        if (path.find(escape) != std::string::npos) return false;
    const std::string under = area.path.substr(0, area.path.rfind('/') + 1);
    return url.path.rfind(under, 0) == 0;
}

std::vector<std::string> extractLinks(std::string_view html) {
    std::vector<std::string> links;
    const std::string low = lowered(html);
    for (std::size_t at = low.find("href"); at != std::string::npos; at = low.find("href", at)) {
        const bool attribute = at > 0 && (isSpace(low[at - 1]) || low[at - 1] == '"' ||
                                          low[at - 1] == '\'' || low[at - 1] == '/');
        std::size_t i = at + 4;
        at = i;
        if (!attribute) continue;
        while (i < low.size() && isSpace(low[i])) ++i;
        if (i >= low.size() || low[i] != '=') continue;
        ++i;
        while (i < low.size() && isSpace(low[i])) ++i;
        if (i >= low.size()) break;
        std::size_t end;
        if (low[i] == '"' || low[i] == '\'') {
            end = low.find(low[i], i + 1);
            if (end == std::string::npos) break;
            ++i;
        } else {
            end = i;
            while (end < low.size() && !isSpace(low[end]) && low[end] != '>') ++end;
        }
        links.push_back(decodeReferences(html.substr(i, end - i)));
        at = end;
    }
    return links;
}

std::string indexPath(std::string_view kind) {
    std::string folder = lowered(kind);
    if (!folder.empty()) folder[0] = upper(folder[0]);
    return "data/" + folder + "/index.html";
}

std::optional<std::string> parseDay(std::string_view text) {
    std::string day;
    if (text.size() == 6 && allDigits(text))
        day = std::string(text < "70" ? "20" : "19") + std::string(text);
    else if (text.size() == 10 && text[4] == '-' && text[7] == '-' &&
             allDigits(text.substr(0, 4)) && allDigits(text.substr(5, 2)) &&
             allDigits(text.substr(8, 2)))
        day = std::string(text.substr(0, 4)) + std::string(text.substr(5, 2)) +
              std::string(text.substr(8, 2));
    else
        return std::nullopt;
    if (!dateOf(day).ok()) return std::nullopt;
    return day;
}

std::string shownDay(std::string_view day) {
    if (day.size() != 8) return std::string(day);
    return std::string(day.substr(0, 4)) + "-" + std::string(day.substr(4, 2)) + "-" +
           std::string(day.substr(6, 2));
}

std::string addDays(std::string_view day, int days) {
    return textOf(std::chrono::sys_days{dateOf(day)} + std::chrono::days{days});
}

std::optional<std::string> dayOfArchive(std::string_view kind, std::string_view fileName) {
    if (fileName.size() != kind.size() + 10 ||
        uppered(fileName.substr(0, kind.size())) != uppered(kind))
        return std::nullopt;
    const std::string ext = lowered(fileName.substr(kind.size() + 6));
    if (ext != ".lzh" && ext != ".zip") return std::nullopt;
    return parseDay(fileName.substr(kind.size(), 6));
}

std::string fileNameOf(const Url& url) {
    const std::string_view segment = std::string_view(url.path).substr(url.path.rfind('/') + 1);
    std::string name;
    for (std::size_t i = 0; i < segment.size(); ++i) {
        const std::string hex(segment.substr(i + 1, 2));
        const long code = segment[i] == '%' && hex.size() == 2 &&
                                  std::all_of(hex.begin(), hex.end(),
                                              [](char c) { return std::isxdigit(c) != 0; })
                              ? std::strtol(hex.c_str(), nullptr, 16)
                              : 0;
        if (code > 0x20 && code < 0x7f && code != '/' && code != '\\') {
            name += static_cast<char>(code);
            i += 2;
        } else {
            name += segment[i];
        }
    }
    return name;
}

Choice choose(const std::vector<Listed>& listed, const std::vector<HistoryEntry>& history,
              const Selection& selection) {
    std::set<std::string> held;
    std::string newest;
    for (const auto& e : history) {
        if (!e.succeeded) continue;
        held.insert(uppered(e.name));
        std::string day;
        for (char c : e.raceDay)
            if (isDigit(c)) day += c;
        if (day.size() == 8) newest = std::max(newest, day);
    }
    std::set<std::string> listedDays;
    for (const auto& l : listed) listedDays.insert(l.day);

    Choice choice;
    std::set<std::string> days;
    if (!selection.days.empty()) {
        for (const auto& day : selection.days) {
            if (listedDays.count(day))
                days.insert(day);
            else if (std::find(choice.unlisted.begin(), choice.unlisted.end(), day) ==
                     choice.unlisted.end())
                choice.unlisted.push_back(day);
        }
    } else {
        choice.from = newest.empty() ? addDays(selection.today, -14) : newest;
        if (!selection.since.empty()) choice.from = std::min(choice.from, selection.since);
        for (const auto& day : listedDays)
            if (day >= choice.from) days.insert(day);
    }

    for (const auto& day : days) {
        for (const auto& kind : selection.kinds) {
            // A day's archive may be listed as LHA and as ZIP: the LHA one, as JRDB's own.
            const Listed* pick = nullptr;
            for (const auto& l : listed)
                if (l.day == day && l.kind == kind &&
                    (!pick ||
                     (lowered(l.name).ends_with(".lzh") && !lowered(pick->name).ends_with(".lzh"))))
                    pick = &l;
            if (!pick)
                choice.incomplete.push_back(day + " " + kind);
            else if (held.count(uppered(pick->name)) && !selection.refetch)
                choice.held.push_back(*pick);
            else
                choice.files.push_back(*pick);
        }
    }
    return choice;
}

}  // namespace velt::fetch
