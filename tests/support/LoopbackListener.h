#pragma once
// A TCP socket listening on 127.0.0.1 that accepts nobody: it tells whether a client tried to
// connect, and once destroyed it leaves a port where nothing listens.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

// A socket listening on a free port of 127.0.0.1 (the caller closes it); port gets the port.
// Throws std::runtime_error when no socket can listen.
inline int ListenOnLoopback(int backlog, int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(addr.sin_port);
    return fd;
}

class LoopbackListener {
public:
    LoopbackListener() : m_fd(ListenOnLoopback(4, m_port)) {}
    ~LoopbackListener() { ::close(m_fd); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int port() const { return m_port; }
    // True when a client has connected (or connects within waitMs).
    bool HasPendingConnection(int waitMs = 0) const {
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, waitMs) > 0;
    }

    // Accepts (and closes) every connection waiting now; returns how many there were.
    int AcceptWaiting() const {
        int count = 0;
        while (HasPendingConnection()) {
            const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                break;
            ::close(fd);
            ++count;
        }
        return count;
    }

private:
    int m_port = 0; // before m_fd: the constructor fills it while it opens m_fd
    int m_fd = -1;
};

// A loopback port that nobody listens on: taken for a moment, then let go.
inline int UnusedLoopbackPort() {
    return LoopbackListener().port();
}
