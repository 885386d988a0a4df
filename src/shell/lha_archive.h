#pragma once
// LHA archives: `LhaReader`, a checked reader over lhasa, through which imports read their members
// (readLhaMembers); `Unlha` with the interface of UnLHA32's entry point; and `ExtractArchive`, the
// extraction API over it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/failure.h"

namespace velt {

struct Message;
class Messages;

// One member of an archive, as its header describes it.
struct LhaMember {
    std::string path;    // the folder part stored in the header ("" when none), raw bytes
    std::string name;    // the file name part, raw bytes
    std::string method;  // "-lh5-" and so on
    std::uint64_t length = 0;
    std::uint16_t crc = 0;
    int headerLevel = 0;
    bool directory = false;  // a folder or a symbolic link: nothing to extract
};

// An archive that is not there at all, told apart from one that cannot be read.
class ArchiveMissing : public Failure {
public:
    using Failure::Failure;
};

// The most a reader decodes: per member and for the whole archive. A member whose header declares
// more is refused before a byte of it is decoded, and decoding stops as soon as it goes beyond.
struct LhaLimits {
    std::uint64_t member = 256u << 20;
    std::uint64_t archive = 1u << 30;
};

// Reads an archive member by member. Every failure throws Failure naming the archive:
// a damaged header, a truncated file, a CRC or length mismatch, an unknown method, a limit passed,
// a file that is no regular file (refused without waiting on it).
class LhaReader {
public:
    explicit LhaReader(const std::string& archive, LhaLimits limits = {});
    ~LhaReader();
    LhaReader(LhaReader&&) noexcept;
    LhaReader& operator=(LhaReader&&) noexcept;
    LhaReader(const LhaReader&) = delete;
    LhaReader& operator=(const LhaReader&) = delete;

    // The next member, or false at the archive's proper end.
    bool next(LhaMember& member);
    // Decodes the current member, handing its bytes to `sink` in pieces, then checks its length
    // and CRC against the header.
    template <typename Sink>
    void read(Sink&& sink) {
        readInto(&sink, [](void* s, const char* data, std::size_t n) {
            (*static_cast<std::remove_reference_t<Sink>*>(s))(data, n);
        });
    }

private:
    void readInto(void* sink, void (*put)(void*, const char*, std::size_t));
    struct State;
    std::unique_ptr<State> state_;
};

// The members of an archive that `choose` picks from the names of all of them (memberFileName),
// decoded into memory and checked; the others are skipped without being decoded. Throws as
// LhaReader does (ArchiveMissing when the archive is not there), and what `choose` throws.
std::map<std::string, std::string> readLhaMembers(
    const std::string& archive,
    const std::function<std::set<std::string>(const std::vector<std::string>&)>& choose,
    LhaLimits limits);

// Decodes every member and checks it, keeping nothing: tells a damaged archive from one that only
// lacks a member. Throws as LhaReader does.
void checkLhaArchive(const std::string& archive, LhaLimits limits);

// CRC-16/ARC (reflected polynomial 0xA001, initial value 0), as LHA stores it.
std::uint16_t crc16(std::uint16_t crc, const void* data, std::size_t size);

// The name a member is written under: its base name, converted to UTF-8 when it is CP932.
// Empty when the name is unsafe (empty, ".", "..", or holding "/", "\" or ":").
std::string memberFileName(const LhaMember& member);

// Quotes a path that holds a "." or a space.
std::string quotePath(const std::string& path);

// The command line ExtractArchive hands to Unlha: command, options, the quoted archive, the quoted
// destination with its final separator (trailing spaces removed), each followed by one space.
std::string unlhaCommandLine(const std::string& command, const std::string& options,
                             const std::string& archive, const std::string& destination);

// Extracts every member into the destination folder, flat, under its base name. Understands
// "e [-options] archive destination/". Returns 0 on success; on failure the cause (UTF-8) is left
// in outputBuffer, the files this call wrote are removed, and the result is non-zero.
std::int32_t Unlha(std::int32_t hwnd, const char* commandLine, char* outputBuffer,
                   std::int32_t size);

// The two failures an extraction reports: the archive missing ("No.4"), the extraction failed
// ("No.5").
Message archiveMissingMessage();
Message extractionFailedMessage();

// Checks that the archive exists, builds Unlha's command line and calls it; reports a failure
// through `messages` ("No.4", "No.5"). 0 on success, 1 on failure. `cause`, when given, receives
// the reason in plain words.
std::int32_t ExtractArchive(Messages& messages, std::int32_t hwnd, const std::string& archive,
                            const std::string& destination, const std::string& command,
                            const std::string& options, std::string* cause = nullptr);

}  // namespace velt
