#pragma once
// The program folder at start, for the window, the service and the commands alike: a folder
// the program may not trust (base/ProgramFolder.h) ends the start with a line that says why
// and what to do, in the user's language.

#include <string>

// The exit status of a start that cannot go on.
inline constexpr int kStartFailedExitStatus = 1;

// Empty when folder may be used (made private when it was readable by others); otherwise the
// line that says why it is refused.
std::string ProgramFolderRefusal(const std::string& folder);
