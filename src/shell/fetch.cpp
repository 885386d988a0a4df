#include "shell/fetch.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "codes/cp932.h"
#include "platform/credentials.h"
#include "platform/file.h"
#include "platform/system.h"
#include "shell/lha_archive.h"
#include "shell/plan.h"
#include "shell/recognition.h"
#include "shell/settings.h"
#include "shell/version.h"
#include "shell/zip_archive.h"

namespace velt {
namespace {

constexpr const char* kKindsKey = "fetchKinds";
constexpr const char* kDownloadFolderKey = "downloadFolder";
constexpr const char* kJrdbUrlKey = "jrdbUrl";

long environmentMs(const char* name, long fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value) return fallback;
    char* end = nullptr;
    const long ms = std::strtol(value, &end, 10);
    return end && *end == '\0' && ms >= 0 ? ms : fallback;
}

std::string megabytes(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

// The words of a GET that did not bring the page or file: by transport, then by status.
std::string causeOfResult(const platform::HttpResult& r, std::uint64_t limit) {
    using Error = platform::HttpResult::Error;
    switch (r.error) {
        case Error::None:
            break;
        case Error::Network:
            return "接続できませんでした: " + r.detail;
        case Error::Timeout:
            return "サーバーの応答がありません (時間切れ): " + r.detail;
        case Error::TooLarge:
            return "大きすぎるため受け取りを止めました (" + megabytes(limit) + " まで)";
        case Error::Cancelled:
            return "取得を取り消しました";
        case Error::Tls:
            return "TLS の証明書を確かめられませんでした: " + r.detail;
        case Error::Write:
            return "受け取ったデータを保存できませんでした: " + r.detail;
    }
    if (r.status == 401)
        return "JRDB の会員 ID かパスワードが違います (HTTP 401)。velt-cli --jrdb-login で"
               "ログインし直してください";
    if (r.status == 404) return "ページもファイルもありません (HTTP 404)";
    if (r.status >= 500)
        return "JRDB のサーバーのエラーです (HTTP " + std::to_string(r.status) + ")";
    return "思わぬ応答です (HTTP " + std::to_string(r.status) + ")";
}

bool isCutShort(const platform::HttpResult& r) {
    using Error = platform::HttpResult::Error;
    if (r.error == Error::Network || r.error == Error::Timeout) return true;
    return r.error == Error::None && r.status == 200 && r.declared && r.received != r.declared;
}

void createFolders(const std::string& folder) {
    std::vector<std::string> missing;
    for (std::string p = folder; !p.empty();) {
        while (p.size() > 1 && platform::isSeparator(p.back())) p.pop_back();
        if (platform::exists(p)) break;
        missing.push_back(p);
        const auto cut = p.find_last_of(platform::kSeparators);
        if (cut == std::string::npos || cut == 0) break;
        p = p.substr(0, cut);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        try {
            platform::createFolder(*it, 0755);
        } catch (const platform::FileError& e) {
            throw Failure(*it, "ダウンロードフォルダを作れません: " + causeOf(e));
        }
    }
}

}  // namespace

FetchSettings readFetchSettings(const std::string& settingsFile) {
    FetchSettings s;
    s.kinds = parseKinds(readSetting(settingsFile, kDataFolderSection, kKindsKey, ""))
                  .value_or(std::vector<std::string>{});
    if (s.kinds.empty()) s.kinds = *parseKinds(kDefaultFetchKinds);
    s.downloadFolder = readSetting(settingsFile, kDataFolderSection, kDownloadFolderKey, "");
    if (s.downloadFolder.empty()) s.downloadFolder = defaultDownloadFolder();
    s.jrdbUrl = readSetting(settingsFile, kDataFolderSection, kJrdbUrlKey, kDefaultJrdbUrl);
    return s;
}

void storeFetchKinds(const std::string& settingsFile, const std::vector<std::string>& kinds) {
    createSettingsFolder(settingsFile);
    writeSetting(settingsFile, kDataFolderSection, kKindsKey, kindsText(kinds));
}

void storeDownloadFolder(const std::string& settingsFile, const std::string& folder) {
    createSettingsFolder(settingsFile);
    writeSetting(settingsFile, kDataFolderSection, kDownloadFolderKey, folder);
}

std::optional<fetch::Url> memberArea(const std::optional<std::string>& given,
                                     const FetchSettings& settings) {
    const char* env = std::getenv("VELT_JRDB_URL");
    auto url = fetch::parseUrl(given ? *given : env && *env ? env : settings.jrdbUrl);
    if (url && !url->query.empty()) return std::nullopt;
    if (url && url->path.back() != '/') url->path += '/';
    return url;
}

std::string defaultDownloadFolder() {
    const std::string downloads = platform::downloadsFolder();
    if (downloads.empty()) return {};
    return downloads +
           (platform::isSeparator(downloads.back()) ? "" : std::string(1, platform::kSeparator)) +
           "JRDB";
}

std::optional<std::vector<std::string>> parseKinds(const std::string& text) {
    std::vector<std::string> kinds;
    std::string kind;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ',';
        if (c != ',' && c != ' ' && c != '\t') {
            kind += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            continue;
        }
        if (kind.empty()) continue;
        // A kind fetched by day is one whose daily archive an import recognises by name.
        const Recognition r = recogniseDropped(kind + "181201.lzh", true);
        if (r.kind == Kind::None || r.kind == Kind::Zip || r.kindName != kind) return std::nullopt;
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
        kind.clear();
    }
    if (kinds.empty()) return std::nullopt;
    return kinds;
}

