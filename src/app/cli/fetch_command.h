#pragma once
// velt-cli --fetch: the options checked and stored, the login found, the index pages read and
// the chosen archives downloaded; the import that follows is the command line's usual one.

#include <optional>
#include <string>
#include <vector>

namespace velt::cli {

struct FetchArgs {
    std::vector<std::string> days;  // as typed
    std::optional<std::string> since, kinds, downloadFolder, jrdbUrl;
    bool refetch = false;
    bool dryRun = false;
    bool quiet = false;
    std::string dataFolder;
    std::string settingsFile;
};

struct Fetched {
    std::vector<std::string> paths;  // to import, in order
    int status = 0;                  // 2: a usage error; 1: a failure, or a day not published
    bool stop = false;               // nothing to import (a failure, a dry run, nothing new)
};

// Prints what it does (progress on standard output, failures on standard error).
Fetched fetchFiles(const FetchArgs& args);

// Stores the fetch's settings given without --fetch; the exit status.
int storeFetchSettings(const FetchArgs& args);

}  // namespace velt::cli
