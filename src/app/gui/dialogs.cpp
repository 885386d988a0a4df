#include "dialogs.h"

#include <QBoxLayout>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSplitter>
#include <QTranslator>
#include <QTreeView>

#include "shell/import_report.h"
#include "shell/window_texts.h"

namespace velt {

namespace {

// A progress dialog the user cannot close: closing it would hand input back to the window while
// the import still runs. Its cancel button stops the import between files, never inside one, so
// the dialog stays until the file being imported is done.
class ProgressDialog : public QProgressDialog {
public:
    ProgressDialog(QWidget* parent, std::function<void()> cancel) : QProgressDialog(parent) {
        setWindowTitle(QString::fromUtf8(kAppTitle));
        setWindowModality(Qt::ApplicationModal);
        setCancelButtonText(QStringLiteral("中止"));
        // Qt connects them by name, and its cancel() would hide the dialog at once.
        disconnect(this, SIGNAL(canceled()), this, SLOT(cancel()));
        connect(this, &QProgressDialog::canceled, this, [this, cancel = std::move(cancel)] {
            if (auto* button = findChild<QPushButton*>()) button->setEnabled(false);
            setLabelText(labelText() +
                         QStringLiteral("\n中止します: このファイルの後で止まります"));
            stopping_ = true;
            if (cancel) cancel();
        });
        setAutoClose(false);
        setAutoReset(false);
        // Below every value shown: QProgressDialog starts its wait again at each minimum value,
        // and every file begins at 0.
        setRange(-1, 1000);
        setMinimumWidth(360);
    }

    // Once cancelled, the label keeps saying so.
    void relabel(const QString& label) {
        if (!stopping_) setLabelText(label);
    }

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
    void keyPressEvent(QKeyEvent* event) override { event->ignore(); }

private:
    bool stopping_ = false;
};

}  // namespace

bool loadQtJapanese() {
    // The file dialog names file types in the default locale's language.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    static QTranslator translator;
    if (translator.isEmpty() &&
        !translator.load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(&translator);
}

QtDialogs::QtDialogs() = default;
QtDialogs::~QtDialogs() = default;

// Qt's own dialogs: a desktop's native one speaks the desktop's language, not the window's.
QStringList QtDialogs::chooseFiles(QWidget* parent, const QString& title, const QString& start,
                                   const QStringList& filters) {
    QFileDialog dialog(parent, title, start);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(filters);
    // Wide enough for the Japanese names of the places and whole sizes, types and dates.
    dialog.resize(820, 480);
    if (auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter")))
        splitter->setSizes({170, 650});
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* model = dialog.findChild<QFileSystemModel*>();
    if (view && model)
        QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
            for (int column = 1; column < view->model()->columnCount(); ++column)
                view->resizeColumnToContents(column);
        });
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

// Qt's own dialog: it has a box to type the path in, and shows hidden folders (Wine's ~/.wine).
QString QtDialogs::chooseFolder(QWidget* parent, const QString& title, const QString& start) {
    QFileDialog dialog(parent, title, start);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    dialog.resize(820, 480);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void QtDialogs::showMessage(QWidget* parent, const QString& text, const QString& title, Icon icon) {
    const auto boxIcon = icon == Icon::None          ? QMessageBox::NoIcon
                         : icon == Icon::Exclamation ? QMessageBox::Warning
                                                     : QMessageBox::Critical;
    QMessageBox box(boxIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogs::askYesNo(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool QtDialogs::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void QtDialogs::showProgress(QWidget* parent, const QString& label, int permille, bool atOnce,
                             const std::function<void()>& cancel) {
    auto* dialog = static_cast<ProgressDialog*>(progress_.get());
    if (!dialog) {
        progress_ = std::make_unique<ProgressDialog>(parent, cancel);
        dialog = static_cast<ProgressDialog*>(progress_.get());
        progress_->setMinimumDuration(atOnce ? 0 : 500);
        progress_->setValue(-1);
    }
    dialog->relabel(label);
    if (atOnce && !progress_->isVisible()) progress_->show();
    progress_->setValue(permille);
}

void QtDialogs::endProgress() {
    progress_.reset();
}

void QtDialogs::showReport(QWidget* parent, const QString& title, const QString& text) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("report"));
    dialog.setWindowTitle(title);
    auto* view = new QPlainTextEdit(text, &dialog);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QPushButton* copy =
        buttons->addButton(QString::fromUtf8(kReportCopy), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("copy"));
    QObject::connect(copy, &QPushButton::clicked, &dialog,
                     [text] { QGuiApplication::clipboard()->setText(text); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(view);
    layout->addWidget(buttons);
    dialog.resize(640, 420);
    dialog.exec();
}

}  // namespace velt
