#include "base/AtomicFile.h"

#include "base/FileDescriptor.h"
#include "base/PrivateFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::function<bool(ReplaceStep)>& FaultHook() {
    static std::function<bool(ReplaceStep)> hook;
    return hook;
}

bool PassStep(ReplaceStep step) {
    const auto& hook = FaultHook();
    return !hook || hook(step);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

void SetReplaceFaultHookForTesting(std::function<bool(ReplaceStep)> hook) {
    FaultHook() = std::move(hook);
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, int* systemError,
                         ReplaceOptions options) {
    int ignored = 0;
    int& error = systemError ? *systemError : ignored;
    auto fail = [&error] {
        error = errno ? errno : EIO;
        return false;
    };
    error = 0;

    namespace fs = std::filesystem;
    const fs::path target = path;
    static std::atomic<unsigned> counter{0};
    std::string temp;
    FileDescriptor fd;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        temp =
            target.string() + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = OpenPrivateFile(temp, O_EXCL);
        if (!fd && errno != EEXIST)
            return fail();
    }
    if (!fd)
        return fail();
    // Removes the temporary file on every path but the successful rename.
    auto removeTemp = [](std::string* name) { ::unlink(name->c_str()); };
    std::unique_ptr<std::string, decltype(removeTemp)> tempGuard(&temp, removeTemp);

    errno = 0;
    if (!PassStep(ReplaceStep::TempCreated) || !WriteAll(fd.get(), bytes) ||
        !PassStep(ReplaceStep::TempWritten) || ::fsync(fd.get()) != 0 ||
        !PassStep(ReplaceStep::TempSynced))
        return fail();
    // The old file's mode, not that of a file a link points to.
    struct stat original {};
    if (::lstat(target.c_str(), &original) == 0 && S_ISREG(original.st_mode)) {
        const mode_t kept = original.st_mode & 07777 & (options.ownerOnly ? ~mode_t{077} : 07777);
        ::fchmod(fd.get(), kept);
    }
    errno = 0;
    if (!fd.Close() || !PassStep(ReplaceStep::BeforeRename) ||
        ::rename(temp.c_str(), target.c_str()) != 0)
        return fail();
    tempGuard.release();

    const fs::path folder = target.parent_path();
    const FileDescriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
    return true;
}
