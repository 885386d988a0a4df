#pragma once
// `Form1`: the main window. Its handlers are thin calls into the form logic and the import engine;
// the dialogs and message boxes go through `Dialogs`.

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "dialogs.h"
#include "shell/form_logic.h"
#include "shell/import_engine.h"
#include "shell/import_progress.h"
#include "shell/window_texts.h"

class QLineEdit;

namespace velt {

class VeltAbout;

// Its buttons, menus and texts are those of shell/window_texts.h, the controls named as there.
class Form1 : public QMainWindow, private FormView, public WindowDialogs {
    Q_OBJECT
public:
    // `programFolder` is where the settings file and the help page are looked for.
    Form1(std::string programFolder, Dialogs& dialogs, QWidget* parent = nullptr);
    ~Form1() override;

    // The about box, once it has been asked for.
    VeltAbout* about() const { return about_.get(); }
    // An import is running (or a drop waits for its import): every command waits for its end.
    bool importing() const override { return busy_; }

    // Imports the files as a drop of them does, once the event loop runs (the files given on the
    // command line, as a file manager's "open with" passes them). Ignored while importing.
    void importAsDrop(std::vector<std::string> paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMenus();

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

    void importWith(Button button) override;
    void closeWindow() override;
    void showAbout() override;
    void showHistory(const std::vector<HistoryDay>& days, const std::string& file) override;
    void fetchFromJrdb() override;

    // Starts an import off the window's thread; the buttons, drops and 設定 wait for its end.
    void startImport(const std::vector<std::string>& inputs, WindowImport::Work work);
    void setImporting(bool importing);

    Dialogs& dialogs_;
    FormLogic logic_;
    QLineEdit* text1_ = nullptr;
    bool loading_ = false;
    bool busy_ = false;
    std::unique_ptr<VeltAbout> about_;
    WindowImport import_;  // last: its thread ends before the rest of the window goes
};

}  // namespace velt
