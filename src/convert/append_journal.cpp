#include "convert/append_journal.h"

#include <cerrno>
#include <charconv>

#include "platform/failure.h"
#include "platform/file.h"

namespace velt {
namespace {

// A journal holds a few lines; anything much larger is none of ours.
constexpr std::size_t kMaxJournalBytes = 1 << 20;

constexpr std::string_view kEntry = "velt-append ";

// A path the journal may name: inside the data folder, never above it, and one line.
bool safeWithin(std::string_view rel) {
    if (rel.empty() || rel[0] == '/' || rel[0] == '\\' || rel.find(':') != std::string::npos)
        return false;
    for (char c : rel)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = rel.find_first_of("/\\", start);
        if (rel.substr(start, end - start) == "..") return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

// The names Target's files have, in the folders they lie in: MDATA/MD….DAT and MS….DAT,
// HDATA/OD….CSV, KCOM_DATA/<year>/KC….DAT and KM….DAT. Recovery cuts nothing else.
bool isTargetFile(std::string_view rel) {
    const auto slash = rel.find_last_of('/');
    if (slash == std::string_view::npos) return false;
    const std::string_view folder = rel.substr(0, slash + 1), name = rel.substr(slash + 1);
    auto named = [&](std::string_view prefix, std::string_view suffix) {
        return name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) &&
               name.ends_with(suffix);
    };
    if (folder == "MDATA/") return named("MD", ".DAT") || named("MS", ".DAT");
    if (folder == "HDATA/") return named("OD", ".CSV");
    const bool yearFolder = folder.size() == 15 && folder.starts_with("KCOM_DATA/") &&
                            folder.find_first_not_of("0123456789", 10) == 14;
    return yearFolder && (named("KC", ".DAT") || named("KM", ".DAT"));
}

// "<device>:<inode> " at the start of an entry's path, as this version writes it; earlier
// versions wrote the path alone.
std::optional<platform::FileId> takeIdentity(std::string_view& rest) {
    platform::FileId id;
    const char* end = rest.data() + rest.size();
    auto dev = std::from_chars(rest.data(), end, id.device);
    if (dev.ec != std::errc() || dev.ptr == end || *dev.ptr != ':') return std::nullopt;
    auto ino = std::from_chars(dev.ptr + 1, end, id.inode);
    if (ino.ec != std::errc() || ino.ptr == end || *ino.ptr != ' ') return std::nullopt;
    rest.remove_prefix(static_cast<std::size_t>(ino.ptr + 1 - rest.data()));
    return id;
}

// Cuts the open file back to the end of its last whole line after `size` bytes.
void cutTornLine(platform::File& file, std::uint64_t size) {
    const platform::Status st = file.status();
    if (st.kind != platform::Kind::Regular || st.size <= size) return;
    std::string tail(static_cast<std::size_t>(st.size - size), '\0');
    if (file.readAt(tail.data(), tail.size(), size) != tail.size())
        throw platform::FileError(EIO, file.path(), platform::Op::Read);
    const std::size_t nl = tail.find_last_of('\n');
    const std::uint64_t keep = size + (nl == std::string::npos ? 0 : nl + 1);
    if (keep != st.size) file.truncate(keep);
}

[[noreturn]] void cannotCut(const std::string& path, const platform::FileError& e) {
    throw Failure(path, "前回中断した書き込みの途中の行を取り除けません: " + causeOf(e));
}

}  // namespace

std::string journalBeside(const std::string& path) {
    return path + ".velt-append";
}

platform::File openJournal(const std::string& journal, unsigned flags) {
    try {
        platform::File j = platform::File::openIfExists(
            journal, flags | platform::NoFollow | platform::NonBlocking);
        if (j.isOpen() && j.status().kind != platform::Kind::Regular)
            throw platform::FileError(ENXIO, journal);
        return j;
    } catch (const platform::FileError& e) {
        if (e.error() == ELOOP || e.error() == ENXIO || e.error() == EISDIR)
            throw Failure(journal,
                          "書き込みの記録に使う名前に通常のファイルでないもの (リンク、"
                          "パイプやフォルダ) があるため書き込めません。取り除いてから"
                          "やり直してください");
        throw;
    }
}

void cutTornLine(const std::string& path, std::uint64_t size) {
    try {
        platform::File file = platform::File::openIfExists(
            path, platform::Read | platform::Write | platform::NonBlocking);
        if (file.isOpen()) cutTornLine(file, size);
    } catch (const platform::FileError& e) {
        if (e.error() != ENOENT) cannotCut(path, e);
    }
}

long long entrySize(std::string_view line, std::string_view& rest) {
    if (line.substr(0, kEntry.size()) != kEntry) return -1;
    line.remove_prefix(kEntry.size());
    long long size = -1;
    auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), size);
    if (ec != std::errc() || size < 0) return -1;
    rest = line.substr(static_cast<std::size_t>(end - line.data()));
    return size;
}

