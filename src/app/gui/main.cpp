// velt: the window that imports JRDB files into Target's data folder.

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
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

    // The help is the program's own, in Japanese; the developer options work but are not listed.
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("このヘルプを表示して終わる"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("バージョンを表示して終わる"));
    QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("file"));
    QCommandLineOption screenshotDialog(QStringLiteral("screenshot-dialog"));
    QCommandLineOption screenshotSummary(QStringLiteral("screenshot-summary"));
    QCommandLineOption screenshotHistory(QStringLiteral("screenshot-history"));
    for (QCommandLineOption* hidden :
         {&screenshot, &screenshotDialog, &screenshotSummary, &screenshotHistory})
        hidden->setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions(
        {help, version, screenshot, screenshotDialog, screenshotSummary, screenshotHistory});
    if (!parser.parse(QApplication::arguments())) {
        std::fprintf(stderr, "velt: %s\n使い方は velt --help で表示します。\n",
                     (parser.unknownOptionNames().isEmpty()
                          ? QStringLiteral("オプションの値がありません")
                          : QStringLiteral("知らないオプションです: ") +
                                parser.unknownOptionNames().join(QStringLiteral(", ")))
                         .toUtf8()
                         .constData());
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(
            "使い方: velt [オプション] [FILE...]\n"
            "JRDB のファイルを Target のデータフォルダに取り込むウィンドウです。\n"
            "FILE を渡すと、ウィンドウにドロップしたときと同じように取り込みます。\n"
            "\n"
            "オプション:\n"
            "  -h, --help     このヘルプを表示して終わる\n"
            "  -v, --version  バージョンを表示して終わる\n"
            "\n"
            "ウィンドウを開かずに取り込むには velt-cli を使います (velt-cli --help)。\n",
            stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s\n", velt::versionText().c_str());
        return 0;
    }

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
