#include "base/PrivateFile.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr mode_t kPrivateFileMode = 0600;
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kGroupAndOthers = 077;

int OpenRetrying(const std::string& path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

FileDescriptor OpenPrivateFile(const std::string& path, int extraFlags) {
    const bool newOnly = (extraFlags & O_EXCL) != 0;
    const int flags = O_WRONLY | (extraFlags & ~(O_EXCL | O_CREAT));
    // Created with O_EXCL, so that we know whether the file is ours to set the mode of; a file
    // that appears or goes between the two opens is tried again a few times.
    for (int attempt = 0; attempt < 10; ++attempt) {
        FileDescriptor created(OpenRetrying(path, flags | O_CREAT | O_EXCL, kPrivateFileMode));
        if (created) {
            // The umask can only take bits away from 0600; this puts back the owner's.
            if (::fchmod(created.get(), kPrivateFileMode) != 0) {
                const int error = errno;
                ::unlink(path.c_str());
                errno = error;
                return {};
            }
            return created;
        }
        if (errno != EEXIST || newOnly)
            return {};
        FileDescriptor existing(OpenRetrying(path, flags));
        if (existing || errno != ENOENT)
            return existing;
    }
    return {};
}

FileDescriptor OpenForReading(const std::string& path) {
    FileDescriptor fd(OpenRetrying(path, O_RDONLY));
    struct stat status {};
    if (fd && ::fstat(fd.get(), &status) == 0 && status.st_uid != ::geteuid()) {
        fd.reset();
        errno = EPERM;
    }
    return fd;
}

std::FILE* OpenPrivateStream(const std::string& path) {
    FileDescriptor fd = OpenPrivateFile(path, O_TRUNC);
    if (!fd)
        return nullptr;
    std::FILE* stream = ::fdopen(fd.get(), "wb");
    if (stream)
        fd.release();
    return stream;
}

bool CreatePrivateFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path = fs::path(folder).lexically_normal();
    const fs::path target = path.has_filename() ? path : path.parent_path();
    if (fs::is_directory(target, ec))
        return true;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    if (::mkdir(target.c_str(), kPrivateFolderMode) == 0)
        return ::chmod(target.c_str(), kPrivateFolderMode) == 0 || fs::is_directory(target, ec);
    return errno == EEXIST && fs::is_directory(target, ec);
}

bool RevokeOthersAccess(const std::string& path) {
    // Opened without waiting, so that a pipe in the file's place cannot hold the start.
    const FileDescriptor fd(OpenRetrying(path, O_RDONLY | O_NONBLOCK));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        (status.st_mode & kGroupAndOthers) == 0)
        return false;
    return ::fchmod(fd.get(), status.st_mode & 07777 & ~kGroupAndOthers) == 0;
}
