#include "mail/net/CancelSignal.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <stdexcept>

CCancelSignal::CCancelSignal() {
    if (!m_raised)
        throw std::runtime_error("eventfd failed");
}

void CCancelSignal::Cancel() {
    if (m_cancelled.exchange(true))
        return;
    m_raised.Signal();
}

void CCancelSignal::Reset() {
    m_raised.Drain();
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
        pollfd fd{m_raised.fd(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30))) < 0 &&
            errno != EINTR)
            return !IsCancelled();
    }
}
