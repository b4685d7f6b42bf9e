#pragma once
// What one step of account discovery is given and what it gives back. The search
// (AccountDiscovery.cpp) runs the steps that do not depend on each other side by side, each on
// a thread of its own with its own DNS resolver, and reads their outcomes in its order of trust.
//
// The steps (every one ends by the context's deadline, and at once when its cancel signal is
// raised):
//  - a configuration file in the autoconfig format over verified HTTPS: the domain's own
//    (autoconfig.<domain>, <domain>/.well-known) or the shared provider database's;
//  - the domain's MX records: the database's entry for the MX host's domain, then the
//    built-in table's MX suffixes;
//  - DNS SRV records (RFC 6186);
//  - the guess: well-known host names under the domain, taken only with TLS verified for that
//    very name and the protocol's greeting (ServerGuess.cpp).

#include "app/discovery/AccountDiscovery.h"
#include "mail/net/CancelSignal.h"
#include "mail/net/MailError.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct ProviderEntry;

struct StepContext {
    std::string address;
    std::string domain; // lower case, IDNA (ACE) form
    std::string caFile;
    int httpsPort = 443;     // of the domain's own web hosts (KESTROVAMAIL_HTTPS_PORT in tests)
    std::string databaseUrl; // the provider database's base address; the domain goes after it
    const CCancelSignal* cancel = nullptr;
    std::chrono::steady_clock::time_point deadline;
};

struct StepOutcome {
    std::optional<DiscoveredAccount> account;
    std::vector<SkippedSource> skipped;

    void Skip(std::string source, std::string reason) {
        skipped.push_back({std::move(source), std::move(reason)});
    }
};

namespace discovery {

// A cancel signal of the search's own, raised when the caller's is (the user cancelled) or by
// Cancel() (the answer is in and the steps still asking are no longer wanted). A thread waits
// on both, so the steps need watch only one.
class CancelRelay {
public:
    explicit CancelRelay(const CCancelSignal* outer);
    ~CancelRelay(); // raises the signal, then lets the thread go
    CancelRelay(const CancelRelay&) = delete;
    CancelRelay& operator=(const CancelRelay&) = delete;

    const CCancelSignal* signal() const { return &m_own; }
    void Cancel() { m_own.Cancel(); }

private:
    CCancelSignal m_own;
    std::thread m_thread;
};

// The file at url (https only), read as an autoconfig file for the address; source names it
// for people.
StepOutcome FromConfigFile(const StepContext& context, const std::string& url,
                           const std::string& source);
// The provider database's entry for domain (the address's or its MX host's).
StepOutcome FromProviderDatabase(const StepContext& context, const std::string& domain,
                                 const std::string& sourcePrefix = {});
// The MX records: with online, the database's entry for the MX host's domain; then the table.
StepOutcome FromMx(const StepContext& context, bool online);
// SRV records; servers outside the domain are named in otherDomainHosts.
StepOutcome FromSrv(const StepContext& context);
// The guess (ServerGuess.cpp).
StepOutcome FromGuess(const StepContext& context);

// The built-in table's entry for the address, and how the source is named.
DiscoveredAccount FromTable(const StepContext& context, const ProviderEntry& entry,
                            std::string source);
std::string TableSource(const ProviderEntry& entry);

// host is domain or a name below it.
bool IsInDomain(const std::string& host, const std::string& domain);
// The mail layer's cause in the user's language.
std::string Described(const MailError& error);

} // namespace discovery
