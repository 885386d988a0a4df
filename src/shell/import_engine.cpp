#include "shell/import_engine.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "convert/converters.h"
#include "convert/import_error.h"
#include "convert/output_store.h"
#include "convert/record.h"
#include "shell/lha_zip.h"
#include "shell/recognition.h"

namespace velt {
namespace {

using Converter = Outcome (*)(std::string_view, ImportContext&);

constexpr std::size_t kProgressLines = 2000;

// A failed import: the file concerned, the cause, and where in the input it happened.
struct Failure {
    Failure(std::string f, std::string c, std::string t = {}, std::size_t l = 0)
        : file(std::move(f)), cause(std::move(c)), text(std::move(t)), line(l) {}
    std::string file;
    std::string cause;
    std::string text;      // the text file being read, when it is not the input itself
    std::size_t line = 0;  // 1-based; 0 when not at a line
};

// Removes the work folders of imports that were killed (named "velt-<pid>-XXXXXX" by a
// process that no longer runs), once per temporary folder and process.
void removeStaleWorkFolders(const std::string& base) {
    static std::set<std::string> done;
    if (!done.insert(base).second) return;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("velt-", 0) != 0) continue;
        const auto dash = name.find('-', 5);
        if (dash == std::string::npos || dash == 5 || name.size() != dash + 7) continue;
        if (name.find_first_not_of("0123456789", 5) != dash) continue;
        const long pid = std::strtol(name.c_str() + 5, nullptr, 10);
        if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        std::error_code ignored;
        if (entry.is_directory(ignored)) std::filesystem::remove_all(entry.path(), ignored);
    }
}

// A fresh private folder for one archive's members, removed with everything in it.
class WorkFolder {
public:
    WorkFolder() {
        std::error_code ec;
        std::string base = std::filesystem::temp_directory_path(ec).string();
        if (ec || base.empty()) base = "/tmp";
        removeStaleWorkFolders(base);
        std::string pattern = base + (base.back() == '/' ? "" : "/") + "velt-" +
                              std::to_string(::getpid()) + "-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw Failure{base, "作業フォルダを作れません: " + describeErrno(errno)};
        path_ = pattern + "/";
    }
    ~WorkFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Points the context at one input file's output store for as long as it is read.
class StoreInUse {
public:
    StoreInUse(ImportContext& ctx, OutputStore& store) : ctx_(ctx) { ctx_.store = &store; }
    ~StoreInUse() { ctx_.store = nullptr; }
    StoreInUse(const StoreInUse&) = delete;
    StoreInUse& operator=(const StoreInUse&) = delete;

private:
    ImportContext& ctx_;
};

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string readText(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        throw Failure{path, err == ENOENT ? "ファイルがありません"
                                          : "ファイルを開けません: " + describeErrno(err)};
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw Failure{path, "フォルダです"};
    }
    std::string text;
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            throw Failure{path, "ファイルを読めません: " + describeErrno(err)};
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// An LHA header ("-lh?-" or "-lz?-" at offset 2) in a file that is about to be read as text.
bool looksLikeArchive(std::string_view text) {
    return text.size() >= 7 && text[2] == '-' && text[6] == '-' && text[3] == 'l' &&
           (text[4] == 'h' || text[4] == 'z');
}

Converter converterOf(Kind kind) {
    switch (kind) {
        case Kind::KYD:
            return &ky;
        case Kind::SEBZEB:
            return &Seiseki;
        case Kind::SKAZKA:
            return &kakuchouhenkan;
        case Kind::OZ:
            return &ozzhenkan;
        case Kind::Lap:
            return &Lap;
        default:
            return nullptr;
    }
}

const char* const kTitle = "Velt";

}  // namespace

struct ImportEngine::Impl {
    std::string programFolder;
    Messages& messages;
    ImportContext ctx;
    std::string dataFolder;
    std::function<std::unique_ptr<OutputStore>()> makeStore;

    Impl(std::string folder, Messages& m) : programFolder(std::move(folder)), messages(m) {}

