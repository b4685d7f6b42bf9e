#include "bench/cycle/DelayProxy.h"

#include "tests/support/LoopbackListener.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Bytes on their way, or (empty, endOfStream) the sender's end of the stream.
struct Chunk {
    Clock::time_point due;
    std::string bytes;
    bool endOfStream = false;
};

// One direction of a connection: what was read from `from` waits here until it is due on `to`.
struct Lane {
    int from = -1;
    int to = -1;
    std::deque<Chunk> waiting;
    std::size_t sentOfFront = 0;
    bool readerDone = false; // `from` reached its end (or failed)
    bool writerDone = false; // the end was passed on to `to`
};

void MakeNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    // Bytes leave the proxy when they are due, as the sender cut them, with no wait of its own.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int ConnectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// Reads what is there into the lane, due oneWay from now; false at the end of the stream.
bool ReadInto(Lane& lane, std::chrono::milliseconds oneWay, long long& bytes) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(lane.from, buffer, sizeof buffer, 0);
        if (n > 0) {
            lane.waiting.push_back({Clock::now() + oneWay, std::string(buffer, n)});
            bytes += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        lane.waiting.push_back({Clock::now() + oneWay, {}, true});
        lane.readerDone = true;
        return false;
    }
}

// Writes what is due; wantWrite when the receiver's buffer is full. The number of bytes
// written.
long long WriteDue(Lane& lane, bool& wantWrite) {
    wantWrite = false;
    long long written = 0;
    while (!lane.waiting.empty() && lane.waiting.front().due <= Clock::now()) {
        Chunk& front = lane.waiting.front();
        if (front.endOfStream) {
            ::shutdown(lane.to, SHUT_WR);
            lane.writerDone = true;
            lane.waiting.clear();
            return written;
        }
        const ssize_t n = ::send(lane.to, front.bytes.data() + lane.sentOfFront,
                                 front.bytes.size() - lane.sentOfFront, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            wantWrite = true;
            return written;
        }
        if (n < 0) { // the receiver is gone: drop what it would have got
            lane.waiting.clear();
            lane.writerDone = true;
            return written;
        }
        written += n;
        lane.sentOfFront += static_cast<std::size_t>(n);
        if (lane.sentOfFront == front.bytes.size()) {
            lane.waiting.pop_front();
            lane.sentOfFront = 0;
        }
    }
    return written;
}

} // namespace

struct DelayProxy::Pair {
    Lane up;                      // client to server
    Lane down;                    // server to client
    bool serverSpokeLast = false; // bytes of the server reached the client since it last sent
    bool upWantsWrite = false, downWantsWrite = false;

    ~Pair() {
        ::close(up.from);
        ::close(up.to);
    }
    bool Finished() const { return up.writerDone && down.writerDone; }
};

DelayProxy::DelayProxy(int targetPort, std::chrono::milliseconds oneWay)
    : m_targetPort(targetPort), m_oneWay(oneWay) {
    m_listen = ListenOnLoopback(16, m_port);
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        ::close(m_listen);
        throw std::runtime_error("delay proxy: no pipe");
    }
    m_thread = std::thread([this] { Run(); });
}

DelayProxy::~DelayProxy() {
    char byte = 0;
    while (::write(m_wake[1], &byte, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    ::close(m_listen);
}

DelayProxy::Counts DelayProxy::Take() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_counts, Counts{});
}

void DelayProxy::Run() {
    std::vector<std::unique_ptr<Pair>> pairs;
    for (;;) {
        std::vector<pollfd> fds = {{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        auto next = Clock::time_point::max();
        for (const auto& pair : pairs) {
            const short clientEvents = static_cast<short>((pair->up.readerDone ? 0 : POLLIN) |
                                                          (pair->downWantsWrite ? POLLOUT : 0));
            const short serverEvents = static_cast<short>((pair->down.readerDone ? 0 : POLLIN) |
                                                          (pair->upWantsWrite ? POLLOUT : 0));
            // A side with nothing to wait for is left out: its end of stream would wake the
            // loop at once, again and again.
            fds.push_back({clientEvents ? pair->up.from : -1, clientEvents, 0});
            fds.push_back({serverEvents ? pair->down.from : -1, serverEvents, 0});
            for (const Lane* lane : {&pair->up, &pair->down}) {
                if (!lane->waiting.empty())
                    next = std::min(next, lane->waiting.front().due);
            }
        }
        int timeout = -1;
        if (next != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client >= 0 ? ConnectLoopback(m_targetPort) : -1;
            if (server >= 0) {
                MakeNonBlocking(client);
                MakeNonBlocking(server);
                auto pair = std::make_unique<Pair>();
                pair->up.from = pair->down.to = client;
                pair->up.to = pair->down.from = server;
                pairs.push_back(std::move(pair));
                std::lock_guard lock(m_mutex);
                ++m_counts.connections;
            } else if (client >= 0) {
                ::close(client);
            }
        }
        for (std::size_t i = 0; i < pairs.size() && 2 + 2 * i + 1 < fds.size(); ++i) {
            Pair& pair = *pairs[i];
            long long up = 0, down = 0;
            if (fds[2 + 2 * i].revents & (POLLIN | POLLHUP | POLLERR))
                ReadInto(pair.up, m_oneWay, up);
            if (fds[2 + 2 * i + 1].revents & (POLLIN | POLLHUP | POLLERR))
                ReadInto(pair.down, m_oneWay, down);
            std::lock_guard lock(m_mutex);
            m_counts.bytesToClient += down;
            m_counts.bytesToServer += up;
            // Bytes the client sent after the server's last reached it: it had waited for them.
            if (up > 0 && pair.serverSpokeLast)
                ++m_counts.roundTrips;
            if (up > 0)
                pair.serverSpokeLast = false;
        }
        for (auto& pair : pairs) {
            WriteDue(pair->up, pair->upWantsWrite);
            if (WriteDue(pair->down, pair->downWantsWrite) > 0)
                pair->serverSpokeLast = true;
        }
        std::erase_if(pairs, [](const auto& pair) { return pair->Finished(); });
    }
}
