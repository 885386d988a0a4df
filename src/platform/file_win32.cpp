// The file layer on Windows: UTF-8 paths become UTF-16 at the API. Every file is opened sharing
// reading, writing and deleting, so that Target can read a file while it is written and a file
// held open can still be replaced by name.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/replacement.h"
#include "platform/windows_error.h"
#include "platform/windows_text.h"

namespace velt::platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The byte range the advisory lock takes: far beyond any data, because Windows' locks keep
// others from reading and writing the bytes they cover.
constexpr DWORD kLockOffsetHigh = 0x7fffffff;

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

[[noreturn]] void fail(const std::string& path, Op op, DWORD code = GetLastError()) {
    throw FileError(errnoOfWindowsError(code), path, op);
}

Op openOp(unsigned flags) {
    if (flags & Create) return Op::Create;
    if (flags & Folder) return Op::List;
    return (flags & (Write | Append)) ? Op::Write : Op::Read;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string withSeparator(const std::string& folder) {
    return folder.empty() || isSeparator(folder.back()) ? folder : folder + "\\";
}

Kind kindOf(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Directory : Kind::Regular;
}

unsigned permissionsOf(DWORD attributes) {
    unsigned p = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? p | 0111 : p;
}

Status statusOfHandle(HANDLE h, bool& ok) {
    Status s;
    ok = true;
    switch (GetFileType(h)) {
        case FILE_TYPE_PIPE:
            s.kind = Kind::Pipe;
            return s;
        case FILE_TYPE_CHAR:
            s.kind = Kind::Device;
            return s;
        case FILE_TYPE_DISK:
            break;
        default:
            s.kind = Kind::Other;
            return s;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) {
        ok = false;
        return s;
    }
    s.kind = kindOf(info.dwFileAttributes);
    s.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    s.permissions = permissionsOf(info.dwFileAttributes);
    return s;
}

FileId idOfHandle(HANDLE h, const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) fail(path, Op::Read);
    return {info.dwVolumeSerialNumber,
            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

bool isLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A handle that reads nothing but the file's attributes, following links.
HANDLE openForAttributes(const std::wstring& path) {
    return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Opens like POSIX open(): the flags say how, the permissions only whether a new file is
// read-only. INVALID_HANDLE_VALUE on failure, its errno value in `err`.
HANDLE openHandle(const std::string& path, unsigned flags, unsigned permissions, int& err) {
    const std::wstring w = wide(path);
    // Every handle may read the attributes: status() and the checks below need them.
    DWORD access = FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    if (flags & Read) access |= GENERIC_READ;
    if (flags & Append)
        // Without the right to write anywhere, every write goes to the end, as with O_APPEND.
        access |= FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES;
    else if (flags & Write)
        access |= GENERIC_WRITE;
    if (flags & Folder) access = FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    DWORD disposition = OPEN_EXISTING;
    if ((flags & Create) && (flags & Exclusive))
        disposition = CREATE_NEW;
    else if ((flags & Create) && (flags & Truncate))
        disposition = OPEN_ALWAYS;  // emptied below: CREATE_ALWAYS would reset the attributes
    else if (flags & Create)
        disposition = OPEN_ALWAYS;
    DWORD attributes = (permissions & 0222) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    if (flags & Folder) attributes |= FILE_FLAG_BACKUP_SEMANTICS;
    if (flags & NoFollow) attributes |= FILE_FLAG_OPEN_REPARSE_POINT;
    const DWORD share = (flags & Kept) ? FILE_SHARE_READ | FILE_SHARE_WRITE : kShareAll;
    HANDLE h = CreateFileW(w.c_str(), access, share, nullptr, disposition, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        const DWORD found = GetFileAttributesW(w.c_str());
        // A folder in the file's place: say so, as POSIX does, instead of "access denied".
        err = code == ERROR_ACCESS_DENIED && found != INVALID_FILE_ATTRIBUTES &&
                      (found & FILE_ATTRIBUTE_DIRECTORY) && !(flags & Folder)
                  ? EISDIR
                  : errnoOfWindowsError(code);
        return INVALID_HANDLE_VALUE;
    }
    const bool existed = disposition == OPEN_EXISTING || GetLastError() == ERROR_ALREADY_EXISTS;
    // Only a file is opened by name; a pipe in its place is refused, never waited on.
    if (GetFileType(h) == FILE_TYPE_PIPE) {
        CloseHandle(h);
        err = ENXIO;
        return INVALID_HANDLE_VALUE;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool known = GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag);
    // Windows refuses to write a read-only file; Wine running as root would not.
    if (known && existed && (flags & (Write | Append)) && !(flags & Folder) &&
        (tag.FileAttributes & FILE_ATTRIBUTE_READONLY) &&
        !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        err = EACCES;
        return INVALID_HANDLE_VALUE;
    }
    if ((flags & NoFollow) && known && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(h);
        err = ELOOP;
        return INVALID_HANDLE_VALUE;
    }
    if ((flags & Truncate) && !(flags & Exclusive)) {
        FILE_END_OF_FILE_INFO end{};
        if (!SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end)) {
            err = errnoOfWindowsError(GetLastError());
            CloseHandle(h);
            return INVALID_HANDLE_VALUE;
        }
    }
    return h;
}

// Takes the advisory lock; false when another handle holds it and `wait` is not set.
bool lockHandle(HANDLE h, bool wait, const std::string& path) {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    const DWORD how = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (LockFileEx(h, how, 0, 1, 0, &at)) return true;
    const DWORD code = GetLastError();
    if (!wait && (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING)) return false;
    fail(path, Op::Lock, code);
}

// A name no other call of this process has made, and unlikely in another's.
std::string uniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    unsigned long long n = (std::uint64_t{GetCurrentProcessId()} << 32) ^ GetTickCount64() ^
                           (std::uint64_t{counter++} * 0x9e3779b97f4a7c15ull);
    std::string out;
    for (int i = 0; i < 6; ++i, n /= 36) out.push_back(kDigits[n % 36]);
    return out;
}

}  // namespace

