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

    std::deque<QString> files;    // answers of the open-file dialog; empty text is a cancel
    std::deque<QString> folders;  // answers of the folder dialog
    bool urlsOpen = true;
    std::deque<bool> answers;  // answers of the yes/no questions; No once they run out
    QStringList questions;

    QStringList fileTitles, fileStarts, folderTitles;
    std::vector<Shown> messages;
    std::vector<QUrl> urls;
    QStringList progressLabels;
    std::vector<bool> progressAtOnce;

    QString chooseFile(QWidget*, const QString& title, const QString& start) override {
        fileTitles << title;
        fileStarts << start;
        return take(files);
    }
    QString chooseFolder(QWidget*, const QString& title) override {
        folderTitles << title;
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
    void showProgress(QWidget*, const QString& label, int, bool atOnce) override {
        progressLabels << label;
        progressAtOnce.push_back(atOnce);
    }
    void endProgress() override {}

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
