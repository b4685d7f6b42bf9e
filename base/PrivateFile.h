#pragma once
// Files and folders that only the user may read. The program's files hold pictures of the
// inside of a home and the mail passwords, so every file it creates is 0600 and the program
// folder it creates 0700, whatever the umask, and before a byte is written into them: there is
// no moment at which another user could open one. A file that exists already keeps its mode
// (the user may have chosen it). No symbolic link is followed: a link in place of one of the
// program's files is not the file (whoever could put it there chose where it points).

#include "base/FileDescriptor.h"

#include <cstdio>
#include <string>

// Opens path for writing (O_WRONLY plus extraFlags, such as O_TRUNC or O_APPEND), creating it
// 0600 when missing. With O_EXCL in extraFlags only a new file is accepted. Invalid on
// failure, with errno set (ELOOP for a symbolic link).
FileDescriptor OpenPrivateFile(const std::string& path, int extraFlags);

// Opens the user's own file path for reading; invalid on failure, with errno set (ELOOP for a
// symbolic link, EPERM for a file of another user: one left in a folder that others could
// write before it was closed to them says nothing the user chose).
FileDescriptor OpenForReading(const std::string& path);

// OpenPrivateFile(path, O_TRUNC) as a stdio stream for writing ("wb"), which the caller owns
// (fclose); null on failure, with errno set.
std::FILE* OpenPrivateStream(const std::string& path);

// Creates folder and any missing parents; the folder itself, when this call creates it, is
// 0700 (parents get the system's usual mode). True when the folder exists afterwards.
bool CreatePrivateFolder(const std::string& folder);

// Takes the group's and others' permissions away from the regular file path (not a link's
// target). True when it had any (so that the caller can say once that the file was readable by
// others); false when it had none or could not be changed.
bool RevokeOthersAccess(const std::string& path);
