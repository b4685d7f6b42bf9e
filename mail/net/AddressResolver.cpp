#include "mail/net/AddressResolver.h"

#include "base/EventFd.h"
#include "mail/net/CancelSignal.h"

#include <cerrno>
#include <mutex>
#include <poll.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

addrinfo Hints(int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No AI_ADDRCONFIG: it ignores loopback addresses, so on a machine whose only other
    // address is IPv6 it would refuse "127.0.0.1" outright.
    hints.ai_flags = AI_NUMERICSERV | flags;
    return hints;
}

// What the helper thread and the waiting caller share; whoever lets go last frees it, so a
// caller that gave up (time-out, cancel) leaves the thread nothing dangling.
struct Lookup {
    Lookup(std::string h, std::string p) : host(std::move(h)), port(std::move(p)) {}
    const std::string host, port;
    EventFd done;
    std::mutex mutex;
    AddrInfoList result;
    int status = EAI_FAIL;

    void Run() {
        const addrinfo hints = Hints(0);
        addrinfo* found = nullptr;
        const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
        std::lock_guard lock(mutex);
        result.reset(found);
        status = rc;
        done.Signal();
    }
};

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

AddrInfoList ResolveAddresses(const std::string& host, int port, Clock::time_point deadline,
                              const CCancelSignal* cancel, MailError& error) {
    const std::string service = std::to_string(port);
    // A literal address needs no look-up and no thread.
    const addrinfo numeric = Hints(AI_NUMERICHOST);
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &numeric, &found) == 0 && found)
        return AddrInfoList(found);

    auto lookup = std::make_shared<Lookup>(host, service);
    if (!lookup->done) {
        error = {MailErrorCode::NameNotFound, errno, host};
        return nullptr;
    }
    try {
        std::thread([lookup] { lookup->Run(); }).detach();
    } catch (const std::system_error&) {
        lookup->Run(); // no thread to be had: look up here, unbounded but still correct
    }

    for (;;) {
        pollfd fds[2] = {{lookup->done.fd(), POLLIN, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (cancel && cancel->IsCancelled()) {
            error = {MailErrorCode::Cancelled, 0, {}};
            return nullptr;
        }
        if (ready > 0 && (fds[0].revents & POLLIN))
            break;
        if (ready <= 0) {
            error = {MailErrorCode::ConnectTimeout, ETIMEDOUT, host};
            return nullptr;
        }
    }
    std::lock_guard lock(lookup->mutex);
    if (lookup->status != 0 || !lookup->result) {
        error = {MailErrorCode::NameNotFound, 0,
                 host + ": " + ::gai_strerror(lookup->status)};
        return nullptr;
    }
    return std::move(lookup->result);
}
