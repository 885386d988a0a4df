#pragma once
// The file layer: every operating-system file call of the program, behind one small interface.
// Paths are UTF-8. Failures throw FileError (errno and path). One implementation per system
// (file_posix.cpp, file_win32.cpp), chosen by the build; callers never see which. On Windows the
// errno is the one whose wording fits the system's error, and the permissions are 0444 for a
// read-only file, 0666 otherwise.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace velt::platform {

// The cause of an operating-system failure (an errno value) in plain words, whatever was being
// done. velt::describe() words a FileError by its operation; prefer it.
std::string describeErrno(int err);

// What was being done to a file when it failed: one errno reads differently for each (EACCES on a
// read is no write refused, ENOENT on a listing is a missing folder, not a missing file).
enum class Op {
    Read,    // opening to read, reading, asking what it is
    Write,   // opening an existing file to write, writing, cutting, syncing
    Create,  // making a file or folder (a missing name means a missing folder)
    List,    // reading a folder's names
    Lock,    // taking a lock
    Remove,
    Rename,
};

// The cause of a failure of `op` with errno `err`, in plain words.
std::string describeFileError(int err, Op op);

// An operating-system failure on a file: code() holds the errno, what() the path and the cause.
// ENXIO also stands for "not a regular file" where only a regular file will do.
class FileError : public std::system_error {
public:
    FileError(int err, std::string path, Op op = Op::Read);
    const std::string& path() const { return path_; }
    int error() const { return code().value(); }
    Op op() const { return op_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string path_;
    Op op_;
    std::string message_;
};

// The `kept` bytes of an append that failed part-way stayed in the file; `cut` says whether a
// torn last line was cut away.
class PartialAppend : public FileError {
public:
    PartialAppend(int err, std::string path, std::size_t kept, bool cut)
        : FileError(err, std::move(path), Op::Write), kept_(kept), cut_(cut) {}
    std::size_t kept() const { return kept_; }
    bool cut() const { return cut_; }

private:
    std::size_t kept_;
    bool cut_;
};

enum class Kind { Missing, Regular, Directory, Pipe, Device, Other };

struct Status {
    Kind kind = Kind::Missing;
    std::uint64_t size = 0;
    unsigned permissions = 0;  // the 07777 bits
};

// Open flags, combined with |.
enum Open : unsigned {
    Read = 1u << 0,
    Write = 1u << 1,
    Create = 1u << 2,
    Truncate = 1u << 3,
    Append = 1u << 4,
    Exclusive = 1u << 5,    // with Create: fail when the name exists
    NoFollow = 1u << 6,     // fail when the name is a symbolic link
    NonBlocking = 1u << 7,  // a pipe in the file's place is not waited on
    Folder = 1u << 8,       // open a folder (to sync it)
    Kept = 1u << 9,         // none may remove or rename it while it is open (Windows only)
};

// What a file is, whatever its name: equal for two names of one file, and for one name only while
// it names the same file.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// A move-only open file, closed when destroyed.
class File {
public:
    File() = default;
    // Never waits on a pipe in the file's place: a pipe or socket is refused (ENXIO) at once.
    File(const std::string& path, unsigned flags, unsigned permissions = 0666);
    // As the constructor, but a missing file gives a File that is not open instead of throwing
    // (cheaper where a missing file is the common case).
    static File openIfExists(const std::string& path, unsigned flags);
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool isOpen() const { return handle_ >= 0; }
    const std::string& path() const { return path_; }

