// velt-cli: imports JRDB files into Target's data folder from the command line.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/fetch_command.h"
#include "app/cli/login.h"
#include "platform/console.h"
#include "platform/failure.h"
#include "platform/file.h"
#include "platform/system.h"
#include "shell/history.h"
#include "shell/import_engine.h"
#include "shell/lha_archive.h"
#include "shell/recognition.h"
#include "shell/settings.h"
#include "shell/shown.h"
#include "shell/version.h"

namespace {

// Japanese must reach a Windows console as wide characters: every message goes through print.
using velt::platform::print;

const char kUsage[] =
    "使い方: velt-cli [--data-folder DIR] [--create-year-folders] [--quiet] FILE...\n"
    "        velt-cli [--data-folder DIR] [--create-year-folders] [--quiet] --as KIND FILE\n"
    "        velt-cli --set-data-folder DIR\n"
    "        velt-cli --dry-run [--as KIND] FILE...\n"
    "        velt-cli [--quiet] --extract ARCHIVE FOLDER\n"
    "        velt-cli [--data-folder DIR] --history\n"
    "        velt-cli [--quiet] [--dry-run] [--refetch] --fetch [--since DATE | DATE...]\n"
    "        velt-cli [--quiet] --jrdb-login | --jrdb-logout\n"
    "\n"
    "JRDB のデータファイルを Target のデータファイルに変換します。\n"
    "FILE の種類は、ウィンドウにドロップしたときと同じく名前で見分けます: KYD、KYG、KYI、SEB、\n"
    "SEC、SED、ZEB、ZEC、ZED、SKA、SKB、ZKA、ZKB、OZ のファイルと書庫 (KYI181201.lzh、\n"
    "SED170108.txt など)、年ごとの ZIP (SED_2017.zip)、ラップの書庫 s3、JRDB と PACI の\n"
    "パック (JRDB181201.lzh、PACI181201.lzh)、ラップのファイル JracSei1.dat。フォルダを\n"
    "渡すと、そのすぐ下の見分けられるファイルをすべて日付順に取り込みます。\n"
    "\n"
    "  --data-folder DIR      Target のデータフォルダ (MDATA、HDATA、KCOM_DATA のあるフォルダ)。\n"
    "                         省略するとウィンドウか --set-data-folder で保存したフォルダ\n"
    "  --create-year-folders  成績拡張データに要る KCOM_DATA の年のフォルダがなければ、\n"
    "                         尋ねずに作成する (省略すると、足りない年をすべて挙げて、\n"
    "                         何も書き込まずに止まる)\n"
    "  --as KIND FILE         名前にかかわらず FILE を KIND の変換で取り込む。KIND はボタン\n"
    "                         (KYD、SEBZEB、OZ、SKAZKA、J) か種類 (KYI、SED など)。書庫からは\n"
    "                         その種類のメンバーを読む\n"
    "  --set-data-folder DIR  DIR をデータフォルダとして保存する (ウィンドウと共通)\n"
    "  --dry-run              取り込む順にファイルと中のテキスト、要る年のフォルダを\n"
    "                         表示するだけで、何も書き込まない\n"
    "  --extract ARCHIVE FOLDER\n"
    "                         書庫 (LHA か ZIP) のファイルをすべて確かめてから\n"
    "                         FOLDER に書き出す (LHA の解凍ツールがなくても使える)。\n"
    "                         書庫の中のフォルダは作らず、既にあるファイルは上書き\n"
    "                         しない。名前が安全でないファイルと既にあるファイルは\n"
    "                         書き出さずに挙げる\n"
    "  --history              データフォルダの取り込み履歴を表示する: 開催日ごとに取り込んだ\n"
    "                         種類 (○ あり、× なし) と、取り込んだファイルすべて\n"
    "  --fetch [DATE...]      JRDB の会員ページから DATE (181201 か 2018-12-01) の書庫を\n"
    "                         ダウンロードして取り込む。DATE を省くと、取り込み履歴の最新の\n"
    "                         開催日 (履歴がなければ 14 日前) 以降で、まだ取り込んでいない\n"
    "                         ものすべて。ログインは --jrdb-login で保存したもの\n"
    "  --since DATE           --fetch で、DATE 以降の取り込んでいない日も取得する\n"
    "  --fetch-kinds KINDS    取得する種類を保存する (既定は \"PACI SED SKB\")\n"
    "  --download-folder DIR  書庫を保存するフォルダを保存する (既定は ダウンロード/JRDB)\n"
    "  --refetch              ダウンロードフォルダにある書庫も取り込み済みの書庫も取得し直す\n"
    "  --jrdb-url URL         会員ページのアドレス (既定は https://jrdb.com/member/。\n"
    "                         環境変数 VELT_JRDB_URL でも指定できる)\n"
    "  --jrdb-login           JRDB の会員 ID とパスワードを端末で尋ね (パスワードは表示\n"
    "                         しない)、システムの資格情報の保存先に保存する\n"
    "                         (環境変数 VELT_JRDB_ID、VELT_JRDB_PASSWORD があればそれを使う)\n"
    "  --jrdb-logout          保存した JRDB のログインを消す\n"
    "  --quiet                失敗だけを表示する\n"
    "  --help                 この説明を表示する\n"
    "  --version              バージョンを表示する\n"
    "\n"
    "終了コード: すべて取り込めたら 0、失敗したか見分けられないファイルがあれば 1、\n"
    "使い方の誤りは 2。\n";

int usageError(const std::string& what) {
    print(stderr, "velt-cli: %s\n使い方は 'velt-cli --help' で表示されます。\n", what.c_str());
    return 2;
}

std::string asFolder(const std::string& dir) {
    std::string path = velt::platform::absolutePath(dir);
    if (path.empty() || !velt::platform::isSeparator(path.back()))
        path += velt::platform::kSeparator;
    return path;
}

// Prints the engine's messages: outcomes on standard output, failures on standard error, and a
// progress bar on standard error when it is a terminal and an import takes more than a moment.
class ConsoleMessages : public velt::Messages {
public:
    ConsoleMessages(bool quiet, bool createYearFolders)
        : quiet_(quiet),
          createYearFolders_(createYearFolders),
          terminal_(velt::platform::stderrIsTerminal()) {}

