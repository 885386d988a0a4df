#pragma once
// The dialogs and message boxes of the window, behind one small interface that tests replace.
// Texts and paths are UTF-8.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/messages.h"
#include "shell/window_texts.h"

namespace velt::win32 {

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The open-file dialog opened at the folder `start`, showing the first of `filters`: the
    // full paths of one or more files, none when cancelled.
    virtual std::vector<std::string> chooseFiles(HWND owner, const std::string& title,
                                                 const std::string& start,
                                                 const std::vector<FileFilter>& filters) = 0;
    // The folder dialog opened at `start`: the chosen folder, or empty text when cancelled.
    virtual std::string chooseFolder(HWND owner, const std::string& title,
                                     const std::string& start) = 0;
    // A plain OK message box.
    virtual void showMessage(HWND owner, const std::string& text, const std::string& title,
                             Message::Icon icon) = 0;
    // A question with Yes and No buttons: true for Yes.
    virtual bool askYesNo(HWND owner, const std::string& text, const std::string& title) = 0;
    // Opens a document with the shell's "open"; false when nothing could open it.
    virtual bool openDocument(const std::string& path) = 0;
    // Long work: shows (at once, or once the work has taken about half a second) a small
    // progress window reading `label`, `permille` of the current file done; its cancel button
    // calls `cancel`. endProgress hides it.
    virtual void showProgress(HWND owner, const std::string& label, int permille, bool atOnce,
                              const std::function<void()>& cancel) = 0;
    virtual void endProgress() = 0;
    // The summary of an import, with a button that copies its text.
    virtual void showReport(HWND owner, const std::string& title, const std::string& text) = 0;
};

// The user's Downloads folder (the Known Folder); empty when the system has none.
std::string downloadsFolder();

// The system's own dialogs.
class WindowsDialogs : public Dialogs {
public:
    ~WindowsDialogs() override;

    std::vector<std::string> chooseFiles(HWND owner, const std::string& title,
                                         const std::string& start,
                                         const std::vector<FileFilter>& filters) override;
    std::string chooseFolder(HWND owner, const std::string& title,
                             const std::string& start) override;
    void showMessage(HWND owner, const std::string& text, const std::string& title,
                     Message::Icon icon) override;
    bool askYesNo(HWND owner, const std::string& text, const std::string& title) override;
    bool openDocument(const std::string& path) override;
    void showProgress(HWND owner, const std::string& label, int permille, bool atOnce,
                      const std::function<void()>& cancel) override;
    void endProgress() override;
    void showReport(HWND owner, const std::string& title, const std::string& text) override;

private:
    static LRESULT CALLBACK progressProc(HWND window, UINT message, WPARAM w, LPARAM l);

    HWND progress_ = nullptr;
    HWND bar_ = nullptr;
    HWND label_ = nullptr;
    HWND cancelButton_ = nullptr;
    std::function<void()> cancel_;
    bool stopping_ = false;
};

}  // namespace velt::win32
