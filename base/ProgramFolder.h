#pragma once
#include <string>

// The folder that holds setup.ini, device.ini, log.txt and the judged-message files, ending in
// "/". KESTROVAMAIL_HOME overrides it; otherwise the executable's folder, or
// ~/.local/share/KestrovaMail/ when that folder is not writable or a system folder such as
// /usr/bin (an installed program); that folder, when the program creates it, is 0700. Empty
// when no folder can be found, so the files are addressed by their bare names.
std::string ProgramFolder();

// Whether folder (as ProgramFolder() gives it; empty: the working folder) may hold the
// program's files, made so where it can be. Whoever may change the folder may put a setup.ini
// of their own in it (another allow-list, another mail server), or a link in a file's place:
// such a folder is refused, not used less safely.
enum class FolderSafety {
    Private,          // the user's, closed to everyone else (created 0700 when it was missing)
    Closed,           // the user's, and others could read or enter it: it is 0700 now
    NotOwned,         // another user's: refused
    WritableByOthers, // the group or others may write it (a shared folder such as /tmp): refused
    Unusable,         // cannot be created, opened or closed to others: refused
};
FolderSafety SecureProgramFolder(const std::string& folder);
