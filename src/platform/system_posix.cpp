#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/system.h"

namespace velt::platform {

std::string executablePath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n <= 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

std::string localDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32];
    if (!::localtime_r(&now, &local) ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0)
        return "0000-00-00 00:00:00";
    return text;
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir && user->pw_dir[0] == '/' ? user->pw_dir : "";
}

namespace {

// $XDG_CONFIG_HOME with its final separator (by default ~/.config/); empty without a home.
std::string xdgConfigHome() {
    // The XDG rule: a relative $XDG_CONFIG_HOME is ignored.
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        config = xdg;
    } else {
        const std::string home = homeFolder();
        if (home.empty()) return {};
        config = home + "/.config";
    }
    if (config.back() != '/') config += '/';
    return config;
}

}  // namespace

std::string configFolder() {
    const std::string config = xdgConfigHome();
    return config.empty() ? config : config + "velt";
}

std::string downloadsFolder() {
    const std::string home = homeFolder();
    auto absolute = [&](std::string dir) {
        if (dir.rfind("$HOME", 0) == 0) dir = home.empty() ? "" : home + dir.substr(5);
        return !dir.empty() && dir[0] == '/' ? dir : std::string();
    };
    if (const char* xdg = std::getenv("XDG_DOWNLOAD_DIR"); xdg && !absolute(xdg).empty())
        return absolute(xdg);
    // The user-dirs file holds shell-like lines: XDG_DOWNLOAD_DIR="$HOME/Downloads".
    std::string dirs;
    const std::string config = xdgConfigHome();
    try {
        if (!config.empty()) dirs = "\n" + readAll(config + "user-dirs.dirs", 1 << 16);
    } catch (const FileError&) {
        // No user-dirs file: the default below.
    }
    if (const auto at = dirs.find("\nXDG_DOWNLOAD_DIR="); at != std::string::npos) {
        std::string value = dirs.substr(at + 18, dirs.find('\n', at + 1) - at - 18);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (!absolute(value).empty()) return absolute(value);
    }
    return home.empty() ? std::string() : home + "/Downloads";
}

std::string localDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &local);
    return text;
}

bool isWritableFolder(const std::string& folder) {
    return ::access(folder.c_str(), W_OK) == 0;
}

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).string();
    return ec ? path : absolute;
}

std::string normalPath(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

bool stderrIsTerminal() {
    return ::isatty(2) == 1;
}

void writeText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

std::vector<std::string> commandLine(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool createFolder(const std::string& folder, unsigned permissions) {
    if (::mkdir(folder.c_str(), static_cast<mode_t>(permissions)) == 0) return true;
    if (errno == EEXIST) return false;
    throw FileError(errno, folder, Op::Create);
}

std::optional<std::string> environmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !value[0]) return std::nullopt;
    return std::string(value);
}

}  // namespace velt::platform
