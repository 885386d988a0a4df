#pragma once
// The dialogs and message boxes of the window, behind one small interface that tests replace.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace velt {

class Dialogs {
public:
    enum class Icon { None, Exclamation, Warning };
    virtual ~Dialogs() = default;

    // The open-file dialog opened at the folder `start`, its name filters ("名前 (KYD* kyd*)")
    // the first chosen: the full paths of one or more files, none when the user cancels.
    virtual QStringList chooseFiles(QWidget* parent, const QString& title, const QString& start,
                                    const QStringList& filters) = 0;
    // The folder dialog opened at `start`: the chosen folder, or empty text when cancelled.
    virtual QString chooseFolder(QWidget* parent, const QString& title, const QString& start) = 0;
    // A plain OK message box.
    virtual void showMessage(QWidget* parent, const QString& text, const QString& title,
                             Icon icon) = 0;
    // A question with Yes and No buttons: true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text, const QString& title) = 0;
    // Opens a document with the desktop's program for it; false when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Long work: shows (at once, or once the work has taken about half a second) a modal progress
    // dialog reading `label`, `permille` of the current file done; its cancel button calls
    // `cancel`. endProgress hides it.
    virtual void showProgress(QWidget* parent, const QString& label, int permille, bool atOnce,
                              const std::function<void()>& cancel) = 0;
    virtual void endProgress() = 0;
    // The summary of an import, with a button that copies its text.
    virtual void showReport(QWidget* parent, const QString& title, const QString& text) = 0;
};

// Loads Qt's own Japanese texts (qtbase_ja.qm of Qt's translations folder), whatever the locale,
// so that the file dialogs and standard buttons speak the window's language. False when missing.
bool loadQtJapanese();

// The real dialogs of Qt and the desktop.
class QtDialogs : public Dialogs {
public:
    QtDialogs();
    ~QtDialogs() override;

    QStringList chooseFiles(QWidget* parent, const QString& title, const QString& start,
                            const QStringList& filters) override;
    QString chooseFolder(QWidget* parent, const QString& title, const QString& start) override;
    void showMessage(QWidget* parent, const QString& text, const QString& title,
                     Icon icon) override;
    bool askYesNo(QWidget* parent, const QString& text, const QString& title) override;
    bool openUrl(const QUrl& url) override;
    void showProgress(QWidget* parent, const QString& label, int permille, bool atOnce,
                      const std::function<void()>& cancel) override;
    void endProgress() override;
    void showReport(QWidget* parent, const QString& title, const QString& text) override;

private:
    std::unique_ptr<QProgressDialog> progress_;
};

}  // namespace velt
