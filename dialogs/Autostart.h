#pragma once
// The log-on start of the program: an XDG autostart entry "KestrovaMail.desktop" in
// $XDG_CONFIG_HOME/autostart (or ~/.config/autostart) whose Exec line runs this executable with
// the argument "startup", which turns on the start-up delay and countdown.

#include <filesystem>
#include <string>

inline constexpr const char* kAutostartFileName = "KestrovaMail.desktop";
inline constexpr const char* kStartupArgument = "startup";

// The autostart folder, created when missing. Empty when neither XDG_CONFIG_HOME nor HOME
// gives a place, or the folder cannot be created.
std::filesystem::path AutostartFolder();

// The running executable (/proc/self/exe). Empty when it cannot be read.
std::string CurrentExecutablePath();

// One Exec argument, quoted and escaped as desktop entries require: in double
// quotes, with \ " ` $ escaped by a backslash and % doubled, then the string-value escapes
// (\\ \n \t \r) applied on top.
std::string QuoteExecArgument(const std::string& argument);

// The content of the desktop entry that starts exePath with "startup".
std::string AutostartEntryText(const std::string& exePath);

// Writes (or replaces) folder/KestrovaMail.desktop. Returns false when it cannot be written.
bool CreateAutostartEntry(const std::filesystem::path& folder, const std::string& exePath);
bool AutostartEntryExists(const std::filesystem::path& folder);
bool DeleteAutostartEntry(const std::filesystem::path& folder);
