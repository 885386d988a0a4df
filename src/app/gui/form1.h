#pragma once
// `Form1`: the main window. Its handlers are thin calls into the import engine; the dialogs and
// message boxes go through `Dialogs`.

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "dialogs.h"
#include "shell/form_logic.h"
#include "shell/import_engine.h"
#include "shell/import_progress.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace velt {

class VeltAbout;

// The engine's messages in this window's dialogs.
class Form1Messages : public WindowMessages {
public:
    Form1Messages(Dialogs& dialogs, QWidget* window) : dialogs_(dialogs), window_(window) {}

protected:
    void showMessage(const Message& message) override;
    bool askYesNo(const std::string& question) override;
    void showProgress(const std::string& label, int permille, bool several) override;
    void endProgress() override;
    void keepDrawn() override;

private:
    Dialogs& dialogs_;
    QWidget* window_;
};

class Form1 : public QMainWindow, private FormView {
    Q_OBJECT
public:
    // `programFolder` is where the settings file and the help page are looked for.
    Form1(std::string programFolder, Dialogs& dialogs, QWidget* parent = nullptr);
    ~Form1() override;

    QPushButton* Command1;  // KYD
    QPushButton* Command3;  // SEBZEB
    QPushButton* Command6;  // OZ
    QPushButton* Command4;  // SKAZKA
    QPushButton* Command5;  // 設定
    QPushButton* Command2;  // J
    QLabel* Label1;
    QLineEdit* Text1;
    QFrame* Shape1;
    QFrame* Shape2;

    QMenu* mFile;
    QAction* mexit;
    QMenu* msettei;
    QAction* mdata;
    QMenu* mhelp;
    QAction* hyoujihelp;
    QAction* mvarsion;

    // The about box, once it has been asked for.
    VeltAbout* about() const { return about_.get(); }
    // An import is running (or a drop waits for its import): every command waits for its end.
    bool importing() const { return busy_; }

    void Command1_Click() { importWith(FormLogic::kImportButtons[0]); }
    void Command3_Click() { importWith(FormLogic::kImportButtons[1]); }
    void Command6_Click() { importWith(FormLogic::kImportButtons[2]); }
    void Command4_Click() { importWith(FormLogic::kImportButtons[3]); }
    void Command2_Click() { importWith(FormLogic::kImportButtons[4]); }
    void Command5_Click() { chooseDataFolder(); }
    void mdata_Click() { chooseDataFolder(); }
    void mexit_Click();
    void hyoujihelp_Click();
    void mvarsion_Click();

    // Imports the files as a drop of them does, once the event loop runs (the files given on the
    // command line, as a file manager's "open with" passes them). Ignored while importing.
    void importAsDrop(std::vector<std::string> paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::string dataFolderText() const override;
    void setDataFolderText(const std::string& text) override;
    std::string chooseFolder(const std::string& title) override;
    void showMessage(const Message& message) override;
    bool openDocument(const std::string& path) override;

    void importWith(Button button);
    void importDropped(const std::vector<std::string>& paths);
    void chooseDataFolder();
    template <typename Work>
    void runImport(std::vector<std::string> inputs, Work work);

    Dialogs& dialogs_;
    FormLogic logic_;
    bool loading_ = false;
    Form1Messages messages_;
    ImportEngine engine_;
    QString lastFile_;
    bool busy_ = false;
    std::unique_ptr<VeltAbout> about_;
};

}  // namespace velt
