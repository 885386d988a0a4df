// velt: the window that imports JRDB files into Target's data folder.

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "dialogs.h"
#include "form1.h"
#include "icon.h"
#include "shell/settings.h"
#include "shell/version.h"
#include "shell/window_texts.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(velt::kAppTitle));
    QApplication::setApplicationVersion(QString::fromUtf8(velt::kVersionText));
    QApplication::setWindowIcon(velt::veltIcon());
    QApplication::setFont(velt::withJapaneseFallback(QApplication::font()));
    velt::loadQtJapanese();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Imports JRDB files into Target's data folder."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the window to <file> once it is shown, and quit."),
        QStringLiteral("file"));
    parser.addOption(screenshot);
    const QCommandLineOption screenshotDialog(
        QStringLiteral("screenshot-dialog"),
        QStringLiteral("With --screenshot: picture the open-file dialog instead of the window."));
    parser.addOption(screenshotDialog);
    QCommandLineOption screenshotSummary(
        QStringLiteral("screenshot-summary"),
        QStringLiteral("With --screenshot and files: picture the summary of their import."));
    screenshotSummary.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(screenshotSummary);
    QCommandLineOption screenshotHistory(
        QStringLiteral("screenshot-history"),
        QStringLiteral("With --screenshot: picture the import history."));
    screenshotHistory.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(screenshotHistory);
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("JRDB files to import, as if dropped."),
                                 QStringLiteral("[FILE...]"));
    parser.process(app);

    std::unique_ptr<velt::Form1> window;
    velt::QtDialogs dialogs;
    try {
        window = std::make_unique<velt::Form1>(velt::programFolder(), dialogs);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromUtf8(velt::kAppTitle),
                              QString::fromStdString(e.what()));
        return 1;
    }
    window->show();

    std::vector<std::string> files;
    for (const QString& file : parser.positionalArguments())
        files.push_back(QFileInfo(file).absoluteFilePath().toStdString());
    if (!files.empty()) window->importAsDrop(std::move(files));

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        const auto save = [file](QWidget* shown) {
            QApplication::exit(shown && shown->grab().save(file, "PNG") ? 0 : 1);
        };
        if (parser.isSet(screenshotSummary)) {
            // The import's boxes are answered as a user would; the summary follows them.
            // The summary is closed as a user would too, and the program ends once the import
            // has: ending it inside the summary's loop would leave the import half done.
            auto* poll = new QTimer(window.get());
            auto saved = std::make_shared<int>(-1);
            QObject::connect(poll, &QTimer::timeout, window.get(), [&window, file, poll, saved] {
                QWidget* modal = QApplication::activeModalWidget();
                if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    box->accept();
                } else if (modal && modal->objectName() == QStringLiteral("report")) {
                    *saved = modal->grab().save(file, "PNG") ? 0 : 1;
                    static_cast<QDialog*>(modal)->accept();
                } else if (*saved >= 0 && !window->importing()) {
                    poll->stop();
                    QApplication::exit(*saved);
                }
            });
            poll->start(300);
            QTimer::singleShot(60000, qApp, [] { QApplication::exit(1); });
        } else if (parser.isSet(screenshotHistory)) {
            QTimer::singleShot(300, window.get(), [&] {
                const char* name = velt::formMenuItem(velt::Command::ShowHistory).name;
                window->findChild<QAction*>(QString::fromUtf8(name))->trigger();
            });
            QTimer::singleShot(1200, qApp, [&, save] {
                save(window->findChild<QDialog*>(QStringLiteral("historyDialog")));
            });
        } else {
            // The dialog is the one the "KYD" button opens; its modal loop ends with the program.
            if (parser.isSet(screenshotDialog))
                QTimer::singleShot(300, window.get(), [&] {
                    window->findChild<QPushButton*>(velt::formButton(velt::Button::KYD).name)
                        ->click();
                });
            QTimer::singleShot(1200, qApp, [&, save] {
                save(parser.isSet(screenshotDialog) ? QApplication::activeModalWidget()
                                                    : window.get());
            });
        }
    }
    return QApplication::exec();
}
