#pragma once
// Finds a mail account's servers from its address. The sources, in the order they are
// trusted; the first usable answer wins:
//
//  1. the domain's own configuration file (autoconfig) over verified HTTPS:
//     https://autoconfig.<domain>/mail/config-v1.1.xml,
//     then https://<domain>/.well-known/autoconfig/mail/config-v1.1.xml;
//  2. the shared provider database (the ISPDB of open mail clients) over HTTPS:
//     https://autoconfig.thunderbird.net/v1.1/<domain> (KESTROVAMAIL_ISPDB_URL in place of the
//     base); it is sent the domain only, never the address;
//  3. the program's provider table (ProviderTable) for the provider's own domains: the answer
//     when the database cannot be reached;
//  4. the domain's MX records: the database's entry for the MX host's domain (a custom domain
//     that Google, Microsoft or another listed provider handles), then the table's MX hosts;
//  5. DNS SRV records (RFC 6186, RFC 8314): _imaps, _imap, _pop3s, _pop3, _submissions,
//     _submission (the ones without "s" with STARTTLS required); priority, then weight;
//     a target of "." means the service is not offered. Taken as they are only when the
//     servers lie in the address's domain;
//  6. the guess (ServerGuess.h): imap., mail., pop., pop3., smtp. under the domain, with a
//     certificate for that very name;
//  7. SRV servers outside the domain: an unsigned DNS answer may have been forged, so the
//     account names them in otherDomainHosts and is used only once the user has agreed.
//
// The file of step 1 and the database may name hosts anywhere: they speak for the domain over
// verified HTTPS. With online off (MAIL.DISCOVERY_ONLINE=off) nothing outside the domain's own
// sources is asked: not the database, neither for the domain nor for its MX host.
//
// Steps 1, 2, 4 and 5 run side by side and end within kStepLimit; the guess, which runs only
// when they found nothing in the domain, within kGuessLimit: the whole search within 10 s at
// worst, at once when the cancel signal is raised. IMAP is taken before POP3 and implicit TLS
// before STARTTLS; a server in clear text never. A source that fails is noted with its reason.
// Every name is resolved by CDnsResolver (KESTROVAMAIL_DNS_SERVER). The domain's web hosts
// are asked on port 443, or KESTROVAMAIL_HTTPS_PORT (tests). Runs on the calling thread (the
// mail worker, or the command line); the steps on threads of their own.

#include "base/SecurityChoice.h"
#include "base/Settings.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CCancelSignal;

enum class ServerKind { Imap, Pop3, Smtp };

struct DiscoveredServer {
    ServerKind kind = ServerKind::Imap;
    std::string host;
    int port = 0;
    SecurityChoice security = SecurityChoice::Tls; // Tls or StartTls, never None
    std::string userName;                          // the log-in name

    bool operator==(const DiscoveredServer&) const = default;
};

struct DiscoveredAccount {
    std::string address;
    DiscoveredServer incoming; // IMAP or POP3
    DiscoveredServer outgoing; // SMTP
    // "google" or "microsoft" (an OAUTH_PROVIDER): the provider takes OAuth 2.0 sign-in, not
    // a password; empty: a password (or app password) log-in.
    std::string oauthProvider;
    // Where the answer came from, for people: the file's URL, "DNS SRV", "provider table
    // (Gmail, 2026-12)", "MX → aspmx.l.google.com: provider table (Google, 2026-12)".
    std::string source;
    std::string note; // what the user should know beyond the servers (translated); may be empty
    // Not empty: the servers named here lie outside the address's domain and only an unsigned
    // DNS answer says they serve it. They are used only when the user agrees.
    std::vector<std::string> otherDomainHosts;
};

struct SkippedSource {
    std::string source; // as DiscoveredAccount::source
    std::string reason; // translated
};

struct DiscoveryResult {
    std::optional<DiscoveredAccount> account; // none: nothing usable found
    std::vector<SkippedSource> skipped;       // the sources asked before, with their reasons
    std::string addressProblem; // not empty (translated): the address is no address to look up
};

// The ports of tests: KESTROVAMAIL_HTTPS_PORT in place of 443 for the domain's web hosts.
inline constexpr const char* kHttpsPortVariable = "KESTROVAMAIL_HTTPS_PORT";
// The provider database's base address; the domain is put after it.
inline constexpr const char* kDatabaseUrlVariable = "KESTROVAMAIL_ISPDB_URL";
inline constexpr const char* kDefaultDatabaseUrl = "https://autoconfig.thunderbird.net/v1.1/";

inline constexpr std::chrono::milliseconds kStepLimit{4500};
inline constexpr std::chrono::milliseconds kGuessLimit{4500};

// Every member has an initializer, so designated initializers may leave out any of them.
struct DiscoveryOptions {
    std::string caFile{}; // an extra authority beside the system's (CA_FILE); may be empty
    bool online = true;   // MAIL.DISCOVERY_ONLINE: the provider database may be asked
    // Called on the searching thread with each line of DescribeDiscovery's kind as the search
    // passes a source (translated), so that people see it go; may be empty.
    std::function<void(const std::string& line)> progress{};
};

DiscoveryResult DiscoverAccount(const std::string& address, const DiscoveryOptions& options,
                                const CCancelSignal* cancel);

// Writes the account into the MAIL keys: RECEIVE_PROTOCOL, the IMAP or POP3 server, port and
// protection, the SMTP server, port and protection, SENDER_ADDRESS, POP3_ID (and SMTP_ID where
// the SMTP log-in differs), AUTH_METHOD and OAUTH_PROVIDER. Passwords and everything else stay.
void ApplyDiscovered(const DiscoveredAccount& account, MailSettings& mail);

// The lines that say what was found and from where, and which sources were skipped and why
// (translated), as --set-up prints them and the settings dialog shows them: first one line
// for each source skipped (SkippedLine), then the outcome.
std::vector<std::string> DescribeDiscovery(const DiscoveryResult& result);
std::string SkippedLine(const SkippedSource& skipped);