std::string kindsText(const std::vector<std::string>& kinds) {
    std::string text;
    for (const auto& k : kinds) text += (text.empty() ? "" : " ") + k;
    return text;
}

std::optional<platform::HttpLogin> loginFromEnvironment() {
    const char* id = std::getenv("VELT_JRDB_ID");
    const char* password = std::getenv("VELT_JRDB_PASSWORD");
    if (!id || !*id || !password) return std::nullopt;
    return platform::HttpLogin{id, password};
}

platform::HttpOptions fetchHttpOptions() {
    platform::HttpOptions options;
    options.userAgent = std::string("Velt/") + kVersionText;
    options.connectTimeoutMs = environmentMs("VELT_TEST_HTTP_TIMEOUT_MS", options.connectTimeoutMs);
    options.stallTimeoutMs = environmentMs("VELT_TEST_HTTP_TIMEOUT_MS", options.stallTimeoutMs);
    return options;
}

long fetchPauseMs() {
    return environmentMs("VELT_TEST_FETCH_PAUSE_MS", 1000);
}

Fetcher::Fetcher(platform::HttpClient& http, platform::HttpLogin login, fetch::Url area,
                 std::string downloadFolder, long pauseMs)
    : http_(http),
      login_(std::move(login)),
      area_(std::move(area)),
      folder_(std::move(downloadFolder)),
      pauseMs_(pauseMs) {
    if (folder_.empty() || !platform::isSeparator(folder_.back())) folder_ += platform::kSeparator;
}

// One request at a time, the pause apart from the end of the one before.
platform::HttpResult Fetcher::get(const std::string& url, std::uint64_t limit,
                                  const std::function<bool(const char*, std::size_t)>& sink) {
    if (requested_) std::this_thread::sleep_until(last_ + std::chrono::milliseconds(pauseMs_));
    platform::HttpResult result = http_.get(url, &login_, limit, sink);
    requested_ = true;
    last_ = std::chrono::steady_clock::now();
    return result;
}

fetch::Choice Fetcher::choose(const std::vector<HistoryEntry>& history,
                              const fetch::Selection& selection, FetchObserver& observer) {
    std::vector<fetch::Listed> listed;
    for (const auto& kind : selection.kinds) {
        const std::string page = fetch::resolve(area_, fetch::indexPath(kind))->text();
        observer.reading(page);
        std::string body;
        const auto result = get(page, kIndexPageLimit, [&](const char* data, std::size_t n) {
            body.append(data, n);
            return true;
        });
        if (result.error != platform::HttpResult::Error::None || result.status != 200)
            throw Failure(page, causeOfResult(result, kIndexPageLimit));
        const auto base = fetch::parseUrl(result.finalUrl.empty() ? page : result.finalUrl);
        for (const auto& link : fetch::extractLinks(cp932::toUtf8(body))) {
            const auto url = fetch::resolve(base.value_or(area_), link);
            if (!url) continue;
            const std::string name = fetch::fileNameOf(*url);
            const auto day = fetch::dayOfArchive(kind, name);
            if (!day) continue;
            if (!fetch::within(area_, *url))
                throw Failure(page, "リンク " + link + " は会員ページ (" + area_.text() +
                                        ") の外を指しているため、たどりません");
            listed.push_back({kind, *day, name, url->text(), page});
        }
    }
    return fetch::choose(listed, history, selection);
}

