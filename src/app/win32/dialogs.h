#pragma once
// The dialogs and message boxes of the window, behind one small interface that tests replace.
// Texts and paths are UTF-8.

#include <windows.h>

#include <cstdint>
#include <string>

#include "shell/messages.h"

namespace velt::win32 {

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The open-file dialog starting at `start`: a full path, or empty text when cancelled.
    virtual std::string chooseFile(HWND owner, const std::string& title,
                                   const std::string& start) = 0;
    // The folder dialog: the chosen folder, or empty text when cancelled.
    virtual std::string chooseFolder(HWND owner, const std::string& title) = 0;
    // A plain OK message box.
    virtual void showMessage(HWND owner, const std::string& text, const std::string& title,
                             Message::Icon icon) = 0;
    // A question with Yes and No buttons: true for Yes.
    virtual bool askYesNo(HWND owner, const std::string& text, const std::string& title) = 0;
    // Opens a document with the shell's "open"; false when nothing could open it.
    virtual bool openDocument(const std::string& path) = 0;
    // Long work: shows (at once, or once the work has taken more than a moment) a small progress
    // window reading `label`, `permille` of the current file done. endProgress hides it.
    virtual void showProgress(HWND owner, const std::string& label, int permille, bool atOnce) = 0;
    virtual void endProgress() = 0;
};

// The system's own dialogs.
class WindowsDialogs : public Dialogs {
public:
    ~WindowsDialogs() override;

    std::string chooseFile(HWND owner, const std::string& title, const std::string& start) override;
    std::string chooseFolder(HWND owner, const std::string& title) override;
    void showMessage(HWND owner, const std::string& text, const std::string& title,
                     Message::Icon icon) override;
    bool askYesNo(HWND owner, const std::string& text, const std::string& title) override;
    bool openDocument(const std::string& path) override;
    void showProgress(HWND owner, const std::string& label, int permille, bool atOnce) override;
    void endProgress() override;

private:
    HWND progress_ = nullptr;
    HWND bar_ = nullptr;
    HWND label_ = nullptr;
    std::uint64_t started_ = 0;  // GetTickCount64 of the first progress of the work
};

}  // namespace velt::win32
