#include "shell/zip_archive.h"

#include <zip.h>

#include <cerrno>
#include <set>

#include "codes/cp932.h"
#include "platform/failure.h"
#include "platform/file.h"
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

std::string zipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
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
    // A pipe or device in the archive's place is refused before libzip opens it (and would wait).
    try {
        platform::openRegularFile(path);
    } catch (const platform::FileError& e) {
        if (e.error() == ENOENT) throw Failure(path, "ファイルがありません");
        throw Failure(path, "ZIP 書庫として読めません: " + platform::describeErrno(e.error()));
    }
    int code = 0;
#ifdef _WIN32
    // zip_open takes a name in the ANSI code page, which cannot hold every name: the wide one.
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_win32w_create(platform::wide(path).c_str(), 0, -1, &error);
    zip_t* z = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    if (!z) {
        code = zip_error_code_zip(&error);
        if (source) zip_source_free(source);
    }
    zip_error_fini(&error);
#else
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
#endif
    if (!z) {
        if (code == ZIP_ER_NOENT) throw Failure(path, "ファイルがありません");
        throw Failure(path, "ZIP 書庫として読めません: " + zipErrorText(code));
    }
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
    auto broken = [&](const std::string& why) {
        return Failure(s.path, "書庫が壊れています: メンバー " + member + " " + why);
    };
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(s.archive.get(), index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        throw broken("の見出しが読めません");
    // Far beyond any JRDB file: refused before anything is decoded.
    if (st.size > kMaxMemberBytes)
        throw Failure(s.path, "メンバー " + member + " の大きさ (" + std::to_string(st.size) +
                                      " バイト) が大きすぎます。256 MB までしか読みません");
    const bool first = !s.counted.count(index);
    if (first && s.decoded + st.size > kMaxArchiveBytes)
        throw Failure(s.path, "書庫の中身が大きすぎます。8 GB までしか読みません");
    std::unique_ptr<zip_file_t, FileClose> file(zip_fopen_index(s.archive.get(), index, 0));
    if (!file) throw broken("を開けません: " + std::string(zip_strerror(s.archive.get())));
    std::string bytes(static_cast<std::size_t>(st.size) + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        zip_int64_t n = zip_fread(file.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            const zip_error_t* e = zip_file_get_error(file.get());
            if (zip_error_code_zip(e) == ZIP_ER_CRC) throw broken("の CRC が合いません");
            throw broken("を読めません: " + std::string(zip_file_strerror(file.get())));
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
        if (got == bytes.size()) break;  // more than the header says
    }
    if (got != st.size)
        throw broken("の長さが見出しと合いません (" + std::to_string(got) + " / " +
                     std::to_string(st.size) + " バイト)");
    bytes.resize(got);
    if (first) {
        s.counted.insert(index);
        s.decoded += got;
    }
    return bytes;
}

}  // namespace velt
