#pragma once
// Fetching from JRDB's member area: the index pages read, the day's archives chosen by their
// links, downloaded whole and checked into the download folder, and handed to an import in the
// order a folder holding them is imported. Both front ends drive it; the HTTP is the platform's.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/http.h"
#include "shell/fetch_links.h"
#include "shell/history.h"

namespace velt {

inline constexpr const char* kDefaultJrdbUrl = "https://jrdb.com/member/";
inline constexpr const char* kDefaultFetchKinds = "PACI SED SKB";
inline constexpr std::uint64_t kIndexPageLimit = 8u << 20;
inline constexpr std::uint64_t kDownloadLimit = 256u << 20;

// The fetch's settings as velt.ini holds them (section "Velt"): the kinds, the download folder
// and the member area's address. Missing keys give the defaults.
struct FetchSettings {
    std::vector<std::string> kinds;
    std::string downloadFolder;
    std::string jrdbUrl;
};
FetchSettings readFetchSettings(const std::string& settingsFile);
void storeFetchKinds(const std::string& settingsFile, const std::vector<std::string>& kinds);
void storeDownloadFolder(const std::string& settingsFile, const std::string& folder);
// The member area's address: `given` (--jrdb-url), else VELT_JRDB_URL, else the setting; always
// ending in "/" so that the kinds' folders lie under it. Nothing when it is no http(s) address,
// holds a query, or holds a user name or password.
std::optional<fetch::Url> memberArea(const std::optional<std::string>& given,
                                     const FetchSettings& settings);
// The default download folder: JRDB in the user's Downloads folder.
std::string defaultDownloadFolder();

// Kinds typed by the user ("PACI,SED skb"), upper-cased; nothing when one is not a daily kind.
std::optional<std::vector<std::string>> parseKinds(const std::string& text);
std::string kindsText(const std::vector<std::string>& kinds);

// The login from VELT_JRDB_ID and VELT_JRDB_PASSWORD, when both are set.
std::optional<platform::HttpLogin> loginFromEnvironment();
// The HTTP options of a fetch: Velt's User-Agent, and the test-only CA file and timeouts.
platform::HttpOptions fetchHttpOptions();
// The pause between two requests: a second, shortened for tests by VELT_TEST_FETCH_PAUSE_MS.
long fetchPauseMs();

// What a fetch tells as it goes; cancelled() is asked between files.
class FetchObserver {
public:
    virtual ~FetchObserver() = default;
    virtual void reading(const std::string& page) { (void)page; }
    virtual void downloading(const fetch::Listed& file, std::size_t index, std::size_t count) {
        (void)file, (void)index, (void)count;
    }
    // Whole and checked in the download folder already: not downloaded again.
    virtual void kept(const fetch::Listed& file) { (void)file; }
    virtual bool cancelled() { return false; }
};

// A fetch cancelled between files: what was downloaded stays, nothing is imported.
class FetchCancelled : public Failure {
public:
    FetchCancelled() : Failure("", "取得を取り消しました") {}
};

class Fetcher {
public:
    // `area`: the member area's address (parsed by fetch::parseUrl).
    Fetcher(platform::HttpClient& http, platform::HttpLogin login, fetch::Url area,
            std::string downloadFolder, long pauseMs);

    // Reads each kind's index page and chooses what to fetch; nothing is downloaded. Throws
    // Failure naming the page: a login refused, a page missing or too large, a link to one of the
    // files that leaves the member area.
    fetch::Choice choose(const std::vector<HistoryEntry>& history,
                         const fetch::Selection& selection, FetchObserver& observer);

    // Downloads the chosen files into the download folder, each under a temporary name until it
    // is whole and checked; a file whole there already is kept unless `refetch`. The paths in the
    // order an import of a folder holding them takes. Throws Failure naming the file, and the page
    // that linked it.
    std::vector<std::string> download(const fetch::Choice& choice, bool refetch,
                                      FetchObserver& observer);

private:
    platform::HttpResult get(const std::string& url, std::uint64_t limit,
                             const std::function<bool(const char*, std::size_t)>& sink);
    void downloadOne(const fetch::Listed& file, const std::string& path);

    platform::HttpClient& http_;
    platform::HttpLogin login_;
    fetch::Url area_;
    std::string folder_;
    long pauseMs_;
    bool requested_ = false;
    std::chrono::steady_clock::time_point last_;
};

// Checks a download: an LHA or ZIP archive whose members' lengths and CRCs hold. Throws Failure
// naming `shownAs` (an HTML page served in its place says so).
void checkDownload(const std::string& path, const std::string& shownAs);

// A window's fetch box, shared by both windows. What it starts from: the settings, the history,
// the login known (from the environment, else the credential store) and the member area. Throws
// Failure with the words to show.
struct WindowFetch {
    FetchSettings settings;
    std::vector<HistoryEntry> history;
    std::optional<platform::HttpLogin> stored;
    fetch::Url area;
    std::string daysHint;  // the days field's hint: what an empty field takes
};
WindowFetch startWindowFetch(const std::string& settingsFile, const std::string& dataFolder);

// The box's answers checked: the days (separated by spaces, commas or 、), the kinds, the ID and
// the password; an empty password takes the stored one of the same ID. Throws Failure with the
// words to show.
struct FetchAnswers {
    fetch::Selection selection;
    platform::HttpLogin login;
};
FetchAnswers checkFetchAnswers(const WindowFetch& start, const std::string& days,
                               const std::string& kinds, const std::string& id,
                               const std::string& password);

// The fetch of the box's answers, run off the window's thread: what was chosen, and the paths
// downloaded in import order (none when cancelled before the downloads).
struct FetchDone {
    fetch::Choice choice;
    std::vector<std::string> paths;
};
FetchDone runWindowFetch(const WindowFetch& start, const FetchAnswers& answers,
                         FetchObserver& observer);

// What a window tells after a fetch, one line each: the days not listed, the results not listed
// yet, and that nothing new came when `nothingNew`. Empty when there is nothing to tell.
std::string fetchNotes(const fetch::Choice& choice, bool nothingNew);

// The paths in the order an import of a folder holding them takes: by day, then as a pack.
std::vector<std::string> importOrder(std::vector<std::string> paths);

}  // namespace velt
