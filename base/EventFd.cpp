#include "base/EventFd.h"

#include <cstdint>
#include <sys/eventfd.h>

EventFd::EventFd() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void EventFd::Signal() const {
    if (!m_fd)
        return;
    const std::uint64_t one = 1;
    // Only a counter at its maximum refuses the write, and it is readable then anyway.
    [[maybe_unused]] const ssize_t n = ::write(m_fd.get(), &one, sizeof one);
}

void EventFd::Drain() const {
    if (!m_fd)
        return;
    std::uint64_t value = 0;
    // Non-blocking: a counter already at zero answers EAGAIN, which is what is wanted.
    [[maybe_unused]] const ssize_t n = ::read(m_fd.get(), &value, sizeof value);
}
