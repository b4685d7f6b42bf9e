#pragma once
#include <string>

// The folder that holds setup.ini, device.ini, log.txt and the judged-message files, ending in
// "/". KESTROVAMAIL_HOME overrides it; otherwise the executable's folder, or
// ~/.local/share/KestrovaMail/ when that folder is not writable or a system folder such as
// /usr/bin (an installed program); that folder, when the program creates it, is 0700. Empty
// when no folder can be found, so the files are addressed by their bare names.
std::string ProgramFolder();
