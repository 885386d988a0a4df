// velt: the window that imports JRDB files into Target's data folder.

#include <QApplication>
#include <QCommandLineParser>
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
        // The dialog is the one the "KYD" button opens; its modal loop ends with the program.
        if (parser.isSet(screenshotDialog))
            QTimer::singleShot(300, window.get(), [&] {
                window->findChild<QPushButton*>(velt::formButton(velt::Button::KYD).name)->click();
            });
        QTimer::singleShot(1200, qApp, [&] {
            QWidget* shown =
                parser.isSet(screenshotDialog) ? QApplication::activeModalWidget() : window.get();
            QApplication::exit(shown && shown->grab().save(file, "PNG") ? 0 : 1);
        });
    }
    return QApplication::exec();
}
