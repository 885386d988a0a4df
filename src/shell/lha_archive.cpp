#include "shell/lha_archive.h"

#include <lhasa.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "codes/cp932.h"
#include "platform/failure.h"
#include "platform/file.h"
#include "platform/system.h"
#include "shell/messages.h"
#include "shell/zip_archive.h"

namespace velt {
namespace {

// The archive file as lhasa reads it. It remembers where reading stopped, so that the end of the
// archive can be told from a header that lhasa could not decode (both give NULL). lhasa asks for a
// few bytes at a time: they come from a buffer, not from a system call each.
struct Source {
    platform::File file;
    std::uint64_t size = 0;
    std::uint64_t pos = 0;
    std::size_t lastWanted = 0;
    std::size_t lastGot = 0;
    unsigned char lastFirst = 0;
    bool lastWasRead = false;
    bool failed = false;
    bool pastEnd = false;  // lhasa wanted bytes beyond the end of the file
    std::vector<char> buffer = std::vector<char>(1 << 16);
    std::size_t bufferPos = 0, bufferEnd = 0;

    void rewind() {
        file.seek(0);
        size = file.status().size;
        pos = lastWanted = lastGot = bufferPos = bufferEnd = 0;
        lastFirst = 0;
        lastWasRead = failed = pastEnd = false;
    }

    static int read(void* handle, void* buf, size_t len) {
        auto* s = static_cast<Source*>(handle);
        std::size_t got = 0;
        while (got < len) {
            if (s->bufferPos == s->bufferEnd) {
                std::size_t n = 0;
                try {
                    n = s->file.read(s->buffer.data(), s->buffer.size());
                } catch (const platform::FileError&) {
                    s->failed = true;
                    return -1;
                }
                if (n == 0) break;
                s->bufferPos = 0;
                s->bufferEnd = n;
            }
            std::size_t take = std::min(len - got, s->bufferEnd - s->bufferPos);
            std::memcpy(static_cast<char*>(buf) + got, s->buffer.data() + s->bufferPos, take);
            s->bufferPos += take;
            got += take;
        }
        s->pos += got;
        s->pastEnd = s->pastEnd || got < len;
        s->lastWanted = len;
        s->lastGot = got;
        s->lastFirst = got ? *static_cast<unsigned char*>(buf) : 0;
        s->lastWasRead = true;
        return static_cast<int>(got);
    }

    static int skip(void* handle, size_t bytes) {
        auto* s = static_cast<Source*>(handle);
        s->lastWasRead = false;
        if (s->pos + bytes > s->size) {
            s->failed = s->pastEnd = true;
            return 0;
        }
        const std::size_t buffered = s->bufferEnd - s->bufferPos;
        if (bytes <= buffered) {
            s->bufferPos += bytes;
        } else {
            s->bufferPos = s->bufferEnd = 0;
            try {
                s->file.skip(bytes - buffered);
            } catch (const platform::FileError&) {
                s->failed = true;
                return 0;
            }
        }
        s->pos += bytes;
        return 1;
    }
};

const LHAInputStreamType kSourceType = {&Source::read, &Source::skip, nullptr};

struct StreamFree {
    void operator()(LHAInputStream* s) const { lha_input_stream_free(s); }
};
struct ReaderFree {
    void operator()(LHAReader* r) const { lha_reader_free(r); }
};

bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// A name from a header as messages show it: UTF-8 as it is, anything else taken as CP932.
std::string shownName(const std::string& raw) {
    return validUtf8(raw) ? raw : cp932::toUtf8(raw);
}

// The base name a member is written under, or "" when it is unsafe.
std::string safeFileName(const std::string& raw) {
    std::string name = shownName(raw);
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\:") != std::string::npos)
        return {};
    return name;
}

// Far beyond any JRDB file: refused from the header, before anything is decoded, written or
// reserved, so that a small hostile archive cannot fill the disk or the memory. Decoding stops as
// soon as it goes beyond the header's length, so neither limit is passed by more than one buffer.
void checkDeclared(const std::string& archive, const std::string& member, std::uint64_t length,
                   std::uint64_t before, const LhaLimits& limits) {
    if (length > limits.member)
        throw Failure(archive, archiveWords::memberTooLarge(member, length, limits.member));
    if (before + length > limits.archive)
        throw Failure(archive, archiveWords::archiveTooLarge(limits.archive));
}

// Why not even a first member could be read: an LHA header starts with its size, its checksum
// or level, and a method such as "-lh5-".
std::string firstHeaderCause(Source& source) {
    char head[7] = {};
    std::size_t got = 0;
    try {
        got = source.file.readAt(head, sizeof head, 0);
    } catch (const platform::FileError& e) {
        return causeOf(e);
    }
    const bool lha = got == sizeof head && head[2] == '-' && head[3] == 'l' && head[6] == '-';
    if (!lha) return archiveWords::notArchive("LHA");
    return source.pastEnd ? archiveWords::cutShort()
                          : archiveWords::damaged("先頭のメンバーのヘッダが壊れています");
}

}  // namespace

struct LhaReader::State {
    std::string archive;
    Source source;
    std::unique_ptr<LHAInputStream, StreamFree> stream;
    std::unique_ptr<LHAReader, ReaderFree> reader;
    LHAFileHeader* current = nullptr;
    std::size_t members = 0;
    bool ended = false;
    LhaLimits limits;
    std::uint64_t decoded = 0;  // of the whole archive so far
};

LhaReader::LhaReader(const std::string& archive, LhaLimits limits)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.archive = archive;
    s.limits = limits;
    s.source.file = openArchive(archive);
    s.source.size = s.source.file.status().size;
    start();
}

