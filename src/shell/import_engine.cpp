#include "shell/import_engine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "codes/cp932.h"
#include "convert/append_journal.h"
#include "convert/converters.h"
#include "platform/failure.h"
#include "convert/output_store.h"
#include "convert/record.h"
#include "platform/file.h"
#include "platform/system.h"
#include "shell/lha_archive.h"
#include "shell/recognition.h"
#include "shell/shown.h"
#include "shell/text_check.h"
#include "shell/worker.h"
#include "shell/zip_archive.h"

namespace velt {
namespace {

using Converter = Outcome (*)(std::string_view, ImportContext&);

constexpr std::size_t kProgressLines = 2000;

// A failure while converting a text file: the file being read and the 1-based line.
class LineError : public Failure {
public:
    LineError(const Failure& e, std::string text, std::size_t line)
        : Failure(e), text_(std::move(text)), line_(line) {}
    const std::string& text() const { return text_; }
    std::size_t line() const { return line_; }

private:
    std::string text_;
    std::size_t line_;
};

// A whole archive or folder that lacks a member the import needs.
class MemberMissing : public Failure {
public:
    using Failure::Failure;
};

// Far beyond any real input (a day's largest file is under 1 MB, a year's under 100 MB), so that
// a hostile input fails at once instead of exhausting memory.
constexpr std::size_t kMaxTextBytes = 256u << 20;
// An archive holds a day: its members are refused from their headers when far beyond a day's
// files, before they are decoded into memory.
constexpr LhaLimits kArchiveLimits{64u << 20, 256u << 20};

const char* const kOutOfMemory = "メモリが足りません";

// The groups of a pack, in the order they are converted.
const Kind kPackOrder[] = {Kind::KYD, Kind::SEBZEB, Kind::OZ, Kind::SKAZKA};
constexpr std::size_t kCommentsInPack = 3;  // the comments' place in kPackOrder

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
    auto slash = path.find_last_of(platform::kSeparators);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A text input, refused before it is read when it is no regular file or larger than any real one.
std::string readText(const std::string& path) {
    platform::File file;
    try {
        file = platform::openRegularFile(path);
    } catch (const platform::FileError& e) {
        if (e.error() == ENOENT) throw Failure(path, "ファイルがありません");
        if (e.error() == EISDIR) throw Failure(path, "フォルダです");
        if (e.error() == ENODEV) throw Failure(path, platform::describeErrno(e.error()));
        throw Failure(path, "ファイルを開けません: " + platform::describeErrno(e.error()));
    }
    try {
        return file.readRest(kMaxTextBytes);
    } catch (const platform::FileError& e) {
        if (e.error() == EFBIG)
            throw Failure(path, "ファイルが大きすぎます。" +
                                        std::to_string(kMaxTextBytes >> 20) +
                                        " MB までしか読みません");
        throw Failure(path, "ファイルを読めません: " + platform::describeErrno(e.error()));
    } catch (const std::bad_alloc&) {
        throw Failure(path, std::string(kOutOfMemory) + " (" +
                                    std::to_string(file.status().size) +
                                    " バイトを読み込めません)");
    }
}

// An LHA header ("-lh?-" or "-lz?-" at offset 2) in a file that is about to be read as text.
bool looksLikeArchive(std::string_view text) {
    return text.size() >= 7 && text[2] == '-' && text[6] == '-' && text[3] == 'l' &&
           (text[4] == 'h' || text[4] == 'z');
}

// The names of the files directly inside a folder, sorted; none when it cannot be listed.
std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    try {
        for (auto& name : platform::listFolder(folder))
            if (platform::isRegularFile(folder + (platform::isSeparator(folder.back()) ? "" : "/") +
                                        name))
                names.push_back(std::move(name));
    } catch (const platform::FileError&) {
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

std::string joined(const std::vector<std::string>& items) {
    std::string list;
    for (const auto& i : items) list += (list.empty() ? "" : "、") + i;
    return list;
}

}  // namespace

std::string dataFolderWarning(const std::string& folder) {
    std::string base = folder;
    if (!base.empty() && !platform::isSeparator(base.back())) base += '/';
    // A missing folder is reported by the import that needs it.
    if (!platform::isDirectory(base)) return {};
    for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA"})
        if (platform::isDirectory(base + sub)) return {};
    return shown(folder) +
           " には MDATA、HDATA、KCOM_DATA のどれもありません。Target のデータフォルダでは"
           "ないようです (設定はそのまま保存します)。";
}

// Comment members that the scan for year folders decoded, kept for their import so that each is
// decoded once; past kKeptBytes the rest are decoded again when their turn comes. Filled and
// taken from on several threads.
class KeptMembers {
public:
    static constexpr std::size_t kKeptBytes = 24u << 20;

