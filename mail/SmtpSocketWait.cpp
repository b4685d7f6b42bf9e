#include "mail/SmtpSocketWait.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace smtpwait {

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

bool ConnectWithin(int fd, const addrinfo& address, int timeoutMs) {
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    if (!WaitFor(fd, POLLOUT, Clock::now() + std::chrono::milliseconds(timeoutMs)))
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

} // namespace smtpwait
