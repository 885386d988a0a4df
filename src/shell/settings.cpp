#include "shell/settings.h"

#include <cerrno>
#include <optional>
#include <string_view>
#include <vector>

#include "codes/cp932.h"
#include "platform/failure.h"
#include "platform/file.h"
#include "platform/system.h"
#include "shell/install_layout.h"

namespace velt {
namespace {

constexpr std::size_t kMaxValueBytes = 255;
// Far beyond any settings file; a larger one is not read.
constexpr std::size_t kMaxFileBytes = 1 << 20;

struct Line {
    std::string_view text;  // without its line end
    std::string_view end;   // "\r\n", "\n", "\r" or "" for the last line
};

std::vector<Line> splitKeepingEnds(std::string_view bytes) {
    std::vector<Line> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') continue;
        std::size_t endLen =
            (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
        lines.push_back({bytes.substr(start, i - start), bytes.substr(i, endLen)});
        i += endLen - 1;
        start = i + 1;
    }
    if (start < bytes.size()) lines.push_back({bytes.substr(start), {}});
    return lines;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The section a line opens ("[name]"), or nothing.
bool sectionOf(std::string_view line, std::string_view& name) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    std::size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = trim(line.substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line.
bool entryOf(std::string_view line, std::string_view& key, std::string_view& value) {
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = trim(line.substr(0, eq));
    if (key.empty() || key.front() == ';') return false;
    value = trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return true;
}

// Reads the whole file; false when it does not exist. Anything else that keeps it from being read
// (a pipe or folder in its place, no permission) throws: a setting that cannot be read is not a
// setting that was never made.
bool readFile(const std::string& path, std::string& out) {
    try {
        out = platform::readAll(path, kMaxFileBytes);
        return true;
    } catch (const platform::FileError& e) {
        if (e.error() == ENOENT) return false;
        throw Failure(path, "設定ファイルを読めません: " + causeOf(e));
    }
}

// The key that holds a value CP932 cannot, as UTF-8: "path" is CP932, "path.utf8" UTF-8.
std::string utf8Key(const std::string& key) {
    return key + ".utf8";
}

// The stored value of `key` in `section`, as its bytes stand, or nothing.
std::optional<std::string_view> storedValue(std::string_view bytes, const std::string& section,
                                            const std::string& key) {
    bool inSection = false;
    for (const Line& line : splitKeepingEnds(bytes)) {
        std::string_view name, k, v;
        if (sectionOf(line.text, name)) {
            inSection = equalsIgnoringCase(name, section);
            continue;
        }
        if (inSection && entryOf(line.text, k, v) && equalsIgnoringCase(k, key)) return v;
    }
    return std::nullopt;
}

// The file with `key` in `section` set to `stored`, or removed when `stored` is null; the rest
// of the file as it stands.
std::string withEntry(std::string_view old, const std::string& section, const std::string& key,
                      const std::string* stored) {
    const std::string entry = stored ? key + "=" + *stored + "\r\n" : std::string();
    std::string out;
    bool inSection = false, sectionFound = false, done = false;
    std::size_t insertAt = std::string::npos;  // after the section's last entry
    for (const Line& line : splitKeepingEnds(old)) {
        std::string_view name, k, v;
        if (sectionOf(line.text, name)) {
            if (inSection && !done) {
                // The section ends without the key: add it after its last line.
                out.insert(insertAt, entry);
                done = true;
            }
            inSection = !done && equalsIgnoringCase(name, section);
            sectionFound = sectionFound || inSection;
            out.append(line.text).append(line.end.empty() ? std::string_view("\r\n") : line.end);
            if (inSection) insertAt = out.size();
            continue;
        }
        if (inSection && !done && entryOf(line.text, k, v) && equalsIgnoringCase(k, key)) {
            if (stored)
                out.append(entry.substr(0, entry.size() - 2))
                    .append(line.end.empty() ? std::string_view("\r\n") : line.end);
            done = true;
            continue;
        }
        out.append(line.text).append(line.end);
        if (inSection && !trim(line.text).empty()) {
            if (line.end.empty()) out.append("\r\n");
            insertAt = out.size();
        }
    }
    if (!done && stored) {
        if (sectionFound) {
            out.insert(insertAt, entry);
        } else {
            if (!out.empty() && out.back() != '\n' && out.back() != '\r') out.append("\r\n");
            out.append("[").append(section).append("]\r\n").append(entry);
        }
    }
    return out;
}

// The first characters of a value that fit in 255 bytes, as a 256-byte buffer would hold them,
// never cutting through a character.
std::string_view cut(std::string_view v, bool utf8) {
    std::size_t n = 0;
    while (n < v.size()) {
        std::size_t len = utf8 ? 1 : cp932::charLength(v, n);
        if (utf8)
            while (n + len < v.size() && (static_cast<unsigned char>(v[n + len]) & 0xC0) == 0x80)
                ++len;
        if (n + len > kMaxValueBytes) break;
        n += len;
    }
    return v.substr(0, n);
}

}  // namespace

std::string programFolder() {
    const std::string path = platform::executablePath();
    const auto slash = path.find_last_of(platform::kSeparators);
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string settingsPath(const std::string& programFolder) {
    if (!programFolder.empty() && platform::isSeparator(programFolder.back()))
        return programFolder + "velt.ini";
    return programFolder + "/velt.ini";
}

std::string settingsFile(const std::string& programFolder) {
    const std::string beside = settingsPath(programFolder);
    if (platform::exists(beside)) return beside;
    if (platform::isWritableFolder(programFolder) && !installedTree(programFolder)) return beside;
    const std::string config = platform::configFolder();
    return config.empty() ? beside : config + platform::kSeparator + "velt.ini";
}

void createSettingsFolder(const std::string& file) {
    std::vector<std::string> missing;
    for (std::string p = file.substr(0, file.find_last_of(platform::kSeparators) + 1);
         !p.empty();) {
        while (p.size() > 1 && platform::isSeparator(p.back())) p.pop_back();
        if (platform::exists(p)) break;
        missing.push_back(p);
        const auto slash = p.find_last_of(platform::kSeparators);
        if (slash == std::string::npos || p == "/") break;
        p = p.substr(0, slash + 1);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        try {
            platform::createFolder(*it, 0700);
        } catch (const platform::FileError& e) {
            throw Failure(*it, "設定ファイルのフォルダを作れません: " + causeOf(e));
        }
    }
}

std::string readSetting(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& fallback) {
    std::string bytes;
    if (!readFile(file, bytes)) return fallback;
    if (auto v = storedValue(bytes, section, utf8Key(key))) return std::string(cut(*v, true));
    if (auto v = storedValue(bytes, section, key)) return cp932::toUtf8(cut(*v, false));
    return fallback;
}

void writeSetting(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos)
        throw Failure(file, "設定値に改行は書けません");
    // CP932 when it holds the value exactly, as earlier versions wrote it; otherwise UTF-8 under
    // a key of its own, which earlier versions do not take for a folder in CP932.
    std::string stored = cp932::fromUtf8(value);
    const bool utf8 = cp932::toUtf8(stored) != value;
    if (utf8) stored = value;
    if (stored.size() > kMaxValueBytes)
        throw Failure(file, value + " が長すぎて保存できません (" + std::to_string(kMaxValueBytes) +
                                " バイトまで)");
    // A file that is there but cannot be read is never replaced: the rest of it would be lost.
    std::string old;
    readFile(file, old);
    std::string out = withEntry(old, section, utf8 ? key : utf8Key(key), nullptr);
    out = withEntry(out, section, utf8 ? utf8Key(key) : key, &stored);

    // A new file renamed over the old one: a failed write leaves the old setting.
    try {
        platform::replaceAtomically(file, out, 0644);
    } catch (const platform::FileError& e) {
        throw Failure(file, "設定ファイルに書き込めません: " + causeOf(e));
    }
}

}  // namespace velt
