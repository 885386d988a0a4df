#pragma once
// LHA archives: `LhaReader`, a checked reader over lhasa; the listing and reading of members that
// imports use (listLhaMembers, readLhaMembers); and extractArchive, which unpacks an archive into a
// folder for `velt-cli --extract`.

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
#include "shell/archive_words.h"

namespace velt {

struct Message;

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

// The most a reader decodes: per member and for the whole archive. A member whose header declares
// more is refused before a byte of it is decoded or memory is reserved for it, and decoding stops
// as soon as it goes beyond.
struct LhaLimits {
    std::uint64_t member = 256u << 20;
    std::uint64_t archive = 1u << 30;
};

// Reads an archive member by member. Every failure throws Failure naming the archive:
// a damaged header, a file cut short, a CRC or length mismatch, an unknown method, a limit passed,
// an empty file, a file that is no regular file (refused without waiting on it).
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
    // Starts again at the first member, on the file already open.
    void restart();

private:
    void readInto(void* sink, void (*put)(void*, const char*, std::size_t));
    void start();
    struct State;
    std::unique_ptr<State> state_;
};

// A member as a plan sees it: its name (memberFileName; "" when unsafe) and declared length.
struct LhaEntry {
    std::string name;
    std::uint64_t length = 0;
    bool operator==(const LhaEntry&) const = default;
};

// The archive's members (folders and links left out), in order, from the headers alone: nothing is
// decoded. Throws as LhaReader does (ArchiveMissing when the archive is not there).
std::vector<LhaEntry> listLhaMembers(const std::string& archive, LhaLimits limits);

// The `chosen` members, decoded into memory and checked; the others are skipped without being
// decoded. Headers and members come from one open file, and its members must be `planned`
// (listLhaMembers): otherwise the archive was replaced since the plan, and that is the failure. A
// chosen member that is not there fails too. `afterHeaders`, when given, runs once the headers are
// read and checked, before anything is decoded. Throws as LhaReader does.
std::map<std::string, std::string> readLhaMembers(const std::string& archive,
                                                  const std::vector<LhaEntry>& planned,
                                                  const std::set<std::string>& chosen,
                                                  LhaLimits limits,
                                                  const std::function<void()>& afterHeaders = {});

// As above, the members picked by `choose` from the names of all of them, on one open file.
// Throws what `choose` throws too.
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

// What an extraction did: the files it wrote, and for each member it did not write, why.
struct Extraction {
    std::vector<std::string> written;
    std::vector<Failure> notWritten;
};

// Unpacks an LHA or ZIP archive into `folder`, which must exist: every member flat, under its base
// name. Every member is decoded and checked (length, CRC) before the first file is written, so a
// damaged archive writes nothing and throws. A member whose name is unsafe is not written, nor one
// whose name is taken in the folder (no file is overwritten, no link followed): both are reported
// in notWritten while the others are written. A failed write removes the files written so far.
Extraction extractArchive(const std::string& archive, const std::string& folder,
                          LhaLimits limits = {});

// The two failures an import of an archive reports: the archive missing ("No.4"), its reading
// failed ("No.5").
Message archiveMissingMessage();
Message extractionFailedMessage();

}  // namespace velt
