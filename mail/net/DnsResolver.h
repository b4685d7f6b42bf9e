#pragma once
// DNS look-ups through c-ares, on the calling thread: TXT (DKIM keys), SRV and MX (account
// discovery), A and AAAA (the web hosts of account discovery, handed to libcurl). Every query
// is bounded (kQueryLimit and the caller's deadline) and ends at once when the cancel signal
// is raised.
// The system's resolver (resolv.conf) by default; the environment variable
// KESTROVAMAIL_DNS_SERVER=address:port names another server to ask (tests, own resolvers).

#include "mail/net/MailError.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCancelSignal;

// NotFound: the server said the name or the record does not exist. Failed: no answer that
// says anything (time-out, SERVFAIL, refused, cancelled); the answer's error tells which.
enum class DnsStatus { Found, NotFound, Failed };

template <class Record>
struct DnsAnswer {
    using Status = DnsStatus;
    Status status = Status::Failed;
    std::vector<Record> records;
    MailError error;
};

// RFC 2782. target "." (empty here after the dot is cut) means: the service is not offered.
struct SrvRecord {
    uint16_t priority = 0;
    uint16_t weight = 0;
    uint16_t port = 0;
    std::string target; // without the final dot
};

struct MxRecord {
    uint16_t preference = 0;
    std::string host; // without the final dot
};

using TxtAnswer = DnsAnswer<std::string>;     // each record's strings joined
using SrvAnswer = DnsAnswer<SrvRecord>;       // in the order the server gave
using MxAnswer = DnsAnswer<MxRecord>;         // in the order the server gave
using AddressAnswer = DnsAnswer<std::string>; // IPv4 addresses first, then IPv6, as text

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
    SrvAnswer LookupSrv(const std::string& name, std::chrono::steady_clock::time_point deadline);
    MxAnswer LookupMx(const std::string& name, std::chrono::steady_clock::time_point deadline);
    // The A and AAAA records of name, each query within kQueryLimit and all before deadline.
    AddressAnswer LookupAddresses(const std::string& name,
                                  std::chrono::steady_clock::time_point deadline);

private:
    struct RawAnswer;
    // One query of type; the reply's bytes for the caller's parser.
    RawAnswer Query(const std::string& name, int type,
                    std::chrono::steady_clock::time_point deadline);

    struct Channel;
    std::unique_ptr<Channel> m_channel;
    MailError m_setUpError; // a channel that could not be made fails every look-up with this
    const CCancelSignal* m_cancel = nullptr;
};
