#pragma once
// The prefetch of an import's texts: archives decoded in memory on a reading thread, a few
// inputs ahead of the one converting, within one budget of bytes held at once. It owns the reading
// thread, the claims on reads and the texts kept from the scan for year folders.

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/plan.h"
#include "shell/worker.h"

namespace velt {

class Prefetch;
class ZipArchive;

// Why a text is refused ("" when it may be converted): its bytes, its group and the kind its name
// shows.
using Check = std::string (*)(std::string_view, Kind, const std::string&);

// The texts of one planned input, in the plan's order, each with the reason it is refused ("" when
// it may be converted). Their bytes count against the budget until this is destroyed.
class InputTexts {
public:
    InputTexts() = default;
    InputTexts(InputTexts&& other) noexcept;
    InputTexts& operator=(InputTexts&&) = delete;
    ~InputTexts();

    std::size_t size() const { return names_.size(); }
    const std::string& name(std::size_t k) const { return names_[k]; }
    // The k-th text; a ZIP's member is read now, and its view lasts until the next call.
    std::string_view text(std::size_t k);
    const std::string& refusal(std::size_t k);

private:
    friend class Prefetch;
    std::vector<std::string> names_;
    std::vector<std::string> texts_;
    std::vector<std::optional<std::string>> refusals_;
    std::vector<Kind> groups_;
    std::vector<std::string> kinds_;
    Check check_;
    std::unique_ptr<ZipArchive> zip_;
    std::vector<std::size_t> zipIndex_;
    std::size_t zipCurrent_ = SIZE_MAX;
    Prefetch* owner_ = nullptr;
    std::uint64_t bytes_ = 0;
};

class Prefetch {
public:
    // Everything decoded and held at once: the texts read ahead, kept and converting. The input
    // converting is read whatever its size; others wait until it fits.
    static constexpr std::uint64_t kBudget = 256u << 20;
    // Of which the texts the year scan keeps for their import.
    static constexpr std::uint64_t kKeptBytes = 24u << 20;
    // Inputs read ahead of the one converting.
    static constexpr std::size_t kAhead = 3;

    // `check` gives the reason a text is refused, or "": run on the thread that reads it.
    Prefetch(const Plan& plan, Check check, std::uint64_t budget = kBudget);
    ~Prefetch();
    Prefetch(const Prefetch&) = delete;
    Prefetch& operator=(const Prefetch&) = delete;

    // Reads every text of `group` in the plan, on the reading thread and this one, handing each to
    // `look` (called on either thread). Texts within kKeptBytes are kept for take(). An input that
    // cannot be read is passed over: its import reports it.
    void scan(Kind group, const std::function<void(std::string_view)>& look);
    // Asks for input `i` to be read ahead, when it is an archive. Requests past the budget wait.
    void request(std::size_t i);
    // Input `i`'s texts: from its read ahead, else read now on this thread (which meanwhile reads
    // the next requested inputs not yet begun). Throws what reading threw.
    InputTexts take(std::size_t i);
    // The bytes held now: kept, read ahead and taken but not yet let go.
    std::uint64_t held();

    // What the history keeps of an input's file: its SHA-256 (lower-case hex, empty when the
    // file cannot be read) and size.
    struct Digest {
        std::string sha256;
        std::uint64_t size = 0;
    };
    // Input `i`'s digest: from the bytes taken where its file is read whole, else from its file
    // (a ZIP's on the reading thread once taken), else now.
    Digest digest(std::size_t i);

private:
    friend class InputTexts;
    struct Read;
    struct Loaded {
        std::vector<std::string> texts, refusals;
    };
    Loaded read(std::size_t i);
    // The texts `which` of input `i`, those the scan kept taken from it.
    std::vector<std::string> readTexts(std::size_t i, const std::vector<std::size_t>& which);
    void scanInput(std::size_t i, Kind group, const std::function<void(std::string_view)>& look);
    void keep(std::size_t i, std::size_t k, std::string text);
    void start(std::size_t i);
    void startWaiting();
    void release(std::uint64_t bytes);
    std::uint64_t need(std::size_t i) const;
    void digestFile(std::size_t i, const std::string* whole);

    const Plan& plan_;
    Check check_;
    std::uint64_t budget_;
    std::mutex mutex_;  // guards kept_, keptBytes_ and held_
    std::map<std::pair<std::size_t, std::size_t>, std::string> kept_;
    std::uint64_t keptBytes_ = 0;
    std::uint64_t held_ = 0;
    std::map<std::size_t, std::shared_future<Digest>> digests_;  // guarded by mutex_
    std::map<std::size_t, std::shared_ptr<Read>> reads_;  // requested, not yet taken
    std::vector<std::size_t> waiting_;                    // requested, past the budget
    std::unique_ptr<Worker> reader_;                      // joined first when destroyed
};

}  // namespace velt
