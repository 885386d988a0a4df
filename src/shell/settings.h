#pragma once
// The settings file (`INICont`): velt.ini beside the program or in the user's configuration
// folder, section "Velt", key "path", CP932.

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
// missing. A value longer than 255 CP932 bytes comes back cut to 255 bytes. Throws Failure naming
// the file when it is there but cannot be read (no permission, no regular file).
std::string readSetting(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& fallback);

// Stores `value` (UTF-8, written as CP932), creating the file, the section and the key as needed
// and keeping the rest of the file; the file is replaced at once, so a failure leaves the old one.
// Throws Failure naming the file when it cannot be written, or when `value` would not read
// back exactly (a character CP932 lacks, or more than 255 CP932 bytes); the cause says which.
void writeSetting(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value);

}  // namespace velt
