// The window, driven as a user would: clicks, drops and menus, with the dialogs scripted.

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <optional>

#include "form1.h"
#include "gui_fake_dialogs.h"
#include "platform/file.h"
#include "shell/settings.h"
#include "shell/window_texts.h"
#include "velt_about.h"

using velt::Button;
using velt::Command;
using velt::Dialogs;
using velt::FakeDialogs;
using velt::Form1;

namespace {

const QString kTitle = QString::fromUtf8(velt::kAppTitle);
const QString kComplete = QStringLiteral("すべての処理完了\u3000V（＾0＾）");
const QString kUnsupported = QStringLiteral("対応データで無いんです（ -.-）ノ-=≡≡≡卍卍(シュ)！");

// A KYD record of racecourse 05, year 01, meeting 3, day 1, race 12: it goes to MD013東.DAT.
QByteArray kydRecord(const char* horse = "07") {
    QByteArray record = QByteArray("05013112") + horse;
    record += QByteArray(332 - record.size(), ' ');
    return record;
}

// A program folder and a Target data folder in a fresh temporary folder, and the window.
struct Bench {
    QTemporaryDir dir;
    QString program, target;
    FakeDialogs dialogs;
    std::unique_ptr<Form1> form;

    Bench() {
        program = dir.filePath(QStringLiteral("program")) + '/';
        target = dir.filePath(QStringLiteral("target")) + '/';
        for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA"})
            QDir().mkpath(target + QLatin1String(sub));
        QDir().mkpath(program);
    }
    QString settingsFile() const {
        return QString::fromStdString(velt::settingsPath(program.toStdString()));
    }
    void writeSettings(const QByteArray& bytes) const {
        QFile f(settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void chooseTarget() const { writeSettings("[Velt]\r\npath=" + target.toUtf8() + "\r\n"); }
    QString storedFolder() const {
        return QString::fromStdString(
            velt::readSetting(settingsFile().toStdString(), "Velt", "path", "<none>"));
    }
    Form1& open() {
        form = std::make_unique<Form1>(program.toStdString(), dialogs);
        return *form;
    }
    QString file(const QString& name, const QByteArray& bytes) const {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    // Drops the files as a file manager does, and waits for the import that follows the drop.
    bool drop(const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at(form->width() / 2, form->height() / 2);
        // Offered as a move (as with Shift held): the window takes a copy, so nothing is deleted.
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::ShiftModifier);
        enter.setDropAction(Qt::MoveAction);
        QCoreApplication::sendEvent(form.get(), &enter);
        if (!enter.isAccepted() || enter.dropAction() != Qt::CopyAction) return false;
        QDropEvent drop(at, offered, &mime, Qt::LeftButton, Qt::ShiftModifier);
        drop.setDropAction(Qt::MoveAction);
        QCoreApplication::sendEvent(form.get(), &drop);
        return drop.isAccepted() && drop.dropAction() == Qt::CopyAction && waitForImport();
    }
    // Waits for the import under way to end.
    bool waitForImport() const {
        return QTest::qWaitFor([&] { return !form->importing(); });
    }
    // What the import left in the program folder, beside the settings file.
    QStringList leftInProgramFolder() const {
        QStringList files = QDir(program).entryList(QDir::Files);
        files.removeAll(QStringLiteral("velt.ini"));
        return files;
    }
    QByteArray output(const QString& name) const {
        QFile f(target + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};

QPushButton* button(Form1& form, const char* name) {
    return form.findChild<QPushButton*>(name);
}
QPushButton* button(Form1& form, Button import) {
    return button(form, velt::formButton(import).name);
}
QPushButton* folderButton(Form1& form) {
    return button(form, velt::formButton(Command::ChooseDataFolder).name);
}
QAction* menuItem(Form1& form, Command command) {
    return form.findChild<QAction*>(velt::formMenuItem(command).name);
}

// The frame of the table that holds a button.
const velt::FormControl& shapeOf(const velt::FormButton& button) {
    for (const velt::FormControl& shape : velt::kShapes)
        if (shape.place.contains(button.place)) return shape;
    return velt::kShapes[0];
}

QPoint topLeft(QWidget* w) {
    return w->mapTo(w->window(), QPoint(0, 0));
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void layout() {
        Bench b;
        Form1& form = b.open();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), kTitle);
        QCOMPARE(form.minimumSize(), form.maximumSize());

        // Left to right along the top, square, of one size, each caption whole, each in its
        // frame; a wider gap between frames than within one.
        int lastRight = -1, side = -1, within = 0;
        const char* lastShape = nullptr;
        for (const velt::FormButton& row : velt::kFormButtons) {
            QPushButton* b1 = button(form, row.name);
            QVERIFY2(b1, row.name);
            QCOMPARE(b1->text(), QString::fromUtf8(row.caption));
            QCOMPARE(b1->parentWidget()->objectName(), QString::fromUtf8(shapeOf(row).name));
            const QRect r(topLeft(b1), b1->size());
            QCOMPARE(r.width(), r.height());
            if (side < 0) side = r.width();
            QCOMPARE(r.width(), side);
            QVERIFY(r.width() >= b1->fontMetrics().horizontalAdvance(b1->text()) + 8);
            QVERIFY(form.rect().contains(r));
            if (lastShape == shapeOf(row).name) within = r.left() - lastRight;
            if (lastShape && lastShape != shapeOf(row).name)
                QVERIFY(r.left() - lastRight > within + 4);
            lastRight = r.right();
            lastShape = shapeOf(row).name;
            QCOMPARE(b1->font().bold(), row.gothic);
            if (row.gothic) QCOMPARE(b1->font().pointSize(), velt::kGothicPoints);
        }

        auto* label = form.findChild<QLabel*>(velt::kLabel1.name);
        auto* text = form.findChild<QLineEdit*>(velt::kText1.name);
        QVERIFY(label && text);
        QCOMPARE(label->text(), QString::fromUtf8(velt::kLabel1.caption));
        QVERIFY(topLeft(label).y() >= topLeft(button(form, Button::KYD)).y() + side);
        QVERIFY(topLeft(text).y() > topLeft(label).y());
        QVERIFY(form.rect().contains(QRect(topLeft(text), text->size())));
        for (const velt::FormControl& shape : velt::kShapes)
            QVERIFY2(form.findChild<QFrame*>(shape.name), shape.name);
    }

    // The menu bar and each menu's items, in the table's order.
    void menus() {
        Bench b;
        Form1& form = b.open();
        const QList<QAction*> bar = form.menuBar()->actions();
        QCOMPARE(bar.size(), qsizetype(std::size(velt::kFormMenus)));
        for (std::size_t i = 0; i < std::size(velt::kFormMenus); ++i) {
            auto* menu = form.findChild<QMenu*>(velt::kFormMenus[i].name);
            QVERIFY2(menu, velt::kFormMenus[i].name);
            QCOMPARE(bar[qsizetype(i)]->menu(), menu);
            QCOMPARE(menu->title(), QString::fromUtf8(velt::kFormMenus[i].title));
            QStringList names, texts, expectedNames, expectedTexts;
            for (QAction* a : menu->actions()) names << a->objectName(), texts << a->text();
            for (const velt::FormMenuItem& item : velt::kFormMenuItems) {
                if (item.menu != int(i)) continue;
                expectedNames << item.name;
                expectedTexts << QString::fromUtf8(item.text);
            }
            QCOMPARE(names, expectedNames);
            QCOMPARE(texts, expectedTexts);
        }
    }

    void settingsAtStart_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no file") << QByteArray() << QString();
        QTest::newRow("folder") << QByteArray("[Velt]\r\npath=/data/Target/\r\n")
                                << QStringLiteral("/data/Target/");
        QTest::newRow("other section only") << QByteArray("[Other]\r\npath=/x/\r\n") << QString();
        QTest::newRow("300 bytes cut to 255")
            << QByteArray("[Velt]\r\npath=/" + QByteArray(299, 'a') + "\r\n")
            << QString('/' + QString(254, 'a'));
        QTest::newRow("kanji in CP932")
            << QByteArray("[Velt]\r\npath=/\x83\x5e\x81\x5b\x83\x51\x83\x62\x83\x67/\r\n")
            << QStringLiteral("/ターゲット/");
    }
    void settingsAtStart() {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        Bench b;
        if (!file.isEmpty()) b.writeSettings(file);
        QCOMPARE(b.open().findChild<QLineEdit*>("Text1")->text(), shown);
        QVERIFY(b.dialogs.messages.empty());
    }

    void folderChoice_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("answer");  // empty: the dialog is cancelled
        QTest::addColumn<bool>("fromMenu");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("asked");  // a folder without MDATA, HDATA or KCOM_DATA: yes 1, no 0
        const QString longName = '/' + QString(299, 'b');
        QTest::newRow("folder") << ""
                                << "/data/Target" << false << "/data/Target/" << -1;
        QTest::newRow("from the menu") << "/old/"
                                       << "/data/Target" << true << "/data/Target/" << -1;
        QTest::newRow("root, yes") << "/old/"
                                   << "/" << false << "//" << 1;
        QTest::newRow("root, no") << "/old/"
                                  << "/" << false << "/old/" << 0;
        QTest::newRow("cancel keeps") << "/old/"
                                      << "" << false << "/old/" << -1;
        QTest::newRow("cancel while empty") << ""
                                            << "" << true << "" << -1;
        // Too long for the settings file: shown, not stored, and the warning says why.
        QTest::newRow("300 bytes") << "/old/" << longName << false << QString(longName + '/') << -1;
    }
    void folderChoice() {
        QFETCH(QString, before);
        QFETCH(QString, answer);
        QFETCH(bool, fromMenu);
        QFETCH(QString, after);
        QFETCH(int, asked);
        Bench b;
        if (!before.isEmpty()) b.writeSettings("[Velt]\r\npath=" + before.toUtf8() + "\r\n");
        Form1& form = b.open();
        b.dialogs.folders.push_back(answer);
        b.dialogs.answers.push_back(asked == 1);
        if (fromMenu)
            menuItem(form, Command::ChooseDataFolder)->trigger();
        else
            QTest::mouseClick(folderButton(form), Qt::LeftButton);

        QCOMPARE(b.dialogs.folderTitles, QStringList{QString::fromUtf8(velt::kFolderDialogTitle)});
        QCOMPARE(b.dialogs.folderStarts, QStringList{before});
        // Asked before anything is stored.
        QCOMPARE(b.dialogs.questions.size(), asked < 0 ? 0 : 1);
        QCOMPARE(form.findChild<QLineEdit*>("Text1")->text(), after);
        // Written in every case, the old value again after a cancel; refused when too long.
        if (after.toUtf8().size() > 255) {
            QCOMPARE(b.storedFolder(), before);
            QCOMPARE(b.dialogs.messages.size(), std::size_t(1));
            QVERIFY(b.dialogs.messages[0].text.contains(QStringLiteral("長すぎて")));
            return;
        }
        QCOMPARE(b.storedFolder(), after);
        QVERIFY(QFile(b.settingsFile()).size() >= after.toUtf8().size());
        QVERIFY(b.dialogs.messages.empty());
    }