void LhaReader::start() {
    State& s = *state_;
    s.stream.reset(lha_input_stream_new(&kSourceType, &s.source));
    if (s.stream) s.reader.reset(lha_reader_new(s.stream.get()));
    if (!s.reader) throw Failure(s.archive, "メモリが足りません");
    lha_reader_set_dir_policy(s.reader.get(), LHA_READER_DIR_PLAIN);
}

void LhaReader::restart() {
    State& s = *state_;
    s.reader.reset();
    s.stream.reset();
    s.current = nullptr;
    s.members = 0;
    s.ended = false;
    s.decoded = 0;
    try {
        s.source.rewind();
    } catch (const platform::FileError& e) {
        throw Failure(s.archive, causeOf(e));
    }
    start();
}

LhaReader::~LhaReader() = default;
LhaReader::LhaReader(LhaReader&&) noexcept = default;
LhaReader& LhaReader::operator=(LhaReader&&) noexcept = default;

bool LhaReader::next(LhaMember& member) {
    State& s = *state_;
    if (s.ended) return false;
    s.current = lha_reader_next_file(s.reader.get());
    if (!s.current) {
        s.ended = true;
        const Source& src = s.source;
        // The proper end: the last header read found nothing, or only the end mark (one 0 byte),
        // and the whole file was read.
        bool atEnd = !src.failed && src.lastWasRead && src.pos == src.size &&
                     src.lastGot < src.lastWanted &&
                     (src.lastGot == 0 || (src.lastGot == 1 && src.lastFirst == 0));
        if (s.members == 0) throw Failure(s.archive, firstHeaderCause(s.source));
        if (atEnd) return false;
        // An end mark with more after it is no archive cut short.
        const bool endMark = src.lastWasRead && src.lastGot > 0 && src.lastFirst == 0;
        throw Failure(s.archive,
                      endMark ? archiveWords::damaged("終わりの印のあとにまだデータがあります")
                      : src.pastEnd
                          ? archiveWords::cutShort()
                          : archiveWords::damaged(std::to_string(s.members + 1) +
                                                  " 番目のメンバーのヘッダが壊れています"));
    }
    ++s.members;
    const LHAFileHeader& h = *s.current;
    member.path = h.path ? h.path : "";
    member.name = h.filename ? h.filename : "";
    member.method = h.compress_method;
    member.length = h.length;
    member.crc = h.crc;
    member.headerLevel = h.header_level;
    member.directory =
        std::strcmp(h.compress_method, LHA_COMPRESS_TYPE_DIR) == 0 || h.symlink_target != nullptr;
    return true;
}

