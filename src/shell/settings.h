#pragma once
// The settings file (`INICont`): velt.ini beside the program or in the user's configuration
// folder, section "Velt", key "path" in CP932, or "path.utf8" in UTF-8 for a folder CP932 cannot
// hold. Other keys are kept as they stand and follow the same rule.

#include <string>

namespace velt {

// Where a settings file holds the data folder.
inline constexpr const char* kDataFolderSection = "Velt";
inline constexpr const char* kDataFolderKey = "path";

// The folder that holds the running executable, with its final separator.
std::string programFolder();

// The settings file of a program folder: the folder + "velt.ini" (no doubled separator).
std::string settingsPath(const std::string& programFolder);

// The settings file in use, one rule for the window and velt-cli: velt.ini beside the program when
// it lies there already, or when the program folder is writable and not an installed tree (a
// portable folder, the build tree); otherwise velt/velt.ini in the user's configuration folder
// ($XDG_CONFIG_HOME, by default ~/.config).
std::string settingsFile(const std::string& programFolder);

// Creates the missing folders of a settings file (private to the user, as the configuration folder
// is), so that writeSetting can create the file. Throws Failure naming the folder.
void createSettingsFolder(const std::string& file);

// The value of `key` in `section` (UTF-8), or `fallback` when the file, the section or the key is
// missing. "key.utf8", when there, wins over "key". A value longer than 255 stored bytes comes
// back cut to 255 bytes, never through a character. Throws Failure naming
// the file when it is there but cannot be read (no permission, no regular file).
std::string readSetting(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& fallback);

// Stores `value` (UTF-8) as CP932 under `key`, or, when CP932 lacks one of its characters, as
// UTF-8 under "key.utf8" (removing the other of the two), creating the file, the section and the
// key as needed and keeping the rest of the file; the file is replaced at once, so a failure
// leaves the old one. Throws Failure naming the file when it cannot be written, or when `value`
// is more than 255 bytes as stored.
void writeSetting(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value);

}  // namespace velt
