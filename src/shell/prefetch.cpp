#include "shell/prefetch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <set>
#include <system_error>

#include "platform/file.h"
#include "platform/sha256.h"
#include "shell/lha_archive.h"
#include "shell/zip_archive.h"

namespace velt {
namespace {

// Far beyond any real input (a day's largest file is under 1 MB, a year's under 100 MB), so that
// a hostile input fails at once instead of exhausting memory.
constexpr std::size_t kMaxTextBytes = 256u << 20;

const char* const kReplaced = "書庫が読み込みの途中で変わりました。もう一度取り込んでください";

// A text input, refused before it is read when it is no regular file or larger than any real one.
std::string readText(const std::string& path) {
    platform::File file;
    try {
        file = platform::openRegularFile(path);
    } catch (const platform::FileError& e) {
        if (e.error() == ENOENT) throw Failure(path, "ファイルがありません");
        if (e.error() == EISDIR) throw Failure(path, "フォルダです");
        throw;
    }
    try {
        return file.readRest(kMaxTextBytes);
    } catch (const platform::FileError& e) {
        if (e.error() != EFBIG) throw;
        throw Failure(path, "ファイルが大きすぎます。" + std::to_string(kMaxTextBytes >> 20) +
                                " MB までしか読みません");
    } catch (const std::bad_alloc&) {
        throw Failure(path, "メモリが足りません (" + std::to_string(file.status().size) +
                                " バイトを読み込めません)");
    }
}

std::vector<std::string> entryNames(const PlannedInput& in) {
    std::vector<std::string> names;
    for (const auto& e : in.entries) names.push_back(e.name);
    return names;
}

}  // namespace

// One input's read ahead, run once by whichever thread claims it first: the reader in its turn,
// or the converting thread when it would otherwise wait.
struct Prefetch::Read {
    std::atomic<bool> claimed{false};
    std::promise<Loaded> promise;
    std::future<Loaded> result = promise.get_future();
    std::uint64_t bytes = 0;

