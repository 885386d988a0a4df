#include "app/cli/fetch_command.h"

#include <cstdlib>
#include <exception>

#include "app/cli/login.h"
#include "platform/console.h"
#include "platform/credentials.h"
#include "platform/failure.h"
#include "platform/system.h"
#include "shell/fetch.h"
#include "shell/history.h"
#include "shell/shown.h"

namespace velt::cli {
namespace {

using platform::print;

Fetched usage(const std::string& what) {
    print(stderr, "velt-cli: %s\n使い方は 'velt-cli --help' で表示されます。\n", what.c_str());
    return {{}, 2, true};
}

Fetched failed(const std::string& what) {
    print(stderr, "velt-cli: %s\n", shown(what).c_str());
    return {{}, 1, true};
}

// The login: VELT_JRDB_ID and VELT_JRDB_PASSWORD, else the credential store's, else asked on the
// terminal and not stored; none without a terminal (askLogin says how to log in).
std::optional<platform::HttpLogin> login() {
    if (auto env = loginFromEnvironment()) return env;
    try {
        if (platform::credentialStoreAvailable())
            if (auto stored = platform::loadLogin()) return stored;
    } catch (const std::exception& e) {
        print(stderr, "velt-cli: %s\n", shown(describe(e)).c_str());
    }
    return askLogin();
}

class Progress : public FetchObserver {
public:
    explicit Progress(bool quiet) : quiet_(quiet) {}
    void downloading(const fetch::Listed& file, std::size_t index, std::size_t count) override {
        if (!quiet_)
            print(stdout, "ダウンロード (%zu/%zu): %s\n", index + 1, count,
                  shown(file.name).c_str());
    }
    void kept(const fetch::Listed& file) override {
        if (!quiet_)
            print(stdout, "%s: ダウンロードフォルダに揃っているので、取得しません\n",
                  shown(file.name).c_str());
    }

private:
    bool quiet_;
};

std::string withSeparator(std::string folder) {
    if (!folder.empty() && !platform::isSeparator(folder.back())) folder += platform::kSeparator;
    return folder;
}

}  // namespace

int storeFetchSettings(const FetchArgs& args) {
    try {
        if (args.kinds) {
            const auto kinds = parseKinds(*args.kinds);
            if (!kinds)
                return usage("--fetch-kinds に " + shown(*args.kinds) +
                             " は使えません。PACI、JRDB、SED、SKB、KYI などの種類を"
                             "並べてください")
                    .status;
            storeFetchKinds(args.settingsFile, *kinds);
            if (!args.quiet) print(stdout, "取得する種類: %s\n", kindsText(*kinds).c_str());
        }
        if (args.downloadFolder) {
            const std::string folder = withSeparator(platform::absolutePath(*args.downloadFolder));
            storeDownloadFolder(args.settingsFile, folder);
            if (!args.quiet) print(stdout, "ダウンロードフォルダ: %s\n", shown(folder).c_str());
        }
    } catch (const std::exception& e) {
        return failed("設定を保存できませんでした: " + describe(e)).status;
    }
    return 0;
}

Fetched fetchFiles(const FetchArgs& args) {
    std::vector<std::string> days;
    for (const auto& text : args.days) {
        const auto day = fetch::parseDay(text);
        if (!day) return usage(shown(text) + " は日付ではありません (181201 か 2018-12-01 の形で)");
        days.push_back(*day);
    }
    std::string since;
    if (args.since) {
        const auto day = fetch::parseDay(*args.since);
        if (!day) return usage("--since の " + shown(*args.since) + " は日付ではありません");
        if (!days.empty()) return usage("--since は日付を指定しないときに使います");
        since = *day;
    }
    if (const int status = storeFetchSettings(args)) return {{}, status, true};

    FetchSettings settings;
    std::vector<HistoryEntry> history;
    try {
        settings = readFetchSettings(args.settingsFile);
    } catch (const std::exception& e) {
        return failed(describe(e));
    }
    const auto area = memberArea(args.jrdbUrl, settings);
    if (!area)
        return usage(
            "JRDB の会員ページのアドレスが http か https のアドレスではありません "
            "(ID やパスワードは含められません)");
    if (args.dataFolder.empty())
        return failed(
            "データフォルダが設定されていません (--data-folder か --set-data-folder で"
            "指定してください)");
    try {
        history = readHistory(args.dataFolder);
    } catch (const std::exception& e) {
        return failed(describe(e));
    }
    if (settings.downloadFolder.empty())
        return failed("ダウンロードフォルダが決まりません (--download-folder で指定してください)");

    const auto user = login();
    if (!user) return failed("何も取り込んでいません。");
    if (!args.quiet)
        print(stdout, "JRDB (%s、ID %s) から %s を取得します。\n", shown(area->text()).c_str(),
              shown(user->id).c_str(), kindsText(settings.kinds).c_str());

    auto http = platform::makeHttpClient(fetchHttpOptions());
    Fetcher fetcher(*http, *user, *area, settings.downloadFolder, fetchPauseMs());
    Progress progress(args.quiet);
    Fetched out;
    try {
        const fetch::Selection selection{settings.kinds, days, since, platform::localDate(),
                                         args.refetch};
        const fetch::Choice choice = fetcher.choose(history, selection, progress);
        for (const auto& day : choice.unlisted) {
            print(stderr,
                  "velt-cli: %s: JRDB の一覧にありません (まだ公開されていないか、開催日では"
                  "ありません)\n",
                  fetch::shownDay(day).c_str());
            out.status = 1;
        }
        if (!args.quiet) {
            for (const auto& missing : choice.incomplete)
                print(stdout, "%s: %s はまだ一覧にありません (次の取得で取り込みます)\n",
                      fetch::shownDay(missing.substr(0, 8)).c_str(), missing.substr(9).c_str());
            // Held files are worth naming only where the user named their days.
            for (const auto& held : days.empty() ? decltype(choice.held){} : choice.held)
                print(stdout, "%s: 取り込み済みなので、取得しません\n", shown(held.name).c_str());
        }
        if (args.dryRun) {
            std::vector<std::string> names;
            for (const auto& f : choice.files) names.push_back(f.name);
            for (const auto& name : importOrder(names))
                print(stdout, "取得して取り込みます: %s\n", shown(name).c_str());
            print(stdout,
                  "ダウンロードフォルダ: %s\n(--dry-run: 何も取得も書き込みもしていません)\n",
                  shown(settings.downloadFolder).c_str());
            out.stop = true;
            return out;
        }
        if (choice.files.empty()) {
            if (!args.quiet) print(stdout, "新しく取り込むファイルはありません。\n");
            out.stop = true;
            return out;
        }
        out.paths = fetcher.download(choice, args.refetch, progress);
    } catch (const std::exception& e) {
        print(stderr, "velt-cli: %s\nvelt-cli: 何も取り込んでいません。\n",
              shown(describe(e)).c_str());
        return {{}, 1, true};
    }
    return out;
}

}  // namespace velt::cli
