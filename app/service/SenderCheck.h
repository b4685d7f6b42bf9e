#pragma once
// The sender check of a request (SENDER_CHECK=dkim): the request counts only when the mail
// proves that it comes from its From domain, by a DKIM signature that verifies and whose
// domain is aligned with the From domain (same organizational domain), or by dmarc=pass in
// the top-most Authentication-Results of the one authserv-id the user trusts.
//
// What it proves: the From domain's mail system sent the message unchanged. What it does not:
// that the owner of the address wrote it (a stolen account or password still passes).
//
// One object serves one check cycle: DNS answers are kept for the cycle, so a second request
// signed with the same key costs no look-up.

#include "app/service/RequestMailbox.h"
#include "mail/net/DnsResolver.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

class CCancelSignal;

struct SenderVerdict {
    // NoVerdict: DNS did not answer, so the request is looked at again in the next check.
    // Failed: the mailbox failed while the message was read; the cycle ends.
    enum class Kind { Verified, Refused, NoVerdict, Failed } kind = Kind::Refused;
    std::string reason; // for the log, e.g. "署名がありません"
};

class CSenderCheck {
public:
    // A request is a few KB; a larger mail is not read whole and counts as not proven.
    static constexpr std::size_t kMaxRequestBytes = 256 * 1024;
    // All DNS waits of one request together.
    static constexpr std::chrono::seconds kRequestLimit{15};

    CSenderCheck(std::string trustedAuthservId, const CCancelSignal* cancel);

    // Fetches the request at index whole and judges it; address is the From address the
    // allow-list accepted.
    SenderVerdict CheckRequest(IRequestMailbox& mailbox, std::size_t index,
                               const std::string& address);
    // Judges a whole message.
    SenderVerdict Check(std::string_view message, const std::string& address);

    // Whether a key look-up of this cycle got no answer (time-out, SERVFAIL; not a
    // cancellation), and whether one got an answer that says something.
    bool DnsFailed() const { return m_dnsFailed; }
    bool DnsAnswered() const { return m_dnsAnswered; }

private:
    TxtAnswer Lookup(const std::string& name, std::chrono::steady_clock::time_point deadline);

    std::string m_trustedAuthservId;
    CDnsResolver m_resolver;
    std::map<std::string, TxtAnswer> m_answers; // answers that say something, for the cycle
    bool m_dnsFailed = false;
    bool m_dnsAnswered = false;
};
