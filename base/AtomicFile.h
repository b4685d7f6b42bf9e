#pragma once
// Replacing a file's whole contents so that a crash or a full disk leaves either the old file
// or the new one, never a part: a temporary file in the same folder, fsync, rename, and an
// fsync of the folder so that the rename itself lasts.

#include <string>
#include <string_view>

// False when the new contents could not be written whole (the old file then stays as it was).
// A symbolic link keeps pointing where it did: the file it names is replaced.
bool ReplaceFileContents(const std::string& path, std::string_view bytes);