    // Answered by --create-year-folders, which the report of a "no" names.
    bool confirm(const std::string& question) override {
        clearBar();
        if (createYearFolders_ && !quiet_)
            print(stdout, "%s\n--create-year-folders により作成します。\n",
                  question.substr(0, question.find('\n')).c_str());
        return createYearFolders_;
    }

    void message(const velt::Message& m) override {
        clearBar();
        switch (m.kind) {
            case velt::Message::Kind::Outcome:
                if (!quiet_) {
                    print(stdout, "%s\n", m.text.c_str());
                    std::fflush(stdout);
                }
                break;
            case velt::Message::Kind::Completion:
                // It closes the run: it follows the summaries of the files.
                closing_ = m.text;
                break;
            case velt::Message::Kind::Rejection:
                // The files that were not imported are listed once, at the end.
                skipped_ = m.text;
                break;
            case velt::Message::Kind::Failure:
                if (m.title.empty())
                    print(stderr, "velt-cli: %s\n", m.text.c_str());
                else
                    print(stderr, "velt-cli: %s: %s\n", m.title.c_str(), m.text.c_str());
                break;
        }
    }

    void progress(const std::string& input, std::uint64_t done, std::uint64_t total,
                  std::size_t) override {
        if (quiet_ || !terminal_) return;
        auto now = std::chrono::steady_clock::now();
        if (input != input_) {
            clearBar();
            input_ = input;
            started_ = now;
        }
        if (now - started_ < std::chrono::milliseconds(500)) return;
        int percent = total ? static_cast<int>(done * 100 / total) : 100;
        const int width = 30;
        std::string bar(static_cast<std::size_t>(width * percent / 100), '#');
        bar.resize(width, '-');
        print(
            stderr, "\r[%s] %3d%% %s", bar.c_str(), percent,
            velt::shown(input.substr(input.find_last_of(velt::platform::kSeparators) + 1)).c_str());
        std::fflush(stderr);
        barShown_ = true;
    }

