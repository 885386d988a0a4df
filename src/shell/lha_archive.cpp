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
#include "shell/messages.h"

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
    std::vector<char> buffer = std::vector<char>(1 << 16);
    std::size_t bufferPos = 0, bufferEnd = 0;

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
            s->failed = true;
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

void putCause(char* buffer, std::int32_t size, const std::string& cause) {
    if (!buffer || size <= 0) return;
    std::size_t n = std::min(cause.size(), static_cast<std::size_t>(size) - 1);
    // Never leave half a UTF-8 character at the cut.
    while (n > 0 && n < cause.size() && (static_cast<unsigned char>(cause[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, cause.data(), n);
    buffer[n] = '\0';
}

// Splits Unlha's command line: words separated by spaces, a double-quoted word may hold spaces.
std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            std::size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) return {};
            word = std::string(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            std::size_t end = line.find(' ', i);
            if (end == std::string_view::npos) end = line.size();
            word = std::string(line.substr(i, end - i));
            i = end;
        }
        words.push_back(std::move(word));
    }
    return words;
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

namespace {

std::string megabytes(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

}  // namespace

LhaReader::LhaReader(const std::string& archive, LhaLimits limits)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.archive = archive;
    s.limits = limits;
    try {
        s.source.file = platform::openRegularFile(archive);
        s.source.size = s.source.file.status().size;
    } catch (const platform::FileError& e) {
        if (e.error() == ENOENT || e.error() == ENOTDIR)
            throw ArchiveMissing(archive, "ファイルがありません");
        if (e.error() == EISDIR || e.error() == ENODEV)
            throw Failure(archive, "書庫として読めるファイルではありません (" +
                                           platform::describeErrno(e.error()) + ")");
        throw Failure(archive, "書庫を開けません: " + platform::describeErrno(e.error()));
    }
    s.stream.reset(lha_input_stream_new(&kSourceType, &s.source));
    if (s.stream) s.reader.reset(lha_reader_new(s.stream.get()));
    if (!s.reader) throw Failure(archive, "書庫を読む準備ができません (メモリ不足)");
    lha_reader_set_dir_policy(s.reader.get(), LHA_READER_DIR_PLAIN);
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
        if (s.members == 0)
            throw Failure(s.archive, "LHA 書庫ではないか、先頭のヘッダが壊れています");
        if (!atEnd)
            throw Failure(s.archive, "書庫が壊れています: " + std::to_string(s.members + 1) +
                                             " 番目のメンバーのヘッダが壊れているか、"
                                             "ファイルが途中で切れています");
        return false;
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
        throw Failure(s.archive, "メンバー " + cp932::toUtf8(name) + " の圧縮方式 " +
                                         h.compress_method + " には対応していません");
    // Far beyond any JRDB file: refused from the header, before anything is decoded or written, so
    // that a small hostile archive cannot fill the disk or the memory. Decoding stops as soon as it
    // goes beyond the header's length, so neither limit is passed by more than one buffer.
    if (h.length > s.limits.member)
        throw Failure(s.archive, "メンバー " + cp932::toUtf8(name) + " の大きさ (" +
                                         std::to_string(h.length) + " バイト) が大きすぎます。" +
                                         megabytes(s.limits.member) + " までしか解凍しません");
    if (s.decoded + h.length > s.limits.archive)
        throw Failure(s.archive, "書庫の中身が大きすぎます。" + megabytes(s.limits.archive) +
                                         " までしか解凍しません");
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
    if (total != h.length)
        throw Failure(s.archive, "書庫が壊れています: メンバー " + cp932::toUtf8(name) +
                                         " の長さが見出しと合いません (" + std::to_string(total) +
                                         " / " + std::to_string(h.length) + " バイト)");
    if (crc != h.crc)
        throw Failure(s.archive, "書庫が壊れています: メンバー " + cp932::toUtf8(name) +
                                         " の CRC が合いません");
}

std::map<std::string, std::string> readLhaMembers(
    const std::string& archive,
    const std::function<std::set<std::string>(const std::vector<std::string>&)>& choose,
    LhaLimits limits) {
    // Headers first (the data skipped), to choose; then only the chosen members are decoded.
    std::vector<std::string> names;
    {
        LhaReader reader(archive, limits);
        LhaMember member;
        while (reader.next(member))
            if (!member.directory) names.push_back(memberFileName(member));
    }
    const std::set<std::string> chosen = choose(names);
    std::map<std::string, std::string> found;
    if (chosen.empty()) return found;
    LhaReader reader(archive, limits);
    LhaMember member;
    while (reader.next(member)) {
        const std::string name = member.directory ? std::string() : memberFileName(member);
        if (name.empty() || !chosen.count(name)) continue;
        if (found.count(name))
            throw Failure(archive, "同じ名前のメンバーが二つあります: " + name);
        std::string& bytes = found[name];
        bytes.reserve(static_cast<std::size_t>(member.length));
        reader.read([&bytes](const char* data, std::size_t n) { bytes.append(data, n); });
    }
    return found;
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
    std::string name = validUtf8(member.name) ? member.name : cp932::toUtf8(member.name);
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\:") != std::string::npos)
        return {};
    return name;
}

std::string quotePath(const std::string& path) {
    if (path.find_first_of(". ") == std::string::npos) return path;
    return '"' + path + '"';
}

std::string unlhaCommandLine(const std::string& command, const std::string& options,
                             const std::string& archive, const std::string& destination) {
    std::string folder = destination;
    while (!folder.empty() && folder.back() == ' ') folder.pop_back();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return command + " " + options + " " + quotePath(archive) + " " + quotePath(folder) + " ";
}

std::int32_t Unlha(std::int32_t hwnd, const char* commandLine, char* outputBuffer,
                   std::int32_t size) {
    (void)hwnd;
    auto words = splitCommandLine(commandLine ? commandLine : "");
    std::vector<std::string> operands;
    for (std::size_t i = 1; i < words.size(); ++i)
        if (words[i].empty() || words[i][0] != '-') operands.push_back(words[i]);
    if (words.empty() || words[0] != "e" || operands.size() != 2 || operands[1].empty()) {
        putCause(outputBuffer, size,
                 "コマンド行を理解できません: " + std::string(commandLine ? commandLine : ""));
        return 1;
    }
    const std::string& archive = operands[0];
    std::string destination = operands[1];
    if (destination.back() != '/') destination += '/';

    std::vector<std::string> written;
    try {
        LhaReader reader(archive);
        LhaMember member;
        std::set<std::string> names;
        while (reader.next(member)) {
            if (member.directory) continue;
            std::string name = memberFileName(member);
            if (name.empty())
                throw Failure(archive, "名前が安全でないメンバーがあります: " +
                                               cp932::toUtf8(member.path + member.name));
            if (!names.insert(name).second)
                throw Failure(archive, "同じ名前のメンバーが二つあります: " + name);
            std::string path = destination + name;
            platform::File out;
            try {
                out = platform::File(
                    path,
                    platform::Write | platform::Create | platform::Truncate | platform::NoFollow,
                    0644);
            } catch (const platform::FileError& e) {
                throw Failure(path, "ファイルを作れません: " + platform::describeErrno(e.error()));
            }
            written.push_back(path);
            try {
                reader.read([&](const char* data, std::size_t n) { out.write({data, n}); });
                out.close();
            } catch (const platform::FileError& e) {
                throw Failure(path, "書き込めません: " + platform::describeErrno(e.error()));
            }
        }
    } catch (const Failure& e) {
        for (const auto& path : written) platform::remove(path);
        putCause(outputBuffer, size, e.what());
        return 2;
    }
    putCause(outputBuffer, size, "");
    return 0;
}

Message archiveMissingMessage() {
    return {Message::Kind::Failure, "ファイルが見つかりません。No.4", "LzhMeltエラー"};
}

Message extractionFailedMessage() {
    return {Message::Kind::Failure, "解凍に失敗しました。No.5", "圧縮失敗",
            Message::Icon::Exclamation};
}

std::int32_t ExtractArchive(Messages& messages, std::int32_t hwnd, const std::string& archive,
                            const std::string& destination, const std::string& command,
                            const std::string& options, std::string* cause) {
    if (!platform::exists(archive)) {
        messages.message(archiveMissingMessage());
        if (cause) *cause = archive + ": ファイルが見つかりません";
        return 1;
    }
    std::string line = unlhaCommandLine(command, options, archive, destination);
    char output[1024] = {};
    if (Unlha(hwnd, line.c_str(), output, sizeof output) != 0) {
        messages.message(extractionFailedMessage());
        if (cause) *cause = output;
        return 1;
    }
    return 0;
}

}  // namespace velt
