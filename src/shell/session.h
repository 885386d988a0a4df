#pragma once
// The session of one import: the data folder checked and locked, the journal of its appends, the
// year folders its comments need. Held from before the first check that may write until the
// import's last input is done, so that imports side by side into one data folder follow one
// another.

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "convert/append_journal.h"
#include "platform/file.h"
#include "shell/messages.h"

namespace velt {

class ImportSession {
public:
    // Refuses before anything is read when no usable data folder is set, then waits for the data
    // folder (Messages::waiting) and opens its journal. Throws Failure, whose words end the
    // import; nothing is written then.
    ImportSession(const std::string& dataFolder, Messages& messages);
    // The journal goes before the folder is let go, so that it is never another import's.
    ~ImportSession();
    ImportSession(const ImportSession&) = delete;
    ImportSession& operator=(const ImportSession&) = delete;

    AppendJournal& journal() { return *journal_; }

    // Before anything is read: the year folders of KCOM_DATA in `years` that are missing may be
    // created (Messages::confirm). Throws Failure when the import must not go on: no KCOM_DATA,
    // a "no".
    void prepareYearFolders(const std::set<std::string>& years);
    // Before an input writes: Target's folders it writes into (such as "MDATA") are there and
    // take new files. Throws Failure otherwise; the input has written nothing then.
    void checkFolders(const std::set<std::string>& folders);
    // Before an input writes, after checkFolders: every file of `paths` that exists takes writes
    // (meeting and comment files, which are read too, must be regular files), and every folder
    // they are in takes new files, but for the year folders still to be made. Throws Failure
    // otherwise; the input has written nothing then.
    void checkOutputFiles(const std::set<std::string>& paths);
    // Creates the year folders agreed to: once, just before the first comment is written, after
    // its input passed every check. Throws Failure when one cannot be made.
    void createYearFolders();

private:
    std::string dataFolder_;
    Messages& messages_;
    std::optional<platform::FolderLock> lock_;
    std::optional<AppendJournal> journal_;
    std::vector<std::string> yearsToCreate_;
};

// What a refusal before anything was written adds to its words.
inline constexpr const char* kNothingWritten = "何も書き込んでいません。";

}  // namespace velt
