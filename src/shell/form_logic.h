#pragma once
// What the main window does beyond drawing, once for both windows (Qt and native Win32): what each
// button and menu item does, the data folder at load and its choice, the help page. A window
// implements FormView and forwards its clicks here; what it shows comes from shell/window_texts.h.

#include <string>
#include <vector>

#include "shell/history.h"
#include "shell/messages.h"
#include "shell/window_texts.h"

namespace velt {

// The few things of a window the logic needs: the text box `Text1`, the folder dialog, message
// boxes, the desktop's opener and the window's own commands. Texts and paths are UTF-8.
class FormView {
public:
    virtual ~FormView() = default;
    virtual std::string dataFolderText() const = 0;
    virtual void setDataFolderText(const std::string& text) = 0;
    // The folder dialog titled `title`, opened at `start`: the chosen folder, or empty text when
    // cancelled.
    virtual std::string chooseFolder(const std::string& title, const std::string& start) = 0;
    virtual void showMessage(const Message& message) = 0;
    // A yes/no question: true for yes.
    virtual bool askYesNo(const std::string& question) = 0;
    // Opens a document with the desktop's program for it; false when nothing could.
    virtual bool openDocument(const std::string& path) = 0;
    // An import of the file chosen in the file dialog; closing the window; the about box.
    virtual void importWith(Button import) = 0;
    virtual void closeWindow() = 0;
    virtual void showAbout() = 0;
    // The history's day table (oldest first; none yet when empty), read from `file`.
    virtual void showHistory(const std::vector<HistoryDay>& days, const std::string& file) = 0;
    // ファイル › JRDB から取得…; a window without its dialog points to velt-cli --fetch.
    virtual void fetchFromJrdb();
    // An import is running: the data folder is not chosen meanwhile.
    virtual bool importing() const = 0;
};

class FormLogic {
public:
    // `programFolder` is where the settings file and the help page are looked for.
    FormLogic(std::string programFolder, FormView& view);
    const std::string& settingsFileInUse() const { return settingsFile_; }

    // A click of a button or a menu item of the window (`import` for Command::Import).
    void run(Command command, Button import = Button::KYD);
    // At load: `Text1` from the settings file. Its failure is shown, and `Text1` stays empty.
    void load();
    // The click of "設定" and of its menu item: remember, choose, append the separator, restore
    // on cancel, save in every case. A chosen folder that does not look like Target's is asked
    // about before it is stored; a no is a cancel.
    void chooseDataFolder();
    // "取り込み履歴": the data folder's history by race day; a failure to read it is shown.
    void showHistory();
    // Where the buttons' file dialog opens: the folder it was last left in, else `downloads`.
    std::string fileFolder(const std::string& downloads) const;
    // Remembers the folder of a file chosen in that dialog.
    void rememberFileFolder(const std::string& file);
    // "ヘルプの表示": the help page, opened by the desktop; a failure is shown.
    void openHelp();

private:
    std::string programFolder_;
    std::string settingsFile_;
    FormView& view_;
};

}  // namespace velt
