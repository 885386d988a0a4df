#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#include <shlobj.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <filesystem>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/windows_error.h"
#include "platform/windows_text.h"

namespace velt::platform {

std::wstring wide(const std::string& path) {
    if (path.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                      static_cast<int>(path.size()), nullptr, 0);
    if (n <= 0) throw FileError(EILSEQ, path);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                        out.data(), n);
    return out;
}

std::string utf8(const wchar_t* text) {
    if (!text) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();
    return out;
}

namespace {

// An environment variable holding an absolute path ("C:\..." or "\\server\..."), or empty.
std::string absoluteFromEnvironment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    if (!value || !value[0]) return {};
    const bool drive = value[1] == L':' && (value[2] == L'\\' || value[2] == L'/');
    const bool unc = value[0] == L'\\' && value[1] == L'\\';
    return drive || unc ? utf8(value) : std::string();
}

std::string knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string out;
    if (SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) == S_OK) out = utf8(path);
    CoTaskMemFree(path);
    return out;
}

}  // namespace

std::string executablePath() {
    // Long paths are allowed: the buffer grows until the whole name fits.
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            return utf8(buf.c_str());
        }
        if (buf.size() >= 32768) return {};
        buf.resize(buf.size() * 2);
    }
}

std::string localDateTime() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.wYear},
                  unsigned{t.wMonth}, unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute},
                  unsigned{t.wSecond});
    return text;
}

std::string homeFolder() {
    std::string home = absoluteFromEnvironment(L"USERPROFILE");
    return home.empty() ? knownFolder(FOLDERID_Profile) : home;
}

std::string configFolder() {
    std::string appData = absoluteFromEnvironment(L"APPDATA");
    if (appData.empty()) appData = knownFolder(FOLDERID_RoamingAppData);
    if (appData.empty()) return {};
    while (appData.size() > 3 && isSeparator(appData.back())) appData.pop_back();
    return appData + "\\Velt";
}

std::string downloadsFolder() {
    std::string downloads = knownFolder(FOLDERID_Downloads);
    if (!downloads.empty()) return downloads;
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + "\\Downloads";
}

std::string localDate() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

bool isWritableFolder(const std::string& folder) {
    try {
        checkFolderWritable(folder);
        return true;
    } catch (const FileError&) {
        return false;
    }
}

std::string absolutePath(const std::string& path) {
    try {
        const std::wstring w = wide(path);
        const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
        if (n == 0) return path;
        std::wstring buf(n, L'\0');
        const DWORD m = GetFullPathNameW(w.c_str(), n, buf.data(), nullptr);
        if (m == 0 || m >= n) return path;
        buf.resize(m);
        return utf8(buf.c_str());
    } catch (const FileError&) {
        return path;
    }
}

std::string normalPath(const std::string& path) {
    // Through UTF-16: std::filesystem reads a narrow string in the ANSI code page on Windows.
    try {
        const std::filesystem::path p(wide(path));
        return utf8(p.lexically_normal().wstring().c_str());
    } catch (const FileError&) {
        return path;
    }
}

bool stderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void writeText(std::FILE* stream, std::string_view text) {
    const HANDLE console = stream == stdout   ? GetStdHandle(STD_OUTPUT_HANDLE)
                           : stream == stderr ? GetStdHandle(STD_ERROR_HANDLE)
                                              : INVALID_HANDLE_VALUE;
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) {
        // Redirected: UTF-8 bytes, whatever the code page.
        std::fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    // What went through the C stream before comes first. The progress bar's line clearing is an
    // escape sequence, which a console reads once asked to.
    std::fflush(stream);
    if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return;
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
    DWORD written = 0;
    WriteConsoleW(console, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
}

std::vector<std::string> commandLine(int argc, char** argv) {
    int count = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wargv) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(utf8(wargv[i]));
    LocalFree(wargv);
    return args;
}

bool createFolder(const std::string& folder, unsigned /*permissions: Windows' ACLs decide*/) {
    if (CreateDirectoryW(wide(folder).c_str(), nullptr)) return true;
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS) return false;
    throw FileError(errnoOfWindowsError(code), folder, Op::Create);
}

std::optional<std::string> environmentVariable(const char* name) {
    const wchar_t* value = _wgetenv(wide(name).c_str());
    if (!value || !value[0]) return std::nullopt;
    return utf8(value);
}

}  // namespace velt::platform