AppendJournal::AppendJournal(std::string dataFolder)
    : dataFolder_(std::move(dataFolder)), path_(dataFolder_ + ".velt-append") {
    try {
        file_ = openJournal(path_, platform::Read | platform::Write | platform::Create);
    } catch (const platform::FileError&) {
        return;  // a folder that takes no journal takes no appends either: their writes say why
    }
    std::string text;
    try {
        text = file_.readRest(kMaxJournalBytes);
    } catch (const platform::FileError& e) {
        if (e.error() != EFBIG)
            throw Failure(path_, "前回の書き込みの記録を読めません: " + causeOf(e));
    }
    // Only whole lines: a line cut short was written by an import killed before its append.
    for (std::size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos;
         start = nl + 1) {
        std::string_view rest;
        const long long size = entrySize(std::string_view(text).substr(start, nl - start), rest);
        if (size < 0 || rest.size() < 2 || rest[0] != ' ') continue;
        rest.remove_prefix(1);
        const std::optional<platform::FileId> id = takeIdentity(rest);
        if (!recover(std::string(rest), static_cast<std::uint64_t>(size), id))
            leftAlone_.emplace_back(rest);
    }
    try {
        store();
    } catch (const platform::FileError&) {
        file_ = platform::File();  // what it held is done; the writes journal beside their files
    }
}

// Only a file of Target's names, reached without a link, and the very file written when the entry
// says which: a planted entry cuts nothing else.
bool AppendJournal::recover(const std::string& rel, std::uint64_t size,
                            std::optional<platform::FileId> id) {
    if (!safeWithin(rel) || !isTargetFile(rel)) return false;
    const std::string path = dataFolder_ + rel;
    try {
        platform::File file = platform::openBeneath(
            dataFolder_, rel, platform::Read | platform::Write | platform::NonBlocking);
        if (!file.isOpen()) return true;  // gone: nothing left to cut
        if (file.status().kind != platform::Kind::Regular || (id && file.id() != *id)) return false;
        cutTornLine(file, size);
        return true;
    } catch (const platform::FileError& e) {
        if (e.error() == ELOOP || e.error() == ENOTDIR || e.error() == ENXIO) return false;
        cannotCut(path, e);
    }
}

AppendJournal::~AppendJournal() {
    if (!file_.isOpen()) return;
    try {
        file_.close();
    } catch (const platform::FileError&) {
    }
    if (open_.empty()) platform::remove(path_);
}

void AppendJournal::store() {
    std::string text;
    for (const auto& [rel, entry] : open_)
        text += std::string(kEntry) + std::to_string(entry.size) + ' ' +
                std::to_string(entry.id.device) + ':' + std::to_string(entry.id.inode) + ' ' + rel +
                '\n';
    file_.truncate(0);
    if (text.empty()) return;
    file_.seek(0);
    file_.write(text);
}

bool AppendJournal::begin(const std::string& path, std::uint64_t size) {
    if (!file_.isOpen() || path.compare(0, dataFolder_.size(), dataFolder_) != 0) return false;
    const std::string rel = path.substr(dataFolder_.size());
    // Only what recovery would act on: anything else journals beside its file.
    if (!safeWithin(rel) || !isTargetFile(rel)) return false;
    platform::FileId id;
    try {
        platform::File file = platform::openBeneath(dataFolder_, rel, platform::Read);
        if (!file.isOpen()) return false;
        id = file.id();
    } catch (const platform::FileError&) {
        return false;  // a link on the way: its write journals beside it
    }
    open_[rel] = {size, id};
    try {
        store();
        return true;
    } catch (const platform::FileError&) {
        open_.erase(rel);
        return false;
    }
}

void AppendJournal::end(const std::string& path) {
    if (open_.erase(path.substr(dataFolder_.size())) == 0) return;
    try {
        store();
    } catch (const platform::FileError&) {
        // The entry stays on disk: the next import finds the write whole and cuts nothing.
    }
}

}  // namespace velt
