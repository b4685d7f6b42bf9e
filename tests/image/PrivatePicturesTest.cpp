// A picture is never readable by others, not even for a moment while it is being written: a
// watcher looks at the file at every change the system reports in the folder.

#include "capture/FrameOps.h"
#include "capture/JpegWriter.h"
#include "tests/image/ImageTestSupport.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Stats every file of folder at each inotify event until stopped; keeps the modes seen.
class FolderWatcher {
public:
    explicit FolderWatcher(const std::string& folder)
        : m_folder(folder), m_inotify(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
        ::inotify_add_watch(m_inotify, folder.c_str(),
                            IN_CREATE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_TO);
        m_thread = std::thread([this] { Run(); });
    }
    ~FolderWatcher() {
        Stop();
        ::close(m_inotify);
    }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    const std::vector<mode_t>& modes() const { return m_modes; }

private:
    void Run() {
        alignas(inotify_event) char buffer[4096];
        while (!m_stop) {
            pollfd fd{m_inotify, POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                struct stat status {};
                if (event->len > 0 && ::stat((m_folder + event->name).c_str(), &status) == 0)
                    m_modes.push_back(status.st_mode & 07777);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    std::string m_folder;
    int m_inotify;
    std::atomic<bool> m_stop{false};
    std::vector<mode_t> m_modes;
    std::thread m_thread;
};

TEST(PrivatePictures, NoPictureIsReadableByOthersAtAnyMomentUnderAnOpenUmask) {
    CaptureFrame frame = CaptureFrame::Blank(1280, 960);
    FillNoise(frame, 7); // large enough to be written in many pieces
    const struct {
        const char* name;
        std::function<bool(const std::string&)> write;
    } writers[] = {
        {"reply.jpg", [&](const std::string& path) { return WriteJpegFile(path, frame, 95); }},
        {"snap.tmp", [&](const std::string& path) { return WriteBmpFile(path, frame); }},
    };
    const mode_t oldMask = ::umask(0);
    for (const auto& w : writers) {
        SCOPED_TRACE(w.name);
        TempDir dir;
        FolderWatcher watcher(dir.folder());
        ASSERT_TRUE(w.write(dir.folder() + w.name));
        ::usleep(100 * 1000); // the watcher's last events
        watcher.Stop();
        ASSERT_FALSE(watcher.modes().empty());
        for (mode_t mode : watcher.modes())
            EXPECT_EQ(mode, 0600u);
    }
    ::umask(oldMask);
}

} // namespace
