#include "convert/output_store.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <utility>

#include "codes/cp932.h"
#include "convert/append_journal.h"
#include "platform/failure.h"
#include "convert/record.h"
#include "convert/sort.h"
#include "platform/file.h"

namespace velt {
namespace {

constexpr std::size_t kFlushSize = 1 << 20;
// Far beyond any Target file (a meeting's MD file is a few hundred kilobytes).
constexpr std::size_t kMaxFileBytes = std::size_t(1) << 30;

[[noreturn]] void fail(const std::string& path, const char* what, const platform::FileError& e) {
    throw Failure(path, std::string(what) + ": " + causeOf(e));
}

// Runs a file-layer call; its failure becomes the import's, worded as `what`.
template <typename Call>
auto guard(const std::string& path, const char* what, Call&& call) {
    try {
        return call();
    } catch (const platform::FileError& e) {
        fail(path, what, e);
    }
}

// The journal of a write beside its file, locked while the write lasts so that an import running
// beside this one leaves it alone; not open when none could be made (the write then goes ahead
// without one).
platform::File startJournal(const std::string& path, std::uint64_t size) {
    platform::File j = [&] {
        try {
            return openJournal(journalBeside(path), platform::Write | platform::Create);
        } catch (const platform::FileError&) {
            return platform::File();
        }
    }();
    try {
        if (!j.isOpen() || !j.tryLock()) return {};
        j.truncate(0);
        j.write("velt-append " + std::to_string(size) + "\n");
        return j;
    } catch (const platform::FileError&) {
        return {};
    }
}

void recoverTornAppend(const std::string& path) {
    const std::string journal = journalBeside(path);
    platform::File j;
    try {
        j = openJournal(journal, platform::Read);
    } catch (const platform::FileError&) {
    }
    if (!j.isOpen()) return;
    // Locked: an import beside this one is writing now; it was not killed.
    if (!j.tryLock()) return;
    const std::string text =
        guard(path, "前回の書き込みの記録を読めません", [&] { return j.readRest(kMaxFileBytes); });
    // A journal cut short was never followed by its write.
    std::string_view rest;
    const long long size = text.empty() || text.back() != '\n'
                               ? -1
                               : entrySize(std::string_view(text).substr(0, text.size() - 1), rest);
    if (size >= 0 && rest.empty()) cutTornLine(path, static_cast<std::uint64_t>(size));
    platform::remove(journal);
}

std::string keyOf(std::string_view line, std::size_t keyChars) {
    return std::string(line.substr(0, cp932::prefixBytes(line, keyChars)));
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

OutputStore::~OutputStore() {
    try {
        flush();
    } catch (...) {
    }
}

OutputStore::File& OutputStore::open(const std::string& path, Mode mode, std::size_t keyChars) {
    auto it = files_.find(path);
    if (it != files_.end()) return it->second;

    File f(keyNodes_);
    f.mode = mode;
    f.keyChars = keyChars;
    recoverTornAppend(path);
    // Non-blocking, so that a pipe in the file's place is refused below instead of waited on.
    platform::File file = guard(path, "ファイルを開けません", [&] {
        return platform::File::openIfExists(path, platform::Read | platform::NonBlocking);
    });
    // Left by imports killed while they rewrote or made files of this folder.
    if ((mode == Mode::Sorted || !file.isOpen()) && cleanedFolders_.insert(folderOf(path)).second)
        platform::removeReplacementLeftovers(path);
    if (!file.isOpen()) {
        // Missing: it is made at the flush, but whether it can be is found out now, at the
        // record that first names it.
        try {
            platform::checkFolderWritable(folderOf(path));
        } catch (const platform::FileError& e) {
            if (e.error() == ENOENT)
                throw Failure(
                    path, "ファイルを作れません: フォルダ " + folderOf(path) + " がありません");
            fail(path, "ファイルを作れません", e);
        }
        f.writable = true;
        f.missing = true;
        return files_.emplace(path, std::move(f)).first->second;
    }
    const platform::Status st = guard(path, "ファイルを開けません", [&] { return file.status(); });
    if (st.kind == platform::Kind::Pipe ||
        // A device could be read for ever (/dev/zero, /dev/full).
        (mode != Mode::Plain && st.kind == platform::Kind::Device))
        throw Failure(path, "ファイルではなく装置かパイプです");
    if (mode == Mode::Plain) {
        char last = '\n';
        if (st.size > 0 && guard(path, "ファイルを読めません",
                                 [&] { return file.readAt(&last, 1, st.size - 1); }) != 1)
            fail(path, "ファイルを読めません", platform::FileError(EIO, path, platform::Op::Read));
        f.needsLineEnd = last != '\n' && last != '\r';
    } else {
        const std::string text =
            guard(path, "ファイルを読めません", [&] { return file.readRest(kMaxFileBytes); });
        f.needsLineEnd = !text.empty() && text.back() != '\n' && text.back() != '\r';
        const std::vector<std::string_view> lines = splitLines(text);
        f.keys.reserve(lines.size());
        for (std::string_view line : lines) {
            if (mode == Mode::Sorted) f.lines.emplace_back(line);
            f.keys.insert(keyOf(line, keyChars));
        }
    }
    return files_.emplace(path, std::move(f)).first->second;
}

void OutputStore::checkWritable(const std::string& path, File& f) {
    if (f.writable) return;
    guard(path, "ファイルに書き込めません",
          [&] { platform::File(path, platform::Write | platform::Append); });
    f.writable = true;
}

bool OutputStore::hasKey(const std::string& path, std::string_view key, std::size_t keyChars) {
    File& f = open(path, Mode::Keyed, keyChars);
    if (f.keys.count(std::string(key)) != 0) return true;
    if (cp932::charCount(key) >= f.keyChars) return false;
    if (!f.orderedMade) {
        f.ordered.insert(f.keys.begin(), f.keys.end());
        f.orderedMade = true;
    }
    // Keys that begin with `key` follow it at once in order.
    auto it = f.ordered.lower_bound(std::string(key));
    return it != f.ordered.end() && it->compare(0, key.size(), key) == 0;
}

void OutputStore::ensureExists(const std::string& path) {
    open(path, Mode::Plain, 0);
}

void OutputStore::append(const std::string& path, std::string_view line) {
    File& f = open(path, Mode::Plain, 0);
    checkWritable(path, f);
    if (f.needsLineEnd) {
        // Never glue a new line onto a last line that lost its line end.
        f.pending.append("\r\n");
        f.pendingBreak = true;
        f.needsLineEnd = false;
    }
    f.pending.append(line);
    f.pending.append("\r\n");
    ++f.pendingLines;
    if (f.mode == Mode::Keyed) {
        std::string key = keyOf(line, f.keyChars);
        if (f.orderedMade) f.ordered.insert(key);
        f.keys.insert(std::move(key));
    }
    if (f.pending.size() >= kFlushSize) writePending(path, f);
}

void OutputStore::startAnew(const std::string& path) {
    File& f = open(path, Mode::Plain, 0);
    if (f.missing)
        f.anew = true;
    else
        guard(path, "ファイルを作れません", [&] {
            platform::File(path, platform::Write | platform::Create | platform::Truncate);
        });
    f.writable = true;
    f.pending.clear();
    f.pendingLines = 0;
    f.pendingBreak = false;
    f.needsLineEnd = false;
}

bool OutputStore::addSorted(const std::string& path, std::string_view line, std::size_t keyChars) {
    File& f = open(path, Mode::Sorted, keyChars);
    std::string key = keyOf(line, keyChars);
    if (f.keys.count(key) != 0) return false;
    if (f.lines.size() >= kMaxSortedLines)
        throw Failure(path, "1つのファイルに入るのは" + std::to_string(kMaxSortedLines) +
                                    "行までです。この行を加えると超えてしまいます");
    checkWritable(path, f);
    // The file is replaced, not written in place: its folder must take the new one. Found out
    // here, the failure stops the import at this record instead of at the end.
    if (!f.dirty)
        guard(path, "ファイルを書き直せません",
              [&] { platform::checkFolderWritable(folderOf(path)); });
    if (f.sortedOnce) {
        insertSorted(f.lines, std::string(line));
    } else {
        // The first addition sorts the whole file, whatever order it was left in.
        f.lines.insert(f.lines.begin(), std::string());
        f.lines.emplace_back(line);
        upBubbleSortStr(f.lines, f.lines.size() - 1);
        f.lines.erase(f.lines.begin());
        f.sortedOnce = true;
    }
    f.keys.insert(std::move(key));
    f.dirty = true;
    ++f.added;
    return true;
}

// A missing file made whole with `data`: a kill leaves it whole or not there, with no journal
// and no empty file to replace. False when the name is taken (an import beside this one made it
// meanwhile, or it is a link to a missing file): it is then written to like any file that was
// there.
bool OutputStore::createMissing(const std::string& path, File& f, std::string_view data,
                                const char* what) {
    f.missing = false;
    if (guard(path, what, [&] { return platform::createAtomically(path, data); })) return true;
    // Made meanwhile, or a link to a file still to be made: made through the link, as the record
    // that first named it would have.
    const unsigned truncate = std::exchange(f.anew, false) ? platform::Truncate : 0u;
    guard(path, "ファイルを作れません", [&] {
        platform::File(path, platform::Write | platform::Create | platform::NonBlocking | truncate);
    });
    return false;
}

void OutputStore::writePending(const std::string& path, File& f) {
    if (f.pending.empty()) {
        if (f.missing) createMissing(path, f, {}, "ファイルを作れません");
        return;
    }
    // Taken out first: after a failure these lines are reported, never written twice.
    std::string data = std::move(f.pending);
    const std::size_t lines = std::exchange(f.pendingLines, 0);
    const bool leadingBreak = std::exchange(f.pendingBreak, false);
    f.pending.clear();
    if (f.missing && createMissing(path, f, data, "ファイルに書き込めません")) {
        linesWritten_ += lines;
        return;
    }
    platform::File file = guard(path, "ファイルに書き込めません", [&] {
        return platform::File(path, platform::Write | platform::Append);
    });
    const platform::Status st =
        guard(path, "ファイルに書き込めません", [&] { return file.status(); });
    std::optional<std::uint64_t> before;
    if (st.kind == platform::Kind::Regular) before = st.size;
    const bool inImport = before && journal_ && journal_->begin(path, *before);
    platform::File journal = before && !inImport ? startJournal(path, *before) : platform::File();
    auto writeWhole = [&] {
        if (inImport) journal_->end(path);
        if (journal.isOpen()) platform::remove(journalBeside(path));
    };
    try {
        platform::appendWholeLines(file, data, before);
        file.close();
    } catch (const platform::PartialAppend& e) {
        // Failed part-way (a full disk, a size limit): the whole lines written stay, a torn
        // last line goes, and the lines that did not reach the disk are not counted.
        if (e.cut()) writeWhole();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < e.kept(); ++i) kept += data[i] == '\n';
        if (kept > 0 && leadingBreak) --kept;  // the break before them is no line of theirs
        linesWritten_ += std::min(kept, lines);
        fail(path, "ファイルに書き込めません", e);
    } catch (const platform::FileError& e) {
        fail(path, "ファイルに書き込めません", e);
    }
    writeWhole();
    linesWritten_ += lines;
}

void OutputStore::writeSorted(const std::string& path, File& f) {
    if (!f.dirty) return;
    // A new file beside the old one, renamed over it: a crash or a full disk leaves either the
    // old lines or the new ones, never a file cut short.
    std::string text;
    for (const std::string& line : f.lines) {
        text.append(line);
        text.append("\r\n");
    }
    if (!f.missing || !createMissing(path, f, text, "ファイルを書き直せません"))
        guard(path, "ファイルを書き直せません", [&] { platform::replaceAtomically(path, text); });
    f.dirty = false;
    linesWritten_ += std::exchange(f.added, 0);
}

void OutputStore::flush() {
    // Every file is tried even when one fails, so that nothing converted is held back.
    std::exception_ptr first;
    for (auto& [path, f] : files_) {
        try {
            if (f.mode == Mode::Sorted)
                writeSorted(path, f);
            else
                writePending(path, f);
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

void OutputStore::finish() {
    try {
        flush();
    } catch (...) {
        files_.clear();
        throw;
    }
    files_.clear();
}

}  // namespace velt
