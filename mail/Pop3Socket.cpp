#include "mail/Pop3Socket.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Polls fd for events, restarting after signals, until deadline. Returns the poll result.
int PollUntil(int fd, short events, Clock::time_point deadline, short& revents) {
    for (;;) {
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        revents = p.revents;
        return r;
    }
}

} // namespace

bool CPop3Socket::Create() {
    CloseSocket();
    m_lastError = 0;
    return true;
}

void CPop3Socket::CloseSocket() {
    if (m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
}

bool CPop3Socket::ConnectTo(const std::string& host, int port) {
    CloseSocket();
    if (port < 1 || port > 65535 || host.empty()) {
        m_lastError = WSAEINVAL;
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No AI_ADDRCONFIG: it ignores loopback addresses, so on a machine whose only other
    // address is IPv6 it would refuse a dotted address such as "127.0.0.1" outright.
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* raw = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &raw) != 0 || !raw) {
        m_lastError = WSAEINVAL;
        return false;
    }
    AddrInfoList list(raw);

    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    m_lastError = WSAEINVAL;
    for (addrinfo* a = list.get(); a; a = a->ai_next) {
        if (MillisecondsLeft(deadline) == 0) {
            m_lastError = WSAETIMEDOUT;
            break;
        }
        int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            m_lastError = errno;
            continue;
        }
        m_handle = fd;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0)
            return true;
        if (errno != EINPROGRESS) {
            m_lastError = errno;
            CloseSocket();
            continue;
        }
        short revents = 0;
        int r = PollUntil(fd, POLLOUT, deadline, revents);
        if (r == 0) {
            m_lastError = WSAETIMEDOUT;
            CloseSocket();
            break;
        }
        if (r < 0) {
            m_lastError = errno;
            CloseSocket();
            break;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
            soError = errno;
        if (soError == 0)
            return true;
        m_lastError = soError;
        CloseSocket();
    }
    return false;
}

bool CPop3Socket::SendBytes(const char* data, size_t length) {
    if (m_handle < 0) {
        m_lastError = EBADF;
        return false;
    }
    size_t sent = 0;
    while (sent < length) {
        ssize_t n = ::send(m_handle, data + sent, length - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            short revents = 0;
            auto deadline = Clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
            int r = PollUntil(m_handle, POLLOUT, deadline, revents);
            if (r > 0)
                continue;
            m_lastError = r == 0 ? WSAETIMEDOUT : errno;
            return false;
        }
        m_lastError = n < 0 ? errno : EPIPE;
        return false;
    }
    return true;
}

ssize_t CPop3Socket::ReceiveBytes(char* buffer, size_t capacity) {
    if (m_handle < 0) {
        m_lastError = EBADF;
        return -1;
    }
    for (;;) {
        ssize_t n = ::recv(m_handle, buffer, capacity, 0);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        m_lastError = errno; // EAGAIN: nothing waiting after all
        return -1;
    }
}

bool CPop3Socket::HasData(bool& readable, int waitMs) {
    readable = false;
    if (m_handle < 0) {
        m_lastError = EBADF;
        return false;
    }
    short revents = 0;
    int r = PollUntil(m_handle, POLLIN, Clock::now() + std::chrono::milliseconds(waitMs), revents);
    if (r < 0) {
        m_lastError = errno;
        return false;
    }
    if (revents & POLLNVAL) {
        m_lastError = EBADF;
        return false;
    }
    readable = r > 0 && (revents & (POLLIN | POLLHUP | POLLERR));
    return true;
}