    void folderChoiceNotSaved() {
        Bench b;
        QVERIFY(QDir().mkpath(b.settingsFile()));  // nothing can write a file where a folder is
        Form1& form = b.open();
        b.dialogs.folders.push_back(QStringLiteral("/data/Target"));
        QTest::mouseClick(folderButton(form), Qt::LeftButton);
        QCOMPARE(form.findChild<QLineEdit*>("Text1")->text(), QStringLiteral("/data/Target/"));
        QCOMPARE(b.dialogs.messages.size(), std::size_t(1));
        QVERIFY(b.dialogs.messages[0].text.contains(b.settingsFile()));
        QCOMPARE(b.dialogs.messages[0].title, kTitle);
        QCOMPARE(b.dialogs.messages[0].icon, Dialogs::Icon::Warning);
    }

    void buttonRefusesName_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("KYD no date") << int(Button::KYD) << "KYD.lzh"
                                     << "競走馬データ(KYD/KYG/KYI)ではありません";
        QTest::newRow("SEBZEB") << int(Button::SEBZEB) << "KYD011117.lzh"
                                << "成績データ(SEB/SEC/SED/ZEB/ZEC/ZED)ではありません";
        QTest::newRow("OZ") << int(Button::OZ) << "KYD011117.lzh"
                            << "オッズデータ(OZ)ではありません";
        QTest::newRow("SKAZKA") << int(Button::SKAZKA) << "SEB011117.lzh"
                                << "成績拡張ファイル(SKA/SKB/ZKA/ZKB)ではありません";
        QTest::newRow("J") << int(Button::J) << "KYD011117.lzh"
                           << "JRDBデータではありません";
    }
    void buttonRefusesName() {
        QFETCH(int, button);
        QFETCH(QString, name);
        QFETCH(QString, message);
        Bench b;
        b.chooseTarget();
        Form1& form = b.open();
        const QString path = b.file(name, "not read\r\n");
        b.dialogs.files.push_back({path});
        QTest::mouseClick(::button(form, Button(button)), Qt::LeftButton);
        QVERIFY(b.waitForImport());
        QCOMPARE(b.dialogs.fileTitles, QStringList{QString::fromUtf8(velt::kFileDialogTitle)});
        // The box's own text, then the reason, and the file on a line of its own.
        QCOMPARE(b.dialogs.texts().size(), 1);
        QCOMPARE(b.dialogs.texts()[0].section('\n', 0, 0), message);
        QCOMPARE(b.dialogs.texts()[0].section('\n', -1), path);
        QCOMPARE(b.dialogs.messages[0].title, kTitle);
        QCOMPARE(b.dialogs.messages[0].icon, Dialogs::Icon::None);
        QVERIFY(QFile::exists(path));
        QCOMPARE(b.leftInProgramFolder(), QStringList{});
    }