    // Refuses an import before anything is read when no usable data folder is set.
    bool dataFolderUsable(std::string& report) const {
        if (dataFolder.empty()) {
            report =
                "Target のデータフォルダが設定されていません。"
                "「設定」ボタン (コマンド行では velt-cli --set-data-folder DIR) で"
                "データフォルダを選んでから取り込んでください。";
            return false;
        }
        struct stat st {};
        if (::stat(dataFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            report = "データフォルダ " + dataFolder +
                     " がありません。「設定」ボタン (コマンド行では velt-cli --set-data-folder "
                     "DIR) で Target のデータフォルダを選び直してください。";
            return false;
        }
        return true;
    }

    void convertText(ImportSummary& sum, const std::string& path, const std::string& label,
                     Converter convert, std::size_t& converted) {
        std::string text = readText(path);
        if (looksLikeArchive(text))
            throw Failure{path, "LHA 書庫です。名前が \".lzh\" で終わる書庫だけが解凍されます"};
        auto lines = splitLines(text);
        auto owned = makeStore ? makeStore() : std::make_unique<OutputStore>();
        OutputStore& store = *owned;
        StoreInUse use(ctx, store);
        ctx.dataFolder = dataFolder;
        const auto total = static_cast<std::uint64_t>(text.size());
        messages.progress(sum.input, 0, total);
        std::size_t i = 0;
        try {
            for (; i < lines.size(); ++i) {
                ctx.currentLine.assign(lines[i]);
                Outcome outcome = convert(lines[i], ctx);
                ++sum.linesRead;
                ++converted;
                if (outcome == Outcome::Present) ++sum.present;
                if (outcome == Outcome::Malformed) ++sum.malformed;
                if ((i + 1) % kProgressLines == 0)
                    messages.progress(sum.input,
                                      static_cast<std::uint64_t>(lines[i].data() - text.data()),
                                      total);
            }
            store.finish();
        } catch (const ImportError& e) {
            try {
                store.finish();
            } catch (...) {
                // The first failure is the one to report; this one has the same cause.
            }
            sum.linesWritten += store.linesWritten();
            throw Failure{e.file(), e.cause(), label, i < lines.size() ? i + 1 : 0};
        } catch (const std::exception& e) {
            try {
                store.finish();
            } catch (...) {
            }
            sum.linesWritten += store.linesWritten();
            throw Failure{label, e.what(), label, i < lines.size() ? i + 1 : 0};
        }
        sum.linesWritten += store.linesWritten();
        messages.progress(sum.input, total, total);
    }

    // Extracts an archive into `work` and checks that it holds the named members.
    void extract(const std::string& archive, const WorkFolder& work,
                 const std::vector<std::string>& members) {
        std::string cause;
        if (ExtractArchive(messages, 0, archive, work.path(), "e", "-x1m0", &cause) != 0)
            throw Failure{"", cause.empty() ? archive + ": 解凍に失敗しました" : cause};
        std::string missing;
        for (const auto& m : members)
            if (!isFile(work.path() + m)) missing += (missing.empty() ? "" : ", ") + m;
        if (!missing.empty()) throw Failure{archive, "書庫に " + missing + " がありません"};
    }

    void importOne(const Recognition& r, const std::string& path, ImportSummary& sum,
                   std::size_t& converted) {
        if (r.kind == Kind::Pack) return importPack(r, path, sum, converted);
        if (r.kind == Kind::OZ) ctx.oddsStartFlag = 1;
        Converter convert = converterOf(r.kind);
        if (!r.archive()) return convertText(sum, path, path, convert, converted);
        WorkFolder work;
        std::string member = r.kind == Kind::Lap ? "JracSei1.dat" : r.stem + ".txt";
        extract(path, work, {member});
        convertText(sum, work.path() + member, member, convert, converted);
    }

    void importPack(const Recognition& r, const std::string& path, ImportSummary& sum,
                    std::size_t& converted) {
        struct Part {
            const char* kind;
            Converter convert;
        };
        static const Part parts[] = {
            {"KYD", &ky}, {"ZEB", &Seiseki}, {"OZ", &ozzhenkan}, {"ZKA", &kakuchouhenkan}};
        std::vector<std::string> members;
        for (const Part& p : parts) members.push_back(p.kind + ctx.fileDate + ".txt");

        std::optional<WorkFolder> work;
        std::string prefix;
        if (r.archive()) {
            work.emplace();
            extract(path, *work, members);
            prefix = work->path();
        } else {
            prefix = folderOf(path);
            std::string missing;
            for (const auto& m : members)
                if (!isFile(prefix + m)) missing += (missing.empty() ? "" : ", ") + m;
            if (!missing.empty()) throw Failure{path, missing + " がありません"};
        }
        for (std::size_t k = 0; k < members.size(); ++k) {
            if (parts[k].convert == &ozzhenkan) ctx.oddsStartFlag = 1;
            convertText(sum, prefix + members[k], members[k], parts[k].convert, converted);
        }
    }

    // Runs one recognised import and reports its failure.
    void run(const Recognition& r, const std::string& path, ImportSummary& sum) {
        std::size_t converted = 0;
        try {
            importOne(r, path, sum, converted);
            sum.succeeded = true;
        } catch (const Failure& f) {
            std::string report = path + " の取り込みに失敗しました。\n";
            if (f.line) report += f.text + " の " + std::to_string(f.line) + " 行目で: ";
            report += f.file.empty() ? f.cause : f.file + ": " + f.cause;
            report += "\nそれまでに " + std::to_string(converted) + " 行を変換し、" +
                      std::to_string(sum.linesWritten) + " 行を書き込みました";
            report += sum.linesWritten ? " (書き込んだ行はそのまま残っています)。" : "。";
            sum.error = report;
            messages.failure(report);
        }
    }
};

ImportEngine::ImportEngine(std::string programFolder, Messages& messages)
    : impl_(std::make_unique<Impl>(std::move(programFolder), messages)) {}

ImportEngine::~ImportEngine() = default;

ImportContext& ImportEngine::context() {
    return impl_->ctx;
}

void ImportEngine::setStoreFactory(std::function<std::unique_ptr<OutputStore>()> makeStore) {
    impl_->makeStore = std::move(makeStore);
}

void ImportEngine::setDataFolder(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    impl_->dataFolder = std::move(folder);
    impl_->ctx.dataFolder = impl_->dataFolder;
}

const std::string& ImportEngine::dataFolder() const {
    return impl_->dataFolder;
}

ImportSummary ImportEngine::importAs(Button button, const std::string& path) {
    Impl& d = *impl_;
    ImportSummary sum;
    sum.input = path;
    Recognition r = recogniseForButton(button, path);
    if (r.setsFileDate) d.ctx.fileDate = r.date;
    if (r.kind == Kind::None) {
        d.messages.message(rejectionMessage(button), kTitle, Messages::Icon::None);
        return sum;
    }
    sum.recognised = true;
    if (!d.dataFolderUsable(sum.error)) {
        d.messages.failure(sum.error);
        return sum;
    }
    d.run(r, path, sum);
    if (sum.succeeded) d.messages.message(completionMessage(button), kTitle, Messages::Icon::None);
    return sum;
}

std::vector<ImportSummary> ImportEngine::importFiles(const std::vector<std::string>& paths,
                                                     bool commandLine) {
    Impl& d = *impl_;
    std::vector<ImportSummary> sums;
    std::string refused;
    if (!paths.empty() && !d.dataFolderUsable(refused)) {
        d.messages.failure(refused);
        for (const auto& path : paths) {
            ImportSummary sum;
            sum.input = path;
            sum.recognised = recogniseDropped(path, commandLine).kind != Kind::None;
            sum.error = refused;
            sums.push_back(std::move(sum));
        }
        return sums;
    }
    for (const auto& path : paths) {
        ImportSummary sum;
        sum.input = path;
        Recognition r = recogniseDropped(path, commandLine);
        d.ctx.fileDate = r.date;
        if (r.kind == Kind::None) {
            d.messages.message(kUnsupportedMessage, kTitle, Messages::Icon::None);
        } else {
            sum.recognised = true;
            d.run(r, path, sum);
        }
        sums.push_back(std::move(sum));
    }
    d.messages.message(kDropCompleteMessage, kTitle, Messages::Icon::None);
    return sums;
}

}  // namespace velt
