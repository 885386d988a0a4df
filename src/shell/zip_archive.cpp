#include "shell/zip_archive.h"

#include <zip.h>

#include <set>
#include <string_view>

#include "codes/cp932.h"
#include "platform/failure.h"
#include "platform/file.h"
#include "shell/archive_words.h"
#ifdef _WIN32
#include "platform/windows_text.h"
#endif

namespace velt {
namespace {

struct ArchiveClose {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct FileClose {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// libzip's failure in the words an LHA archive failing the same way gives; its own English
// never shows. `member` is "" for the archive as a whole.
std::string causeOf(const zip_error_t* error, const std::string& member) {
    const std::string which = member.empty() ? "" : "メンバー " + member + " を";
    switch (zip_error_code_zip(error)) {
        case ZIP_ER_NOZIP:
            return archiveWords::notArchive("ZIP");
        case ZIP_ER_EOF:
            return archiveWords::cutShort();
        case ZIP_ER_CRC:
            return archiveWords::badCrc(member);
        case ZIP_ER_MEMORY:
            return "メモリが足りません";
        case ZIP_ER_COMPNOTSUPP:
            return archiveWords::unsupportedMethod(member, "");
        case ZIP_ER_ENCRNOTSUPP:
        case ZIP_ER_NOPASSWD:
        case ZIP_ER_WRONGPASSWD:
            return archiveWords::encrypted(member);
        case ZIP_ER_READ:
        case ZIP_ER_SEEK:
        case ZIP_ER_OPEN:
            if (zip_error_system_type(error) == ZIP_ET_SYS)
                return platform::describeFileError(zip_error_code_system(error), platform::Op::Read);
            return "書庫を読めません";
        default:
            return archiveWords::damaged(member.empty() ? "ZIP の目録が正しくありません"
                                                        : which + "読めません");
    }
}

}  // namespace

struct ZipArchive::State {
    std::string path;
    std::unique_ptr<zip_t, ArchiveClose> archive;
    // Bytes of the members handed out so far, against the archive's cap: a member read again
    // (checked, then converted) counts once.
    std::uint64_t decoded = 0;
    std::set<std::size_t> counted;
};

ZipArchive::ZipArchive(const std::string& path) : state_(std::make_unique<State>()) {
    state_->path = path;
    // Missing, empty, or a pipe or device in the archive's place (refused before libzip opens it,
    // and would wait): as for an LHA archive.
    char head[4] = {};
    const bool local = openArchive(path).read(head, sizeof head) == 4 &&
                       std::string_view(head, 4) == std::string_view("PK\x03\x04", 4);
    zip_error_t error;
    zip_error_init(&error);
#ifdef _WIN32
    // zip_open takes a name in the ANSI code page, which cannot hold every name: the wide one.
    zip_source_t* source = zip_source_win32w_create(platform::wide(path).c_str(), 0, -1, &error);
#else
    zip_source_t* source = zip_source_file_create(path.c_str(), 0, -1, &error);
#endif
    zip_t* z = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    std::string cause;
    if (!z) {
        if (source) zip_source_free(source);
        // The directory at the end is missing from a ZIP that starts as one: it was cut short.
        cause = local && zip_error_code_zip(&error) == ZIP_ER_NOZIP ? archiveWords::cutShort()
                                                                    : causeOf(&error, "");
    }
    zip_error_fini(&error);
    if (!z) throw Failure(path, cause);
    state_->archive.reset(z);
}

ZipArchive::~ZipArchive() = default;

std::size_t ZipArchive::size() const {
    zip_int64_t n = zip_get_num_entries(state_->archive.get(), 0);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

std::string ZipArchive::name(std::size_t index) const {
    const char* n = zip_get_name(state_->archive.get(), index, ZIP_FL_ENC_RAW);
    return n ? n : "";
}

bool ZipArchive::isFolder(std::size_t index) const {
    const std::string n = name(index);
    return !n.empty() && n.back() == '/';
}

std::string ZipArchive::read(std::size_t index) {
    State& s = *state_;
    const std::string member = cp932::toUtf8(name(index));
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(s.archive.get(), index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        throw Failure(s.path,
                      archiveWords::damaged("メンバー " + member + " の見出しが読めません"));
    // Far beyond any JRDB file: refused before anything is decoded.
    if (st.size > kMaxMemberBytes)
        throw Failure(s.path, archiveWords::memberTooLarge(member, st.size, kMaxMemberBytes));
    const bool first = !s.counted.count(index);
    if (first && s.decoded + st.size > kMaxArchiveBytes)
        throw Failure(s.path, archiveWords::archiveTooLarge(kMaxArchiveBytes));
    std::unique_ptr<zip_file_t, FileClose> file(zip_fopen_index(s.archive.get(), index, 0));
    if (!file) throw Failure(s.path, causeOf(zip_get_error(s.archive.get()), member));
    std::string bytes(static_cast<std::size_t>(st.size) + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        zip_int64_t n = zip_fread(file.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0) throw Failure(s.path, causeOf(zip_file_get_error(file.get()), member));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
        if (got == bytes.size()) break;  // more than the header says
    }
    if (got != st.size) throw Failure(s.path, archiveWords::badLength(member, got, st.size));
    bytes.resize(got);
    if (first) {
        s.counted.insert(index);
        s.decoded += got;
    }
    return bytes;
}

}  // namespace velt