    // The file dialog opens in the Downloads folder, then where a file was last chosen (kept in
    // the settings file), with a filter of the button's kinds; a cancel ends the command quietly.
    void fileDialog() {
        Bench b;
        const QString downloads =
            QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        QVERIFY(QDir().mkpath(b.dir.filePath("in")));
        const QString chosen = b.file(QStringLiteral("in/kyd011117.lzh"), "x");
        b.dialogs.files = {{chosen}};
        QTest::mouseClick(button(b.open(), Button::KYD), Qt::LeftButton);
        QVERIFY(b.waitForImport());
        QCOMPARE(b.dialogs.messages.size(), std::size_t(1));
        Form1& form = b.open();  // the folder outlives the window
        for (const Button import :
             {Button::KYD, Button::SEBZEB, Button::OZ, Button::SKAZKA, Button::J})
            QTest::mouseClick(button(form, import), Qt::LeftButton);
        const QString in = b.dir.filePath("in") + '/';
        QCOMPARE(b.dialogs.fileStarts, (QStringList{downloads, in, in, in, in, in}));
        const QString all = QStringLiteral("すべてのファイル (*)");
        QCOMPARE(b.dialogs.fileFilters[1],
                 (QStringList{"競走馬データ (KYD* KYG* KYI* kyd* kyg* kyi*)", all}));
        QCOMPARE(b.dialogs.fileFilters[5],
                 (QStringList{"JRDBデータ (JRDB* PACI* jrdb* paci*)", all}));
        QCOMPARE(b.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(b.dialogs.reports.size(), 1);
        QVERIFY(b.dialogs.progressLabels.isEmpty());
    }

    void buttonImportsArchive() {
        const QString jlha = QStandardPaths::findExecutable(QStringLiteral("jlha"));
        if (jlha.isEmpty()) QSKIP("jlha (Debian's jlha-utils) makes the test archive");
        Bench b;
        b.chooseTarget();
        QDir().mkpath(b.dir.filePath("in"));
        b.file(QStringLiteral("in/KYD011117.txt"), kydRecord() + "\r\n" + kydRecord("08") + "\r\n");
        QProcess pack;
        pack.setWorkingDirectory(b.dir.filePath("in"));
        pack.start(jlha, {QStringLiteral("a"), QStringLiteral("KYD011117.lzh"),
                          QStringLiteral("KYD011117.txt")});
        QVERIFY(pack.waitForFinished() && pack.exitCode() == 0);
        QFile::remove(b.dir.filePath("in/KYD011117.txt"));

        Form1& form = b.open();
        const QString archive = b.dir.filePath("in/KYD011117.lzh");
        b.dialogs.files.push_back({archive});
        QTest::mouseClick(button(form, Button::KYD), Qt::LeftButton);
        QVERIFY(b.waitForImport());
        QCOMPARE(b.dialogs.texts(), QStringList{"競走馬データを取り込みました\n" + archive});
        const QByteArray md = b.output(QStringLiteral("MDATA/MD013東.DAT"));
        QVERIFY2(md.startsWith("05013112070 ") && md.contains("\r\n05013112080 "), md.constData());
        // No extracted file is left behind; the archive stays where it was.
        QCOMPARE(b.leftInProgramFolder(), QStringList{});
        QVERIFY(QFile::exists(b.dir.filePath("in/KYD011117.lzh")));
    }

    void drops_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("written");  // an output file, or empty
        QTest::newRow("no files") << QStringList{} << QStringList{kComplete} << QString();
        QTest::newRow("unsupported")
            << QStringList{"notes.txt"} << QStringList{kUnsupported, kComplete} << QString();
        QTest::newRow("unknown kinds") << QStringList{"KYH011117.lzh", "S4011117.lzh"}
                                       << QStringList{kUnsupported, kComplete} << QString();
        QTest::newRow("text file among others")
            << QStringList{"notes.txt", "KYD011117.txt"} << QStringList{kUnsupported, kComplete}
            << QStringLiteral("MDATA/MD013東.DAT");
    }
    // Files dropped, and files given on the command line (`velt FILE...`), alike.
    void drops() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, messages);
        QFETCH(QString, written);
        for (const bool dropped : {true, false}) {
            Bench b;
            b.chooseTarget();
            Form1& form = b.open();
            QStringList paths;
            std::vector<std::string> given;
            for (const QString& name : names) {
                paths << b.file(name, name.startsWith("KYD") ? kydRecord() + "\r\n" : "x\r\n");
                given.push_back(paths.back().toStdString());
            }
            if (dropped) {
                QVERIFY(b.drop(paths));
            } else {
                form.importAsDrop(given);
                QVERIFY(QTest::qWaitFor([&] { return !form.importing(); }));
            }
            // The first lines; one "unsupported" message names every file not imported.
            QStringList shown;
            for (const QString& text : b.dialogs.texts()) {
                shown << text.section('\n', 0, 0);
                for (const QString& name : names)
                    if (text.startsWith(kUnsupported))
                        QCOMPARE(text.contains('/' + name), !name.startsWith("KYD"));
            }
            QCOMPARE(shown, messages);
            for (const auto& m : b.dialogs.messages) QCOMPARE(m.title, kTitle);
            if (!written.isEmpty()) QVERIFY(b.output(written).startsWith("05013112070 "));
            QVERIFY(!form.importing());
        }
    }

    // A dropped folder: its recognised files are imported, the others named in one message.
    void dropFolder() {
        Bench b;
        b.chooseTarget();
        b.open();
        QVERIFY(QDir(b.dir.path()).mkpath("day"));
        b.file("day/KYI011117.txt", kydRecord() + "\r\n");
        b.file("day/notes.txt", "x\r\n");
        b.file("day/BAC011117.txt", "x\r\n");
        QVERIFY(b.drop({b.dir.filePath("day")}));
        const QStringList texts = b.dialogs.texts();
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts[0].startsWith(kUnsupported) && texts[0].contains("notes.txt") &&
                texts[0].contains("BAC011117.txt"));
        QCOMPARE(texts[1], kComplete);
        QVERIFY(b.output(QStringLiteral("MDATA/MD013東.DAT")).startsWith("05013112070 "));
    }

    // Comment records dated 2007 and 2008 beside a KYD file, with only KCOM_DATA/2009 there: one
    // question names both; yes creates just those and imports, no writes nothing.
    void yearFolderQuestion_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void yearFolderQuestion() {
        QFETCH(bool, yes);
        Bench b;
        b.chooseTarget();
        QVERIFY(QDir().mkpath(b.target + "KCOM_DATA/2009"));
        b.open();
        QByteArray comments;
        for (const char* date : {"20071118", "20081118", "20091122", "20071202"}) {
            QByteArray record = QByteArray("05096601010000000000") + date;
            comments += record.left(18) + date + QByteArray(273 - 26, ' ') + "\r\n";
        }
        b.dialogs.answers.push_back(yes);
        QVERIFY(b.drop(
            {b.file("KYD011117.txt", kydRecord() + "\r\n"), b.file("ZKA091122.txt", comments)}));
        QCOMPARE(b.dialogs.questions.size(), 1);
        QVERIFY(b.dialogs.questions[0].contains(QStringLiteral("2007、2008\n作成しますか?")));
        const QStringList years =
            QDir(b.target + "KCOM_DATA").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(years, yes ? QStringList({"2007", "2008", "2009"}) : QStringList{"2009"});
        QCOMPARE(QDir(b.target + "MDATA").isEmpty(), !yes);
        QCOMPARE(QDir(b.target + "KCOM_DATA/2009").isEmpty(), !yes);
        if (yes) QVERIFY(b.output("KCOM_DATA/2007/KC2007120205.DAT").startsWith("200712020506"));
        const QStringList texts = b.dialogs.texts();
        QCOMPARE(texts.size(), 1);
        QVERIFY(yes ? texts[0] == kComplete
                    : texts[0].contains(QStringLiteral("何も書き込んでいません")));
    }

    // A drop while another import holds the data folder: the progress dialog says it waits, and
    // the import follows once the other is done.
    void dropWaitsForAnotherImport() {
        Bench b;
        b.chooseTarget();
        b.open();
        using velt::platform::FolderLock;
        std::optional<FolderLock> other =
            FolderLock::tryAcquire(FolderLock::fileOf(b.target.toStdString()));
        bool wroteMeanwhile = true;
        QTimer::singleShot(400, [&] {
            wroteMeanwhile = !QDir(b.target + "MDATA").isEmpty();
            other.reset();
        });
        QVERIFY(b.drop({b.file("KYD011117.txt", kydRecord() + "\r\n")}));
        QVERIFY(!b.dialogs.progressLabels.isEmpty());
        QVERIFY2(b.dialogs.progressLabels.first().startsWith(
                     QStringLiteral("別の取り込みが終わるのを待っています")),
                 qPrintable(b.dialogs.progressLabels.first()));
        QVERIFY(b.dialogs.progressAtOnce.front());
        QVERIFY(!wroteMeanwhile);
        QCOMPARE(b.dialogs.texts(), QStringList{kComplete});
        QVERIFY(b.output("MDATA/MD013東.DAT").startsWith("05013112070 "));
    }

    void dropShowsProgress() {
        Bench b;
        b.chooseTarget();
        b.open();
        const QStringList paths = {b.file("KYD011117.txt", kydRecord() + "\r\n"),
                                   b.file("KYD011118.txt", kydRecord("08") + "\r\n")};
        QVERIFY(b.drop(paths));
        QCOMPARE(b.dialogs.texts(), QStringList{kComplete});
        QVERIFY(!b.dialogs.progressLabels.isEmpty());
        // The newest progress at each moment: every label names its file among the two.
        for (const QString& label : b.dialogs.progressLabels)
            QVERIFY2(label.contains(QRegularExpression(
                         "^取り込み中: KYD01111[78].txt（[12]/2）\n読み込んだレコード: [01] 件$")),
                     qPrintable(label));
        QVERIFY(b.dialogs.progressLabels.last().contains("KYD011118.txt（2/2）"));
        for (bool atOnce : b.dialogs.progressAtOnce) QVERIFY(!atOnce);  // only after a moment
    }

    // The engine is handed the text of `Text1` as it stands at each import, typed or chosen.
    void dataFolderFromText1() {
        Bench b;
        Form1& form = b.open();
        const QString kyd = b.file("KYD011117.txt", kydRecord() + "\r\n");
        QVERIFY(b.drop({kyd}));
        QCOMPARE(b.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(b.dialogs.messages.front().icon, Dialogs::Icon::Warning);  // no folder chosen
        QCOMPARE(b.output("MDATA/MD013東.DAT"), QByteArray("<missing>"));

        b.dialogs.messages.clear();
        form.findChild<QLineEdit*>("Text1")->setText(b.target);
        QVERIFY(b.drop({kyd}));
        QCOMPARE(b.dialogs.texts(), QStringList{kComplete});
        QVERIFY(b.output("MDATA/MD013東.DAT").startsWith("05013112070 "));
        QCOMPARE(b.storedFolder(), QStringLiteral("<none>"));  // typed, not saved
    }

    // A good file and a damaged archive, through each path: the boxes as ever (the damaged
    // archive's first box naming it), no completion after the failure, and one summary listing
    // the failure first, then the other file with its counts.
    void summaryFromEveryPath_data() {
        QTest::addColumn<int>("path");
        QTest::newRow("button") << 0;
        QTest::newRow("drop") << 1;
        QTest::newRow("command line") << 2;
    }
    void summaryFromEveryPath() {
        QFETCH(int, path);
        Bench b;
        b.chooseTarget();
        Form1& form = b.open();
        const QString good = b.file("KYD011117.txt", kydRecord() + "\r\n");
        const QString bad = b.file("KYD011118.lzh", "no archive at all");
        if (path == 0) {
            b.dialogs.files.push_back({good, bad});
            QTest::mouseClick(button(form, Button::KYD), Qt::LeftButton);
            QVERIFY(b.waitForImport());
        } else if (path == 1) {
            QVERIFY(b.drop({good, bad}));
        } else {
            form.importAsDrop({good.toStdString(), bad.toStdString()});
            QVERIFY(b.waitForImport());
        }
        const QStringList texts = b.dialogs.texts();
        QVERIFY2(texts.contains("解凍に失敗しました。No.5\n" + bad), qPrintable(texts.join('|')));
        QVERIFY(!texts.join('|').contains(kComplete));
        QCOMPARE(b.dialogs.reports.size(), 1);
        const QString report = b.dialogs.reports[0];
        QVERIFY2(report.startsWith("2 件のファイル: 取り込み 1 件、失敗 1 件\n\n" + bad +
                                   "\n    KYD: 失敗\n"),
                 qPrintable(report));
        QVERIFY2(report.contains(
                     good + "\n    KYD: 取り込みました\n"
                            "    レコード: 読み込み 1、書き込み 1、既にあり 0、JRA 以外 0、不正 0"),
                 qPrintable(report));
        QVERIFY(b.output("MDATA/MD013東.DAT").startsWith("05013112070 "));
    }

    // A long import: the progress dialog appears after a moment, naming the file and the records;
    // the window's event loop runs meanwhile with the buttons disabled; its cancel stops the drop
    // after the file being imported, and the summary says what was left.
    void longImportDrawsAndCancels() {
        Bench b;
        b.chooseTarget();
        Form1& form = b.open();
        form.show();
        b.dialogs.realProgress = true;
        QStringList paths;
        for (const char* day : {"011117", "011118", "011124", "011125", "011201", "011202"})
            paths << b.file(QStringLiteral("KYD%1.txt").arg(day), kydRecord() + "\r\n");
        qputenv("VELT_TEST_PAUSE", "input-done:300");
        int ticks = 0;
        bool disabled = true;
        QString label;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            disabled = disabled && (!form.importing() || !button(form, Button::KYD)->isEnabled());
            auto* progress = form.findChild<QProgressDialog*>();
            if (label.isEmpty() && progress && progress->isVisible()) {
                label = progress->labelText();
                progress->findChild<QPushButton*>()->click();
            }
        });
        timer.start(20);
        const bool dropped = b.drop(paths);
        qunsetenv("VELT_TEST_PAUSE");
        QVERIFY(dropped);
        QVERIFY2(ticks > 20, qPrintable(QString::number(ticks)));
        QVERIFY(disabled);
        QVERIFY2(
            label.contains(QRegularExpression("^取り込み中: KYD01\\d{4}.txt（\\d/6）\n読み込んだ"
                                              "レコード: \\d 件")),
            qPrintable(label));
        QVERIFY(button(form, Button::KYD)->isEnabled());
        QVERIFY(b.dialogs.texts().isEmpty());  // no completion: not everything was imported
        QCOMPARE(b.dialogs.reports.size(), 1);
        QVERIFY2(b.dialogs.reports[0].contains("中止により未処理") &&
                     b.dialogs.reports[0].contains("KYD011202.txt\n    KYD: 中止したため"),
                 qPrintable(b.dialogs.reports[0]));
    }

    void messagesAndProgress() {
        Bench b;
        FakeDialogs& dialogs = b.dialogs;
        velt::WindowMessages messages(b.open());
        messages.beginImport({"/in/OZ011117.lzh"});
        messages.progress("/in/OZ011117.lzh", 0, 200, 0);
        messages.progress("/in/OZ011117.lzh", 0, 200, 0);  // nothing new to show
        messages.progress("/in/OZ011117.lzh", 100, 200, 2000);
        messages.progress("/tmp/OZ011117.txt", 300, 0, 0);
        const QString records = QStringLiteral("\n読み込んだレコード: ");
        QCOMPARE(dialogs.progressLabels,
                 (QStringList{"取り込み中: OZ011117.lzh" + records + "0 件",
                              "取り込み中: OZ011117.lzh" + records + "2000 件",
                              "取り込み中: OZ011117.txt" + records + "0 件"}));
        QCOMPARE(dialogs.progressAtOnce, (std::vector<bool>{false, false, false}));
        messages.message({velt::Message::Kind::Outcome, "オッズ取り込み完了", ""});
        messages.message({velt::Message::Kind::Failure, "解凍に失敗しました。No.5", "圧縮失敗",
                          velt::Message::Icon::Exclamation, "/in/OZ011117.lzh"});
        QCOMPARE(dialogs.messages[0].title, kTitle);
        QCOMPARE(dialogs.messages[1].text,
                 QStringLiteral("解凍に失敗しました。No.5\n/in/OZ011117.lzh"));
        QCOMPARE(dialogs.messages[1].title, QStringLiteral("圧縮失敗"));
        QCOMPARE(dialogs.messages[1].icon, Dialogs::Icon::Exclamation);
    }

    // The real progress dialog: modal over the whole program, shown at once for several files.
    void progressDialog() {
        QWidget owner;
        owner.show();
        velt::QtDialogs dialogs;
        int cancels = 0;
        dialogs.showProgress(&owner, QStringLiteral("取り込み中: KYD011117.txt（1/2）"), 500, true,
                             [&] { ++cancels; });
        auto* progress = owner.findChild<QProgressDialog*>();
        QVERIFY(progress && progress->isVisible());
        QCOMPARE(progress->windowModality(), Qt::ApplicationModal);
        QCOMPARE(progress->labelText(), QStringLiteral("取り込み中: KYD011117.txt（1/2）"));
        QCOMPARE(progress->value(), 500);
        QVERIFY(!progress->close());  // the user cannot close it halfway
        // Cancel waits for the file under way: the dialog stays, and says so.
        progress->findChild<QPushButton*>()->click();
        QCOMPARE(cancels, 1);
        QVERIFY(progress->isVisible());
        dialogs.showProgress(&owner, QStringLiteral("取り込み中: KYD011117.txt（1/2）"), 700, true,
                             {});
        QVERIFY(progress->labelText().contains(QStringLiteral("中止します")));
        dialogs.endProgress();
        QVERIFY(!owner.findChild<QProgressDialog*>());

        dialogs.showProgress(&owner, QStringLiteral("取り込み中: KYD011117.txt"), 1, false, {});
        QVERIFY(!owner.findChild<QProgressDialog*>()->isVisible());  // not for a moment's work
        dialogs.endProgress();
    }

    void help() {
        Bench b;
        Form1& form = b.open();
        menuItem(form, Command::ShowHelp)->trigger();
        QCOMPARE(b.dialogs.urls,
                 (std::vector<QUrl>{QUrl::fromLocalFile(b.program + "readme.html")}));
        QVERIFY(b.dialogs.messages.empty());

        b.dialogs.urlsOpen = false;
        menuItem(form, Command::ShowHelp)->trigger();
        QCOMPARE(b.dialogs.messages.size(), std::size_t(1));
        QVERIFY(b.dialogs.messages[0].text.contains(b.program + "readme.html"));
    }

    // An install: the help page in share/velt/, and the data folder in the user's configuration
    // folder, written and read back by the window and velt-cli alike.
    void installedTree() {
        QTemporaryDir dir;
        const QString prefix = dir.path() + '/', config = prefix + "config/";
        for (const char* sub : {"bin", "share/velt", "target", "other/MDATA"})
            QDir().mkpath(prefix + QLatin1String(sub));
        QFile(prefix + "share/velt/readme.html").open(QIODevice::WriteOnly);
        QVERIFY(QFile::copy(QStringLiteral(VELT_CLI), prefix + "bin/velt-cli"));
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        auto cli = [&](const QStringList& args) {
            QProcess p;
            p.start(prefix + "bin/velt-cli", args);
            p.waitForFinished();
            return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
        };

        QVERIFY(!cli({"--set-data-folder", prefix + "target"}).isEmpty());
        FakeDialogs dialogs;
        Form1 form((prefix + "bin/").toStdString(), dialogs);
        QCOMPARE(form.findChild<QLineEdit*>("Text1")->text(), prefix + "target/");

        dialogs.folders.push_back(prefix + "other");
        QTest::mouseClick(folderButton(form), Qt::LeftButton);
        const QString help = cli({"--help"});
        QVERIFY2(help.contains("設定ファイル: " + config + "velt/velt.ini"), qPrintable(help));
        QVERIFY2(help.contains("保存されているデータフォルダ: " + prefix + "other/"),
                 qPrintable(help));
        QVERIFY(!QFile::exists(prefix + "bin/velt.ini"));

        menuItem(form, Command::ShowHelp)->trigger();
        QCOMPARE(dialogs.urls,
                 (std::vector<QUrl>{QUrl::fromLocalFile(prefix + "share/velt/readme.html")}));
        QVERIFY(dialogs.messages.empty());
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }

    // Qt's own texts (file dialogs, standard buttons) speak the window's language.
    void qtDialogsInJapanese() {
        QVERIFY(velt::loadQtJapanese());
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Open);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        QCOMPARE(box.button(QDialogButtonBox::Open)->text(), QStringLiteral("開く"));
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        const QLabel* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        QVERIFY(lookIn);
        QVERIFY2(!lookIn->text().contains("Look in"), qPrintable(lookIn->text()));
    }

    // The menu opens the history of the data folder by race day; a drop's import is in it.
    void historyFromTheMenu() {
        Bench b;
        b.chooseTarget();
        Form1& form = b.open();
        QVERIFY(b.drop({b.file(QStringLiteral("KYD011117.txt"), kydRecord() + "\r\n")}));
        menuItem(form, Command::ShowHistory)->trigger();
        auto* dialog = form.findChild<QDialog*>(QStringLiteral("historyDialog"));
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        QCOMPARE(dialog->windowTitle(), QString::fromUtf8(velt::kHistoryDialogTitle));
        auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("historyDays"));
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 1);
        const QStringList row = {"2001-11-17", "○", "×", "×", "×", "×", "KYD011117.txt"};
        for (int col = 0; col < row.size(); ++col) QCOMPARE(table->item(0, col)->text(), row[col]);
        dialog->close();
    }

    void aboutBox() {
        Bench b;
        Form1& form = b.open();
        form.show();
        QVERIFY(!form.about());
        menuItem(form, Command::ShowAbout)->trigger();
        velt::VeltAbout* about = form.about();
        QVERIFY(about && about->isVisible() && !about->isModal());
        const velt::AboutTexts texts = velt::aboutTexts();
        QCOMPARE(about->windowTitle(), QString::fromStdString(texts.caption));
        const std::pair<const char*, std::string> labels[] = {
            {"lblTitle", texts.title},
            {"lblVersion", texts.version},
            {"lblDescription", texts.description},
            {"Label1", texts.reports},
            {"Label2", texts.help},
        };
        for (const auto& [name, text] : labels) {
            auto* label = about->findChild<QLabel*>(name);
            QVERIFY2(label, name);
            QCOMPARE(label->text(), QString::fromStdString(text));
        }
        QCOMPARE(about->findChild<QLabel*>("lblTitle")->font().pointSize(), velt::kGothicPoints);
        QCOMPARE(about->findChild<QPushButton*>("cmdOK")->text(), QString::fromStdString(texts.ok));
        QVERIFY(about->findChild<QLabel*>("picIcon") && about->findChild<QFrame*>("Line1"));

        // Asked twice: the same box, shown again; the main window stays usable meanwhile.
        QTest::mouseClick(about->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        QVERIFY(!about->isVisible());
        menuItem(form, Command::ShowAbout)->trigger();
        menuItem(form, Command::ShowAbout)->trigger();
        QCOMPARE(form.about(), about);
        QVERIFY(about->isVisible());
        int boxes = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            boxes += qobject_cast<velt::VeltAbout*>(w) != nullptr;
        QCOMPARE(boxes, 1);
        b.dialogs.folders.push_back(QString());
        QTest::mouseClick(folderButton(form), Qt::LeftButton);
        QCOMPARE(b.dialogs.folderTitles.size(), 1);

        // "終了" closes the main window; the program goes on until the about box is closed too.
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        bool aboutOpenAtEnd = true;
        connect(qApp, &QGuiApplication::lastWindowClosed, this,
                [&] { aboutOpenAtEnd = about->isVisible(); });
        QTimer::singleShot(0, &form, [&] {
            menuItem(form, Command::Exit)->trigger();
            QTimer::singleShot(100, about, [&] { about->close(); });
        });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!form.isVisible());
        QCOMPARE(lastClosed.count(), 1);
        QVERIFY(!aboutOpenAtEnd);
    }
};

QTEST_MAIN(WindowTest)
#include "gui_window_test.moc"
