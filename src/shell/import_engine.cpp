#include "shell/import_engine.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "codes/cp932.h"
#include "convert/converters.h"
#include "convert/import_error.h"
#include "convert/output_store.h"
#include "convert/record.h"
#include "platform/file.h"
#include "platform/system.h"
#include "shell/lha_archive.h"
#include "shell/recognition.h"
#include "shell/text_check.h"
#include "shell/zip_archive.h"

namespace velt {
namespace {

using Converter = Outcome (*)(std::string_view, ImportContext&);

constexpr std::size_t kProgressLines = 2000;

// A failure while converting a text file: the file being read and the 1-based line.
class LineError : public ImportError {
public:
    LineError(const ImportError& e, std::string text, std::size_t line)
        : ImportError(e), text_(std::move(text)), line_(line) {}
    const std::string& text() const { return text_; }
    std::size_t line() const { return line_; }

private:
    std::string text_;
    std::size_t line_;
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
            throw ImportError(base, "作業フォルダを作れません: " + describeErrno(errno));
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
    StoreInUse(ImportContext& ctx, OutputSink& store) : ctx_(ctx) { ctx_.store = &store; }
    ~StoreInUse() { ctx_.store = nullptr; }
    StoreInUse(const StoreInUse&) = delete;
    StoreInUse& operator=(const StoreInUse&) = delete;

private:
    ImportContext& ctx_;
};

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string readText(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        throw ImportError(path, err == ENOENT ? "ファイルがありません"
                                              : "ファイルを開けません: " + describeErrno(err));
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw ImportError(path, "フォルダです");
    }
    std::string text;
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            throw ImportError(path, "ファイルを読めません: " + describeErrno(err));
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

// The names of the files directly inside a folder, sorted.
std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        std::error_code ignored;
        if (e.is_regular_file(ignored)) names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
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

// The KCOM_DATA year folder a comment record is written into (the first four characters of its
// race date), as the converter names it; empty for a record it refuses.
std::string commentYear(std::string_view line) {
    if (line.size() < 26 || !placeableKey(line.substr(0, 8))) return {};
    const Record r(line);
    const std::string date = r.field(19, 8);
    const std::string named = cp932::toUtf8(date) + cp932::toUtf8(r.field(1, 2));
    if (named.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) return {};
    return cp932::toUtf8(date.substr(0, cp932::prefixBytes(date, 4)));
}

std::string joined(const std::vector<std::string>& items) {
    std::string list;
    for (const auto& i : items) list += (list.empty() ? "" : "、") + i;
    return list;
}

}  // namespace

std::string dataFolderWarning(const std::string& folder) {
    std::string base = folder;
    if (!base.empty() && base.back() != '/') base += '/';
    // A missing folder is reported by the import that needs it.
    if (!platform::isDirectory(base)) return {};
    for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA"})
        if (platform::isDirectory(base + sub)) return {};
    return folder +
           " には MDATA、HDATA、KCOM_DATA のどれもありません。Target のデータフォルダでは"
           "ないようです (設定はそのまま保存します)。";
}

struct ImportEngine::Impl {
    Messages& messages;
    ImportContext ctx;
    std::string dataFolder;
    std::function<std::unique_ptr<ImportSink>()> makeStore;

    explicit Impl(Messages& m) : messages(m) {}

    void report(const std::string& failure) {
        messages.message({Message::Kind::Failure, failure, {}, Message::Icon::Warning});
    }

    // Refuses an import before anything is read when no usable data folder is set.
    bool dataFolderUsable(std::string& report) const {
        if (dataFolder.empty()) {
            report =
                "Target のデータフォルダが設定されていません。"
                "「設定」ボタン (コマンド行では velt-cli --set-data-folder DIR) で"
                "データフォルダを選んでから取り込んでください。";
            return false;
        }
        if (!platform::isDirectory(dataFolder)) {
            report = "データフォルダ " + dataFolder +
                     " がありません。「設定」ボタン (コマンド行では velt-cli --set-data-folder "
                     "DIR) で Target のデータフォルダを選び直してください。";
            return false;
        }
        return true;
    }