    // Once: the import waits for another that holds the data folder.
    void waiting(const std::string& dataFolder) override {
        if (quiet_ || waitShown_) return;
        clearBar();
        print(stderr, "velt-cli: 別の取り込みが終わるのを待っています… (%s)\n",
              velt::shown(dataFolder).c_str());
        waitShown_ = true;
    }

    // The files not imported, then the final line: how many files went in and how many failed;
    // the completion text only when every one did.
    void printClosing(std::size_t imported, std::size_t failed) {
        std::fflush(stdout);  // the summaries come first, also where both go to one file
        if (!skipped_.empty()) print(stderr, "velt-cli: %s\n", skipped_.c_str());
        if (failed) {
            print(quiet_ ? stderr : stdout, "%zu 件のファイルを取り込み、%zu 件は失敗しました。\n",
                  imported, failed);
        } else if (!quiet_) {
            print(stdout, "%zu 件のファイルを取り込みました (失敗 0 件)。%s\n", imported,
                  closing_.c_str());
        }
        closing_.clear();
    }

    void clearBar() {
        if (!barShown_) return;
        print(stderr, "\r\033[K");
        barShown_ = false;
    }

private:
    bool quiet_;
    bool createYearFolders_;
    bool terminal_;
    bool barShown_ = false;
    bool waitShown_ = false;
    std::string input_;
    std::string closing_;
    std::string skipped_;
    std::chrono::steady_clock::time_point started_;
};

// One input's records. Files that were not recognised are named in the closing list.
void printSummary(const velt::ImportSummary& s, bool quiet) {
    if (!s.recognised || quiet) return;
    const std::string before =
        s.previouslyImported.empty() ? "" : " 以前に取り込み済み (" + s.previouslyImported + ")";
    print(stdout, "%s: %s (レコード: 読み込み %zu、書き込み %zu、既にあり %zu、不正 %zu%s)%s\n",
          velt::shown(s.input).c_str(), s.succeeded ? "取り込みました" : "失敗しました",
          s.linesRead, s.written, s.present, s.malformed,
          s.outOfScope ? ("、JRA 以外 " + std::to_string(s.outOfScope)).c_str() : "",
          before.c_str());
}

// What an import would do; 1 when some input could not be imported.
int printPreview(const velt::ImportPreview& preview) {
    auto list = [](const std::vector<std::string>& items) {
        std::string text;
        for (const auto& i : items) text += (text.empty() ? "" : "、") + i;
        return text.empty() ? std::string("なし") : text;
    };
    print(stdout,
          "%s要る年のフォルダ (KCOM_DATA): %s\nそのうちないもの: %s\n"
          "(--dry-run: 何も書き込んでいません)\n",
          preview.plan.c_str(), list(preview.yearFolders).c_str(),
          list(preview.missingYearFolders).c_str());
    return preview.complete ? 0 : 1;
}

// The data folder's history; 1 when there is no data folder or its history cannot be read.
int printHistory(const std::string& dataFolder) {
    if (dataFolder.empty()) {
        print(stderr, "velt-cli: データフォルダが設定されていません\n");
        return 1;
    }
    const auto entries = velt::readHistory(dataFolder);
    if (entries.empty())
        print(stdout, "%s: 取り込み履歴はまだありません\n",
              velt::shown(velt::historyFileOf(dataFolder)).c_str());
    else
        print(stdout, "%s", velt::historyText(entries).c_str());
    return 0;
}

// A failed write to standard output or standard error (a full disk, a closed file) fails the run:
// a summary that never arrived must not pass for a success.
int withOutputChecked(int status) {
    const bool out = std::fflush(stdout) != 0 || std::ferror(stdout);
    const bool err = std::fflush(stderr) != 0 || std::ferror(stderr);
    if (out && !err) print(stderr, "velt-cli: 標準出力に書き込めませんでした\n");
    return (out || err) && status == 0 ? 1 : status;
}

// Unpacks an archive for those with no LHA tool. 1 when a member was not written.
int extract(const std::string& archive, const std::string& folder, bool quiet) {
    try {
        const velt::Extraction done = velt::extractArchive(archive, folder);
        for (const auto& path : done.written)
            if (!quiet) print(stdout, "%s\n", velt::shown(path).c_str());
        for (const auto& e : done.notWritten)
            print(stderr, "velt-cli: %s\n", velt::shown(velt::describe(e)).c_str());
        if (!done.notWritten.empty())
            print(stderr,
                  "velt-cli: %s: %zu 個のファイルを書き出し、%zu 個は書き出しませんでした。\n",
                  velt::shown(archive).c_str(), done.written.size(), done.notWritten.size());
        else if (!quiet)
            print(stdout, "%zu 個のファイルを書き出しました。\n", done.written.size());
        return done.notWritten.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        print(stderr, "velt-cli: %s\nvelt-cli: %s: 解凍に失敗しました。何も書き出していません。\n",
              velt::shown(velt::describe(e)).c_str(), velt::shown(archive).c_str());
        return 1;
    }
}

int run(int argc, char** argv) {
    std::optional<std::string> dataFolder, setFolder, asKind, extractFrom, extractTo;
    bool quiet = false, createYearFolders = false, dryRun = false, history = false, fetch = false;
    velt::cli::FetchArgs fetchArgs;
    bool jrdbLogin = false, jrdbLogout = false;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help") {
            print(stdout, "%s", kUsage);
            const std::string settings = velt::settingsFile(velt::programFolder());
            print(stdout, "\n設定ファイル: %s\n保存されているデータフォルダ: %s\n",
                  velt::shown(settings).c_str(),
                  velt::shown(velt::readSetting(settings, velt::kDataFolderSection,
                                                velt::kDataFolderKey, "(なし)"))
                      .c_str());
            return 0;
        } else if (arg == "--version") {
            print(stdout, "%s\n", velt::versionText().c_str());
            return 0;
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else if (arg == "--dry-run") {
            dryRun = true;
        } else if (arg == "--history") {
            history = true;
        } else if (arg == "--fetch" || arg == "--refetch") {
            (arg == "--fetch" ? fetch : fetchArgs.refetch) = true;
        } else if (arg == "--since" || arg == "--fetch-kinds" || arg == "--download-folder" ||
                   arg == "--jrdb-url") {
            auto v = value();
            if (!v || v->empty()) return usageError(arg + " には値が要ります");
            (arg == "--since"         ? fetchArgs.since
             : arg == "--fetch-kinds" ? fetchArgs.kinds
             : arg == "--jrdb-url"    ? fetchArgs.jrdbUrl
                                      : fetchArgs.downloadFolder) = *v;
        } else if (arg == "--jrdb-login" || arg == "--jrdb-logout") {
            (arg == "--jrdb-login" ? jrdbLogin : jrdbLogout) = true;
        } else if (arg == "--create-year-folders") {
            createYearFolders = true;
        } else if (arg == "--data-folder" || arg == "--set-data-folder" || arg == "--as") {
            auto v = value();
            if (!v || v->empty()) return usageError(arg + " には値が要ります");
            (arg == "--data-folder" ? dataFolder : arg == "--as" ? asKind : setFolder) = *v;
        } else if (arg == "--extract") {
            extractFrom = value();
            extractTo = value();
            if (!extractTo) return usageError("--extract には書庫とフォルダが要ります");
        } else {
            return usageError("知らないオプションです: " + velt::shown(arg));
        }
    }

