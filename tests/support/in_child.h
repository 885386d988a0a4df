#pragma once
// Runs a check in a child process, where a file-size limit or a lock binds only the child.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace velt::test {

// Runs `check` in a forked child, under RLIMIT_FSIZE `sizeLimit` when given (a write past it
// fails with EFBIG); true when the check returned true. Failures inside the child are its own:
// say what went wrong on stderr and return false.
inline bool inChild(const std::function<bool()>& check, std::optional<rlim_t> sizeLimit = {}) {
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        if (sizeLimit) {
            rlimit limit{*sizeLimit, *sizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
        }
        bool ok = false;
        try {
            ok = check();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child: %s\n", e.what());
        }
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace velt::test