    void put(const std::string& archive, const std::string& member, std::string text) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (bytes_ + text.size() > kKeptBytes) return;
        // The same archive twice in one drop: kept once.
        const std::size_t size = text.size();
        if (texts_.emplace(key(archive, member), std::move(text)).second) bytes_ += size;
    }
    std::optional<std::string> take(const std::string& archive, const std::string& member) {
        std::lock_guard<std::mutex> hold(mutex_);
        auto it = texts_.find(key(archive, member));
        if (it == texts_.end()) return std::nullopt;
        std::string text = std::move(it->second);
        texts_.erase(it);
        bytes_ -= text.size();
        return text;
    }
    void clear() {
        std::lock_guard<std::mutex> hold(mutex_);
        texts_.clear();
        bytes_ = 0;
    }

private:
    static std::string key(const std::string& archive, const std::string& member) {
        return archive + '\0' + member;
    }
    std::mutex mutex_;
    std::map<std::string, std::string> texts_;
    std::size_t bytes_ = 0;
};

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
            report = "データフォルダ " + shown(dataFolder) +
                     " がありません。「設定」ボタン (コマンド行では velt-cli --set-data-folder "
                     "DIR) で Target のデータフォルダを選び直してください。";
            return false;
        }
        return true;
    }

    // Held from before the first check that may write (the year folders) until the last input of
    // the call is done, so that imports side by side into one data folder follow one another.
    bool lockDataFolder(std::optional<platform::FolderLock>& lock, std::string& report) {
        const std::string file = platform::FolderLock::fileOf(dataFolder);
        try {
            while (!(lock = platform::FolderLock::tryAcquire(file))) {
                messages.waiting(dataFolder);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        } catch (const platform::FileError& e) {
            report = shown(file) +
                     ": 取り込みのロックファイルを作れません: " + platform::describeErrno(e.error()) +
                     "。何も書き込んでいません。";
            return false;
        }
        return true;
    }

    // The data folder usable and held, and the year folders ready; false with the report when the
    // import must not go on. `fileDate`, when given, is the date an input imported alone sees;
    // the inputs of a list each see their own.
    bool ready(const std::vector<std::pair<std::string, Recognition>>& inputs, std::string& report,
               const std::string* fileDate = nullptr) {
        if (!dataFolderUsable(report) || !lockDataFolder(lock, report)) return false;
        try {
            journal.emplace(dataFolder);
        } catch (const Failure& e) {
            report = shown(e.file()) + ": " + e.cause() + "。何も書き込んでいません。";
            return false;
        }
        return yearFoldersReady(inputs, report, fileDate);
    }

    // What an import holds from ready() on: the data folder, and the journal of its appends
    // (gone before the folder is let go, so that it is never another import's).
    std::optional<platform::FolderLock> lock;
    std::optional<AppendJournal> journal;
    struct Held {
        Impl& d;
        ~Held() {
            while (!d.ahead.empty()) d.dropOldestRead();
            d.kept.clear();
            d.journal.reset();
            d.lock.reset();
        }
    };

    // Why bytes are no text of the group's records; empty when they are one.
    static std::string notGroupText(std::string_view text, Kind group) {
        if (looksLikeArchive(text))
            return "LHA 書庫です。名前が \".lzh\" で終わる書庫だけが解凍されます";
        std::string why = notTextReason(text, group == Kind::Lap);
        if (!why.empty())
            return std::string(groupName(group)) + " のテキストファイルではありません (" + why +
                   ")。何も書き込んでいません";
        return {};
    }

    // Refuses bytes that are no text of the group's records, before anything is written.
    static void refuseUnlessText(const std::string& label, const std::string& why) {
        if (!why.empty()) throw Failure(label, why);
    }

    void convertText(ImportSummary& sum, std::string_view text, const std::string& label,
                     Kind group, std::size_t& converted, const std::string& progressLabel) {
        Converter convert = converterOf(group);
        if (group == Kind::OZ) ctx.oddsStartFlag = 1;
        Lines lines(text);
        auto owned =
            makeStore ? makeStore() : std::make_unique<OutputStore>(journal ? &*journal : nullptr);
        ImportSink& store = *owned;
        StoreInUse use(ctx, store);
        ctx.dataFolder = dataFolder;
        const auto total = static_cast<std::uint64_t>(text.size());
        messages.progress(progressLabel, 0, total);
        std::size_t i = 0;
        bool atLine = false;  // a failure now is one of line i + 1, not of the final write
        // What was converted before a failure goes to disk before the failure is reported.
        auto finishAfterFailure = [&] {
            try {
                store.finish();
            } catch (...) {
                // The first failure is the one to report; this one has the same cause.
            }
            sum.linesWritten += store.linesWritten();
        };
        try {
            for (std::string_view line; (atLine = lines.next(line)); ++i) {
                ctx.currentLine.assign(line);
                Outcome outcome = convert(line, ctx);
                ++sum.linesRead;
                ++converted;
                if (outcome == Outcome::Written) ++sum.written;
                if (outcome == Outcome::Present) ++sum.present;
                if (outcome == Outcome::Malformed) ++sum.malformed;
                if ((i + 1) % kProgressLines == 0)
                    messages.progress(progressLabel,
                                      static_cast<std::uint64_t>(line.data() - text.data()), total);
            }
            store.finish();
        } catch (const Failure& e) {
            finishAfterFailure();
            throw LineError(e, label, atLine ? i + 1 : 0);
        } catch (const std::bad_alloc&) {
            finishAfterFailure();
            throw LineError(Failure(label, kOutOfMemory), label, atLine ? i + 1 : 0);
        } catch (const std::exception& e) {
            finishAfterFailure();
            throw LineError(Failure(label, e.what()), label, atLine ? i + 1 : 0);
        }
        sum.linesWritten += store.linesWritten();
        messages.progress(progressLabel, total, total);
    }

    // What an import converts from one archive: its chosen members, in the order of conversion.
    struct ArchiveRead {
        std::vector<std::string> names;
        std::vector<std::string> texts;
        std::vector<std::string> notText;  // notGroupText of each, found on the reading thread
    };

    // Decodes in memory the members an archive's import converts, and nothing else. Touches no
    // state, so that it can run ahead on another thread; `date` is the `fileDate` its import sees.
    // The members of an archive that its import converts, in the order of conversion; throws
    // MemberMissing when one is not there.
    static std::vector<std::string> membersToRead(const Recognition& r, const std::string& path,
                                                  const std::vector<std::string>& names,
                                                  const std::string& date) {
        if (r.kind == Kind::Pack) return pickPackMembers(names, date, true, path);
        std::string member = r.kind == Kind::Lap ? "JracSei1.dat" : r.stem + ".txt";
        if (!r.memberKinds.empty()) member = pickMember(names, r.memberKinds, r.date, true);
        if (member.empty() || std::find(names.begin(), names.end(), member) == names.end())
            throw MemberMissing(
                path,
                "書庫に " + (member.empty() ? kindList(r.memberKinds) : member) + " がありません");
        return {member};
    }

    static ArchiveRead readArchive(const Recognition& r, const std::string& path,
                                   const std::string& date, KeptMembers* kept) {
        ArchiveRead read;
        std::map<std::string, std::string> taken;
        auto choose = [&](const std::vector<std::string>& names) {
            try {
                read.names = membersToRead(r, path, names, date);
            } catch (const MemberMissing&) {
                // A member missing from a damaged archive: the damage is what to report.
                checkLhaArchive(path, kArchiveLimits);
                throw;
            }
            std::set<std::string> chosen;
            for (const auto& name : read.names) {
                auto text = kept ? kept->take(path, name) : std::nullopt;
                if (text)
                    taken[name] = std::move(*text);
                else
                    chosen.insert(name);
            }
            return chosen;
        };
        auto members = readLhaMembers(path, choose, kArchiveLimits);
        for (const auto& name : read.names) {
            read.texts.push_back(std::move(taken.count(name) ? taken[name] : members[name]));
            const Kind group = r.kind == Kind::Pack ? kPackOrder[read.notText.size()] : r.kind;
            read.notText.push_back(notGroupText(read.texts.back(), group));
        }
        return read;
    }

    // The archives of a list read ahead, one after another on the second core, while the ones
    // before them convert; a few are asked for at once, so that a small archive converting while
    // a large one is read does not leave this thread waiting.
    static constexpr std::size_t kReadAhead = 3;
    // A read run by whichever thread claims it first: the reader in its turn, or this thread
    // when it would otherwise wait for the reader.
    struct Read {
        std::atomic<bool> claimed{false};
        std::packaged_task<ArchiveRead()> task;
        bool run() {
            if (claimed.exchange(true)) return false;
            task();
            return true;
        }
    };
    struct Ahead {
        std::string key;
        std::shared_ptr<Read> read;
        std::future<ArchiveRead> result;
    };
    KeptMembers kept;  // before the reader: outlives the reads that take from it
    std::deque<Ahead> ahead;
    Worker reader;

    static std::string aheadKey(const Recognition& r, const std::string& path,
                                const std::string& date) {
        std::string key =
            path + '\0' + date + '\0' + r.stem + '\0' + std::to_string(static_cast<int>(r.kind));
        for (const auto& k : r.memberKinds) key += '\0' + k;
        return key;
    }

    // A read never taken (its import stopped before reading): not begun, the reader skips it.
    void dropOldestRead() {
        ahead.front().read->claimed = true;
        ahead.pop_front();
    }

    void readAhead(const Recognition& r, const std::string& path) {
        if (!r.archive() || r.kind == Kind::Zip || r.kind == Kind::None) return;
        // Reads never taken (their imports stopped before reading) are let go of first.
        while (ahead.size() > kReadAhead) dropOldestRead();
        auto read = std::make_shared<Read>();
        read->task = std::packaged_task<ArchiveRead()>(
            [this, r, path] { return readArchive(r, path, r.date, &kept); });
        try {
            ahead.push_back({aheadKey(r, path, r.date), read, read->task.get_future()});
            reader.post([read] { read->run(); });
        } catch (const std::system_error&) {
            // No second thread: the archive is read when its turn comes.
            ahead.pop_back();
        }
    }

    // The archive's members, from the read ahead when there is one for it. Fails as the
    // extraction does, with its messages, at the moment the extraction would.
    ArchiveRead archiveMembers(const Recognition& r, const std::string& path,
                               const std::string& date) {
        try {
            const std::string key = aheadKey(r, path, date);
            auto it = std::find_if(ahead.begin(), ahead.end(),
                                   [&](const Ahead& a) { return a.key == key; });
            if (it != ahead.end()) {
                Ahead mine = std::move(*it);
                ahead.erase(it);
                // While the reader is on it, this thread reads the next archives not yet begun.
                mine.read->run();
                while (mine.result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                    auto later = std::find_if(ahead.begin(), ahead.end(),
                                              [](const Ahead& a) { return a.read->run(); });
                    if (later == ahead.end()) break;
                }
                return mine.result.get();
            }
            return readArchive(r, path, date, &kept);
        } catch (const ArchiveMissing& e) {
            messages.message(archiveMissingMessage());
            throw Failure(e.file(), "ファイルが見つかりません");
        } catch (const MemberMissing&) {
            throw;  // the archive is whole: no extraction failed
        } catch (const Failure& e) {
            messages.message(extractionFailedMessage());
            throw Failure(e.file(), e.cause());
        }
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
        std::string label = path, text, notText;
        if (!r.archive()) {
            text = readText(path);
            notText = notGroupText(text, group);
        } else {
            ArchiveRead read = archiveMembers(r, path, ctx.fileDate);
            label = read.names[0];
            text = std::move(read.texts[0]);
            notText = std::move(read.notText[0]);
            if (!r.memberKinds.empty() && r.date.empty())
                ctx.fileDate = recogniseDailyText(label).date;
        }
        if (group == Kind::OZ && ctx.fileDate.empty())
            throw Failure(
                path, "名前に日付 (6 桁の数字) がないので、オッズのファイル名が決まりません");
        refuseUnlessText(label, notText);
        convertText(sum, text, label, group, converted, sum.input);
    }

    // One member of each group of a pack, in the order of conversion. Every group is looked for
    // before anything is converted.
    static std::vector<std::string> pickPackMembers(const std::vector<std::string>& names,
                                                    const std::string& date, bool archive,
                                                    const std::string& path) {
        std::vector<std::string> members;
        std::string missing;
        for (Kind group : kPackOrder) {
            members.push_back(pickMember(names, packKindsOfGroup(group), date, archive));
            if (members.back().empty())
                missing += std::string(missing.empty() ? "" : "、") + groupName(group) + " (" +
                           kindList(packKindsOfGroup(group), date) + " のどれか)";
        }
        if (!missing.empty())
            throw MemberMissing(path, (archive ? "書庫に " : "") + missing + " がありません");
        return members;
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
        const std::string date = ctx.fileDate;
        std::vector<std::string> members, texts, notText;
        if (r.archive()) {
            ArchiveRead read = archiveMembers(r, path, date);
            members = std::move(read.names);
            texts = std::move(read.texts);
            notText = std::move(read.notText);
        } else {
            const std::string prefix = folderOf(path);
            members = pickPackMembers(filesIn(prefix.empty() ? "." : prefix), date, false, path);
            for (const auto& member : members) {
                texts.push_back(readText(prefix + member));
                notText.push_back(notGroupText(texts.back(), kPackOrder[notText.size()]));
            }
        }
        for (std::size_t k = 0; k < members.size(); ++k) refuseUnlessText(members[k], notText[k]);
        for (std::size_t k = 0; k < members.size(); ++k) {
            // A pack named without a date (given with --as): the odds take their member's date.
            if (kPackOrder[k] == Kind::OZ && ctx.fileDate.empty())
                ctx.fileDate = recogniseDailyText(members[k]).date;
            convertText(sum, texts[k], members[k], kPackOrder[k], converted, sum.input);
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
            throw Failure(path,
                              "書庫に日ごとのテキストファイル (" +
                                  (r.memberKinds.empty() ? r.kindName : kindList(r.memberKinds)) +
                                  " + 日付 6 桁 + .txt) がありません");
        std::sort(members.begin(), members.end(), [](const Member& a, const Member& b) {
            return std::make_tuple(dateKey(a.daily), groupOrder(a.daily.kind), a.name) <
                   std::make_tuple(dateKey(b.daily), groupOrder(b.daily.kind), b.name);
        });
        for (const Member& m : members)
            refuseUnlessText(m.name, notGroupText(zip.read(m.index), m.daily.kind));
        for (const Member& m : members) {
            const std::string text = zip.read(m.index);
            ctx.fileDate = m.daily.date;
            convertText(sum, text, m.name, m.daily.kind, converted, sum.input + " " + m.name);
        }
    }

    // The year folders the comment records of one input name. Read quietly: an input that cannot
    // be read is reported by its import.
    void commentYears(const Recognition& r, const std::string& path, const std::string& fileDate,
                      std::set<std::string>& years) {
        if (r.kind != Kind::SKAZKA && r.kind != Kind::Pack && r.kind != Kind::Zip) return;
        // A pipe or a device is read once, by its import.
        if (!platform::isRegularFile(path)) return;
        const auto& kinds = r.kind == Kind::Pack ? packKindsOfGroup(Kind::SKAZKA) : r.memberKinds;
        auto scan = [&](std::string_view text) {
            if (looksLikeArchive(text) || !notTextReason(text, false).empty()) return;
            Lines lines(text);
            for (std::string_view line; lines.next(line);) {
                std::string year = commentYearFolder(line);
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
                // The comment member its import will take, and only that one.
                auto choose = [&](const std::vector<std::string>& names) {
                    const auto members = membersToRead(r, path, names, fileDate);
                    const std::size_t k = r.kind == Kind::Pack ? kCommentsInPack : 0;
                    return std::set<std::string>{members.at(k)};
                };
                for (auto& [name, text] : readLhaMembers(path, choose, kArchiveLimits)) {
                    scan(text);
                    kept.put(path, name, std::move(text));
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
                          std::string& report, const std::string* fileDate) {
        // On both cores: every comment member is decoded here once before its import.
        std::set<std::string> years, more;
        std::atomic<std::size_t> next{0};
        auto scan = [&](std::set<std::string>& found) {
            for (std::size_t i; (i = next++) < inputs.size();)
                commentYears(inputs[i].second, inputs[i].first,
                             fileDate ? *fileDate : inputs[i].second.date, found);
        };
        std::future<void> helper;
        if (inputs.size() > 1) {
            try {
                helper = std::async(std::launch::async, scan, std::ref(more));
            } catch (const std::system_error&) {
                // No second thread: this one reads them all.
            }
        }
        scan(years);
        if (helper.valid()) helper.get();
        years.merge(more);
        if (years.empty()) return true;
        const std::string kcom = dataFolder + "KCOM_DATA/";
        if (!platform::isDirectory(kcom)) {
            report = "データフォルダに KCOM_DATA がありません (" + shown(kcom) +
                     ")。Target のデータフォルダを選び直してください。Velt は KCOM_DATA を"
                     "作りません。何も書き込んでいません。";
            return false;
        }
        std::vector<std::string> missing;
        for (const auto& year : years)
            if (!platform::isDirectory(kcom + year)) missing.push_back(year);
        if (missing.empty()) return true;
        const std::string list = shown(joined(missing));
        if (!messages.confirm("KCOM_DATA (" + shown(kcom) +
                              ") に次の年のフォルダがありません: " + list + "\n作成しますか?")) {
            report = "KCOM_DATA (" + shown(kcom) + ") に年のフォルダ " + list +
                     " がないので取り込みませんでした。何も書き込んでいません。"
                     "(コマンド行では velt-cli --create-year-folders で作成できます)";
            return false;
        }
        for (const auto& year : missing) {
            try {
                platform::createFolder(kcom + year, 0777);
            } catch (const platform::FileError& e) {
                report = shown(kcom + year) +
                         ": 年のフォルダを作れません: " + platform::describeErrno(e.code().value()) +
                         "。何も書き込んでいません。";
                return false;
            }
        }
        return true;
    }

    // One recognised input imported on its own, as a button imports it: the folder held, then the
    // button's completion message when it succeeds.
    void runAlone(const Recognition& r, const std::string& path, ImportSummary& sum,
                  Button button) {
        sum.recognised = true;
        Held held{*this};
        if (!ready({{path, r}}, sum.error, &ctx.fileDate)) {
            report(sum.error);
            return;
        }
        run(r, path, sum);
        if (sum.succeeded)
            messages.message({Message::Kind::Outcome, completionMessage(button), {}});
    }

    // Runs one recognised import and reports its failure.
    void run(const Recognition& r, const std::string& path, ImportSummary& sum) {
        std::size_t converted = 0;
        try {
            importOne(r, path, sum, converted);
            sum.succeeded = true;
        } catch (const LineError& e) {
            const std::string at =
                e.line() ? shown(e.text()) + " の " + std::to_string(e.line()) + " 行目で: " : "";
            fail(sum, converted, at, e);
        } catch (const Failure& e) {
            fail(sum, converted, {}, e);
        } catch (const platform::FileError& e) {
            fail(sum, converted, {}, Failure(e.path(), platform::describeErrno(e.error())));
        } catch (const std::bad_alloc&) {
            // Whatever took the memory is given back by now: the report can be made.
            fail(sum, converted, {},
                 Failure(path, std::string(kOutOfMemory) + " (取り込みを続けられません)"));
        }
    }

    void fail(ImportSummary& sum, std::size_t converted, const std::string& where,
              const Failure& e) {
        std::string text = shown(sum.input) + " の取り込みに失敗しました。\n" + where;
        text += e.file().empty() ? shown(e.cause()) : shown(e.file()) + ": " + shown(e.cause());
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
    if (!folder.empty() && !platform::isSeparator(folder.back())) folder += '/';
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
    d.runAlone(r, path, sum, button);
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
    const std::string base = path.substr(path.find_last_of(platform::kSeparators) + 1);
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
    d.runAlone(r, path, sum, buttonOf(group));
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
        if (!platform::isDirectory(path)) {
            inputs.emplace_back(path, recogniseDropped(path, commandLine));
            if (inputs.back().second.kind == Kind::None) unsupported.push_back(path);
            continue;
        }
        const std::string folder = platform::isSeparator(path.back()) ? path : path + "/";
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
    Impl::Held held{d};
    if (!paths.empty() && !d.ready(inputs, refused)) {
        d.report(refused);
        for (const auto& path : paths) {
            ImportSummary sum;
            sum.input = path;
            sum.recognised = recogniseDropped(path, commandLine).kind != Kind::None ||
                             platform::isDirectory(path);
            sum.error = refused;
            sums.push_back(std::move(sum));
        }
        return sums;
    }
    // The next archives are read while one converts.
    std::size_t asked = 1;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const auto& [path, r] = inputs[i];
        for (; asked < inputs.size() && asked <= i + Impl::kReadAhead; ++asked)
            d.readAhead(inputs[asked].second, inputs[asked].first);
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
