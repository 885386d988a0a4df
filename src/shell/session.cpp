#include "shell/session.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "platform/system.h"
#include "shell/shown.h"

namespace velt {
namespace {

std::string joined(const std::vector<std::string>& items) {
    std::string list;
    for (const auto& i : items) list += (list.empty() ? "" : "、") + i;
    return list;
}

}  // namespace

ImportSession::ImportSession(const std::string& dataFolder, Messages& messages)
    : dataFolder_(dataFolder), messages_(messages) {
    if (dataFolder_.empty())
        throw Failure({},
                      "Target のデータフォルダが設定されていません。"
                      "「設定」ボタン (コマンド行では velt-cli --set-data-folder DIR) で"
                      "データフォルダを選んでから取り込んでください。");
    if (!platform::isDirectory(dataFolder_) &&
        platform::isRegularFile(dataFolder_.substr(0, dataFolder_.size() - 1)))
        throw Failure({}, "データフォルダ " + shown(dataFolder_) +
                              " はフォルダではなくファイルです。「設定」ボタン (コマンド行では "
                              "velt-cli --set-data-folder DIR) で Target のデータフォルダを選び"
                              "直してください。");
    if (!platform::isDirectory(dataFolder_))
        throw Failure({}, "データフォルダ " + shown(dataFolder_) +
                              " がありません。「設定」ボタン (コマンド行では velt-cli "
                              "--set-data-folder DIR) で Target のデータフォルダを選び直して"
                              "ください。");
    const std::string file = platform::FolderLock::fileOf(dataFolder_);
    try {
        while (!(lock_ = platform::FolderLock::tryAcquire(file))) {
            messages_.waiting(dataFolder_);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } catch (const platform::FileError& e) {
        throw Failure(
            file, "取り込みのロックファイルを作れません: " + causeOf(e) + "。" + kNothingWritten);
    }
    try {
        journal_.emplace(dataFolder_);
    } catch (const Failure& e) {
        throw Failure(e.file(), e.cause() + "。" + kNothingWritten);
    }
    if (!journal_->leftAlone().empty())
        messages_.message({Message::Kind::Failure,
                           shown(journal_->path()) +
                               ": 前回の取り込みの記録のうち、次のものは触れずに残しました: " +
                               shown(joined(journal_->leftAlone())),
                           {},
                           Message::Icon::Warning});
}

ImportSession::~ImportSession() {
    journal_.reset();
    lock_.reset();
}

void ImportSession::checkFolders(const std::set<std::string>& folders) {
    for (const auto& name : folders) {
        const std::string folder = dataFolder_ + name + "/";
        if (!platform::isDirectory(folder))
            throw Failure({}, "データフォルダに " + name + " がありません (" + shown(folder) +
                                  ")。Target のデータフォルダを選び直してください。Velt は " +
                                  name + " を作りません。" + kNothingWritten);
        try {
            platform::checkFolderWritable(folder);
        } catch (const platform::FileError& e) {
            throw Failure(folder, causeOf(e) + "。" + kNothingWritten);
        }
    }
}

void ImportSession::checkOutputFiles(const std::set<std::string>& paths) {
    const std::string kcom = dataFolder_ + "KCOM_DATA/", hdata = dataFolder_ + "HDATA/";
    std::set<std::string> folders;
    for (const auto& path : paths) folders.insert(path.substr(0, path.find_last_of('/') + 1));
    for (const auto& folder : folders) {
        const bool made = folder.size() > kcom.size() && folder.starts_with(kcom) &&
                          std::find(yearsToCreate_.begin(), yearsToCreate_.end(),
                                    folder.substr(kcom.size(), folder.size() - kcom.size() - 1)) !=
                              yearsToCreate_.end();
        if (made) continue;
        if (!platform::isDirectory(folder))
            throw Failure(folder, std::string("フォルダがありません。") + kNothingWritten);
        try {
            platform::checkFolderWritable(folder);
        } catch (const platform::FileError& e) {
            throw Failure(folder, causeOf(e) + "。" + kNothingWritten);
        }
    }
    for (const auto& path : paths) {
        // The odds file is only written; the others are read for their keys first.
        const bool plain = path.starts_with(hdata);
        try {
            platform::File file = platform::File::openIfExists(
                path, (plain ? 0u : platform::Read) | platform::Write | platform::NonBlocking);
            if (file.isOpen() && !plain && file.status().kind != platform::Kind::Regular)
                throw Failure(path,
                              std::string("ファイルではなく装置かパイプです。") + kNothingWritten);
        } catch (const platform::FileError& e) {
            throw Failure(path, "ファイルに書き込めません: " + causeOf(e) + "。" + kNothingWritten);
        }
    }
}

void ImportSession::prepareYearFolders(const std::set<std::string>& years) {
    if (years.empty()) return;
    checkFolders({"KCOM_DATA"});
    const std::string kcom = dataFolder_ + "KCOM_DATA/";
    std::vector<std::string> missing;
    for (const auto& year : years)
        if (!platform::isDirectory(kcom + year)) missing.push_back(year);
    if (missing.empty()) return;
    const std::string list = shown(joined(missing));
    if (!messages_.confirm("KCOM_DATA (" + shown(kcom) +
                           ") に次の年のフォルダがありません: " + list + "\n作成しますか?"))
        throw Failure({}, "KCOM_DATA (" + shown(kcom) + ") に年のフォルダ " + list +
                              " がないので取り込みませんでした。" + kNothingWritten +
                              "(コマンド行では velt-cli --create-year-folders で作成できます)");
    yearsToCreate_ = std::move(missing);
}

void ImportSession::createYearFolders() {
    const std::string kcom = dataFolder_ + "KCOM_DATA/";
    for (const auto& year : std::exchange(yearsToCreate_, {})) {
        try {
            platform::createFolder(kcom + year, 0777);
        } catch (const platform::FileError& e) {
            throw Failure(kcom + year, causeOf(e));
        }
    }
}

}  // namespace velt
