#pragma once
// Whether a lock file is held, as another process would find it (POSIX).

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

namespace velt::test {

// True when someone holds the lock of the file that `lockFile` names now.
inline bool lockHeld(const std::string& lockFile) {
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (fd >= 0) ::close(fd);
    return held;
}

}  // namespace velt::test
