// ファイル › JRDB から取得… driven offscreen against the fake member area: the dialog filled in,
// the fetch run, and the window's own import of the download.

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "../support/fake_jrdb.h"
#include "fetch_dialog.h"
#include "form1.h"
#include "gui_fake_dialogs.h"

class FetchWindowTest : public QObject {
    Q_OBJECT
private slots:
    void menuItemFetchesTheDayAndImportsIt() {
        QTemporaryDir dir;
        const QString root = dir.filePath("root/member/data/Paci/");
        const QString target = dir.filePath("target/");
        for (const QString& sub : {root, target + "MDATA", target + "HDATA",
                                   target + "KCOM_DATA/2018", dir.filePath("program")})
            QDir().mkpath(sub);
        QVERIFY(
            QFile::copy(VELT_TEST_DATA "/../../samples/PACI181201.lzh", root + "PACI181201.lzh"));
        QFile ini(dir.filePath("program/velt.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Velt]\r\npath=" + target.toUtf8() +
                  "\r\nfetchKinds=PACI\r\ndownloadFolder=" + dir.filePath("dl").toUtf8() + "\r\n");
        ini.close();
        velt::test::FakeJrdb server({"--root", dir.filePath("root").toStdString(), "--id", "m"},
                                    "pw");
        qputenv("VELT_JRDB_URL", QByteArray::fromStdString(server.url() + "member/"));
        qputenv("VELT_JRDB_ID", "m");
        qputenv("VELT_JRDB_PASSWORD", "pw");
        qputenv("VELT_TEST_FETCH_PAUSE_MS", "10");

        velt::FakeDialogs dialogs;
        velt::Form1 form(dir.filePath("program/").toStdString(), dialogs);
        form.show();
        QAction* item = form.findChild<QAction*>("mfetch");
        QVERIFY(item);
        QCOMPARE(item->text(),
                 QString::fromUtf8(velt::formMenuItem(velt::Command::FetchFromJrdb).text));
        QMenu* file = form.findChild<QMenu*>("mFile");
        QCOMPARE(file->actions().value(0), item);

        bool filled = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->findChild<QLineEdit*>("fetchId")->text(), QString("m"));
            QCOMPARE(dialog->findChild<QLineEdit*>("fetchKinds")->text(), QString("PACI"));
            dialog->findChild<QLineEdit*>("fetchDays")->setText("181201");
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            filled = true;
        });
        item->trigger();
        QVERIFY(filled);
        QVERIFY(QTest::qWaitFor([&] { return !form.importing(); }, 20000));
        QVERIFY(QFile::exists(dir.filePath("dl/PACI181201.lzh")));
        QVERIFY2(QFileInfo(target + "velt-history.tsv").size() > 0,
                 qPrintable(dialogs.texts().join("\n")));
        QVERIFY2(dialogs.texts().join("\n").contains("すべての処理完了"),
                 qPrintable(dialogs.texts().join("\n")));
    }
};

QTEST_MAIN(FetchWindowTest)
#include "fetch_window_test.moc"
