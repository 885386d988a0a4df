// Questions on a POSIX terminal: a password is read with the terminal's echo off.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "platform/console.h"

namespace velt::platform {
namespace {

// The terminal's settings while the echo is off, put back even when a signal ends the program
// there, so that the shell's terminal is not left silent.
struct termios saved;
volatile sig_atomic_t echoOff = 0;
struct sigaction previous[3];
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

void restoreAndRaise(int signal) {
    if (echoOff) ::tcsetattr(0, TCSANOW, &saved);
    for (int i = 0; i < 3; ++i)
        if (kSignals[i] == signal) ::sigaction(signal, &previous[i], nullptr);
    ::raise(signal);
}

}  // namespace

bool inputIsTerminal() {
    return ::isatty(0) == 1;
}

std::optional<std::string> askLine(std::string_view prompt, bool echo) {
    // The echo goes off before the prompt shows, so that nothing typed after it is echoed.
    const bool hide = !echo && ::isatty(0) == 1 && ::tcgetattr(0, &saved) == 0;
    if (hide) {
        struct sigaction action = {};
        action.sa_handler = restoreAndRaise;
        for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &previous[i]);
        struct termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        echoOff = ::tcsetattr(0, TCSANOW, &quiet) == 0;
    }
    writeText(stderr, prompt);
    std::fflush(stderr);
    const auto line = readLine(stdin);
    if (hide) {
        if (echoOff) ::tcsetattr(0, TCSANOW, &saved);
        echoOff = 0;
        for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
    }
    return line;
}

}  // namespace velt::platform