void LhaReader::readInto(void* sink, void (*put)(void*, const char*, std::size_t)) {
    State& s = *state_;
    if (!s.current) throw Failure(s.archive, "読むメンバーがありません");
    const LHAFileHeader& h = *s.current;
    std::string name = h.filename ? h.filename : "";
    if (!lha_decoder_for_name(s.current->compress_method))
        throw Failure(s.archive,
                      archiveWords::unsupportedMethod(shownName(name), h.compress_method));
    checkDeclared(s.archive, shownName(name), h.length, s.decoded, s.limits);
    std::array<char, 1 << 16> buf;
    std::uint64_t total = 0;
    std::uint16_t crc = 0;
    for (;;) {
        std::size_t n = lha_reader_read(s.reader.get(), buf.data(), buf.size());
        if (n == 0) break;
        total += n;
        if (total > h.length) break;
        crc = crc16(crc, buf.data(), n);
        put(sink, buf.data(), n);
    }
    s.decoded += total;
    if (total < h.length && s.source.pastEnd) throw Failure(s.archive, archiveWords::cutShort());
    if (total != h.length)
        throw Failure(s.archive, archiveWords::badLength(shownName(name), total, h.length));
    if (crc != h.crc) throw Failure(s.archive, archiveWords::badCrc(shownName(name)));
}

namespace {

std::vector<LhaEntry> entriesOf(LhaReader& reader) {
    std::vector<LhaEntry> entries;
    LhaMember member;
    while (reader.next(member))
        if (!member.directory) entries.push_back({memberFileName(member), member.length});
    return entries;
}

Failure archiveChanged(const std::string& archive) {
    return Failure(archive, "書庫が読み込みの途中で変わりました。もう一度取り込んでください");
}

// The chosen members of `entries`, the headers the reader has just read: all that the headers tell
// is checked first, then the members are decoded from the start of the same open file, whose
// headers must still be the same (a file rewritten in place).
std::map<std::string, std::string> decodeChosen(LhaReader& reader, const std::string& archive,
                                                const std::vector<LhaEntry>& entries,
                                                const std::set<std::string>& chosen,
                                                const LhaLimits& limits,
                                                const std::function<void()>& afterHeaders) {
    std::uint64_t total = 0;
    for (const std::string& name : chosen) {
        const auto named = [&name](const LhaEntry& e) { return e.name == name; };
        const auto it = std::find_if(entries.begin(), entries.end(), named);
        if (name.empty() || it == entries.end())
            throw Failure(archive, "書庫に " + name + " がありません");
        if (std::count_if(entries.begin(), entries.end(), named) > 1)
            throw Failure(archive, archiveWords::twoOfOneName(name));
        checkDeclared(archive, name, it->length, total, limits);
        total += it->length;
    }
    if (afterHeaders) afterHeaders();
    std::map<std::string, std::string> found;
    if (chosen.empty()) return found;
    reader.restart();
    LhaMember member;
    std::size_t index = 0;
    while (reader.next(member)) {
        if (member.directory) continue;
        const LhaEntry entry{memberFileName(member), member.length};
        if (index == entries.size() || entry != entries[index++]) throw archiveChanged(archive);
        if (!chosen.count(entry.name)) continue;
        std::string& bytes = found[entry.name];
        bytes.reserve(static_cast<std::size_t>(entry.length));
        reader.read([&bytes](const char* data, std::size_t n) { bytes.append(data, n); });
    }
    if (index != entries.size()) throw archiveChanged(archive);
    return found;
}

}  // namespace

std::vector<LhaEntry> listLhaMembers(const std::string& archive, LhaLimits limits) {
    LhaReader reader(archive, limits);
    return entriesOf(reader);
}

std::map<std::string, std::string> readLhaMembers(const std::string& archive,
                                                  const std::vector<LhaEntry>& planned,
                                                  const std::set<std::string>& chosen,
                                                  LhaLimits limits,
                                                  const std::function<void()>& afterHeaders) {
    LhaReader reader(archive, limits);
    if (entriesOf(reader) != planned) throw archiveChanged(archive);
    return decodeChosen(reader, archive, planned, chosen, limits, afterHeaders);
}

std::map<std::string, std::string> readLhaMembers(
    const std::string& archive,
    const std::function<std::set<std::string>(const std::vector<std::string>&)>& choose,
    LhaLimits limits) {
    LhaReader reader(archive, limits);
    const std::vector<LhaEntry> entries = entriesOf(reader);
    std::vector<std::string> names;
    for (const LhaEntry& e : entries) names.push_back(e.name);
    return decodeChosen(reader, archive, entries, choose(names), limits, {});
}

