#pragma once
// ファイル › JRDB から取得…: the days, the kinds and the login asked in a dialog; the archives
// fetched off the window's thread, with progress per file and Cancel between files; the downloads
// then go to the window's own import, which shows its summary and keeps the history as a drop does.

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace velt {

class Dialogs;

inline constexpr const char* kFetchTitle = "JRDB から取得";

// Asks, fetches, and hands the downloads (in the order an import of their folder takes) to
// `import`. Failures are shown through `dialogs`; nothing is imported then.
void fetchFromJrdb(QWidget* parent, Dialogs& dialogs, const std::string& settingsFile,
                   const std::string& dataFolder,
                   const std::function<void(std::vector<std::string>)>& import);

}  // namespace velt
