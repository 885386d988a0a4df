#pragma once
// The file layer's answers about the system's folders: where the program lies, the user's home,
// whether a folder takes new files, and paths made absolute or normal. UTF-8 paths.

#include <optional>
#include <string>
#include <vector>

namespace velt::platform {

// The separator the system's own dialogs end folders with.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
// The separators a path typed or given on this system may hold.
inline constexpr const char* kSeparators = "/\\";
#else
inline constexpr char kSeparator = '/';
inline constexpr const char* kSeparators = "/";
#endif

inline bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// The program's arguments as the user typed them, in UTF-8, the program's name first: on Windows
// from the system's UTF-16 command line, since `argv` holds the ANSI code page there, which has no
// room for a Japanese folder name on most systems.
std::vector<std::string> commandLine(int argc, char** argv);
// The running executable's path; empty when the system does not say.
std::string executablePath();
// The user's home folder; empty when there is none with an absolute path.
std::string homeFolder();
// The folder of this program's settings in the user's profile: $XDG_CONFIG_HOME/velt (by default
// ~/.config/velt), %APPDATA%\Velt on Windows; empty when there is none. It may not exist yet.
std::string configFolder();
// The user's Downloads folder as the desktop names it: $XDG_DOWNLOAD_DIR or the XDG user-dirs
// file's entry (by default ~/Downloads), the Known Folder on Windows; empty when there is none.
std::string downloadsFolder();
// Today's local date, "YYYYMMDD".
std::string localDate();
// A folder that exists and in which this process may make files.
bool isWritableFolder(const std::string& folder);
// `path` made absolute against the current folder; `path` itself when that fails.
std::string absolutePath(const std::string& path);
// `path` with "." and ".." worked out, without looking at the disk.
std::string normalPath(const std::string& path);
// Standard error goes to a terminal (where a progress bar can be redrawn).
bool stderrIsTerminal();
// The local date and time now, "YYYY-MM-DD HH:MM:SS".
std::string localDateTime();
// Creates a folder with `permissions`; false when it was there already. Throws FileError.
bool createFolder(const std::string& folder, unsigned permissions);
// An environment variable's value as UTF-8 (on Windows too), or nullopt when it is unset or empty.
std::optional<std::string> environmentVariable(const char* name);

}  // namespace velt::platform