void checkLhaArchive(const std::string& archive, LhaLimits limits) {
    LhaReader reader(archive, limits);
    LhaMember member;
    while (reader.next(member))
        if (!member.directory) reader.read([](const char*, std::size_t) {});
}

// Four bytes a step (slicing by four): every decoded byte passes through here, beside lhasa's own
// decoding, so it is kept well below it.
std::uint16_t crc16(std::uint16_t crc, const void* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::array<std::uint16_t, 256>, 4> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
            t[0][i] = static_cast<std::uint16_t>(c);
        }
        for (unsigned i = 0; i < 256; ++i)
            for (int k = 1; k < 4; ++k)
                t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
        return t;
    }();
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        const unsigned a = (crc ^ p[i]) & 0xFF, b = ((crc >> 8) ^ p[i + 1]) & 0xFF;
        crc = static_cast<std::uint16_t>(table[3][a] ^ table[2][b] ^ table[1][p[i + 2]] ^
                                         table[0][p[i + 3]]);
    }
    for (; i < size; ++i) crc = (crc >> 8) ^ table[0][(crc ^ p[i]) & 0xFF];
    return crc;
}

std::string memberFileName(const LhaMember& member) {
    return safeFileName(member.name);
}

namespace {

// A member decoded for an extraction: the name it is written under ("" when unsafe) and the name
// as stored, for the report.
struct Unpacked {
    std::string name;
    std::string stored;
    std::string bytes;
};

std::vector<Unpacked> unpackLha(const std::string& archive, const LhaLimits& limits) {
    std::vector<Unpacked> members;
    LhaReader reader(archive, limits);
    LhaMember member;
    while (reader.next(member)) {
        if (member.directory) continue;
        Unpacked& m = members.emplace_back();
        m.name = memberFileName(member);
        m.stored = shownName(member.path + member.name);
        reader.read([&m](const char* data, std::size_t n) { m.bytes.append(data, n); });
    }
    return members;
}

std::vector<Unpacked> unpackZip(const std::string& archive, const LhaLimits& limits) {
    std::vector<Unpacked> members;
    ZipArchive zip(archive);
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < zip.size(); ++i) {
        if (zip.isFolder(i)) continue;
        Unpacked& m = members.emplace_back();
        m.stored = shownName(zip.name(i));
        m.name = safeFileName(zip.name(i).substr(zip.name(i).find_last_of('/') + 1));
        m.bytes = zip.read(i);
        total += m.bytes.size();
        if (total > limits.archive)
            throw Failure(archive, archiveWords::archiveTooLarge(limits.archive));
    }
    return members;
}

bool looksLikeZip(const std::string& archive) {
    char head[2] = {};
    return openArchive(archive).read(head, sizeof head) == 2 && head[0] == 'P' && head[1] == 'K';
}

}  // namespace

Extraction extractArchive(const std::string& archive, const std::string& folder, LhaLimits limits) {
    if (!platform::isDirectory(folder)) throw Failure(folder, "そのフォルダはありません");
    const std::vector<Unpacked> members =
        looksLikeZip(archive) ? unpackZip(archive, limits) : unpackLha(archive, limits);
    std::set<std::string> names;
    for (const Unpacked& m : members)
        if (!m.name.empty() && !names.insert(m.name).second)
            throw Failure(archive, archiveWords::twoOfOneName(m.name));

    std::string prefix = folder;
    if (!platform::isSeparator(prefix.back())) prefix += platform::kSeparator;
    Extraction done;
    for (const Unpacked& m : members) {
        if (m.name.empty()) {
            done.notWritten.emplace_back(
                archive, "メンバー " + m.stored + " は名前が安全でないので書き出しませんでした");
            continue;
        }
        const std::string path = prefix + m.name;
        try {
            if (platform::createAtomically(path, m.bytes))
                done.written.push_back(path);
            else
                done.notWritten.emplace_back(path,
                                             "既にあるので書き出しませんでした (上書きしません)");
        } catch (const platform::FileError&) {
            for (const std::string& written : done.written) platform::remove(written);
            throw;
        }
    }
    return done;
}

Message archiveMissingMessage() {
    return {Message::Kind::Failure, "ファイルが見つかりません。No.4", "LzhMeltエラー"};
}

Message extractionFailedMessage() {
    return {Message::Kind::Failure, "解凍に失敗しました。No.5", "圧縮失敗",
            Message::Icon::Exclamation};
}

}  // namespace velt
