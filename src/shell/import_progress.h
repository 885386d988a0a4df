#pragma once
// What a window's progress dialog shows while an import runs: its label and how far it is, and
// whether that changed since it was last shown (every repaint costs the import time). And the
// import of a window itself: on a thread of its own, its boxes and questions shown on the
// window's thread, its summary at the end.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "shell/import_engine.h"
#include "shell/messages.h"
#include "shell/worker.h"

namespace velt {

class ImportProgress {
public:
    // The files of the import that starts: a drop of several numbers them.
    void begin(std::vector<std::string> inputs);
    void end() { permille_ = -1; }
    // "取り込み中: NAME", with "（i/n）" in a drop of several. False when nothing visible changed.
    // A second line tells the records read so far.
    bool update(const std::string& input, std::uint64_t done, std::uint64_t total,
                std::size_t records);
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
    // A message box titled with titleOf(message), the file it is about on a line of its own.
    virtual void showMessage(const Message& message) = 0;
    // A yes/no question titled with the program's title: true for yes.
    virtual bool askYesNo(const std::string& question) = 0;
    // The progress dialog reading `label`, `permille` of the current file done: shown at once, or
    // only once the work has taken about half a second. Its cancel button calls `cancel`.
    // endProgress hides it.
    virtual void showProgress(const std::string& label, int permille, bool atOnce,
                              const std::function<void()>& cancel) = 0;
    virtual void endProgress() = 0;
    // The summary of an import that ended (importReport), with a button that copies it.
    virtual void showReport(const std::string& report) = 0;
};

// The text of a message box: the message's own, and the file it is about on a line of its own
// when the text does not name it already.
std::string boxText(const Message& message);

// The engine's messages as a window shows them: message boxes, a yes/no question, and the progress
// dialog, which every message and question closes first. Each window gives only its dialogs.
// Called on the window's thread.
class WindowMessages : public Messages {
public:
    explicit WindowMessages(WindowDialogs& dialogs, std::function<void()> cancel = {})
        : dialogs_(dialogs), cancel_(std::move(cancel)) {}

    // The files of the import that starts: a drop of several numbers them.
    void beginImport(std::vector<std::string> inputs) { progress_.begin(std::move(inputs)); }
    void endImport();

    void message(const Message& message) override;
    bool confirm(const std::string& question) override;
    void progress(const std::string& input, std::uint64_t done, std::uint64_t total,
                  std::size_t records) override;
    void waiting(const std::string& dataFolder) override;

private:
    WindowDialogs& dialogs_;
    std::function<void()> cancel_;
    ImportProgress progress_;
};

// A button's import of several files: each in turn as that button, until one is cancelled.
std::vector<ImportSummary> importEachAs(ImportEngine& engine, Messages& messages, Button button,
                                        const std::vector<std::string>& paths);

// A window's import, run on a thread of its own so that the window draws and answers meanwhile.
// The engine's boxes and questions are shown on the window's thread while the import waits for
// them; its progress is handed over without waiting, the newest only. When it ends, the summary.
class WindowImport {
public:
    // Runs a function on the window's thread: `send` returns once it has run, `post` at once.
    using Call = std::function<void(std::function<void()>)>;
    using Work = std::function<std::vector<ImportSummary>(ImportEngine&, Messages&)>;

    WindowImport(WindowDialogs& dialogs, Call send, Call post);
    ~WindowImport();
    WindowImport(const WindowImport&) = delete;
    WindowImport& operator=(const WindowImport&) = delete;

    // fileDate and oddsStartFlag persist from one import to the next.
    ImportEngine& engine() { return engine_; }
    bool running() const { return running_; }
    // Starts `work` for `inputs` into `dataFolder`; `done` runs on the window's thread once the
    // summary has been shown. Only one import runs at a time: ignored while one runs.
    void start(std::vector<std::string> inputs, const std::string& dataFolder, Work work,
               std::function<void()> done);
    // Stops the import before its next input (the cancel button of the progress dialog).
    void cancel() { cancelled_ = true; }

private:
    // The engine's side: hands every call over to the window's thread.
    class Relay : public Messages {
    public:
        explicit Relay(WindowImport& import) : import_(import) {}
        void message(const Message& message) override;
        bool confirm(const std::string& question) override;
        void progress(const std::string& input, std::uint64_t done, std::uint64_t total,
                      std::size_t records) override;
        void waiting(const std::string& dataFolder) override;
        bool cancelled() override { return import_.cancelled_; }

    private:
        WindowImport& import_;
        std::mutex mutex_;
        std::function<void()> latest_;  // the newest progress not yet shown
    };

    WindowDialogs& dialogs_;
    Call send_, post_;
    WindowMessages window_;
    Relay relay_;
    ImportEngine engine_;
    std::atomic<bool> cancelled_{false};
    bool running_ = false;
    Worker worker_;  // last: its thread ends before what it uses goes
};

}  // namespace velt