// The file a path names once links in its place are followed (the path itself when it is no
// link, or the link leads nowhere).
std::string followLinks(std::string path) {
    const std::wstring w = wide(path);
    if (!isLink(GetFileAttributesW(w.c_str()))) return path;
    HANDLE h = openForAttributes(w);
    if (h == INVALID_HANDLE_VALUE) return path;
    wchar_t buf[MAX_PATH * 4];
    const DWORD n = GetFinalPathNameByHandleW(h, buf, MAX_PATH * 4, FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= MAX_PATH * 4) return path;
    return utf8(buf);
}

File::File(const std::string& path, unsigned flags, unsigned permissions) : path_(path) {
    int err = 0;
    HANDLE h = openHandle(path, flags, permissions, err);
    if (h == INVALID_HANDLE_VALUE) throw FileError(err, path, openOp(flags));
    handle_ = reinterpret_cast<std::intptr_t>(h);
}

File File::openIfExists(const std::string& path, unsigned flags) {
    File f;
    int err = 0;
    HANDLE h = openHandle(path, flags, 0666, err);
    if (h == INVALID_HANDLE_VALUE) {
        if (err != ENOENT) throw FileError(err, path, openOp(flags));
    } else {
        f.handle_ = reinterpret_cast<std::intptr_t>(h);
    }
    f.path_ = path;
    return f;
}

File::~File() {
    if (handle_ >= 0) CloseHandle(handleOf(handle_));
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) CloseHandle(handleOf(handle_));
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

std::size_t File::read(void* buffer, std::size_t size) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (ReadFile(handleOf(handle_), buffer, want, &n, nullptr)) return n;
    const DWORD code = GetLastError();
    if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) return 0;
    fail(path_, Op::Read, code);
}

std::size_t File::readAt(void* buffer, std::size_t size, std::uint64_t offset) {
    // A positioned read moves a synchronous handle's position: it is put back, as pread leaves it.
    HANDLE h = handleOf(handle_);
    LARGE_INTEGER zero{}, position{};
    if (!SetFilePointerEx(h, zero, &position, FILE_CURRENT)) fail(path_, Op::Read);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    const bool ok = ReadFile(h, buffer, want, &n, &at);
    const DWORD code = GetLastError();
    SetFilePointerEx(h, position, nullptr, FILE_BEGIN);
    if (ok) return n;
    if (code == ERROR_HANDLE_EOF) return 0;
    fail(path_, Op::Read, code);
}

