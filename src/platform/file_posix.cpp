// The file layer on POSIX systems.

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <utility>

#include "platform/file.h"
#include "platform/replacement.h"

namespace velt::platform {
namespace {

constexpr int kMaxLinks = 40;

int fdOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}

Status statusOf(const struct stat& st) {
    Status s;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.permissions = static_cast<unsigned>(st.st_mode & 07777);
    if (S_ISREG(st.st_mode))
        s.kind = Kind::Regular;
    else if (S_ISDIR(st.st_mode))
        s.kind = Kind::Directory;
    else if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        s.kind = Kind::Pipe;
    else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        s.kind = Kind::Device;
    else
        s.kind = Kind::Other;
    return s;
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

int openFlags(unsigned flags) {
    int mode = (flags & Write) ? ((flags & Read) ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (flags & Create) mode |= O_CREAT;
    if (flags & Truncate) mode |= O_TRUNC;
    if (flags & Append) mode |= O_APPEND;
    if (flags & Exclusive) mode |= O_EXCL;
    if (flags & NoFollow) mode |= O_NOFOLLOW;
    if (flags & NonBlocking) mode |= O_NONBLOCK;
    if (flags & Folder) mode |= O_DIRECTORY;
    return mode | O_CLOEXEC;
}

Op openOp(unsigned flags) {
    if (flags & Create) return Op::Create;
    if (flags & Folder) return Op::List;
    return (flags & (Write | Append)) ? Op::Write : Op::Read;
}

// Opened without waiting, so that a pipe in the file's place never blocks; a pipe or socket is
// then refused, and a device goes on as it was asked for (a full disk is tested through one).
int checkedFd(int fd, unsigned flags) {
    if (fd < 0) return fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        const int err = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ? ENXIO : errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    if (!(flags & NonBlocking) && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int openFd(int at, const char* path, unsigned flags, unsigned permissions) {
    int fd;
    do {
        fd = ::openat(at, path, openFlags(flags) | O_NONBLOCK, static_cast<mode_t>(permissions));
    } while (fd < 0 && errno == EINTR);
    return checkedFd(fd, flags);
}

int openFd(const std::string& path, unsigned flags, unsigned permissions) {
    return openFd(AT_FDCWD, path.c_str(), flags, permissions);
}

}  // namespace

// The file a path names once symbolic links in its place are followed (the path itself when it
// is no link, is missing, or the links go round).
std::string followLinks(std::string path) {
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char buf[PATH_MAX];
        ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
        if (n <= 0) return path;
        std::string target(buf, static_cast<std::size_t>(n));
        path = target.front() == '/' || path.find('/') == std::string::npos
                   ? target
                   : path.substr(0, path.find_last_of('/') + 1) + target;
    }
    return path;
}

File::File(const std::string& path, unsigned flags, unsigned permissions) : path_(path) {
    handle_ = openFd(path, flags, permissions);
    if (handle_ < 0) throw FileError(errno, path, openOp(flags));
}

File File::openIfExists(const std::string& path, unsigned flags) {
    File f;
    f.handle_ = openFd(path, flags, 0666);
    if (f.handle_ < 0 && errno != ENOENT) throw FileError(errno, path, openOp(flags));
    f.path_ = path;
    return f;
}

File openBeneath(const std::string& folder, const std::string& relative, unsigned flags) {
    File at(folder, Read | Folder);
    File f;
    for (std::size_t start = 0;;) {
        const std::size_t slash = relative.find('/', start);
        const bool last = slash == std::string::npos;
        const std::string name = relative.substr(start, last ? slash : slash - start);
        const std::string path = folder + relative.substr(0, last ? relative.size() : slash);
        const unsigned how = last ? (flags & ~Create) | NoFollow : Read | Folder | NoFollow;
        const int fd = openFd(fdOf(at.handle_), name.c_str(), how, 0);
        int err = errno;
        if (fd < 0 && err == ENOENT) return f;
        // A link to a folder on the way fails as "not a folder": it is a link all the same.
        struct stat st {};
        if (fd < 0 && err == ENOTDIR &&
            ::fstatat(fdOf(at.handle_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode))
            err = ELOOP;
        if (fd < 0) throw FileError(err, path, openOp(how));
        f.handle_ = fd;
        f.path_ = path;
        if (last) return f;
        at = std::move(f);
        start = slash + 1;
    }
}

FileId File::id() const {
    struct stat st {};
    if (::fstat(fdOf(handle_), &st) != 0) throw FileError(errno, path_);
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

FileId idOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) throw FileError(errno, path);
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

File::~File() {
    if (handle_ >= 0) ::close(fdOf(handle_));
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) ::close(fdOf(handle_));
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

std::size_t File::read(void* buffer, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(fdOf(handle_), buffer, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw FileError(errno, path_, Op::Read);
    }
}

std::size_t File::readAt(void* buffer, std::size_t size, std::uint64_t offset) {
    for (;;) {
        ssize_t n = ::pread(fdOf(handle_), buffer, size, static_cast<off_t>(offset));
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw FileError(errno, path_, Op::Read);
    }
}

void File::write(std::string_view data, std::size_t* written) {
    if (written) *written = 0;
    while (!data.empty()) {
        ssize_t n = ::write(fdOf(handle_), data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(errno, path_, Op::Write);
        }
        data.remove_prefix(static_cast<std::size_t>(n));
        if (written) *written += static_cast<std::size_t>(n);
    }
}

void File::skip(std::uint64_t bytes) {
    if (::lseek(fdOf(handle_), static_cast<off_t>(bytes), SEEK_CUR) < 0)
        throw FileError(errno, path_);
}

void File::seek(std::uint64_t offset) {
    if (::lseek(fdOf(handle_), static_cast<off_t>(offset), SEEK_SET) < 0)
        throw FileError(errno, path_);
}

void File::truncate(std::uint64_t size) {
    if (::ftruncate(fdOf(handle_), static_cast<off_t>(size)) != 0)
        throw FileError(errno, path_, Op::Write);
}

void File::sync() {
    if (::fsync(fdOf(handle_)) != 0) throw FileError(errno, path_, Op::Write);
}

Status File::status() const {
    struct stat st {};
    if (::fstat(fdOf(handle_), &st) != 0) throw FileError(errno, path_);
    return statusOf(st);
}

void File::setPermissions(unsigned permissions) {
    if (::fchmod(fdOf(handle_), static_cast<mode_t>(permissions)) != 0)
        throw FileError(errno, path_, Op::Write);
}

bool File::tryLock() {
    for (;;) {
        if (::flock(fdOf(handle_), LOCK_EX | LOCK_NB) == 0) return true;
        if (errno == EWOULDBLOCK) return false;
        if (errno != EINTR) throw FileError(errno, path_, Op::Lock);
    }
}

File lockFolder(const std::string& folder) {
    File f(folder, Read | Folder);
    return f.tryLock() ? std::move(f) : File();
}

void File::close() {
    if (handle_ < 0) return;
    if (::close(fdOf(std::exchange(handle_, -1))) != 0) throw FileError(errno, path_, Op::Write);
}

// The wait for the disk is taken only when there are old bytes to lose: a file that was empty
// loses nothing (a backfill creates hundreds of these, and a wait each would double its time).
void replaceAtomically(const std::string& path, std::string_view data, unsigned permissions) {
    const std::string target = followLinks(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    const bool durable = exists && st.st_size > 0;
    std::string tmp;
    try {
        File f = createReplacement(target, exists ? 0600 : permissions);
        tmp = f.path();
        // The old file's permissions exactly, whatever the umask.
        if (exists) f.setPermissions(static_cast<unsigned>(st.st_mode & 07777));
        f.write(data);
        if (durable) f.sync();
        if (::rename(tmp.c_str(), target.c_str()) != 0) throw FileError(errno, path, Op::Rename);
        tmp.clear();
        f.close();
    } catch (const FileError& e) {
        if (!tmp.empty()) ::unlink(tmp.c_str());
        throw FileError(e.error(), path, e.op());
    }
    if (durable) try {
            File(folderOf(target), Read | Folder).sync();
        } catch (const FileError&) {
            // The new bytes are in place; only the wait for the name failed.
        }
}

bool createAtomically(const std::string& path, std::string_view data, unsigned permissions) {
    std::string tmp;
    try {
        File f = createReplacement(path, permissions);
        tmp = f.path();
        f.write(data);
        // Never over a name that is taken; link() does the same where the file system cannot.
        int made = ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
        if (made != 0 && (errno == EINVAL || errno == ENOSYS)) {
            made = ::link(tmp.c_str(), path.c_str());
            if (made == 0) ::unlink(tmp.c_str());
        }
        if (made != 0) {
            if (errno != EEXIST) throw FileError(errno, path, Op::Rename);
            ::unlink(tmp.c_str());
            return false;
        }
        tmp.clear();
        f.close();
    } catch (const FileError& e) {
        if (!tmp.empty()) ::unlink(tmp.c_str());
        throw FileError(e.error(), path, e.op());
    }
    return true;
}

Status status(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return statusOf(st);
}

void checkFolderWritable(const std::string& folder) {
    if (::access(folder.c_str(), W_OK | X_OK) != 0) throw FileError(errno, folder, Op::Create);
}

std::vector<std::string> listFolder(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) throw FileError(errno, folder, Op::List);
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

void renameFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) throw FileError(errno, to, Op::Rename);
}

}  // namespace velt::platform