std::vector<std::string> Fetcher::download(const fetch::Choice& choice, bool refetch,
                                           FetchObserver& observer) {
    std::vector<std::string> paths;
    if (!choice.files.empty()) createFolders(folder_);
    for (std::size_t i = 0; i < choice.files.size(); ++i) {
        if (observer.cancelled()) throw FetchCancelled();
        const fetch::Listed& file = choice.files[i];
        const std::string path = folder_ + file.name;
        bool whole = false;
        if (!refetch && platform::isRegularFile(path)) {
            try {
                checkDownload(path, path);
                whole = true;
            } catch (const Failure&) {
                // Damaged or cut short earlier: downloaded again below.
            }
        }
        if (whole) {
            observer.kept(file);
        } else {
            observer.downloading(file, i, choice.files.size());
            downloadOne(file, path);
        }
        paths.push_back(path);
    }
    return importOrder(std::move(paths));
}

void Fetcher::downloadOne(const fetch::Listed& file, const std::string& path) {
    const std::string part = path + ".part";
    for (int attempt = 0;; ++attempt) {
        platform::File out;
        std::string writeCause;  // why the file could not take the bytes
        try {
            out = platform::File(
                part, platform::Write | platform::Create | platform::Truncate | platform::NoFollow);
        } catch (const platform::FileError& e) {
            throw Failure(part, "ダウンロードしたファイルを保存できません: " + causeOf(e));
        }
        const auto result = get(file.url, kDownloadLimit, [&](const char* data, std::size_t n) {
            try {
                out.write(std::string_view(data, n));
                return true;
            } catch (const platform::FileError& e) {
                writeCause = causeOf(e);
                return false;
            }
        });
        try {
            if (writeCause.empty()) out.close();
        } catch (const platform::FileError& e) {
            writeCause = causeOf(e);
        }
        out = platform::File();
        auto fail = [&](const std::string& shown, const std::string& cause) {
            platform::remove(part);
            throw Failure(shown, cause);
        };
        if (!writeCause.empty())
            fail(path, "ダウンロードしたファイルを保存できません: " + writeCause);
        if (isCutShort(result) && attempt == 0) continue;
        // Tried twice: a stall or a network failure is told by its cause, a body that ended
        // early by how much came.
        const bool shortBody = result.error != platform::HttpResult::Error::Timeout &&
                               result.declared && result.received < result.declared;
        if (isCutShort(result) && shortBody)
            fail(file.url, "ダウンロードが途中で切れました (" + std::to_string(result.received) +
                               " / " + std::to_string(result.declared) +
                               " バイト)。もう一度試しても同じでした");
        if (isCutShort(result))
            fail(file.url, causeOfResult(result, kDownloadLimit) + "。もう一度試しても同じでした");
        if (result.error == platform::HttpResult::Error::None && result.status == 404)
            fail(file.url, "ファイルがありません (HTTP 404)。リンクしていたページ: " + file.page);
        if (result.error != platform::HttpResult::Error::None || result.status != 200)
            fail(file.url, causeOfResult(result, kDownloadLimit));
        try {
            checkDownload(part, file.url);
        } catch (const Failure&) {
            platform::remove(part);
            throw;
        }
        try {
            platform::renameFile(part, path);
        } catch (const platform::FileError& e) {
            platform::remove(part);
            throw Failure(path, "ダウンロードしたファイルに名前を付けられません: " + causeOf(e));
        }
        return;
    }
}

