#pragma once
// What the main window does beyond drawing, once for every window (Qt here, Win32 later): which
// command imports what, the data folder at load and its choice, the help page, the about texts.
// A window implements FormView and forwards its clicks here.

#include <string>

#include "shell/messages.h"

namespace velt {

// The few things of a window the logic needs: the text box `Text1`, the folder dialog, message
// boxes and the desktop's opener. Texts and paths are UTF-8.
class FormView {
public:
    virtual ~FormView() = default;
    virtual std::string dataFolderText() const = 0;
    virtual void setDataFolderText(const std::string& text) = 0;
    // The folder dialog titled `title`: the chosen folder, or empty text when cancelled.
    virtual std::string chooseFolder(const std::string& title) = 0;
    virtual void showMessage(const Message& message) = 0;
    // Opens a document with the desktop's program for it; false when nothing could.
    virtual bool openDocument(const std::string& path) = 0;
};

// The titles and captions every window uses.
inline constexpr const char* kAppTitle = "Velt";
inline constexpr const char* kFileDialogTitle = "データファイル選択";
inline constexpr const char* kFolderDialogTitle = "フォルダを選択してください";

// The about box's texts: its caption, `lblTitle` and `lblVersion`.
struct AboutTexts {
    std::string caption, title, version;
    std::string description =
        "JRDBのデータファイル（競走馬データ、成績、オッズ、成績拡張、JRDBパック、ラップ）を"
        "Targetのデータファイルに変換して追記します。";
    std::string reports = "不具合の報告・ご要望は、プロジェクトの課題（issue）にお寄せください。";
    std::string help = "使い方はメニュー「ヘルプ」→「ヘルプの表示」をご覧ください。";
};
AboutTexts aboutTexts();

class FormLogic {
public:
    // `programFolder` is where the settings file and the help page are looked for.
    FormLogic(std::string programFolder, FormView& view);

    // The button of each import command, in the order of the window's buttons.
    static constexpr Button kImportButtons[] = {Button::KYD, Button::SEBZEB, Button::OZ,
                                                Button::SKAZKA, Button::J};

    // At load: `Text1` from the settings file. Its failure is shown, and `Text1` stays empty.
    void load();
    // The click of "設定" and of its menu item: remember, choose, append the separator, restore
    // on cancel, save in every case; a chosen folder that does not look like Target's is warned of.
    void chooseDataFolder();
    // "ヘルプの表示": the help page, opened by the desktop; a failure is shown.
    void openHelp();

private:
    std::string programFolder_;
    std::string settingsFile_;
    FormView& view_;
};

}  // namespace velt
