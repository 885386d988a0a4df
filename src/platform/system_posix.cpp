#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
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

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir && user->pw_dir[0] == '/' ? user->pw_dir : "";
}

std::string configFolder() {
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
    return config + "velt";
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