    bool run(Prefetch& prefetch, std::size_t i) {
        if (claimed.exchange(true)) return false;
        try {
            promise.set_value(prefetch.read(i));
        } catch (...) {
            promise.set_exception(std::current_exception());  // handed whole to the taker
        }
        return true;
    }
};

InputTexts::InputTexts(InputTexts&& o) noexcept
    : names_(std::move(o.names_)),
      texts_(std::move(o.texts_)),
      refusals_(std::move(o.refusals_)),
      groups_(std::move(o.groups_)),
      kinds_(std::move(o.kinds_)),
      check_(std::move(o.check_)),
      zip_(std::move(o.zip_)),
      zipIndex_(std::move(o.zipIndex_)),
      zipCurrent_(o.zipCurrent_),
      owner_(std::exchange(o.owner_, nullptr)),
      bytes_(o.bytes_) {}

InputTexts::~InputTexts() {
    if (owner_) owner_->release(bytes_);
}

std::string_view InputTexts::text(std::size_t k) {
    if (!zip_) return texts_[k];
    if (zipCurrent_ != k) {
        zipCurrent_ = SIZE_MAX;
        texts_.assign(1, zip_->read(zipIndex_[k]));
        zipCurrent_ = k;
    }
    return texts_[0];
}

const std::string& InputTexts::refusal(std::size_t k) {
    if (!refusals_[k]) refusals_[k] = check_(text(k), groups_[k], kinds_[k]);
    return *refusals_[k];
}

Prefetch::Prefetch(const Plan& plan, Check check, std::uint64_t budget)
    : plan_(plan), check_(check), budget_(budget), reader_(std::make_unique<Worker>()) {}

Prefetch::~Prefetch() {
    // Reads never taken are not begun; the one running ends before anything it uses goes.
    for (auto& [i, read] : reads_) read->claimed = true;
    reader_.reset();
}

std::uint64_t Prefetch::need(std::size_t i) const {
    std::uint64_t bytes = 0;
    for (const auto& t : plan_.inputs[i].texts) bytes += t.size;
    return bytes;
}

std::vector<std::string> Prefetch::readTexts(std::size_t i, const std::vector<std::size_t>& which) {
    const PlannedInput& in = plan_.inputs[i];
    std::vector<std::string> texts(which.size());
    std::set<std::string> chosen;
    std::vector<bool> have(which.size(), false);
    {
        std::lock_guard<std::mutex> hold(mutex_);
        for (std::size_t j = 0; j < which.size(); ++j) {
            auto it = kept_.find({i, which[j]});
            if (it == kept_.end()) {
                chosen.insert(in.texts[which[j]].name);
                continue;
            }
            // The read's own reservation covers it from now on.
            keptBytes_ -= it->second.size();
            held_ -= it->second.size();
            texts[j] = std::move(it->second);
            have[j] = true;
            kept_.erase(it);
        }
    }
    if (chosen.empty()) return texts;
    if (in.source == PlannedInput::Source::Text) {
        for (std::size_t j = 0; j < which.size(); ++j)
            if (!have[j]) texts[j] = readText(in.texts[which[j]].file);
        return texts;
    }
    auto members =
        readLhaMembers(in.path, in.entries, chosen, LhaLimits{kMemberLimit, kArchiveLimit});
    for (std::size_t j = 0; j < which.size(); ++j) {
        if (have[j]) continue;
        auto it = members.find(in.texts[which[j]].name);
        if (it == members.end())
            throw Failure(in.path, "書庫に " + in.texts[which[j]].name + " がありません");
        texts[j] = std::move(it->second);
    }
    return texts;
}

Prefetch::Loaded Prefetch::read(std::size_t i) {
    const PlannedInput& in = plan_.inputs[i];
    std::vector<std::size_t> all(in.texts.size());
    for (std::size_t k = 0; k < all.size(); ++k) all[k] = k;
    Loaded loaded;
    loaded.texts = readTexts(i, all);
    for (std::size_t k = 0; k < all.size(); ++k)
        loaded.refusals.push_back(check_(loaded.texts[k], in.texts[k].group, in.texts[k].kindName));
    const bool whole = in.source == PlannedInput::Source::Text && in.texts.size() == 1 &&
                       in.texts[0].file == in.path;
    digestFile(i, whole ? &loaded.texts[0] : nullptr);
    return loaded;
}

// Never throws: a file that cannot be read has an empty digest, and its import says why.
void Prefetch::digestFile(std::size_t i, const std::string* whole) {
    std::promise<Digest> promise;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (digests_.count(i)) return;
        digests_[i] = promise.get_future().share();
    }
    Digest d;
    try {
        if (whole) {
            d.sha256 = platform::sha256Hex(*whole);
            d.size = whole->size();
        } else {
            const std::string& path = plan_.inputs[i].path;
            d.size = platform::status(path).size;
            d.sha256 = platform::sha256OfFile(path);
        }
    } catch (const std::exception&) {
        d = {};
    }
    promise.set_value(std::move(d));
}

Prefetch::Digest Prefetch::digest(std::size_t i) {
    std::shared_future<Digest> found;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (auto it = digests_.find(i); it != digests_.end()) found = it->second;
    }
    if (!found.valid()) {
        digestFile(i, nullptr);
        std::lock_guard<std::mutex> hold(mutex_);
        found = digests_[i];
    }
    return found.get();
}

void Prefetch::keep(std::size_t i, std::size_t k, std::string text) {
    std::lock_guard<std::mutex> hold(mutex_);
    const std::uint64_t size = text.size();
    if (keptBytes_ + size > kKeptBytes || held_ + size > budget_ || kept_.count({i, k})) return;
    kept_.emplace(std::make_pair(i, k), std::move(text));
    keptBytes_ += size;
    held_ += size;
}

void Prefetch::scanInput(std::size_t i, Kind group,
                         const std::function<void(std::string_view)>& look) {
    const PlannedInput& in = plan_.inputs[i];
    std::vector<std::size_t> which;
    for (std::size_t k = 0; k < in.texts.size(); ++k)
        if (in.texts[k].group == group) which.push_back(k);
    // A pipe or a device in an archive's place is read once, by its import.
    if (which.empty() ||
        (in.source != PlannedInput::Source::Text && !platform::isRegularFile(in.path)))
        return;
    try {
        if (in.source == PlannedInput::Source::Zip) {
            ZipArchive zip(in.path);
            for (std::size_t k : which) look(zip.read(in.texts[k].zipIndex));
            return;
        }
        std::vector<std::string> texts = readTexts(i, which);
        for (std::size_t j = 0; j < which.size(); ++j) {
            look(texts[j]);
            keep(i, which[j], std::move(texts[j]));
        }
    } catch (const Failure&) {
        // Its import reports it, in its turn.
    } catch (const platform::FileError&) {
    }
}

