#include "shell/import_progress.h"

#include <algorithm>

#include "platform/system.h"
#include "shell/shown.h"

namespace velt {

void ImportProgress::begin(std::vector<std::string> inputs) {
    inputs_ = std::move(inputs);
    label_.clear();
    permille_ = -1;
}

bool ImportProgress::update(const std::string& input, std::uint64_t done, std::uint64_t total) {
    const int permille = total == 0 ? 0 : static_cast<int>(std::min(done, total) * 1000 / total);
    std::size_t name = input.size();
    while (name > 0 && !platform::isSeparator(input[name - 1])) --name;
    std::string label = "取り込み中: " + shown(input.substr(name));
    const auto at = std::find(inputs_.begin(), inputs_.end(), input);
    if (inputs_.size() > 1 && at != inputs_.end())
        label += "（" + std::to_string(at - inputs_.begin() + 1) + "/" +
                 std::to_string(inputs_.size()) + "）";
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

void WindowMessages::progress(const std::string& input, std::uint64_t done, std::uint64_t total) {
    if (progress_.update(input, done, total))
        dialogs_.showProgress(progress_.label(), progress_.permille(), progress_.several());
}

void WindowMessages::waiting(const std::string& dataFolder) {
    if (progress_.waiting(dataFolder)) dialogs_.showProgress(progress_.label(), 0, true);
    dialogs_.keepDrawn();
}

}  // namespace velt
