#include "dialogs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSplitter>
#include <QTranslator>
#include <QTreeView>

#include "shell/window_texts.h"

namespace velt {

namespace {

// A progress dialog the user cannot close: the import behind it cannot be stopped halfway, and
// closing it would hand input back to the window while the import still runs.
class ProgressDialog : public QProgressDialog {
public:
    explicit ProgressDialog(QWidget* parent) : QProgressDialog(parent) {
        setWindowTitle(QString::fromUtf8(kAppTitle));
        setWindowModality(Qt::ApplicationModal);
        setCancelButton(nullptr);
        setAutoClose(false);
        setAutoReset(false);
        setRange(0, 1000);
        setMinimumWidth(360);
    }

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
    void keyPressEvent(QKeyEvent* event) override { event->ignore(); }
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
QString QtDialogs::chooseFile(QWidget* parent, const QString& title, const QString& start) {
    QFileDialog dialog(parent, title, start);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
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
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

QString QtDialogs::chooseFolder(QWidget* parent, const QString& title) {
    return QFileDialog::getExistingDirectory(
        parent, title, QString(), QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
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

void QtDialogs::showProgress(QWidget* parent, const QString& label, int permille, bool atOnce) {
    if (!progress_) {
        progress_ = std::make_unique<ProgressDialog>(parent);
        progress_->setMinimumDuration(atOnce ? 0 : 700);
        progress_->setValue(0);
    }
    progress_->setLabelText(label);
    if (atOnce && !progress_->isVisible()) progress_->show();
    progress_->setValue(permille);
}

void QtDialogs::endProgress() {
    progress_.reset();
}

}  // namespace velt