void File::write(std::string_view data, std::size_t* written) {
    if (written) *written = 0;
    while (!data.empty()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        if (!WriteFile(handleOf(handle_), data.data(), want, &n, nullptr)) fail(path_, Op::Write);
        if (n == 0) fail(path_, Op::Write, ERROR_DISK_FULL);
        data.remove_prefix(n);
        if (written) *written += n;
    }
}

void File::skip(std::uint64_t bytes) {
    LARGE_INTEGER by{};
    by.QuadPart = static_cast<LONGLONG>(bytes);
    if (!SetFilePointerEx(handleOf(handle_), by, nullptr, FILE_CURRENT)) fail(path_, Op::Read);
}

void File::seek(std::uint64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handleOf(handle_), to, nullptr, FILE_BEGIN)) fail(path_, Op::Read);
}

void File::truncate(std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (SetFileInformationByHandle(handleOf(handle_), FileEndOfFileInfo, &end, sizeof end)) return;
    DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED) {
        // A handle that only appends may not cut: a second one, of the same file, may.
        HANDLE h = ReOpenFile(handleOf(handle_), GENERIC_WRITE, kShareAll, 0);
        if (h != INVALID_HANDLE_VALUE) {
            const bool ok = SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end);
            code = GetLastError();
            CloseHandle(h);
            if (ok) return;
        }
    }
    fail(path_, Op::Write, code);
}

void File::sync() {
    if (FlushFileBuffers(handleOf(handle_))) return;
    const DWORD code = GetLastError();
    // A folder cannot be flushed on Windows; a rename written through needs no such wait.
    bool ok = false;
    if (statusOfHandle(handleOf(handle_), ok).kind == Kind::Directory && ok) return;
    fail(path_, Op::Write, code);
}

Status File::status() const {
    bool ok = false;
    Status s = statusOfHandle(handleOf(handle_), ok);
    if (!ok) fail(path_, Op::Read);
    return s;
}

bool File::tryLock() {
    return lockHandle(handleOf(handle_), false, path_);
}

void File::close() {
    if (handle_ < 0) return;
    if (!CloseHandle(handleOf(std::exchange(handle_, -1)))) fail(path_, Op::Write);
}

// As on POSIX, the wait for the disk is taken only when there are old bytes to lose.
void replaceAtomically(const std::string& path, std::string_view data, unsigned permissions) {
    const std::string target = followLinks(path);
    const std::wstring wideTarget = wide(target);
    WIN32_FILE_ATTRIBUTE_DATA old{};
    const bool exists = GetFileAttributesExW(wideTarget.c_str(), GetFileExInfoStandard, &old);
    const bool durable = exists && (old.nFileSizeHigh != 0 || old.nFileSizeLow != 0);
    // Windows renames nothing over a read-only file: refused before a new file is left beside it.
    if (exists && (old.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        throw FileError(EACCES, path, Op::Write);
    File f = createReplacement(target, exists ? permissionsOf(old.dwFileAttributes) : permissions);
    const std::string tmp = f.path();
    const std::wstring wideTmp = wide(tmp);
    try {
        f.write(data);
        if (durable) f.sync();
        f.close();
        const DWORD how = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
        if (!MoveFileExW(wideTmp.c_str(), wideTarget.c_str(), how)) fail(path, Op::Rename);
    } catch (const FileError& e) {
        DeleteFileW(wideTmp.c_str());
        throw FileError(e.error(), path, e.op());
    }
}

bool createAtomically(const std::string& path, std::string_view data, unsigned permissions) {
    File f = createReplacement(path, permissions);
    const std::string tmp = f.path();
    const std::wstring wideTmp = wide(tmp);
    try {
        f.write(data);
        f.close();
        // Without MOVEFILE_REPLACE_EXISTING a name that is taken is left as it is.
        if (!MoveFileExW(wideTmp.c_str(), wide(path).c_str(), 0)) {
            const DWORD code = GetLastError();
            if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS)
                fail(path, Op::Rename, code);
            DeleteFileW(wideTmp.c_str());
            return false;
        }
    } catch (const FileError& e) {
        DeleteFileW(wideTmp.c_str());
        throw FileError(e.error(), path, e.op());
    }
    return true;
}

void File::setPermissions(unsigned permissions) {
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handleOf(handle_), FileBasicInfo, &info, sizeof info))
        fail(path_, Op::Write);
    const DWORD readOnly = (permissions & 0222) ? 0 : FILE_ATTRIBUTE_READONLY;
    info.FileAttributes = (info.FileAttributes & ~FILE_ATTRIBUTE_READONLY) | readOnly;
    if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(handleOf(handle_), FileBasicInfo, &info, sizeof info))
        fail(path_, Op::Write);
}

