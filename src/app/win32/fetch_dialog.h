#pragma once
// ファイル › JRDB から取得… in the native window: the days, the kinds and the login asked in a
// modal box; the archives fetched off the window's thread with progress per file and Cancel
// between files; the downloads then go to the window's own import, as a drop of them does.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace velt::win32 {

class Dialogs;

// The box's window class and its controls' ids, for the tests that fill it in.
inline constexpr const wchar_t* kFetchClass = L"VeltFetch";
enum FetchControl { kFetchDays = 1101, kFetchKinds, kFetchId, kFetchPassword, kFetchSave };

// Asks, fetches, and hands the downloads (in the order an import of their folder takes) to
// `import`. Failures are shown through `dialogs`; nothing is imported then.
void fetchFromJrdb(HWND owner, Dialogs& dialogs, const std::string& settingsFile,
                   const std::string& dataFolder,
                   const std::function<void(std::vector<std::string>)>& import);

}  // namespace velt::win32
