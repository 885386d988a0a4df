#pragma once
// The causes an archive failure gives, worded once so that an LHA archive and a ZIP archive
// failing in the same way read alike (the Failure that carries a cause names the file); and the
// opening of an archive file, refused alike for both.

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/failure.h"
#include "platform/file.h"

namespace velt {

// An archive that is not there at all, told apart from one that cannot be read.
class ArchiveMissing : public Failure {
public:
    explicit ArchiveMissing(std::string archive)
        : Failure(std::move(archive), "ファイルがありません") {}
};

namespace archiveWords {

inline std::string sizeText(std::uint64_t bytes) {
    if (bytes >= (1u << 30) && bytes % (1u << 30) == 0) return std::to_string(bytes >> 30) + " GB";
    return std::to_string(bytes >> 20) + " MB";
}

inline std::string emptyFile() {
    return "ファイルが空です (0 バイト)。書庫ではありません";
}

// `format` is "LHA" or "ZIP".
inline std::string notArchive(const char* format) {
    return std::string(format) + " 書庫ではありません";
}

inline std::string cutShort() {
    return "書庫が途中で切れています (ダウンロードが終わっていないのかもしれません)";
}

inline std::string damaged(const std::string& what) {
    return "書庫が壊れています: " + what;
}

inline std::string badCrc(const std::string& member) {
    return damaged("メンバー " + member + " の CRC が合いません");
}

inline std::string badLength(const std::string& member, std::uint64_t got, std::uint64_t want) {
    return damaged("メンバー " + member + " の長さが見出しと合いません (" + std::to_string(got) +
                   " / " + std::to_string(want) + " バイト)");
}

inline std::string memberTooLarge(const std::string& member, std::uint64_t bytes,
                                  std::uint64_t cap) {
    return "メンバー " + member + " の大きさ (" + std::to_string(bytes) +
           " バイト) が大きすぎます。" + sizeText(cap) + " までしか読みません";
}

inline std::string archiveTooLarge(std::uint64_t cap) {
    return "書庫の中身が大きすぎます。" + sizeText(cap) + " までしか読みません";
}

inline std::string unsupportedMethod(const std::string& member, const std::string& method) {
    return "メンバー " + member + " の圧縮方式 " + (method.empty() ? "" : method + " ") +
           "には対応していません";
}

inline std::string encrypted(const std::string& member) {
    return "メンバー " + member + " は暗号化されているので読めません";
}

inline std::string twoOfOneName(const std::string& member) {
    return "同じ名前のメンバーが二つあります: " + member;
}

}  // namespace archiveWords

// Opens an archive for reading: a missing one throws ArchiveMissing, an empty one or one that is
// no regular file (a pipe is not waited on) throws Failure.
inline platform::File openArchive(const std::string& path) {
    platform::File file;
    try {
        file = platform::openRegularFile(path);
        if (file.status().size != 0) return file;
    } catch (const platform::FileError& e) {
        if (e.error() == ENOENT || e.error() == ENOTDIR) throw ArchiveMissing(path);
        if (e.error() == EISDIR || e.error() == ENODEV)
            throw Failure(path, "書庫として読めるファイルではありません (" +
                                    platform::describeErrno(e.error()) + ")");
        throw Failure(path, "書庫を開けません: " +
                                platform::describeFileError(e.error(), platform::Op::Read));
    }
    throw Failure(path, archiveWords::emptyFile());
}
}  // namespace velt
