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
#include <atomic>
#include <exception>
#include <thread>

#include "dialogs.h"
#include "platform/credentials.h"
#include "shell/fetch.h"

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

}  // namespace

void fetchFromJrdb(QWidget* parent, Dialogs& dialogs, const std::string& settingsFile,
                   const std::string& dataFolder,
                   const std::function<void(std::vector<std::string>)>& import) {
    auto fail = [&](const std::string& text) {
        dialogs.showMessage(parent, q(text), kFetchTitle, Dialogs::Icon::Exclamation);
    };
    WindowFetch start;
    try {
        start = startWindowFetch(settingsFile, dataFolder);
    } catch (const std::exception& e) {
        return fail(describe(e));
    }
    const auto& stored = start.stored;
    const auto& settings = start.settings;

    QDialog dialog(parent);
    dialog.setWindowTitle(kFetchTitle);
    auto* form = new QFormLayout(&dialog);
    auto* days = new QLineEdit(&dialog);
    days->setObjectName("fetchDays");
    days->setPlaceholderText(q(start.daysHint));
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

    FetchAnswers answers;
    try {
        answers = checkFetchAnswers(start, days->text().toStdString(), kinds->text().toStdString(),
                                    id->text().toStdString(), password->text().toStdString());
    } catch (const std::exception& e) {
        return fail(describe(e));
    }
    try {
        if (answers.selection.kinds != settings.kinds)
            storeFetchKinds(settingsFile, answers.selection.kinds);
        if (save->isChecked()) platform::storeLogin(answers.login);
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
    FetchDone done;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            done = runWindowFetch(start, answers, relay);
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
    const std::string notes = fetchNotes(done.choice, done.paths.empty());
    if (!notes.empty() && (done.paths.empty() || !done.choice.unlisted.empty()))
        dialogs.showMessage(
            parent, q(notes), kFetchTitle,
            done.choice.unlisted.empty() ? Dialogs::Icon::None : Dialogs::Icon::Exclamation);
    if (!done.paths.empty()) import(std::move(done.paths));
}

}  // namespace velt