    // Refuses bytes that are no text of the group's records, before anything is written.
    static void checkText(const std::string& label, std::string_view text, Kind group) {
        if (looksLikeArchive(text))
            throw ImportError(label,
                              "LHA 書庫です。名前が \".lzh\" で終わる書庫だけが解凍されます");
        std::string why = notTextReason(text, group == Kind::Lap);
        if (!why.empty())
            throw ImportError(label, std::string(groupName(group)) +
                                         " のテキストファイルではありません (" + why +
                                         ")。何も書き込んでいません");
    }

    void convertText(ImportSummary& sum, std::string_view text, const std::string& label,
                     Kind group, std::size_t& converted, const std::string& progressLabel) {
        Converter convert = converterOf(group);
        if (group == Kind::OZ) ctx.oddsStartFlag = 1;
        auto lines = splitLines(text);
        std::unique_ptr<ImportSink> owned =
            makeStore ? makeStore() : std::make_unique<OutputStore>();
        ImportSink& store = *owned;
        StoreInUse use(ctx, store);
        ctx.dataFolder = dataFolder;
        const auto total = static_cast<std::uint64_t>(text.size());
        messages.progress(progressLabel, 0, total);
        std::size_t i = 0;
        try {
            for (; i < lines.size(); ++i) {
                ctx.currentLine.assign(lines[i]);
                Outcome outcome = convert(lines[i], ctx);
                ++sum.linesRead;
                ++converted;
                if (outcome == Outcome::Written) ++sum.written;
                if (outcome == Outcome::Present) ++sum.present;
                if (outcome == Outcome::Malformed) ++sum.malformed;
                if ((i + 1) % kProgressLines == 0)
                    messages.progress(progressLabel,
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
            throw LineError(e, label, i < lines.size() ? i + 1 : 0);
        } catch (const std::exception& e) {
            try {
                store.finish();
            } catch (...) {
            }
            sum.linesWritten += store.linesWritten();
            throw LineError(ImportError(label, e.what()), label, i < lines.size() ? i + 1 : 0);
        }
        sum.linesWritten += store.linesWritten();
        messages.progress(progressLabel, total, total);
    }

    // Extracts an archive into `work` and lists the members found there.
    std::vector<std::string> extract(const std::string& archive, const WorkFolder& work) {
        std::string cause;
        if (ExtractArchive(messages, 0, archive, work.path(), "e", "-x1m0", &cause) != 0)
            throw ImportError("", cause.empty() ? archive + ": 解凍に失敗しました" : cause);
        return filesIn(work.path());
    }

    // Reads the members `wanted` names straight into memory; the others are skipped undecoded.
    // Fails as the extraction does, with its messages.
    std::map<std::string, std::string> readMembers(
        const std::string& archive, const std::function<bool(const std::string&)>& wanted) {
        struct stat st {};
        if (::stat(archive.c_str(), &st) != 0) {
            messages.message(
                {Message::Kind::Failure, "ファイルが見つかりません。No.4", "LzhMeltエラー"});
            throw ImportError(archive, "ファイルが見つかりません");
        }
        std::map<std::string, std::string> found;
        try {
            LhaReader zip(archive);
            LhaMember member;
            while (zip.next(member)) {
                const std::string name = memberFileName(member);
                if (member.directory || name.empty() || !wanted(name)) continue;
                if (found.count(name))
                    throw ImportError(archive, "同じ名前のメンバーが二つあります: " + name);
                std::string& bytes = found[name];
                zip.read([&bytes](const char* data, std::size_t n) { bytes.append(data, n); });
            }
        } catch (const ImportError&) {
            messages.message({Message::Kind::Failure, "解凍に失敗しました。No.5", "圧縮失敗",
                              Message::Icon::Exclamation});
            throw;
        }
        return found;
    }

    // The member to read for one group: the first of `kinds` named kind + date + ".txt", else
    // (when `anyDate`) the first daily text file of such a kind.
    static std::string pickMember(const std::vector<std::string>& names,
                                  const std::vector<std::string>& kinds, const std::string& date,
                                  bool anyDate) {
        for (const auto& k : kinds)
            if (std::find(names.begin(), names.end(), k + date + ".txt") != names.end())
                return k + date + ".txt";
        if (anyDate)
            for (const auto& k : kinds)
                for (const auto& n : names)
                    if (recogniseDailyText(n).kindName == k) return n;
        return {};
    }

    void importOne(const Recognition& r, const std::string& path, ImportSummary& sum,
                   std::size_t& converted) {
        if (r.kind == Kind::Pack) return importPack(r, path, sum, converted);
        if (r.kind == Kind::Zip) return importZip(r, path, sum, converted);
        const Kind group = r.kind;
        if (group == Kind::OZ) ctx.oddsStartFlag = 1;
        std::string label = path, text;
        if (!r.archive()) {
            text = readText(path);
        } else {
            WorkFolder work;
            auto names = extract(path, work);
            std::string member = group == Kind::Lap ? "JracSei1.dat" : r.stem + ".txt";
            if (!r.memberKinds.empty()) {
                member = pickMember(names, r.memberKinds, r.date, true);
                if (!member.empty() && r.date.empty())
                    ctx.fileDate = recogniseDailyText(member).date;
            }
            if (member.empty() || std::find(names.begin(), names.end(), member) == names.end())
                throw ImportError(path, "書庫に " +
                                            (member.empty() ? kindList(r.memberKinds) : member) +
                                            " がありません");
            label = member;
            text = readText(work.path() + member);
        }
        if (group == Kind::OZ && ctx.fileDate.empty())
            throw ImportError(
                path, "名前に日付 (6 桁の数字) がないので、オッズのファイル名が決まりません");
        checkText(label, text, group);
        convertText(sum, text, label, group, converted, sum.input);
    }

    static std::string kindList(const std::vector<std::string>& kinds,
                                const std::string& date = {}) {
        std::string list;
        for (const auto& k : kinds)
            list += (list.empty() ? "" : ", ") + k + date + (date.empty() ? "" : ".txt");
        return list;
    }

    void importPack(const Recognition& r, const std::string& path, ImportSummary& sum,
                    std::size_t& converted) {
        static const Kind order[] = {Kind::KYD, Kind::SEBZEB, Kind::OZ, Kind::SKAZKA};
        const std::string date = ctx.fileDate;
        std::map<std::string, std::string> read;  // an archive's members that a pack may use
        std::string prefix;
        std::vector<std::string> names;
        if (r.archive()) {
            read = readMembers(path, [](const std::string& name) {
                const Recognition daily = recogniseDailyText(name);
                const auto& kinds = packKindsOfGroup(daily.kind);
                return std::find(kinds.begin(), kinds.end(), daily.kindName) != kinds.end();
            });
            for (const auto& [name, bytes] : read) names.push_back(name);
        } else {
            prefix = folderOf(path);
            names = filesIn(prefix.empty() ? "." : prefix);
        }
        // Every group is looked for before anything is converted.
        std::vector<std::string> members;
        std::string missing;
        for (Kind group : order) {
            members.push_back(pickMember(names, packKindsOfGroup(group), date, r.archive()));
            if (members.back().empty())
                missing += std::string(missing.empty() ? "" : "、") + groupName(group) + " (" +
                           kindList(packKindsOfGroup(group), date) + " のどれか)";
        }
        if (!missing.empty())
            throw ImportError(path, (r.archive() ? "書庫に " : "") + missing + " がありません");
        std::vector<std::string> texts;
        for (std::size_t k = 0; k < members.size(); ++k) {
            texts.push_back(r.archive() ? std::move(read[members[k]])
                                        : readText(prefix + members[k]));
            checkText(members[k], texts.back(), order[k]);
        }
        for (std::size_t k = 0; k < members.size(); ++k) {
            // A pack named without a date (given with --as): the odds take their member's date.
            if (order[k] == Kind::OZ && ctx.fileDate.empty())
                ctx.fileDate = recogniseDailyText(members[k]).date;
            convertText(sum, texts[k], members[k], order[k], converted, sum.input);
        }
    }

    // Every daily text file of the archive, by date and then in the order of a pack. All are read
    // and checked before the first is converted, so a damaged member writes nothing.
    void importZip(const Recognition& r, const std::string& path, ImportSummary& sum,
                   std::size_t& converted) {
        struct Member {
            std::size_t index;
            std::string name;
            Recognition daily;
        };
        std::vector<Member> members;
        try {
            ZipArchive zip(path);
            for (std::size_t i = 0; i < zip.size(); ++i) {
                if (zip.isFolder(i)) continue;
                std::string name = zip.name(i);
                name = name.substr(name.find_last_of('/') + 1);
                Recognition daily = recogniseDailyText(name);
                if (daily.kind == Kind::None) continue;
                if (!r.memberKinds.empty() && std::find(r.memberKinds.begin(), r.memberKinds.end(),
                                                        daily.kindName) == r.memberKinds.end())
                    continue;
                members.push_back({i, name, daily});
            }
            if (members.empty())
                throw ImportError(
                    path, "書庫に日ごとのテキストファイル (" +
                              (r.memberKinds.empty() ? r.kindName : kindList(r.memberKinds)) +
                              " + 日付 6 桁 + .txt) がありません");
            std::sort(members.begin(), members.end(), [](const Member& a, const Member& b) {
                return std::make_tuple(dateKey(a.daily), groupOrder(a.daily.kind), a.name) <
                       std::make_tuple(dateKey(b.daily), groupOrder(b.daily.kind), b.name);
            });
            for (const Member& m : members) checkText(m.name, zip.read(m.index), m.daily.kind);
            for (const Member& m : members) {
                const std::string text = zip.read(m.index);
                ctx.fileDate = m.daily.date;
                convertText(sum, text, m.name, m.daily.kind, converted, sum.input + " " + m.name);
            }
        } catch (const ImportError&) {
            throw;
        }
    }

    // The year folders the comment records of one input name. Read quietly: an input that cannot
    // be read is reported by its import.
    void commentYears(const Recognition& r, const std::string& path, std::set<std::string>& years) {
        if (r.kind != Kind::SKAZKA && r.kind != Kind::Pack && r.kind != Kind::Zip) return;
        // A pipe or a device is read once, by its import.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
        const auto& kinds = r.kind == Kind::Pack ? packKindsOfGroup(Kind::SKAZKA) : r.memberKinds;
        auto scan = [&](std::string_view text) {
            if (looksLikeArchive(text) || !notTextReason(text, false).empty()) return;
            for (std::string_view line : splitLines(text)) {
                std::string year = commentYear(line);
                if (!year.empty()) years.insert(std::move(year));
            }
        };
        auto wanted = [&](const std::string& name) {
            const Recognition daily = recogniseDailyText(name);
            if (r.kind == Kind::SKAZKA && r.archive() && name == r.stem + ".txt") return true;
            return daily.kind == Kind::SKAZKA &&
                   (kinds.empty() ||
                    std::find(kinds.begin(), kinds.end(), daily.kindName) != kinds.end());
        };
        try {
            if (r.kind == Kind::Zip) {
                ZipArchive zip(path);
                for (std::size_t i = 0; i < zip.size(); ++i) {
                    if (zip.isFolder(i)) continue;
                    const std::string name = zip.name(i);
                    if (wanted(name.substr(name.find_last_of('/') + 1))) scan(zip.read(i));
                }
            } else if (r.archive()) {
                LhaReader zip(path);
                LhaMember member;
                while (zip.next(member)) {
                    if (member.directory || !wanted(memberFileName(member))) continue;
                    std::string bytes;
                    zip.read([&bytes](const char* data, std::size_t n) { bytes.append(data, n); });
                    scan(bytes);
                }
            } else if (r.kind == Kind::SKAZKA) {
                scan(readText(path));
            } else {
                const std::string prefix = folderOf(path);
                const std::string member =
                    pickMember(filesIn(prefix.empty() ? "." : prefix), kinds, r.date, false);
                if (!member.empty()) scan(readText(prefix + member));
            }
        } catch (...) {
            // Its import reports it.
        }
    }

    // Before anything is written: the year folders that the comment records of `inputs` need
    // and that are missing, created when the user agrees. False, with the report, when the
    // import must not go on.
    bool yearFoldersReady(const std::vector<std::pair<std::string, Recognition>>& inputs,
                          std::string& report) {
        std::set<std::string> years;
        for (const auto& [path, r] : inputs) commentYears(r, path, years);
        if (years.empty()) return true;
        const std::string kcom = dataFolder + "KCOM_DATA/";
        if (!platform::isDirectory(kcom)) {
            report = "データフォルダに KCOM_DATA がありません (" + kcom +
                     ")。Target のデータフォルダを選び直してください。Velt は KCOM_DATA を"
                     "作りません。何も書き込んでいません。";
            return false;
        }
        std::vector<std::string> missing;
        for (const auto& year : years)
            if (!platform::isDirectory(kcom + year)) missing.push_back(year);
        if (missing.empty()) return true;
        const std::string list = joined(missing);
        if (!messages.confirm("KCOM_DATA (" + kcom + ") に次の年のフォルダがありません: " + list +
                              "\n作成しますか?")) {
            report = "KCOM_DATA (" + kcom + ") に年のフォルダ " + list +
                     " がないので取り込みませんでした。何も書き込んでいません。"
                     "(コマンド行では velt-cli --create-year-folders で作成できます)";
            return false;
        }
        for (const auto& year : missing) {
            try {
                platform::createFolder(kcom + year, 0777);
            } catch (const platform::FileError& e) {
                report = kcom + year + ": 年のフォルダを作れません: " + describeErrno(e.error()) +
                         "。何も書き込んでいません。";
                return false;
            }
        }
        return true;
    }

    // Runs one recognised import and reports its failure.
    void run(const Recognition& r, const std::string& path, ImportSummary& sum) {
        std::size_t converted = 0;
        try {
            importOne(r, path, sum, converted);
            sum.succeeded = true;
        } catch (const LineError& e) {
            const std::string at =
                e.line() ? e.text() + " の " + std::to_string(e.line()) + " 行目で: " : "";
            fail(sum, converted, at, e);
        } catch (const ImportError& e) {
            fail(sum, converted, {}, e);
        } catch (const platform::FileError& e) {
            fail(sum, converted, {}, ImportError(e.path(), describeErrno(e.error())));
        }
    }

    void fail(ImportSummary& sum, std::size_t converted, const std::string& where,
              const ImportError& e) {
        std::string text = sum.input + " の取り込みに失敗しました。\n" + where;
        text += e.file().empty() ? e.cause() : e.file() + ": " + e.cause();
        text += "\nそれまでに " + std::to_string(converted) + " 行を変換し、" +
                std::to_string(sum.linesWritten) + " 行を書き込みました";
        text += sum.linesWritten ? " (書き込んだ行はそのまま残っています)。" : "。";
        sum.error = text;
        report(text);
    }
};

ImportEngine::ImportEngine(Messages& messages) : impl_(std::make_unique<Impl>(messages)) {}

ImportEngine::~ImportEngine() = default;

ImportContext& ImportEngine::context() {
    return impl_->ctx;
}

void ImportEngine::setStoreFactory(std::function<std::unique_ptr<ImportSink>()> makeStore) {
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
        d.messages.message({Message::Kind::Rejection, rejectionMessage(button), {}});
        return sum;
    }
    sum.recognised = true;
    if (!d.dataFolderUsable(sum.error) || !d.yearFoldersReady({{path, r}}, sum.error)) {
        d.report(sum.error);
        return sum;
    }
    d.run(r, path, sum);
    if (sum.succeeded) d.messages.message({Message::Kind::Outcome, completionMessage(button), {}});
    return sum;
}

namespace {

// The group a kind given by name converts as: a button's name or a kind of a group.
Kind groupOfGivenKind(const std::string& kind) {
    static const std::pair<const char*, Kind> buttons[] = {{"KYD", Kind::KYD},
                                                           {"SEBZEB", Kind::SEBZEB},
                                                           {"OZ", Kind::OZ},
                                                           {"SKAZKA", Kind::SKAZKA},
                                                           {"J", Kind::Pack}};
    for (const auto& [name, group] : buttons)
        if (kind == name) return group;
    return groupOfKind(kind);
}

// The last run of exactly six digits in a file name: the date JRDB puts there.
std::string dateInName(const std::string& path) {
    const std::string base = path.substr(path.find_last_of('/') + 1);
    std::string found;
    for (std::size_t i = 0; i < base.size();) {
        std::size_t j = i;
        while (j < base.size() && base[j] >= '0' && base[j] <= '9') ++j;
        if (j - i == 6) found = base.substr(i, 6);
        i = j == i ? i + 1 : j;
    }
    return found;
}

}  // namespace

bool ImportEngine::acceptsKind(const std::string& kind) {
    return groupOfGivenKind(kind) != Kind::None;
}

ImportSummary ImportEngine::importWithKind(const std::string& kind, const std::string& path) {
    Impl& d = *impl_;
    ImportSummary sum;
    sum.input = path;
    const Kind group = groupOfGivenKind(kind);
    if (group == Kind::None) {
        sum.error = kind + ": 知らない種類です";
        d.report(sum.error);
        return sum;
    }
    Recognition r;
    r.kind = group;
    r.kindName = kind;
    r.extension = lastChars(path, 4);
    r.date = dateInName(path);
    if (group != Kind::Pack) {
        // A button's name takes any kind of its group, newest layout first; a kind only itself.
        const bool button = kind == "KYD" || kind == "SEBZEB" || kind == "SKAZKA";
        r.memberKinds = button ? packKindsOfGroup(group) : std::vector<std::string>{kind};
        if (button)
            for (const auto& k : kindsOfGroup(group))
                if (std::find(r.memberKinds.begin(), r.memberKinds.end(), k) == r.memberKinds.end())
                    r.memberKinds.push_back(k);
        if (r.extension == ".zip") r.kind = Kind::Zip;
    }
    d.ctx.fileDate = r.date;
    sum.recognised = true;
    if (!d.dataFolderUsable(sum.error) || !d.yearFoldersReady({{path, r}}, sum.error)) {
        d.report(sum.error);
        return sum;
    }
    d.run(r, path, sum);
    if (sum.succeeded)
        d.messages.message({Message::Kind::Outcome, completionMessage(buttonOf(group)), {}});
    return sum;
}

std::vector<ImportSummary> ImportEngine::importFiles(const std::vector<std::string>& paths,
                                                     bool commandLine) {
    Impl& d = *impl_;
    std::vector<ImportSummary> sums;
    // What the drop comes to, in import order: a folder's recognised files by date and then in the
    // order of a pack. A dropped name that is not recognised keeps its place for its summary.
    std::vector<std::pair<std::string, Recognition>> inputs;
    std::vector<std::string> unsupported;  // dropped files and files inside folders alike
    for (const auto& path : paths) {
        std::error_code ec;
        if (!std::filesystem::is_directory(path, ec)) {
            inputs.emplace_back(path, recogniseDropped(path, commandLine));
            if (inputs.back().second.kind == Kind::None) unsupported.push_back(path);
            continue;
        }
        const std::string folder = path.back() == '/' ? path : path + "/";
        std::vector<std::pair<std::string, Recognition>> found;
        for (const auto& name : filesIn(folder)) {
            Recognition r = recogniseDropped(folder + name, commandLine);
            if (r.kind == Kind::None)
                unsupported.push_back(folder + name);
            else
                found.emplace_back(folder + name, std::move(r));
        }
        std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
            return std::make_pair(dateKey(a.second), groupOrder(a.second.kind)) <
                   std::make_pair(dateKey(b.second), groupOrder(b.second.kind));
        });
        for (auto& f : found) inputs.push_back(std::move(f));
    }
    std::string refused;
    if (!paths.empty() && (!d.dataFolderUsable(refused) || !d.yearFoldersReady(inputs, refused))) {
        d.report(refused);
        for (const auto& path : paths) {
            ImportSummary sum;
            sum.input = path;
            std::error_code ec;
            sum.recognised = recogniseDropped(path, commandLine).kind != Kind::None ||
                             std::filesystem::is_directory(path, ec);
            sum.error = refused;
            sums.push_back(std::move(sum));
        }
        return sums;
    }
    for (const auto& [path, r] : inputs) {
        ImportSummary sum;
        sum.input = path;
        d.ctx.fileDate = r.date;
        if (r.kind != Kind::None) {
            sum.recognised = true;
            d.run(r, path, sum);
        }
        sums.push_back(std::move(sum));
    }
    if (!unsupported.empty())
        d.messages.message({Message::Kind::Rejection, unsupportedMessage(unsupported), {}});
    d.messages.message({Message::Kind::Completion, kDropCompleteMessage, {}});
    return sums;
}

}  // namespace velt
