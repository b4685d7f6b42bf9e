#include "base/ProgramFolder.h"

#include "base/PrivateFile.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// The folders an installed executable lives in: <prefix>/bin of the system's prefixes.
bool IsInstalledFolder(const std::string& folder) {
    for (const char* system : {"/usr/bin", "/usr/local/bin", "/bin", "/usr/games", "/opt"})
        if (folder == system || folder.starts_with(std::string(system) + "/"))
            return true;
    return false;
}

} // namespace

std::string ProgramFolder() {
    if (const char* home = std::getenv("KESTROVAMAIL_HOME"); home && *home)
        return WithSeparator(home);

    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.has_parent_path()) {
        std::string folder = exe.parent_path().string();
        // An installed program keeps its files in the user's folder, also when the folder of
        // the executable is writable (root running /usr/bin/kestrovamail).
        if (!IsInstalledFolder(folder) && access(folder.c_str(), W_OK) == 0)
            return WithSeparator(folder);
    }

    if (const char* userHome = std::getenv("HOME"); userHome && *userHome) {
        const fs::path data = fs::path(userHome) / ".local/share/KestrovaMail";
        if (CreatePrivateFolder(data.string()))
            return WithSeparator(data.string());
    }
    return {};
}

FolderSafety SecureProgramFolder(const std::string& folder) {
    const std::string path = folder.empty() ? "." : folder;
    if (!CreatePrivateFolder(path))
        return FolderSafety::Unusable;
    // Checked and changed through one descriptor, so that both are about the same folder.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0)
        return FolderSafety::Unusable;
    if (status.st_uid != ::geteuid())
        return FolderSafety::NotOwned;
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return FolderSafety::WritableByOthers;
    if ((status.st_mode & 077) == 0)
        return FolderSafety::Private;
    // Made 0755 by an earlier version or by hand: what it holds is the user's alone from now.
    if (::fchmod(fd.get(), status.st_mode & 07700) != 0)
        return FolderSafety::Unusable;
    return FolderSafety::Closed;
}
