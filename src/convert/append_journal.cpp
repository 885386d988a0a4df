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
        if (!file.isOpen()) return;
        const platform::Status st = file.status();
        if (st.kind != platform::Kind::Regular || st.size <= size) return;
        std::string tail(static_cast<std::size_t>(st.size - size), '\0');
        if (file.readAt(tail.data(), tail.size(), size) != tail.size())
            throw platform::FileError(EIO, path);
        const std::size_t nl = tail.find_last_of('\n');
        const std::uint64_t keep = size + (nl == std::string::npos ? 0 : nl + 1);
        if (keep != st.size) file.truncate(keep);
    } catch (const platform::FileError& e) {
        if (e.error() == ENOENT) return;
        throw Failure(
            path, "前回中断した書き込みの途中の行を取り除けません: " + platform::describeErrno(e.error()));
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
            throw Failure(path_,
                              "前回の書き込みの記録を読めません: " + platform::describeErrno(e.error()));
    }
    // Only whole lines: a line cut short was written by an import killed before its append.
    for (std::size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos;
         start = nl + 1) {
        std::string_view rest;
        const long long size = entrySize(std::string_view(text).substr(start, nl - start), rest);
        if (size < 0 || rest.size() < 2 || rest[0] != ' ' || !safeWithin(rest.substr(1))) continue;
        cutTornLine(dataFolder_ + std::string(rest.substr(1)), static_cast<std::uint64_t>(size));
    }
    try {
        store();
    } catch (const platform::FileError&) {
        file_ = platform::File();  // what it held is done; the writes journal beside their files
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
    for (const auto& [rel, size] : open_)
        text += std::string(kEntry) + std::to_string(size) + ' ' + rel + '\n';
    file_.truncate(0);
    if (text.empty()) return;
    file_.seek(0);
    file_.write(text);
}

bool AppendJournal::begin(const std::string& path, std::uint64_t size) {
    if (!file_.isOpen() || path.compare(0, dataFolder_.size(), dataFolder_) != 0) return false;
    const std::string rel = path.substr(dataFolder_.size());
    if (!safeWithin(rel)) return false;
    open_[rel] = size;
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
