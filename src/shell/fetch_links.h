#pragma once
// The fetch's pure half: addresses of the member area and links resolved against them, the links
// of an index page, JRDB's daily file names, and which files of which days to fetch.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/history.h"

namespace velt::fetch {

// An http or https address, cut into what links are resolved and compared by.
struct Url {
    std::string scheme;  // lower case
    std::string host;    // lower case; an IPv6 address keeps its brackets
    std::string port;    // empty for the scheme's own
    std::string path;    // from the first "/", dot segments worked out
    std::string query;   // with its "?", or empty

    std::string text() const;
};

// An absolute http(s) address; nothing for another scheme, a missing host, or a user name or
// password in it (which would end up in messages).
std::optional<Url> parseUrl(std::string_view text);
// `link` resolved against the page's address `base`, as a browser resolves an href.
std::optional<Url> resolve(const Url& base, std::string_view link);
// Whether `url` lies on the member area's own scheme, host and port, and under its path. A path
// holding an encoded dot, slash or backslash is taken as outside: a server may decode them.
bool within(const Url& area, const Url& url);

// The targets of a page's links (href attributes of any element), character references decoded.
// Nothing else about the page is assumed.
std::vector<std::string> extractLinks(std::string_view html);

// The folder of a kind's index page: "data/Paci/index.html" for "PACI".
std::string indexPath(std::string_view kind);
// A day typed by the user ("181201" or "2018-12-01") as "YYYYMMDD"; nothing when it is no date.
std::optional<std::string> parseDay(std::string_view text);
// "YYYYMMDD" as shown in messages: "2018-12-01".
std::string shownDay(std::string_view day);
// "YYYYMMDD" moved by `days` days.
std::string addDays(std::string_view day, int days);
// The day of a daily archive of `kind` ("PACI181201.lzh", "paci181201.ZIP"), "YYYYMMDD"; nothing
// for another name.
std::optional<std::string> dayOfArchive(std::string_view kind, std::string_view fileName);
// The file name in a link's path (its last segment, percent escapes of ASCII decoded).
std::string fileNameOf(const Url& url);

// A daily archive an index page links to.
struct Listed {
    std::string kind;  // as fetched ("PACI")
    std::string day;   // YYYYMMDD
    std::string name;  // the link's file name, kept as JRDB names it
    std::string url;   // resolved
    std::string page;  // the index page that links it
};

// What to fetch: the days asked for (none: the missing days) and how they came out.
struct Choice {
    std::vector<Listed> files;            // to fetch, by day, then by kind as given
    std::vector<std::string> unlisted;    // days asked for that no index page lists
    std::vector<std::string> incomplete;  // "YYYYMMDD KIND": a listed day lacking a kind yet
    std::vector<Listed> held;             // listed, and imported already
    std::string from;                     // the first day taken, when no day was asked for
};

struct Selection {
    std::vector<std::string> kinds;  // in the order given
    std::vector<std::string> days;   // asked for; empty: the missing days
    std::string since;               // widens the missing days back to this day; may be empty
    std::string today;               // YYYYMMDD
    bool refetch = false;            // take held files too
};

// Chooses among the listed files. A file is held when a successful import of the history holds
// an input of its name (in any case). Without days asked for, the days listed from the newest
// race day the history holds (so that late results complete it), or from 14 days back when it
// holds none, and from `since` when that is earlier.
Choice choose(const std::vector<Listed>& listed, const std::vector<HistoryEntry>& history,
              const Selection& selection);

}  // namespace velt::fetch