    if (asKind) {
        if (!velt::ImportEngine::acceptsKind(*asKind))
            return usageError("--as に " + velt::shown(*asKind) +
                              " は使えません。KYD、SEBZEB、OZ、SKAZKA、J か、KYI、SED などの"
                              "種類を指定してください");
        if (files.size() != 1) return usageError("--as で取り込めるのは FILE ひとつだけです");
    }
    if (jrdbLogin || jrdbLogout) {
        if (jrdbLogin == jrdbLogout || !files.empty() || asKind || setFolder || dataFolder ||
            extractFrom || dryRun || fetch)
            return usageError("--jrdb-login と --jrdb-logout はほかの指定と一緒には使えません");
        return jrdbLogin ? velt::cli::storeLogin(quiet) : velt::cli::forgetLogin(quiet);
    }
    if (extractFrom)
        return files.empty() && !asKind && !setFolder && !dataFolder
                   ? extract(*extractFrom, *extractTo, quiet)
                   : usageError("--extract はほかの取り込みと一緒には使えません");
    if (history && (!files.empty() || asKind || setFolder || dryRun))
        return usageError("--history はほかの取り込みと一緒には使えません");
    if (fetch && (asKind || setFolder || history))
        return usageError("--fetch はほかの取り込みと一緒には使えません");
    if (!fetch && (fetchArgs.since || fetchArgs.jrdbUrl || fetchArgs.refetch))
        return usageError("--since、--jrdb-url、--refetch は --fetch と一緒に使います");
    const bool fetchSettings = fetchArgs.kinds || fetchArgs.downloadFolder;
    if (files.empty() && !setFolder && !history && !fetch && !fetchSettings)
        return usageError("取り込む FILE がありません");

