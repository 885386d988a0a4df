#include "fetch_dialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <thread>

#include "dialogs.h"
#include "platform/credentials.h"
#include "platform/system.h"
#include "shell/fetch.h"
#include "shell/history.h"

namespace velt {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Tells the progress dialog, on the window's thread, what the fetch does.
class ProgressRelay : public FetchObserver {
public:
    explicit ProgressRelay(QProgressDialog& progress) : progress_(progress) {}
    void reading(const std::string& page) override { show("一覧を読んでいます: " + page); }
    void downloading(const fetch::Listed& file, std::size_t index, std::size_t count) override {
        show("ダウンロードしています (" + std::to_string(index + 1) + "/" + std::to_string(count) +
             "): " + file.name);
    }
    bool cancelled() override { return cancelled_; }
    std::atomic<bool> cancelled_{false};

private:
    void show(const std::string& text) {
        QMetaObject::invokeMethod(
            &progress_, [p = &progress_, t = q(text)] { p->setLabelText(t); },
            Qt::QueuedConnection);
    }
    QProgressDialog& progress_;
};

std::vector<std::string> words(const QString& text) {
    std::vector<std::string> out;
    for (const QString& w : text.split(QRegularExpression("[\\s,、]+"), Qt::SkipEmptyParts))
        out.push_back(w.toStdString());
    return out;
}

}  // namespace

void fetchFromJrdb(QWidget* parent, Dialogs& dialogs, const std::string& settingsFile,
                   const std::string& dataFolder,
                   const std::function<void(std::vector<std::string>)>& import) {
    auto fail = [&](const std::string& text) {
        dialogs.showMessage(parent, q(text), kFetchTitle, Dialogs::Icon::Exclamation);
    };
    if (dataFolder.empty()) return fail("先にターゲットデータフォルダを設定してください。");
    FetchSettings settings;
    std::vector<HistoryEntry> history;
    std::optional<platform::HttpLogin> stored;
    try {
        settings = readFetchSettings(settingsFile);
        history = readHistory(dataFolder);
        stored = loginFromEnvironment();
        if (!stored && platform::credentialStoreAvailable()) stored = platform::loadLogin();
    } catch (const std::exception& e) {
        return fail(describe(e));
    }
    const auto area = memberArea(std::nullopt, settings);
    if (!area) return fail("JRDB の会員ページのアドレスが正しくありません: " + settings.jrdbUrl);

    QDialog dialog(parent);
    dialog.setWindowTitle(kFetchTitle);
    auto* form = new QFormLayout(&dialog);
    auto* days = new QLineEdit(&dialog);
    days->setObjectName("fetchDays");
    const std::string from =
        fetch::choose({}, history, {{}, {}, {}, platform::localDate(), false}).from;
    days->setPlaceholderText(q("空欄: " + fetch::shownDay(from) + " 以降の取り込んでいない日"));
    auto* kinds = new QLineEdit(q(kindsText(settings.kinds)), &dialog);
    kinds->setObjectName("fetchKinds");
    auto* id = new QLineEdit(q(stored ? stored->id : ""), &dialog);
    id->setObjectName("fetchId");
    auto* password = new QLineEdit(&dialog);
    password->setObjectName("fetchPassword");
    password->setEchoMode(QLineEdit::Password);
    if (stored) password->setPlaceholderText("(保存済み)");
    auto* save = new QCheckBox("保存する", &dialog);
    save->setObjectName("fetchSave");
    save->setEnabled(platform::credentialStoreAvailable());
    form->addRow("日付 (181201 など):", days);
    form->addRow("種類:", kinds);
    form->addRow("会員 ID:", id);
    form->addRow("パスワード:", password);
    form->addRow("", save);
    form->addRow(new QLabel(q("保存先: " + settings.downloadFolder), &dialog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText("取得");
    buttons->button(QDialogButtonBox::Cancel)->setText("キャンセル");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return;

    fetch::Selection selection{{}, {}, {}, platform::localDate(), false};
    for (const auto& text : words(days->text())) {
        const auto day = fetch::parseDay(text);
        if (!day) return fail(text + " は日付ではありません (181201 か 2018-12-01 の形で)");
        selection.days.push_back(*day);
    }
    const auto chosenKinds = parseKinds(kinds->text().toStdString());
    if (!chosenKinds) return fail("種類には PACI、JRDB、SED、SKB、KYI などを並べてください。");
    selection.kinds = *chosenKinds;
    platform::HttpLogin login{id->text().toStdString(), password->text().toStdString()};
    if (login.password.empty() && stored && stored->id == login.id) login = *stored;
    if (login.id.empty()) return fail("JRDB の会員 ID を入れてください。");
    try {
        if (selection.kinds != settings.kinds) storeFetchKinds(settingsFile, selection.kinds);
        if (save->isChecked()) platform::storeLogin(login);
    } catch (const std::exception& e) {
        fail(describe(e));
    }

    QProgressDialog progress("JRDB に接続しています…", "キャンセル", 0, 0, parent);
    progress.setWindowTitle(kFetchTitle);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    ProgressRelay relay(progress);
    QObject::connect(&progress, &QProgressDialog::canceled, [&] {
        relay.cancelled_ = true;
        progress.setLabelText("このファイルが終わったら止めます…");
    });
    QEventLoop loop;
    fetch::Choice choice;
    std::vector<std::string> paths;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            auto http = platform::makeHttpClient(fetchHttpOptions());
            Fetcher fetcher(*http, login, *area, settings.downloadFolder, fetchPauseMs());
            choice = fetcher.choose(history, selection, relay);
            if (!relay.cancelled()) paths = fetcher.download(choice, false, relay);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    progress.show();
    loop.exec();
    worker.join();
    progress.reset();

    if (failure) return fail(describe(failure) + "\n何も取り込んでいません。");
    std::string notes;
    for (const auto& day : choice.unlisted)
        notes += fetch::shownDay(day) +
                 ": JRDB の一覧にありません (まだ公開されていないか、"
                 "開催日ではありません)\n";
    for (const auto& missing : choice.incomplete)
        notes += fetch::shownDay(missing.substr(0, 8)) + ": " + missing.substr(9) +
                 " はまだ一覧にありません (次の取得で取り込みます)\n";
    if (paths.empty()) notes += "新しく取り込むファイルはありません。\n";
    if (!notes.empty() && (paths.empty() || !choice.unlisted.empty()))
        dialogs.showMessage(
            parent, q(notes), kFetchTitle,
            choice.unlisted.empty() ? Dialogs::Icon::None : Dialogs::Icon::Exclamation);
    if (!paths.empty()) import(std::move(paths));
}

}  // namespace velt
