#pragma once
// A stand-in for the window's dialogs: answers from a script, records what was shown.

#include <QStringList>
#include <deque>
#include <vector>

#include "dialogs.h"

namespace velt {

class FakeDialogs : public Dialogs {
public:
    struct Shown {
        QString text;
        QString title;
        Icon icon;
    };

    std::deque<QStringList> files;  // answers of the open-file dialog; none is a cancel
    std::deque<QString> folders;  // answers of the folder dialog
    bool urlsOpen = true;
    std::deque<bool> answers;  // answers of the yes/no questions; No once they run out
    QStringList questions;

    QStringList fileTitles, fileStarts, folderTitles, folderStarts;
    std::vector<QStringList> fileFilters;
    QStringList reports;
    std::function<void()> cancel;  // the progress dialog's cancel button
    bool realProgress = false;     // the progress dialog is Qt's own
    QtDialogs qt;
    std::vector<Shown> messages;
    std::vector<QUrl> urls;
    QStringList progressLabels;
    std::vector<bool> progressAtOnce;

    QStringList chooseFiles(QWidget*, const QString& title, const QString& start,
                            const QStringList& filters) override {
        fileTitles << title;
        fileStarts << start;
        fileFilters.push_back(filters);
        if (files.empty()) return {};
        QStringList answer = files.front();
        files.pop_front();
        return answer;
    }
    QString chooseFolder(QWidget*, const QString& title, const QString& start) override {
        folderTitles << title;
        folderStarts << start;
        return take(folders);
    }
    void showMessage(QWidget*, const QString& text, const QString& title, Icon icon) override {
        messages.push_back({text, title, icon});
    }
    bool askYesNo(QWidget*, const QString& text, const QString&) override {
        questions << text;
        if (answers.empty()) return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    bool openUrl(const QUrl& url) override {
        urls.push_back(url);
        return urlsOpen;
    }
    void showProgress(QWidget* parent, const QString& label, int permille, bool atOnce,
                      const std::function<void()>& cancelled) override {
        progressLabels << label;
        progressAtOnce.push_back(atOnce);
        cancel = cancelled;
        if (realProgress) qt.showProgress(parent, label, permille, atOnce, cancelled);
    }
    void endProgress() override { qt.endProgress(); }
    void showReport(QWidget*, const QString&, const QString& text) override { reports << text; }

    QStringList texts() const {
        QStringList list;
        for (const Shown& m : messages) list << m.text;
        return list;
    }

private:
    static QString take(std::deque<QString>& answers) {
        if (answers.empty()) return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace velt
