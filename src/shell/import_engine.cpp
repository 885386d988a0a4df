#include "shell/import_engine.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "convert/converters.h"
#include "convert/output_store.h"
#include "convert/record.h"
#include "platform/failure.h"
#include "platform/file.h"
#include "platform/replacement.h"
#include "platform/system.h"
#include "shell/history.h"
#include "shell/lha_archive.h"
#include "shell/output_files.h"
#include "shell/plan.h"
#include "shell/prefetch.h"
#include "shell/recognition.h"
#include "shell/session.h"
#include "shell/shown.h"
#include "shell/text_check.h"

namespace velt {
namespace {

constexpr std::size_t kProgressLines = 2000;

// A failure while converting a text: its cause, the text being read and the 1-based line (0 when
// it came after the last line, in the final write); `also`, a later failure of the final write.
struct LineError {
    std::exception_ptr cause;
    std::string text;
    std::size_t line = 0;
    std::string also;
};

// Points the context at one text's output store for as long as it is read.
class StoreInUse {
public:
    StoreInUse(ImportContext& ctx, OutputSink& store) : ctx_(ctx) { ctx_.store = &store; }
    ~StoreInUse() { ctx_.store = nullptr; }
    StoreInUse(const StoreInUse&) = delete;
    StoreInUse& operator=(const StoreInUse&) = delete;

private:
    ImportContext& ctx_;
};

// An LHA header ("-lh?-" or "-lz?-" at offset 2) in a file that is about to be read as text.
bool looksLikeArchive(std::string_view text) {
    return text.size() >= 7 && text[2] == '-' && text[6] == '-' && text[3] == 'l' &&
           (text[4] == 'h' || text[4] == 'z');
}

// Why bytes are no text of the group's records; empty when they are one.
std::string refusalOf(std::string_view text, Kind group, const std::string& kindName) {
    if (looksLikeArchive(text))
        return "LHA 書庫です。名前が \".lzh\" で終わる書庫だけが解凍されます";
    return refusalReason(text, group, kindName);
}

// A message box's text with the file it is about.
Message about(Message message, const std::string& file) {
    message.file = file;
    return message;
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

struct ImportEngine::Impl {
    Messages& messages;
    ImportContext ctx;
    std::string dataFolder;
    std::function<std::unique_ptr<ImportSink>()> makeStore;

    explicit Impl(Messages& m) : messages(m) {}

    void report(const std::string& failure) {
        messages.message({Message::Kind::Failure, failure, {}, Message::Icon::Warning});
    }

    // The year folders that the plan's comment records name, read on both threads.
    static std::set<std::string> commentYears(Prefetch& prefetch) {
        std::mutex mutex;
        std::set<std::string> years;
        prefetch.scan(Kind::SKAZKA, [&](std::string_view text) {
            if (!refusalOf(text, Kind::SKAZKA, {}).empty()) return;  // its import refuses it
            std::set<std::string> found;
            Lines lines(text);
            for (std::string_view line; lines.next(line);) {
                std::string year = commentYearFolder(line);
                if (!year.empty()) found.insert(std::move(year));
            }
            std::lock_guard<std::mutex> hold(mutex);
            years.merge(found);
        });
        return years;
    }

    // Target's folders that an input's texts are written into.
    static std::set<std::string> outputFolders(const PlannedInput& in) {
        std::set<std::string> folders;
        for (const auto& t : in.texts)
            folders.insert(t.group == Kind::OZ       ? "HDATA"
                           : t.group == Kind::SKAZKA ? "KCOM_DATA"
                                                     : "MDATA");
        return folders;
    }

    // What the final write says when it fails after another failure: empty when it did not.
    static std::string finishAfterFailure(ImportSink& store) {
        try {
            store.finish();
        } catch (const std::exception& e) {
            return describe(e);
        }
        return {};
    }

    void convertText(ImportSummary& sum, std::string_view text, const std::string& label,
                     Kind group, ImportSession& session, std::size_t& converted,
                     const std::string& progressLabel) {
        Converter convert = converterOf(group);
        if (group == Kind::OZ) ctx.oddsStartFlag = 1;
        Lines lines(text);
        auto owned = makeStore ? makeStore() : std::make_unique<OutputStore>(&session.journal());
        ImportSink& store = *owned;
        StoreInUse use(ctx, store);
        ctx.dataFolder = dataFolder;
        const auto total = static_cast<std::uint64_t>(text.size());
        messages.progress(progressLabel, 0, total, sum.linesRead);
        std::size_t i = 0, written = 0;
        bool atLine = false;  // a failure now is one of line i + 1, not of the final write
        try {
            for (std::string_view line; (atLine = lines.next(line)); ++i) {
                Outcome outcome = convert(line, ctx);
                ++sum.linesRead;
                ++converted;
                if (outcome == Outcome::Written) ++written;
                if (outcome == Outcome::Present) ++sum.present;
                if (outcome == Outcome::Malformed) ++sum.malformed;
                if (outcome == Outcome::OutOfScope) ++sum.outOfScope;
                if ((i + 1) % kProgressLines == 0)
                    messages.progress(progressLabel,
                                      static_cast<std::uint64_t>(line.data() - text.data()), total,
                                      sum.linesRead);
            }
            store.finish();
        } catch (const std::exception&) {
            // What was converted before the failure goes to disk before it is reported.
            LineError failure{std::current_exception(), label, atLine ? i + 1 : 0, {}};
            failure.also = finishAfterFailure(store);
            // A record counts as written only as far as its lines reached the disk: one line a
            // record, or up to two for a comment, where this is the most that can be on disk.
            sum.written += std::min(written, store.linesWritten());
            sum.linesWritten += store.linesWritten();
            throw failure;
        }
        sum.written += written;
        sum.linesWritten += store.linesWritten();
        messages.progress(progressLabel, total, total, sum.linesRead);
    }

    // The input's texts as read, or its planning failure; an LHA archive that cannot be read is
    // told as the extraction tells it, at the moment the extraction would.
    static InputTexts take(const PlannedInput& in, std::size_t i, Prefetch& prefetch,
                           Messages& messages) {
        try {
            if (in.failure) {
                // A member missing from a damaged archive: the damage is what to report.
                if (in.lacksMember())
                    checkLhaArchive(in.path, LhaLimits{kMemberLimit, kArchiveLimit});
                std::rethrow_exception(in.failure);
            }
            return prefetch.take(i);
        } catch (const ArchiveMissing& e) {
            messages.message(about(archiveMissingMessage(), in.path));
            throw Failure(e.file(), "ファイルが見つかりません");
        } catch (const MemberMissing&) {
            throw;  // the archive is whole: no extraction failed
        } catch (const Failure&) {
            if (in.source == PlannedInput::Source::Lha)
                messages.message(about(extractionFailedMessage(), in.path));
            throw;
        }
    }

    // Every text of the input checked, then converted, in the plan's order.
    void importInput(const PlannedInput& in, std::size_t i, Prefetch& prefetch,
                     ImportSession& session, ImportSummary& sum, std::size_t& converted) {
        InputTexts texts = take(in, i, prefetch, messages);
        for (const auto& t : in.texts)
            if (t.group == Kind::OZ && t.date.empty())
                throw Failure(
                    in.path,
                    "名前に日付 (6 桁の数字) がないので、オッズのファイル名が決まりません");
        // Everything is checked before the input's first write: its texts, then its folders and
        // every file it would write into, named by the converters' dry run over its records.
        std::set<std::string> outputs;
        for (std::size_t k = 0; k < texts.size(); ++k) {
            if (!texts.refusal(k).empty()) throw Failure(texts.name(k), texts.refusal(k));
            ImportContext dry = ctx;
            dry.dataFolder = dataFolder;
            dry.fileDate = in.texts[k].date;
            gatherOutputFiles(texts.text(k), in.texts[k].group, dry, outputs);
        }
        session.checkFolders(outputFolders(in));
        session.checkOutputFiles(outputs);
        if (outputFolders(in).count("KCOM_DATA")) session.createYearFolders();
        const bool zip = in.source == PlannedInput::Source::Zip;
        for (std::size_t k = 0; k < texts.size(); ++k) {
            ctx.fileDate = in.texts[k].date;
            convertText(sum, texts.text(k), texts.name(k), in.texts[k].group, session, converted,
                        zip ? sum.input + " " + texts.name(k) : sum.input);
        }
    }

    // Runs one planned input and reports its failure.
    void run(const PlannedInput& in, std::size_t i, Prefetch& prefetch, ImportSession& session,
             ImportSummary& sum) {
        std::size_t converted = 0;
        try {
            importInput(in, i, prefetch, session, sum, converted);
            sum.succeeded = true;
        } catch (const LineError& e) {
            const std::string at =
                e.line ? shown(e.text) + " の " + std::to_string(e.line) + " 行目で: " : "";
            fail(sum, converted, at, e.cause, e.text, e.also);
        } catch (const std::bad_alloc&) {
            // Whatever took the memory is given back by now: the report can be made.
            fail(sum, converted, {},
                 std::make_exception_ptr(
                     Failure(in.path, "メモリが足りません (取り込みを続けられません)")),
                 in.path, {});
        } catch (const std::exception&) {
            fail(sum, converted, {}, std::current_exception(), in.path, {});
        }
    }

    void fail(ImportSummary& sum, std::size_t converted, const std::string& where,
              const std::exception_ptr& cause, const std::string& label, const std::string& also) {
        std::string file, why;
        try {
            std::rethrow_exception(cause);
        } catch (const std::exception& e) {
            file = fileOf(e).empty() ? label : fileOf(e);
            why = causeOf(e);
        }
        std::string text = shown(sum.input) + " の取り込みに失敗しました。\n" + where;
        text += file.empty() ? shown(why) : shown(file) + ": " + shown(why);
        if (!also.empty() && also.find(why) == std::string::npos) text += "\n" + shown(also);
        text += "\nそれまでに " + std::to_string(converted) + " 行を変換し、" +
                std::to_string(sum.linesWritten) + " 行を書き込みました";
        text += sum.linesWritten ? " (書き込んだ行はそのまま残っています)。" : "。";
        sum.error = text;
        report(text);
    }

    // Carries out a plan: the session, the year folders, then every input in turn, the next
    // archives read while one converts.
    std::vector<ImportSummary> runPlan(const Plan& plan) {
        std::vector<ImportSummary> sums;
        for (const auto& in : plan.inputs) {
            sums.emplace_back();
            sums.back().input = in.path;
            sums.back().recognised = in.recognised();
            sums.back().kind = entryKind(in.recognition);
        }
        if (plan.button && !plan.inputs.front().recognised()) {
            ctx.fileDate = plan.inputs.front().date;
            messages.message(about({Message::Kind::Rejection,
                                    rejectionMessage(*plan.button, plan.inputs.front().path),
                                    {}},
                                   plan.inputs.front().path));
            return sums;
        }
        if (!plan.inputs.empty()) {
            if (plan.button) ctx.fileDate = plan.inputs.front().date;
            Prefetch prefetch(plan, &refusalOf);
            std::optional<ImportSession> session;
            try {
                session.emplace(dataFolder, messages);
                session->prepareYearFolders(commentYears(prefetch));
            } catch (const Failure& e) {
                return refused(plan, e);
            }
            for (std::size_t i = 0, asked = 1; i < plan.inputs.size(); ++i) {
                // Stops between inputs only: an input is converted whole or not at all.
                if (i > 0 && messages.cancelled()) {
                    for (; i < plan.inputs.size(); ++i) sums[i].cancelled = true;
                    break;
                }
                for (; asked < plan.inputs.size() && asked <= i + Prefetch::kAhead; ++asked)
                    prefetch.request(asked);
                ctx.fileDate = plan.inputs[i].date;
                // A path that is not there, or a folder that cannot be listed, fails in words.
                if (plan.inputs[i].recognised() || plan.inputs[i].failure)
                    run(plan.inputs[i], i, prefetch, *session, sums[i]);
                platform::pauseForTest("input-done");
            }
            recordRun(dataFolder, plan, prefetch, sums, messages);  // still under the lock
        }
        if (plan.button) {
            if (sums.front().succeeded)
                messages.message(
                    about({Message::Kind::Outcome, completionMessage(*plan.button), {}},
                          sums.front().input));
            return sums;
        }
        if (!plan.unsupported.empty())
            messages.message({Message::Kind::Rejection, unsupportedMessage(plan.unsupported), {}});
        // Complete only when every input went in: a failure or a cancel is no completion.
        const bool whole = std::all_of(sums.begin(), sums.end(), [](const ImportSummary& s) {
            return !s.recognised || s.succeeded;
        });
        if (whole) messages.message({Message::Kind::Completion, kDropCompleteMessage, {}});
        return sums;
    }

    // The import refused before anything was read: every input given fails with its words.
    std::vector<ImportSummary> refused(const Plan& plan, const Failure& e) {
        const std::string text = e.file().empty() ? e.cause() : shown(e.file()) + ": " + e.cause();
        report(text);
        std::vector<ImportSummary> sums;
        for (const auto& [path, recognised] : plan.given) {
            ImportSummary sum;
            sum.input = path;
            sum.recognised = recognised;
            sum.error = text;
            sums.push_back(std::move(sum));
        }
        return sums;
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
    return impl_->runPlan(planButton(button, path, impl_->ctx.fileDate)).front();
}

bool ImportEngine::acceptsKind(const std::string& kind) {
    return acceptsGivenKind(kind);
}

ImportSummary ImportEngine::importWithKind(const std::string& kind, const std::string& path) {
    return impl_->runPlan(planWithKind(kind, path)).front();
}

std::vector<ImportSummary> ImportEngine::importFiles(const std::vector<std::string>& paths,
                                                     bool commandLine) {
    return impl_->runPlan(planDrop(paths, commandLine));
}

ImportPreview ImportEngine::preview(const std::vector<std::string>& paths, bool commandLine,
                                    const std::string& kind) {
    const Plan plan = kind.empty() ? planDrop(paths, commandLine) : planWithKind(kind, paths.at(0));
    ImportPreview preview;
    preview.plan = describePlan(plan);
    preview.complete = plan.unsupported.empty();
    for (const auto& in : plan.inputs) preview.complete = preview.complete && !in.failure;
    Prefetch prefetch(plan, &refusalOf);
    const std::string kcom = impl_->dataFolder + "KCOM_DATA/";
    for (const auto& year : Impl::commentYears(prefetch)) {
        preview.yearFolders.push_back(year);
        if (!impl_->dataFolder.empty() && !platform::isDirectory(kcom + year))
            preview.missingYearFolders.push_back(year);
    }
    return preview;
}

}  // namespace velt