void Prefetch::scan(Kind group, const std::function<void(std::string_view)>& look) {
    std::vector<std::size_t> inputs;
    for (std::size_t i = 0; i < plan_.inputs.size(); ++i) {
        const auto& texts = plan_.inputs[i].texts;
        if (std::any_of(texts.begin(), texts.end(),
                        [&](const PlannedText& t) { return t.group == group; }))
            inputs.push_back(i);
    }
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t j; (j = next++) < inputs.size();) scanInput(inputs[j], group, look);
    };
    std::promise<void> helper;
    std::future<void> helped = helper.get_future();
    bool posted = false;
    if (inputs.size() > 1) {
        try {
            reader_->post([&] {
                try {
                    work();
                    helper.set_value();
                } catch (...) {
                    helper.set_exception(std::current_exception());  // rethrown below
                }
            });
            posted = true;
        } catch (const std::system_error&) {
            // No second thread: this one reads them all.
        }
    }
    std::exception_ptr mine;
    try {
        work();
    } catch (...) {
        mine = std::current_exception();  // rethrown once the helper no longer uses this frame
    }
    if (posted) helped.wait();
    if (mine) std::rethrow_exception(mine);
    if (posted) helped.get();
}

void Prefetch::start(std::size_t i) {
    auto read = std::make_shared<Read>();
    read->bytes = need(i);
    reads_[i] = read;
    try {
        reader_->post([this, read, i] { read->run(*this, i); });
    } catch (const std::system_error&) {
        // No second thread: read when taken.
    }
}

void Prefetch::request(std::size_t i) {
    if (i >= plan_.inputs.size() || reads_.count(i)) return;
    const PlannedInput& in = plan_.inputs[i];
    if (in.failure || in.source != PlannedInput::Source::Lha) return;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (held_ + need(i) > budget_) {
            waiting_.push_back(i);
            return;
        }
        held_ += need(i);
    }
    start(i);
}

void Prefetch::startWaiting() {
    while (!waiting_.empty()) {
        const std::size_t i = waiting_.front();
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (held_ + need(i) > budget_) return;
            held_ += need(i);
        }
        waiting_.erase(waiting_.begin());
        start(i);
    }
}

void Prefetch::release(std::uint64_t bytes) {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        held_ -= bytes;
    }
    startWaiting();
}

std::uint64_t Prefetch::held() {
    std::lock_guard<std::mutex> hold(mutex_);
    return held_;
}

InputTexts Prefetch::take(std::size_t i) {
    const PlannedInput& in = plan_.inputs[i];
    InputTexts out;
    out.owner_ = this;
    out.check_ = check_;
    for (const auto& t : in.texts) {
        out.names_.push_back(t.name);
        out.groups_.push_back(t.group);
        out.kinds_.push_back(t.kindName);
    }
    out.refusals_.resize(in.texts.size());
    std::erase(waiting_, i);
    if (in.source == PlannedInput::Source::Zip) {
        // A year of files is read a member at a time, when its turn comes.
        out.zip_ = std::make_unique<ZipArchive>(in.path);
        std::vector<std::string> names;
        for (std::size_t k = 0; k < out.zip_->size(); ++k) names.push_back(out.zip_->name(k));
        if (names != entryNames(in)) throw Failure(in.path, kReplaced);
        for (const auto& t : in.texts) out.zipIndex_.push_back(t.zipIndex);
        try {
            reader_->post([this, i] { digestFile(i, nullptr); });
        } catch (const std::system_error&) {
            // No second thread: digested when asked.
        }
        return out;
    }
    Loaded loaded;
    auto it = reads_.find(i);
    if (it == reads_.end()) {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            held_ += need(i);
        }
        out.bytes_ = need(i);
        loaded = read(i);
    } else {
        auto mine = it->second;
        reads_.erase(it);
        out.bytes_ = mine->bytes;
        // While the reader is on it, this thread reads the next requested inputs not yet begun.
        if (!mine->run(*this, i)) {
            auto busy = [&] {
                return mine->result.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
            };
            for (auto other = reads_.begin(); other != reads_.end() && busy(); ++other)
                other->second->run(*this, other->first);
        }
        loaded = mine->result.get();
    }
    out.texts_ = std::move(loaded.texts);
    for (std::size_t k = 0; k < loaded.refusals.size(); ++k)
        out.refusals_[k] = std::move(loaded.refusals[k]);
    return out;
}

}  // namespace velt