void checkDownload(const std::string& path, const std::string& shownAs) {
    std::string head;
    try {
        platform::File in = platform::openRegularFile(path);
        head.resize(512);
        head.resize(in.read(head.data(), head.size()));
    } catch (const platform::FileError& e) {
        throw Failure(shownAs, causeOf(e));
    }
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    const bool zip = head.rfind("PK\x03\x04", 0) == 0 || head.rfind("PK\x05\x06", 0) == 0;
    const bool lha = head.size() >= 7 && head[2] == '-' && head[3] == 'l' &&
                     (head[4] == 'h' || head[4] == 'z') && head[6] == '-';
    if (!zip && !lha) {
        const auto start = lower.find_first_not_of(" \t\r\n\xef\xbb\xbf");
        const bool html =
            start != std::string::npos && lower[start] == '<' &&
            (lower.find("<html") != std::string::npos ||
             lower.find("<!doctype") != std::string::npos ||
             lower.find("<head") != std::string::npos || lower.find("<body") != std::string::npos);
        throw Failure(shownAs, html ? "書庫の代わりに HTML のページが届きました (ログインの"
                                      "画面か、JRDB のページが変わったのかもしれません)"
                                    : "LHA の書庫でも ZIP の書庫でもありません");
    }
    try {
        if (lha) {
            checkLhaArchive(path, LhaLimits{});
        } else {
            ZipArchive archive(path);
            for (std::size_t i = 0; i < archive.size(); ++i)
                if (!archive.isFolder(i)) archive.read(i);
        }
    } catch (const std::exception& e) {
        throw Failure(shownAs, causeOf(e));
    }
}

WindowFetch startWindowFetch(const std::string& settingsFile, const std::string& dataFolder) {
    if (dataFolder.empty()) throw Failure("", "先にターゲットデータフォルダを設定してください。");
    WindowFetch start;
    start.settings = readFetchSettings(settingsFile);
    start.history = readHistory(dataFolder);
    start.stored = loginFromEnvironment();
    if (!start.stored && platform::credentialStoreAvailable()) start.stored = platform::loadLogin();
    const auto area = memberArea(std::nullopt, start.settings);
    if (!area)
        throw Failure("",
                      "JRDB の会員ページのアドレスが正しくありません: " + start.settings.jrdbUrl);
    start.area = *area;
    const std::string from =
        fetch::choose({}, start.history, {{}, {}, {}, platform::localDate(), false}).from;
    start.daysHint = "空欄: " + fetch::shownDay(from) + " 以降の取り込んでいない日";
    return start;
}

FetchAnswers checkFetchAnswers(const WindowFetch& start, const std::string& days,
                               const std::string& kinds, const std::string& id,
                               const std::string& password) {
    FetchAnswers answers{{{}, {}, {}, platform::localDate(), false}, {id, password}};
    std::string spaced = days;
    for (const std::string mark : {"、", "　"})
        for (std::size_t at; (at = spaced.find(mark)) != std::string::npos;)
            spaced.replace(at, mark.size(), " ");
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    std::istringstream words(spaced);
    for (std::string word; words >> word;) {
        const auto day = fetch::parseDay(word);
        if (!day) throw Failure("", word + " は日付ではありません (181201 か 2018-12-01 の形で)");
        answers.selection.days.push_back(*day);
    }
    const auto chosen = parseKinds(kinds);
    if (!chosen) throw Failure("", "種類には PACI、JRDB、SED、SKB、KYI などを並べてください。");
    answers.selection.kinds = *chosen;
    if (password.empty() && start.stored && start.stored->id == id) answers.login = *start.stored;
    if (answers.login.id.empty()) throw Failure("", "JRDB の会員 ID を入れてください。");
    return answers;
}

FetchDone runWindowFetch(const WindowFetch& start, const FetchAnswers& answers,
                         FetchObserver& observer) {
    auto http = platform::makeHttpClient(fetchHttpOptions());
    Fetcher fetcher(*http, answers.login, start.area, start.settings.downloadFolder,
                    fetchPauseMs());
    FetchDone done;
    done.choice = fetcher.choose(start.history, answers.selection, observer);
    if (!observer.cancelled()) done.paths = fetcher.download(done.choice, false, observer);
    return done;
}

std::string fetchNotes(const fetch::Choice& choice, bool nothingNew) {
    std::string notes;
    for (const auto& day : choice.unlisted)
        notes += fetch::shownDay(day) +
                 ": JRDB の一覧にありません (まだ公開されていないか、"
                 "開催日ではありません)\n";
    for (const auto& missing : choice.incomplete)
        notes += fetch::shownDay(missing.substr(0, 8)) + ": " + missing.substr(9) +
                 " はまだ一覧にありません (次の取得で取り込みます)\n";
    if (nothingNew) notes += "新しく取り込むファイルはありません。\n";
    return notes;
}

std::vector<std::string> importOrder(std::vector<std::string> paths) {
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return importsBefore(recogniseDropped(a, true), recogniseDropped(b, true));
    });
    return paths;
}

}  // namespace velt
