#pragma once
// The import engine: a button's, a given kind's or a drop's import, planned, then carried out
// through the prefetch, the converters and the output store under one session, and its outcome
// told. The window and the command line are thin front ends over it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "convert/import_context.h"
#include "convert/output_store.h"
#include "shell/messages.h"

namespace velt {

// What one input file came to.
struct ImportSummary {
    std::string input;  // the path as given
    std::string kind;   // the kind its name or the button shows ("PACI", "SED", "OZ"...)
    bool recognised = false;
    bool succeeded = false;
    // Records: read = written + present + malformed.
    std::size_t linesRead = 0;
    std::size_t written = 0;       // records that added their lines (two for a comment record)
    std::size_t present = 0;       // records skipped as already present
    std::size_t malformed = 0;     // lines refused as malformed
    std::size_t outOfScope = 0;    // races outside JRA (a blank race key) that no Target file holds
    std::size_t linesWritten = 0;  // output lines that reached Target's files
    std::string error;             // the failure report, when it failed
    std::string previouslyImported;  // the date (YYYY-MM-DD) this very input was first imported
    bool cancelled = false;          // not begun: the import was cancelled before it
};

// A warning when the folder `folder` exists and holds none of MDATA, HDATA and KCOM_DATA (it does
// not look like Target's data folder); empty otherwise.
std::string dataFolderWarning(const std::string& folder);

// What an import would do, told without reading a member's records for anything but year folders,
// and without writing.
struct ImportPreview {
    std::string plan;                      // every input and the texts it converts, a line each
    std::vector<std::string> yearFolders;  // of KCOM_DATA, that its comments need
    std::vector<std::string> missingYearFolders;  // of those, the ones the data folder lacks
    bool complete = true;                         // every input recognised and plannable
};

class ImportEngine {
public:
    explicit ImportEngine(Messages& messages);
    ~ImportEngine();
    ImportEngine(const ImportEngine&) = delete;
    ImportEngine& operator=(const ImportEngine&) = delete;

    // fileDate and oddsStartFlag persist from one import to the next, as on the window.
    ImportContext& context();

    // The output store each input file is converted through; the default OutputStore when unset.
    // Lets the tests and the benchmark run the same imports through another store.
    void setStoreFactory(std::function<std::unique_ptr<ImportSink>()> makeStore);

    // The data folder (the text of `Text1`). Empty means none chosen: imports are refused.
    void setDataFolder(std::string folder);
    const std::string& dataFolder() const;

    // Every import first finds the year folders of KCOM_DATA that its comment records need. When
    // some are missing it asks (Messages::confirm) to create them, and creates just those on yes;
    // on no it writes nothing. KCOM_DATA itself is never created.

    // A button's import of the file the dialog returned.
    ImportSummary importAs(Button button, const std::string& path);

    // The file converted with the converter of `kind` whatever its name (a button's name such as
    // "SEBZEB", or a kind such as "SED"; "J" for a pack). An archive is still read, and its member
    // of that kind converted. False from acceptsKind: no such kind.
    static bool acceptsKind(const std::string& kind);
    ImportSummary importWithKind(const std::string& kind, const std::string& path);

    // A drop onto the window (commandLine false), or the command line's file list (true: the lap
    // file "JracSei1.dat" is recognised too). A folder imports every recognised file directly
    // inside it, by date and then in the order of a pack; the files it holds that are not
    // recognised are listed in one message at the end, with the dropped files not recognised.
    // One completion message at the end.
    std::vector<ImportSummary> importFiles(const std::vector<std::string>& paths, bool commandLine);

    // What importFiles (or, given `kind`, importWithKind of paths[0]) would do: nothing written.
    ImportPreview preview(const std::vector<std::string>& paths, bool commandLine,
                          const std::string& kind = {});

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velt
