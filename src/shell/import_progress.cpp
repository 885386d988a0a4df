#include "shell/import_progress.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "platform/system.h"
#include "shell/import_report.h"
#include "shell/shown.h"

namespace velt {

void ImportProgress::begin(std::vector<std::string> inputs) {
    inputs_ = std::move(inputs);
    label_.clear();
    permille_ = -1;
}

bool ImportProgress::update(const std::string& input, std::uint64_t done, std::uint64_t total,
                            std::size_t records) {
    const int permille = total == 0 ? 0 : static_cast<int>(std::min(done, total) * 1000 / total);
    std::size_t name = input.size();
    while (name > 0 && !platform::isSeparator(input[name - 1])) --name;
    std::string label = "取り込み中: " + shown(input.substr(name));
    const auto at = std::find(inputs_.begin(), inputs_.end(), input);
    if (inputs_.size() > 1 && at != inputs_.end())
        label += "（" + std::to_string(at - inputs_.begin() + 1) + "/" +
                 std::to_string(inputs_.size()) + "）";
    label += "\n読み込んだレコード: " + std::to_string(records) + " 件";
    if (label == label_ && permille == permille_) return false;
    label_ = std::move(label);
    permille_ = permille;
    return true;
}

bool ImportProgress::waiting(const std::string& dataFolder) {
    std::string label = "別の取り込みが終わるのを待っています…\n" + shown(dataFolder);
    if (label == label_) return false;
    label_ = std::move(label);
    permille_ = 0;
    return true;
}

std::string boxText(const Message& m) {
    if (m.file.empty() || m.text.find(shown(m.file)) != std::string::npos) return m.text;
    return m.text + "\n" + shown(m.file);
}

void WindowMessages::endImport() {
    dialogs_.endProgress();
    progress_.end();
}

void WindowMessages::message(const Message& m) {
    endImport();
    dialogs_.showMessage(m);
}

bool WindowMessages::confirm(const std::string& question) {
    endImport();
    return dialogs_.askYesNo(question);
}

void WindowMessages::progress(const std::string& input, std::uint64_t done, std::uint64_t total,
                              std::size_t records) {
    if (progress_.update(input, done, total, records))
        dialogs_.showProgress(progress_.label(), progress_.permille(), false, cancel_);
}

void WindowMessages::waiting(const std::string& dataFolder) {
    if (progress_.waiting(dataFolder)) dialogs_.showProgress(progress_.label(), 0, true, cancel_);
}

std::vector<ImportSummary> importEachAs(ImportEngine& engine, Messages& messages, Button button,
                                        const std::vector<std::string>& paths) {
    std::vector<ImportSummary> sums;
    for (const auto& path : paths) {
        if (!sums.empty() && (sums.back().cancelled || messages.cancelled())) {
            sums.emplace_back();
            sums.back().input = path;
            sums.back().recognised = true;
            sums.back().cancelled = true;
            continue;
        }
        sums.push_back(engine.importAs(button, path));
    }
    return sums;
}

void WindowImport::Relay::message(const Message& m) {
    import_.send_([&] { import_.window_.message(m); });
}

bool WindowImport::Relay::confirm(const std::string& question) {
    bool yes = false;
    import_.send_([&] { yes = import_.window_.confirm(question); });
    return yes;
}

void WindowImport::Relay::progress(const std::string& input, std::uint64_t done,
                                   std::uint64_t total, std::size_t records) {
    // One hand-over at a time: the window shows the newest when it gets to it.
    std::lock_guard<std::mutex> hold(mutex_);
    const bool handed = static_cast<bool>(latest_);
    latest_ = [this, input, done, total, records] {
        import_.window_.progress(input, done, total, records);
    };
    if (handed) return;
    import_.post_([this] {
        std::function<void()> show;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            show = std::exchange(latest_, nullptr);
        }
        if (show) show();
    });
}

void WindowImport::Relay::waiting(const std::string& dataFolder) {
    import_.post_([this, dataFolder] { import_.window_.waiting(dataFolder); });
}

WindowImport::WindowImport(WindowDialogs& dialogs, Call send, Call post)
    : dialogs_(dialogs),
      send_(std::move(send)),
      post_(std::move(post)),
      window_(dialogs, [this] { cancel(); }),
      relay_(*this),
      engine_(relay_) {}

WindowImport::~WindowImport() = default;

void WindowImport::start(std::vector<std::string> inputs, const std::string& dataFolder, Work work,
                         std::function<void()> done) {
    if (running_) return;
    running_ = true;
    cancelled_ = false;
    engine_.setDataFolder(dataFolder);
    window_.beginImport(std::move(inputs));
    worker_.post([this, work = std::move(work), done = std::move(done)] {
        std::vector<ImportSummary> sums;
        std::string broken;
        try {
            sums = work(engine_, relay_);
        } catch (const std::exception& e) {
            broken = e.what();
        }
        post_([this, sums = std::move(sums), broken, done] {
            window_.endImport();
            if (!broken.empty())
                window_.message({Message::Kind::Failure,
                                 "取り込みを中断しました。\n" + broken,
                                 {},
                                 Message::Icon::Warning});
            const std::string report = importReport(sums);
            if (!report.empty()) dialogs_.showReport(report);
            running_ = false;
            done();
        });
    });
}

}  // namespace velt