Status status(const std::string& path) {
    std::wstring w;
    try {
        w = wide(path);
    } catch (const FileError&) {
        return {};
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &data)) return {};
    if (!isLink(data.dwFileAttributes)) {
        Status s;
        s.kind = kindOf(data.dwFileAttributes);
        s.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        s.permissions = permissionsOf(data.dwFileAttributes);
        return s;
    }
    HANDLE h = openForAttributes(w);
    if (h == INVALID_HANDLE_VALUE) return {};
    bool ok = false;
    Status s = statusOfHandle(h, ok);
    CloseHandle(h);
    return ok ? s : Status{};
}

// Windows has no cheap test of the right to create files: one is made, and goes on closing.
void checkFolderWritable(const std::string& folder) {
    const std::wstring w = wide(folder);
    const DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) fail(folder, Op::Create);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) throw FileError(ENOTDIR, folder, Op::Create);
    const std::wstring probe = wide(withSeparator(folder) + ".velt-probe-" + uniqueSuffix());
    HANDLE h = CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) fail(folder, Op::Create);
    CloseHandle(h);
}

std::vector<std::string> listFolder(const std::string& folder) {
    const std::wstring pattern = wide(withSeparator(folder) + "*");
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // A file in the folder's place (Windows and Wine give different codes).
        if (isRegularFile(folder)) throw FileError(ENOTDIR, folder, Op::List);
        fail(folder, Op::List, code);
    }
    std::vector<std::string> names;
    do {
        const std::string name = utf8(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(h, &found));
    const DWORD code = GetLastError();
    FindClose(h);
    if (code != ERROR_NO_MORE_FILES) fail(folder, Op::List, code);
    return names;
}

bool remove(const std::string& path) {
    try {
        return DeleteFileW(wide(path).c_str()) != 0;
    } catch (const FileError&) {
        return false;
    }
}

void renameFile(const std::string& from, const std::string& to) {
    if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail(to, Op::Rename);
}

FileId File::id() const {
    return idOfHandle(handleOf(handle_), path_);
}

// A link in the name's place is refused (ELOOP) rather than measured: none is wanted where asked.
FileId idOf(const std::string& path) {
    return File(path, Read | Folder | NoFollow).id();
}

// Windows opens by whole paths only: each folder on the way is held open, unable to be removed or
// renamed, once it is known to be no reparse point, so the path cannot be turned into a link
// behind the check.
File openBeneath(const std::string& folder, const std::string& relative, unsigned flags) {
    std::vector<File> held;
    for (std::size_t start = 0;;) {
        const std::size_t slash = relative.find('/', start);
        const bool last = slash == std::string::npos;
        const std::string path = folder + relative.substr(0, last ? relative.size() : slash);
        const unsigned how = last ? (flags & ~Create) | NoFollow : Read | Folder | NoFollow | Kept;
        File f = File::openIfExists(path, how);
        if (!f.isOpen() || last) return f;
        if (f.status().kind != Kind::Directory) throw FileError(ENOTDIR, path, Op::Read);
        held.push_back(std::move(f));
        start = slash + 1;
    }
}

File lockFolder(const std::string& folder) {
    return File(folder, Read | Folder | Kept);
}

}  // namespace velt::platform
