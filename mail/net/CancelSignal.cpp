#include "mail/net/CancelSignal.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

CCancelSignal::CCancelSignal() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_fd < 0)
        throw std::runtime_error("eventfd failed");
}

CCancelSignal::~CCancelSignal() {
    ::close(m_fd);
}

void CCancelSignal::Cancel() {
    if (m_cancelled.exchange(true))
        return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_fd, &one, sizeof one);
}

void CCancelSignal::Reset() {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t n = ::read(m_fd, &value, sizeof value);
    m_cancelled.store(false);
}

bool CCancelSignal::Pause(std::chrono::milliseconds pause) const {
    const auto end = std::chrono::steady_clock::now() + pause;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (IsCancelled())
            return false;
        if (left.count() <= 0)
            return true;
        pollfd fd{m_fd, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30))) < 0 &&
            errno != EINTR)
            return !IsCancelled();
    }
}
