#include "shell/form_logic.h"

#include <exception>

#include "platform/failure.h"
#include "platform/file.h"
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
        case Command::ShowHistory:
            showHistory();
            break;
    }
}

void FormLogic::showHistory() {
    std::string folder = view_.dataFolderText();
    if (folder.empty()) {
        view_.showMessage({Message::Kind::Failure,
                           "Target のデータフォルダが設定されていません。取り込み履歴は"
                           "データフォルダにあります。",
                           {},
                           Message::Icon::Exclamation});
        return;
    }
    if (!platform::isSeparator(folder.back())) folder += platform::kSeparator;
    try {
        view_.showHistory(historyDays(readHistory(folder)), historyFileOf(folder));
    } catch (const std::exception& e) {
        view_.showMessage(warning(describe(e)));
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
    std::string chosen = view_.chooseFolder(kFolderDialogTitle, old);
    if (!chosen.empty() && !dataFolderWarning(chosen).empty() &&
        !view_.askYesNo(shown(chosen) +
                        " には MDATA、HDATA、KCOM_DATA のどれもありません。Target のデータフォルダ"
                        "ではないようです。\nこのフォルダを設定しますか?"))
        chosen.clear();
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
}

std::string FormLogic::fileFolder(const std::string& downloads) const {
    // The settings file's own failures are told at load: here it only costs the remembered place.
    try {
        const std::string last = readSetting(settingsFile_, kDataFolderSection, kLastFolderKey, {});
        if (!last.empty() && platform::isDirectory(last)) return last;
    } catch (const std::exception&) {
    }
    return downloads;
}

void FormLogic::rememberFileFolder(const std::string& file) {
    std::size_t end = file.size();
    while (end > 0 && !platform::isSeparator(file[end - 1])) --end;
    if (end == 0) return;
    // A folder not remembered costs only the next dialog's starting place: no box for it.
    try {
        createSettingsFolder(settingsFile_);
        writeSetting(settingsFile_, kDataFolderSection, kLastFolderKey, file.substr(0, end));
    } catch (const std::exception&) {
    }
}

void FormLogic::openHelp() {
    const std::string page = helpPage(programFolder_);
    if (!view_.openDocument(page))
        view_.showMessage(warning("ヘルプを開けませんでした。\n" + shown(page)));
}

}  // namespace velt