    // Up to `size` bytes; 0 at the end.
    std::size_t read(void* buffer, std::size_t size);
    // Up to `size` bytes at `offset`, without moving the position.
    std::size_t readAt(void* buffer, std::size_t size, std::uint64_t offset);
    // Everything from the position on; more than `limit` bytes throws (EFBIG).
    std::string readRest(std::size_t limit);
    // All of `data`; `written` (when given) counts what reached the file, also on failure.
    void write(std::string_view data, std::size_t* written = nullptr);
    void skip(std::uint64_t bytes);
    // Moves the position to `offset` bytes from the start.
    void seek(std::uint64_t offset);
    void truncate(std::uint64_t size);
    void sync();
    Status status() const;
    FileId id() const;
    void setPermissions(unsigned permissions);  // the 07777 bits, exactly
    // An exclusive advisory lock, without waiting; false when another open file holds it.
    bool tryLock();
    // Closes now, reporting a failure that a destructor would swallow.
    void close();

private:
    friend File openBeneath(const std::string& folder, const std::string& relative, unsigned flags);
    std::intptr_t handle_ = -1;
    std::string path_;
};

// The whole file, which must be a regular file (see openRegularFile); more than `limit` bytes
// throws (EFBIG).
std::string readAll(const std::string& path, std::size_t limit);

// Opens `relative` (separated by '/') inside `folder` without following a link at any step below
// `folder`: a link on the way or in the file's place throws ELOOP, a file on the way ENOTDIR. Not
// open when the file or a folder on the way is missing. `flags` as for File, without Create.
File openBeneath(const std::string& folder, const std::string& relative, unsigned flags);

// Opens an input for reading only when it is a regular file. Opened without waiting (a pipe in its
// place never blocks), then checked on the open file: a folder throws EISDIR, a pipe, device or
// socket ENODEV, before a byte is read.
File openRegularFile(const std::string& path);
// Creates or empties the file and writes `data`.
void writeAll(const std::string& path, std::string_view data, unsigned permissions = 0666);

// Appends whole lines to a file opened with Append. A write that fails part-way (a full disk, a
// size limit) leaves the whole lines written and, when `sizeBefore` (the file's size before) is
// given, cuts a torn last line away; it throws PartialAppend.
void appendWholeLines(File& file, std::string_view lines, std::optional<std::uint64_t> sizeBefore);

// Replaces the file with `data` at once: a new file "<file>.velt-tmp-XXXXXX" of its own, created
// exclusively beside it (never through a link), renamed over it; a crash leaves the old bytes or
// the new, never a mix. A link in the file's place stays and its target is replaced. When old bytes
// are replaced, it waits until the disk holds the new bytes and name. New files get `permissions`,
// replaced ones keep theirs.
void replaceAtomically(const std::string& path, std::string_view data, unsigned permissions = 0666);
// Makes the file `path`, which is missing, holding `data` at once: written as a replacement beside
// it (created exclusively, never through a link) and given the name only while the name is still
// free, so a crash leaves the whole file or none, and nothing that appeared meanwhile is replaced.
// False, and nothing made, when the name is taken (by a file, a folder or a link, even a broken
// one). No wait for the disk: there are no old bytes to lose.
bool createAtomically(const std::string& path, std::string_view data, unsigned permissions = 0666);
// Removes what replacements killed half-way left in the folder of `path` (of its target, when it
// is a link): regular files of the replacements' names only, never through a link, and none that
// a replacement running now holds.
void removeReplacementLeftovers(const std::string& path);

// Advisory lock of a data folder, through a lock file in it; released when destroyed (also when
// the process dies). The lock file stays. One that is a link or not a regular file is refused
// (FileError, ELOOP or ENXIO), never followed nor waited on.
// Removing or replacing the lock file lets no second holder in: on POSIX the folder that holds it
// is locked as well (a folder with files in it cannot be replaced), and the lock file is locked
// only while its name still names it; on Windows neither can be removed while held.
class FolderLock {
public:
    FolderLock() = default;
    // The lock file of a data folder: ".velt-lock" in it, beside Target's own folders.
    static std::string fileOf(const std::string& dataFolder);
    // The lock, or nothing when another holds it.
    static std::optional<FolderLock> tryAcquire(const std::string& lockFile);
    bool held() const { return file_.isOpen(); }

private:
    FolderLock(File folder, File file) : folder_(std::move(folder)), file_(std::move(file)) {}
    File folder_;
    File file_;
};

Status status(const std::string& path);  // follows links; Missing when it cannot be found
inline bool exists(const std::string& path) {
    return status(path).kind != Kind::Missing;
}
inline bool isRegularFile(const std::string& path) {
    return status(path).kind == Kind::Regular;
}
inline bool isDirectory(const std::string& path) {
    return status(path).kind == Kind::Directory;
}
// Throws unless new files can be made in the folder.
void checkFolderWritable(const std::string& folder);
// Names in the folder, "." and ".." left out, unsorted.
std::vector<std::string> listFolder(const std::string& folder);
// Removes a file (not a folder); false when it was not there.
bool remove(const std::string& path);
// Gives the file `from` the name `to` in the same folder, replacing a file of that name.
void renameFile(const std::string& from, const std::string& to);
// The identity of what the name itself is, never reached through a link (a link in its place is
// measured itself on POSIX, refused with ELOOP on Windows). Throws FileError.
FileId idOf(const std::string& path);

}  // namespace velt::platform
