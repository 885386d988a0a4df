#pragma once
// What a window's progress dialog shows while an import runs: its label and how far it is, and
// whether that changed since it was last shown (every repaint costs the import time).

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "shell/messages.h"

namespace velt {

class ImportProgress {
public:
    // The files of the import that starts: a drop of several shows its progress at once.
    void begin(std::vector<std::string> inputs);
    void end() { permille_ = -1; }
    // "取り込み中: NAME", with "（i/n）" in a drop of several. False when nothing visible changed.
    bool update(const std::string& input, std::uint64_t done, std::uint64_t total);
    // The wait for another import that holds the data folder. False when it is shown already.
    bool waiting(const std::string& dataFolder);

    const std::string& label() const { return label_; }
    int permille() const { return permille_; }
    bool several() const { return inputs_.size() > 1; }

private:
    std::vector<std::string> inputs_;
    std::string label_;
    int permille_ = -1;
};

// The dialogs a window shows for an import. Texts are UTF-8.
class WindowDialogs {
public:
    virtual ~WindowDialogs() = default;
    // A message box titled with titleOf(message).
    virtual void showMessage(const Message& message) = 0;
    // A yes/no question titled with the program's title: true for yes.
    virtual bool askYesNo(const std::string& question) = 0;
    // The progress dialog reading `label`, `permille` of the current file done: shown at once, or
    // only once the work has taken more than a moment. endProgress hides it.
    virtual void showProgress(const std::string& label, int permille, bool atOnce) = 0;
    virtual void endProgress() = 0;
    // While another import is waited for: the window stays drawn.
    virtual void keepDrawn() = 0;
};

// The engine's messages as a window shows them: message boxes, a yes/no question, and the progress
// dialog, which every message and question closes first. Each window gives only its dialogs.
class WindowMessages : public Messages {
public:
    explicit WindowMessages(WindowDialogs& dialogs) : dialogs_(dialogs) {}

    // The files of the import that starts: a drop of several shows its progress at once.
    void beginImport(std::vector<std::string> inputs) { progress_.begin(std::move(inputs)); }
    void endImport();

    void message(const Message& message) override;
    bool confirm(const std::string& question) override;
    void progress(const std::string& input, std::uint64_t done, std::uint64_t total) override;
    void waiting(const std::string& dataFolder) override;

private:
    WindowDialogs& dialogs_;
    ImportProgress progress_;
};

// Runs an import in a window: its progress shown from the start, and whatever escapes the engine
// reported as the import broken off.
template <typename Work>
void runInWindow(WindowMessages& messages, std::vector<std::string> inputs, Work&& work) {
    messages.beginImport(std::move(inputs));
    try {
        work();
    } catch (const std::exception& e) {
        messages.message({Message::Kind::Failure,
                          std::string("取り込みを中断しました。\n") + e.what(),
                          {},
                          Message::Icon::Warning});
    }
    messages.endImport();
}

}  // namespace velt
