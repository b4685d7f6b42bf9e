#include "mail/DnsResolver.h"

#include "mail/CancelSignal.h"

#include <ares.h>
#include <arpa/nameser.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace {

// c-ares retransmits within the query's time: two tries of 2 s leave room in the 5 s.
constexpr int kTryTimeoutMs = 2000;
constexpr int kTries = 2;

struct ChannelFree {
    void operator()(ares_channeldata* channel) const { ares_destroy(channel); }
};

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

struct Pending {
    bool done = false;
    TxtAnswer answer;
};

void OnAnswer(void* arg, int status, int, unsigned char* reply, int length) {
    auto* pending = static_cast<Pending*>(arg);
    pending->done = true;
    TxtAnswer& answer = pending->answer;
    if (status == ARES_ENOTFOUND || status == ARES_ENODATA) {
        answer.status = TxtAnswer::Status::NotFound;
        return;
    }
    if (status != ARES_SUCCESS) {
        answer.error = {status == ARES_ECANCELLED ? MailErrorCode::Cancelled
                        : status == ARES_ETIMEOUT ? MailErrorCode::NoAnswer
                                                  : MailErrorCode::ProtocolError,
                        0, ares_strerror(status)};
        return;
    }
    ares_txt_ext* records = nullptr;
    const int parsed = ares_parse_txt_reply_ext(reply, length, &records);
    if (parsed == ARES_ENODATA) {
        answer.status = TxtAnswer::Status::NotFound;
        return;
    }
    if (parsed != ARES_SUCCESS) {
        answer.error = {MailErrorCode::ProtocolError, 0, ares_strerror(parsed)};
        return;
    }
    for (const ares_txt_ext* record = records; record; record = record->next) {
        if (record->record_start || answer.records.empty())
            answer.records.emplace_back();
        answer.records.back().append(reinterpret_cast<const char*>(record->txt), record->length);
    }
    ares_free_data(records);
    answer.status = answer.records.empty() ? TxtAnswer::Status::NotFound : TxtAnswer::Status::Found;
}

} // namespace

struct CDnsResolver::Channel {
    std::unique_ptr<ares_channeldata, ChannelFree> handle;
};

CDnsResolver::CDnsResolver()
    : CDnsResolver(std::getenv(kServerVariable) ? std::getenv(kServerVariable) : "") {}

CDnsResolver::CDnsResolver(const std::string& server) {
    InitLibrary();
    ares_options options{};
    options.timeout = kTryTimeoutMs;
    options.tries = kTries;
    ares_channel raw = nullptr;
    int status = ares_init_options(&raw, &options, ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES);
    m_channel = std::make_unique<Channel>();
    m_channel->handle.reset(raw);
    if (status == ARES_SUCCESS && !server.empty())
        status = ares_set_servers_ports_csv(raw, server.c_str());
    if (status != ARES_SUCCESS) {
        m_setUpError = {MailErrorCode::InvalidArgument, 0,
                        (server.empty() ? std::string() : server + ": ") + ares_strerror(status)};
        m_channel->handle.reset();
    }
}

CDnsResolver::~CDnsResolver() = default;

TxtAnswer CDnsResolver::LookupTxt(const std::string& name,
                                  std::chrono::steady_clock::time_point deadline) {
    if (!m_channel->handle) {
        TxtAnswer failed;
        failed.error = m_setUpError;
        return failed;
    }
    ares_channel channel = m_channel->handle.get();
    deadline = std::min(deadline, std::chrono::steady_clock::now() + kQueryLimit);
    Pending pending;
    ares_query(channel, name.c_str(), ns_c_in, ns_t_txt, &OnAnswer, &pending);
    while (!pending.done) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (m_cancel && m_cancel->IsCancelled())) {
            const bool cancelled = m_cancel && m_cancel->IsCancelled();
            ares_cancel(channel); // calls OnAnswer with ARES_ECANCELLED
            pending.answer.status = TxtAnswer::Status::Failed;
            pending.answer.records.clear();
            pending.answer.error = cancelled
                                       ? MailError{MailErrorCode::Cancelled, 0, {}}
                                       : MailError{MailErrorCode::NoAnswer, 0, name};
            break;
        }
        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        const int mask = ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
        pollfd fds[ARES_GETSOCK_MAXNUM + 1];
        nfds_t count = 0;
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            const short events = static_cast<short>((ARES_GETSOCK_READABLE(mask, i) ? POLLIN : 0) |
                                                    (ARES_GETSOCK_WRITABLE(mask, i) ? POLLOUT : 0));
            if (events)
                fds[count++] = {sockets[i], events, 0};
        }
        const nfds_t socketCount = count;
        if (m_cancel)
            fds[count++] = {m_cancel->fd(), POLLIN, 0};
        timeval tv{};
        timeval max{static_cast<time_t>(left.count() / 1000),
                    static_cast<suseconds_t>(left.count() % 1000 * 1000)};
        const timeval* wait = ares_timeout(channel, &max, &tv);
        const int waitMs = static_cast<int>(wait->tv_sec * 1000 + wait->tv_usec / 1000) + 1;
        const int ready = poll(fds, count, waitMs);
        if (ready < 0 && errno != EINTR) {
            const int error = errno;
            ares_cancel(channel); // no callback may outlive pending
            pending.answer = {};
            pending.answer.error = {MailErrorCode::ReceiveFailed, error, name};
            break;
        }
        bool any = false;
        for (nfds_t i = 0; i < socketCount; ++i) {
            if (!fds[i].revents)
                continue;
            any = true;
            const bool readable = fds[i].revents & (POLLIN | POLLERR | POLLHUP);
            const bool writable = fds[i].revents & POLLOUT;
            ares_process_fd(channel, readable ? fds[i].fd : ARES_SOCKET_BAD,
                            writable ? fds[i].fd : ARES_SOCKET_BAD);
        }
        if (!any)
            ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD); // time-outs
    }
    return pending.answer;
}
