#pragma once
// ZIP archives (JRDB's yearly packs) over libzip: members are read into memory, checked, capped.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velt {

// Reads a ZIP archive's members into memory. Member names are only looked at, never used as
// paths. Every failure throws Failure naming the archive (and the member), in the words an LHA
// archive failing the same way gives (archive_words.h): missing (ArchiveMissing), empty, not a ZIP,
// cut short, damaged, a CRC mismatch, an encrypted member, a member or archive too large to be a
// JRDB download. libzip's own English never shows.
class ZipArchive {
public:
    explicit ZipArchive(const std::string& path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    std::size_t size() const;
    // The member's name as stored (raw bytes; may hold folders).
    std::string name(std::size_t index) const;
    bool isFolder(std::size_t index) const;
    // The member's bytes, CRC checked by libzip as they are read to the end.
    std::string read(std::size_t index);

    static constexpr std::uint64_t kMaxMemberBytes = 256u << 20;
    static constexpr std::uint64_t kMaxArchiveBytes = 8ull << 30;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace velt
