#pragma once
// TXT look-ups for DKIM keys through c-ares, on the calling thread: every query is bounded
// (kQueryLimit and the caller's deadline) and ends at once when the cancel signal is raised.
// The system's resolver (resolv.conf) by default; the environment variable
// KESTROVAMAIL_DNS_SERVER=address:port names another server to ask (tests, own resolvers).

#include "mail/MailError.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class CCancelSignal;

struct TxtAnswer {
    // NotFound: the server said the name or the record does not exist. Failed: no answer that
    // says anything (time-out, SERVFAIL, refused, cancelled); error tells which.
    enum class Status { Found, NotFound, Failed } status = Status::Failed;
    std::vector<std::string> records; // each record's strings joined
    MailError error;
};

class CDnsResolver {
public:
    static constexpr std::chrono::milliseconds kQueryLimit{5000};
    static constexpr const char* kServerVariable = "KESTROVAMAIL_DNS_SERVER";

    // server: "address:port" (IPv6 as "[address]:port"), empty for the system's resolver.
    explicit CDnsResolver(const std::string& server);
    // The server named by KESTROVAMAIL_DNS_SERVER, else the system's.
    CDnsResolver();
    ~CDnsResolver();
    CDnsResolver(const CDnsResolver&) = delete;
    CDnsResolver& operator=(const CDnsResolver&) = delete;

    void SetCancelSignal(const CCancelSignal* cancel) { m_cancel = cancel; }

    // The TXT records of name, within kQueryLimit and before deadline.
    TxtAnswer LookupTxt(const std::string& name, std::chrono::steady_clock::time_point deadline);

private:
    struct Channel;
    std::unique_ptr<Channel> m_channel;
    MailError m_setUpError; // a channel that could not be made fails every look-up with this
    const CCancelSignal* m_cancel = nullptr;
};
