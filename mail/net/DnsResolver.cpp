#include "mail/net/DnsResolver.h"

#include "mail/net/CancelSignal.h"

#include <ares.h>
#include <arpa/inet.h>
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

struct RawReply {
    bool done = false;
    DnsStatus status = DnsStatus::Failed;
    std::vector<unsigned char> bytes;
    MailError error;
};

void OnAnswer(void* arg, int status, int, unsigned char* reply, int length) {
    auto* raw = static_cast<RawReply*>(arg);
    raw->done = true;
    if (status == ARES_ENOTFOUND || status == ARES_ENODATA) {
        raw->status = DnsStatus::NotFound;
        return;
    }
    if (status != ARES_SUCCESS) {
        raw->error = {status == ARES_ECANCELLED ? MailErrorCode::Cancelled
                      : status == ARES_ETIMEOUT ? MailErrorCode::NoAnswer
                                                : MailErrorCode::ProtocolError,
                      0, ares_strerror(status)};
        return;
    }
    raw->status = DnsStatus::Found;
    raw->bytes.assign(reply, reply + length);
}

std::string WithoutFinalDot(const char* name) {
    std::string text = name ? name : "";
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

// The records of a reply that came, through c-ares's parser for the type. parse(bytes, length,
// answer) fills answer.records and returns c-ares's status.
template <class Record, class Parse>
DnsAnswer<Record> ParseReply(const RawReply& raw, Parse parse) {
    DnsAnswer<Record> answer;
    answer.status = raw.status;
    answer.error = raw.error;
    if (raw.status != DnsStatus::Found)
        return answer;
    const int parsed = parse(raw.bytes.data(), static_cast<int>(raw.bytes.size()), answer);
    if (parsed == ARES_ENODATA || (parsed == ARES_SUCCESS && answer.records.empty())) {
        answer.records.clear();
        answer.status = DnsStatus::NotFound;
    } else if (parsed != ARES_SUCCESS) {
        answer.records.clear();
        answer.status = DnsStatus::Failed;
        answer.error = {MailErrorCode::ProtocolError, 0, ares_strerror(parsed)};
    }
    return answer;
}

int ParseTxt(const unsigned char* bytes, int length, TxtAnswer& answer) {
    ares_txt_ext* records = nullptr;
    const int parsed = ares_parse_txt_reply_ext(bytes, length, &records);
    if (parsed != ARES_SUCCESS)
        return parsed;
    for (const ares_txt_ext* record = records; record; record = record->next) {
        if (record->record_start || answer.records.empty())
            answer.records.emplace_back();
        answer.records.back().append(reinterpret_cast<const char*>(record->txt), record->length);
    }
    ares_free_data(records);
    return parsed;
}

int ParseSrv(const unsigned char* bytes, int length, SrvAnswer& answer) {
    ares_srv_reply* records = nullptr;
    const int parsed = ares_parse_srv_reply(bytes, length, &records);
    if (parsed != ARES_SUCCESS)
        return parsed;
    for (const ares_srv_reply* record = records; record; record = record->next)
        answer.records.push_back(
            {record->priority, record->weight, record->port, WithoutFinalDot(record->host)});
    ares_free_data(records);
    return parsed;
}

int ParseMx(const unsigned char* bytes, int length, MxAnswer& answer) {
    ares_mx_reply* records = nullptr;
    const int parsed = ares_parse_mx_reply(bytes, length, &records);
    if (parsed != ARES_SUCCESS)
        return parsed;
    for (const ares_mx_reply* record = records; record; record = record->next)
        answer.records.push_back({record->priority, WithoutFinalDot(record->host)});
    ares_free_data(records);
    return parsed;
}

constexpr int kMaxAddresses = 8;

int ParseA(const unsigned char* bytes, int length, AddressAnswer& answer) {
    ares_addrttl addresses[kMaxAddresses];
    int count = kMaxAddresses;
    const int parsed = ares_parse_a_reply(bytes, length, nullptr, addresses, &count);
    for (int i = 0; parsed == ARES_SUCCESS && i < count; ++i) {
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &addresses[i].ipaddr, text, sizeof text))
            answer.records.emplace_back(text);
    }
    return parsed;
}

int ParseAaaa(const unsigned char* bytes, int length, AddressAnswer& answer) {
    ares_addr6ttl addresses[kMaxAddresses];
    int count = kMaxAddresses;
    const int parsed = ares_parse_aaaa_reply(bytes, length, nullptr, addresses, &count);
    for (int i = 0; parsed == ARES_SUCCESS && i < count; ++i) {
        char text[INET6_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET6, &addresses[i].ip6addr, text, sizeof text))
            answer.records.emplace_back(text);
    }
    return parsed;
}

} // namespace

struct CDnsResolver::RawAnswer : RawReply {};

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

CDnsResolver::RawAnswer CDnsResolver::Query(const std::string& name, int type,
                                            std::chrono::steady_clock::time_point deadline) {
    RawAnswer pending;
    if (!m_channel->handle) {
        pending.error = m_setUpError;
        return pending;
    }
    ares_channel channel = m_channel->handle.get();
    deadline = std::min(deadline, std::chrono::steady_clock::now() + kQueryLimit);
    ares_query(channel, name.c_str(), ns_c_in, type, &OnAnswer, static_cast<RawReply*>(&pending));
    while (!pending.done) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (m_cancel && m_cancel->IsCancelled())) {
            const bool cancelled = m_cancel && m_cancel->IsCancelled();
            ares_cancel(channel); // calls OnAnswer with ARES_ECANCELLED
            pending.status = DnsStatus::Failed;
            pending.bytes.clear();
            pending.error = cancelled
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
            pending.status = DnsStatus::Failed;
            pending.bytes.clear();
            pending.error = {MailErrorCode::ReceiveFailed, error, name};
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
    return pending;
}

TxtAnswer CDnsResolver::LookupTxt(const std::string& name,
                                  std::chrono::steady_clock::time_point deadline) {
    return ParseReply<std::string>(Query(name, ns_t_txt, deadline), ParseTxt);
}

SrvAnswer CDnsResolver::LookupSrv(const std::string& name,
                                  std::chrono::steady_clock::time_point deadline) {
    return ParseReply<SrvRecord>(Query(name, ns_t_srv, deadline), ParseSrv);
}

MxAnswer CDnsResolver::LookupMx(const std::string& name,
                                std::chrono::steady_clock::time_point deadline) {
    return ParseReply<MxRecord>(Query(name, ns_t_mx, deadline), ParseMx);
}

AddressAnswer CDnsResolver::LookupAddresses(const std::string& name,
                                            std::chrono::steady_clock::time_point deadline) {
    AddressAnswer v4 = ParseReply<std::string>(Query(name, ns_t_a, deadline), ParseA);
    if (v4.error.code == MailErrorCode::Cancelled)
        return v4;
    AddressAnswer v6 = ParseReply<std::string>(Query(name, ns_t_aaaa, deadline), ParseAaaa);
    if (v4.status == DnsStatus::Found) {
        v4.records.insert(v4.records.end(), v6.records.begin(), v6.records.end());
        return v4;
    }
    if (v6.status == DnsStatus::Found || v4.status == DnsStatus::NotFound)
        return v6;
    return v4;
}
