#pragma once
// Replacing a file's whole contents so that a crash or a full disk leaves either the old file
// or the new one, never a part: a temporary file in the same folder, fsync, rename, and an
// fsync of the folder so that the rename itself lasts. The temporary file is private (0600,
// base/PrivateFile.h) from its creation; the new file then takes the old one's mode, or stays
// 0600 when there was none.

#include <functional>
#include <string>
#include <string_view>

struct ReplaceOptions {
    // The file holds secrets: an old mode that let the group or others read it is not taken
    // over (the new file gives them nothing).
    bool ownerOnly = false;
};

// False when the new contents could not be written whole (the old file then stays as it was);
// systemError (may be null) then holds the system's reason, EIO where it gave none.
// A symbolic link at path is replaced by the new file; the file it pointed to is left as it is.
bool ReplaceFileContents(const std::string& path, std::string_view bytes,
                         int* systemError = nullptr, ReplaceOptions options = {});

// The steps of a replacement at which a test may make it fail (the hook returns false).
enum class ReplaceStep { TempCreated, TempWritten, TempSynced, BeforeRename };
void SetReplaceFaultHookForTesting(std::function<bool(ReplaceStep)> hook);