    const std::string programFolder = velt::programFolder();
    const std::string settings = velt::settingsFile(programFolder);
    fetchArgs.settingsFile = settings;
    if (fetchSettings && !fetch) {
        if (const int status = velt::cli::storeFetchSettings(fetchArgs)) return status;
        if (files.empty() && !setFolder) return 0;
    }
    if (setFolder) {
        std::string folder = asFolder(*setFolder);
        if (!velt::platform::isDirectory(folder)) {
            print(stderr, "velt-cli: %s: そのフォルダはありません\n", velt::shown(folder).c_str());
            return 1;
        }
        try {
            velt::createSettingsFolder(settings);
            velt::writeSetting(settings, velt::kDataFolderSection, velt::kDataFolderKey, folder);
        } catch (const velt::Failure& e) {
            print(stderr, "velt-cli: データフォルダを保存できませんでした: %s\n",
                  velt::shown(e.what()).c_str());
            return 1;
        }
        const std::string warning = velt::dataFolderWarning(folder);
        if (!warning.empty()) print(stderr, "velt-cli: 警告: %s\n", warning.c_str());
        if (!quiet)
            print(stdout, "データフォルダ: %s (%s に保存しました)\n", velt::shown(folder).c_str(),
                  velt::shown(settings).c_str());
        if (files.empty()) return 0;
    }

    ConsoleMessages messages(quiet, createYearFolders);
    velt::ImportEngine engine(messages);
    engine.setDataFolder(dataFolder  ? asFolder(*dataFolder)
                         : setFolder ? asFolder(*setFolder)
                                     : velt::readSetting(settings, velt::kDataFolderSection,
                                                         velt::kDataFolderKey, ""));

    int fetchStatus = 0;
    if (fetch) {
        fetchArgs.days = files;
        fetchArgs.dryRun = dryRun;
        fetchArgs.quiet = quiet;
        fetchArgs.dataFolder = engine.dataFolder();
        const auto fetched = velt::cli::fetchFiles(fetchArgs);
        if (fetched.stop) return fetched.status;
        files = fetched.paths;
        fetchStatus = fetched.status;
    }
    if (dryRun) return printPreview(engine.preview(files, true, asKind.value_or("")));
    if (history) return printHistory(engine.dataFolder());

    std::vector<velt::ImportSummary> summaries;
    if (asKind)
        summaries.push_back(engine.importWithKind(*asKind, files[0]));
    else
        summaries = engine.importFiles(files, true);
    messages.clearBar();

    std::size_t imported = 0;
    for (const auto& s : summaries) {
        printSummary(s, quiet);
        imported += s.recognised && s.succeeded;
    }
    messages.printClosing(imported, summaries.size() - imported);
    return imported == summaries.size() ? fetchStatus : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = velt::platform::commandLine(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& arg : args) utf8Argv.push_back(arg.data());
    utf8Argv.push_back(nullptr);
    try {
        return withOutputChecked(run(static_cast<int>(args.size()), utf8Argv.data()));
    } catch (const std::exception& e) {
        // What no step below reports itself (a settings file that cannot be read) still ends
        // with its file and cause, never with an abort.
        print(stderr, "velt-cli: %s\n", velt::describe(e).c_str());
        return withOutputChecked(1);
    }
}
