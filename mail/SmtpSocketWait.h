#pragma once
// Bounded socket waits shared by the two SMTP clients.

#include <chrono>
#include <netdb.h>

namespace smtpwait {

using Clock = std::chrono::steady_clock;

// Milliseconds until deadline, 0 when it has passed.
int MillisecondsLeft(Clock::time_point deadline);

// Connects the non-blocking socket fd to address, waiting at most timeoutMs.
bool ConnectWithin(int fd, const addrinfo& address, int timeoutMs);

// Waits until fd is readable (POLLIN) or writable (POLLOUT) before deadline.
bool WaitFor(int fd, short events, Clock::time_point deadline);

} // namespace smtpwait
