// velt: the window that imports JRDB files into Target's data folder.

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <exception>
#include <memory>

#include "dialogs.h"
#include "form1.h"
#include "icon.h"
#include "shell/settings.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velt"));
    QApplication::setApplicationVersion(QStringLiteral(VELT_VERSION));
    QApplication::setWindowIcon(velt::veltIcon());
    QApplication::setFont(velt::withJapaneseFallback(QApplication::font()));

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
    parser.process(app);

    std::unique_ptr<velt::Form1> window;
    velt::QtDialogs dialogs;
    try {
        window = std::make_unique<velt::Form1>(velt::programFolder(), dialogs);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Velt"), QString::fromStdString(e.what()));
        return 1;
    }
    window->show();

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        QTimer::singleShot(800, window.get(), [&] {
            const bool saved = window->grab().save(file, "PNG");
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
