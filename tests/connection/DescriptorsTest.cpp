// Descriptors the connection layer owns: the eventfd under the cancel signal, the resolver and
// the calls to the window's thread, and a connection's socket.

#include "base/EventFd.h"
#include "mail/net/MailConnection.h"
#include "tests/support/LoopbackListener.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <set>
#include <string>

namespace {

bool Readable(const EventFd& event) {
    pollfd fd{event.fd(), POLLIN, 0};
    return ::poll(&fd, 1, 0) == 1 && (fd.revents & POLLIN);
}

// The process's open descriptors. Other tests' helper threads (a name look-up given up on) may
// close theirs meanwhile, so the tests look at the descriptors that came, not at counts.
std::set<int> OpenDescriptors() {
    std::set<int> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        fds.insert(std::stoi(entry.path().filename().string()));
    return fds;
}

std::set<int> Added(const std::set<int>& before) {
    std::set<int> added;
    for (int fd : OpenDescriptors())
        if (!before.count(fd))
            added.insert(fd);
    return added;
}

bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(EventFd, ReadableFromSignalUntilDrain) {
    EventFd event;
    ASSERT_TRUE(event);
    EXPECT_FALSE(Readable(event));
    event.Signal();
    event.Signal();
    EXPECT_TRUE(Readable(event));
    event.Drain();
    EXPECT_FALSE(Readable(event));
    event.Drain(); // already at zero: does not block
    EXPECT_FALSE(Readable(event));
}

TEST(EventFd, ClosesItsDescriptor) {
    int fd = -1;
    {
        EventFd event;
        fd = event.fd();
        EXPECT_TRUE(IsOpen(fd));
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
    EXPECT_FALSE(IsOpen(fd));
}

TEST(MailConnection, ClosesItsSocketOnCloseReconnectAndDestruction) {
    using namespace std::chrono_literals;
    LoopbackListener peer;
    auto owner = std::make_unique<CMailConnection>();
    CMailConnection& connection = *owner;
    auto connect = [&] {
        const std::set<int> before = OpenDescriptors();
        EXPECT_TRUE(connection.Connect("127.0.0.1", peer.port(), 5s));
        const std::set<int> socket = Added(before);
        EXPECT_EQ(socket.size(), 1u);
        return socket.empty() ? -1 : *socket.begin();
    };
    const int first = connect();
    // Connecting again replaces the socket (it may well get the same number), and Close ends
    // whichever is open: the first one is gone either way.
    EXPECT_TRUE(connection.Connect("127.0.0.1", peer.port(), 5s));
    EXPECT_TRUE(connection.IsOpen());
    connection.Close();
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(IsOpen(first));
    const int last = connect();
    owner.reset();
    EXPECT_FALSE(IsOpen(last));
}

} // namespace
