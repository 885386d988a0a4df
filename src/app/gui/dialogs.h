#pragma once
// The dialogs and message boxes of the window, behind one small interface that tests replace.

#include <QString>
#include <QUrl>
#include <memory>

class QProgressDialog;
class QWidget;

namespace velt {

class Dialogs {
public:
    enum class Icon { None, Exclamation, Warning };
    virtual ~Dialogs() = default;

    // The open-file dialog: a full path, or empty text when the user cancels.
    virtual QString chooseFile(QWidget* parent, const QString& title, const QString& start) = 0;
    // The folder dialog: the chosen folder, or empty text when the user cancels.
    virtual QString chooseFolder(QWidget* parent, const QString& title) = 0;
    // A plain OK message box.
    virtual void showMessage(QWidget* parent, const QString& text, const QString& title,
                             Icon icon) = 0;
    // A question with Yes and No buttons: true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text, const QString& title) = 0;
    // Opens a document with the desktop's program for it; false when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Long work: shows (at once, or once the work has taken more than a moment) a modal progress
    // dialog reading `label`, `permille` of the current file done. endProgress hides it.
    virtual void showProgress(QWidget* parent, const QString& label, int permille, bool atOnce) = 0;
    virtual void endProgress() = 0;
};

// Loads Qt's own Japanese texts (qtbase_ja.qm of Qt's translations folder), whatever the locale,
// so that the file dialogs and standard buttons speak the window's language. False when missing.
bool loadQtJapanese();

// The real dialogs of Qt and the desktop.
class QtDialogs : public Dialogs {
public:
    QtDialogs();
    ~QtDialogs() override;

    QString chooseFile(QWidget* parent, const QString& title, const QString& start) override;
    QString chooseFolder(QWidget* parent, const QString& title) override;
    void showMessage(QWidget* parent, const QString& text, const QString& title,
                     Icon icon) override;
    bool askYesNo(QWidget* parent, const QString& text, const QString& title) override;
    bool openUrl(const QUrl& url) override;
    void showProgress(QWidget* parent, const QString& label, int permille, bool atOnce) override;
    void endProgress() override;

private:
    std::unique_ptr<QProgressDialog> progress_;
};

}  // namespace velt
