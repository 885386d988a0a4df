#pragma once
// `Form1`, the native main window: draws the controls and forwards their clicks, drops and menus
// to the shared form logic and the import engine. Dialogs and message boxes go through `Dialogs`.

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dialogs.h"
#include "shell/form_logic.h"
#include "shell/import_engine.h"
#include "shell/import_progress.h"
#include "shell/window_texts.h"

namespace velt::win32 {

class HistoryDialog;
class VeltAbout;

// Its buttons, menus and texts are those of shell/window_texts.h, the controls known by the ids
// there.
class Form1 : private FormView, private WindowDialogs {
public:
    // `programFolder` is where the settings file and the help page are looked for. Creates the
    // window hidden; show() shows it.
    Form1(std::string programFolder, Dialogs& dialogs);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    HWND hwnd() const { return window_; }
    void show(int how = SW_SHOWNORMAL);
    // The control of `id`.
    HWND control(int id) const { return GetDlgItem(window_, id); }
    HWND Label1() const { return label1_; }

    // The about box, once it has been asked for.
    VeltAbout* about() const { return about_.get(); }
    // An import is running: every command waits for its end.
    bool importing() const override { return busy_; }

    // Imports the files as a drop of them does (the files given on the command line, as
    // Explorer's "open with" passes them). Ignored while importing.
    void importAsDrop(const std::vector<std::string>& paths);

private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT handle(UINT message, WPARAM w, LPARAM l);

    std::string dataFolderText() const override;
    void setDataFolderText(const std::string& text) override;
    std::string chooseFolder(const std::string& title, const std::string& start) override;
    void showMessage(const Message& message) override;
    bool openDocument(const std::string& path) override;

    bool askYesNo(const std::string& question) override;
    void showProgress(const std::string& label, int permille, bool atOnce,
                      const std::function<void()>& cancel) override;
    void endProgress() override;
    void showReport(const std::string& report) override;

    void createControls();
    void layout(int dpi);
    // A click of the button or menu item of `id`.
    void command(int id);
    void importWith(Button button) override;
    void closeWindow() override;
    void showAbout() override;
    void showHistory(const std::vector<HistoryDay>& days, const std::string& file) override;
    void fetchFromJrdb() override;
    void dropped(WPARAM drop);
    // Starts an import off the window's thread; the buttons, drops and 設定 wait for its end.
    void startImport(const std::vector<std::string>& inputs, WindowImport::Work work);
    void setImporting(bool importing);

    Dialogs& dialogs_;
    FormLogic logic_;
    HWND window_ = nullptr;
    HWND label1_ = nullptr;
    std::array<HWND, std::size(kShapes)> shapes_{};
    HFONT font_ = nullptr;
    HFONT buttonFont_ = nullptr;
    HFONT gothic_ = nullptr;
    bool busy_ = false;
    std::vector<Message> atLoad_;
    bool loading_ = false;
    std::unique_ptr<VeltAbout> about_;
    std::unique_ptr<HistoryDialog> history_;
    WindowImport import_;  // last: its thread ends before the rest of the window goes
};

}  // namespace velt::win32
