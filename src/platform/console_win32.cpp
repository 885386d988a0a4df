// Questions on a Windows console: read as wide characters, a password with the echo off.
#include <windows.h>

#include "platform/console.h"
#include "platform/windows_text.h"

namespace velt::platform {

bool inputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> askLine(std::string_view prompt, bool echo) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(input, &mode) != 0;
    // The echo goes off before the prompt shows, so that nothing typed after it is echoed.
    if (console && !echo) SetConsoleMode(input, mode & ~DWORD(ENABLE_ECHO_INPUT));
    writeText(stderr, prompt);
    std::fflush(stderr);
    if (!console) return readLine(stdin);  // redirected: UTF-8 bytes
    std::wstring line;
    bool ended = true;
    for (;;) {
        wchar_t c = 0;
        DWORD read = 0;
        if (!ReadConsoleW(input, &c, 1, &read, nullptr) || read == 0) break;
        ended = false;
        if (c == L'\n') break;
        if (c != L'\r') line.push_back(c);
    }
    if (!echo) {
        SetConsoleMode(input, mode);
        writeText(stderr, "\n");
    }
    if (ended) return std::nullopt;
    return utf8(line.c_str());
}

}  // namespace velt::platform
