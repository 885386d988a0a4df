#include "shell/form_logic.h"

#include <exception>

#include "platform/system.h"
#include "shell/import_engine.h"
#include "shell/install_layout.h"
#include "shell/settings.h"
#include "shell/shown.h"
#include "shell/window_texts.h"

namespace velt {
namespace {

Message warning(std::string text) {
    return {Message::Kind::Failure, std::move(text), {}, Message::Icon::Warning};
}

}  // namespace

void FormView::fetchFromJrdb() {
    showMessage({Message::Kind::Rejection,
                 "このウィンドウでは JRDB から取得できません。コマンドプロンプトで velt-cli "
                 "--jrdb-login のあと velt-cli --fetch を実行してください。",
                 "JRDB から取得", Message::Icon::Exclamation});
}

FormLogic::FormLogic(std::string programFolder, FormView& view)
    : programFolder_(std::move(programFolder)),
      settingsFile_(settingsFile(programFolder_)),
      view_(view) {}

void FormLogic::run(Command command, Button import) {
    switch (command) {
        case Command::Import:
            view_.importWith(import);
            break;
        case Command::ChooseDataFolder:
            if (!view_.importing()) chooseDataFolder();
            break;
        case Command::Exit:
            view_.closeWindow();
            break;
        case Command::ShowHelp:
            openHelp();
            break;
        case Command::ShowAbout:
            view_.showAbout();
            break;
        case Command::FetchFromJrdb:
            if (!view_.importing()) view_.fetchFromJrdb();
            break;
    }
}

void FormLogic::load() {
    try {
        view_.setDataFolderText(
            readSetting(settingsFile_, kDataFolderSection, kDataFolderKey, std::string()));
    } catch (const std::exception& e) {
        view_.showMessage(
            warning(std::string("設定ファイルを読めませんでした。\n") + shown(e.what())));
    }
}

void FormLogic::chooseDataFolder() {
    const std::string old = view_.dataFolderText();
    const std::string chosen = view_.chooseFolder(kFolderDialogTitle);
    view_.setDataFolderText(chosen.empty() ? old : chosen + platform::kSeparator);
    const std::string folder = view_.dataFolderText();
    try {
        createSettingsFolder(settingsFile_);
        writeSetting(settingsFile_, kDataFolderSection, kDataFolderKey, folder);
    } catch (const std::exception& e) {
        // What the file holds now, read back: the warning says only what is true.
        std::string stored;
        try {
            stored = readSetting(settingsFile_, kDataFolderSection, kDataFolderKey, std::string());
        } catch (const std::exception&) {
        }
        const std::string kept =
            stored == folder ? "データフォルダ " + shown(folder) + " は保存されています。"
            : stored.empty() ? "データフォルダは保存されていません。選んだフォルダ " +
                                   shown(folder) + " はこの起動の間だけ使います。"
                             : "保存されているデータフォルダは " + shown(stored) +
                                   " のままです。選んだフォルダ " + shown(folder) +
                                   " はこの起動の間だけ使います。";
        view_.showMessage(warning(std::string("データフォルダの設定を保存できませんでした。\n") +
                                  shown(e.what()) + "\n\n" + kept));
    }
    const std::string notTarget = chosen.empty() ? std::string() : dataFolderWarning(folder);
    if (!notTarget.empty())
        view_.showMessage({Message::Kind::Outcome, notTarget, {}, Message::Icon::Exclamation});
}

void FormLogic::openHelp() {
    const std::string page = helpPage(programFolder_);
    if (!view_.openDocument(page))
        view_.showMessage(warning("ヘルプを開けませんでした。\n" + shown(page)));
}

}  // namespace velt
