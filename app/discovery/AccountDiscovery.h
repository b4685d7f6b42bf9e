#pragma once
// Finds a mail account's servers from its address, in the order mail programs ask, stopping at
// the first source that gives a usable answer:
//
//  1. the provider's configuration file (autoconfig):
//  https://autoconfig.<domain>/mail/config-v1.1.xml,
//     then https://<domain>/.well-known/autoconfig/mail/config-v1.1.xml;
//  2. DNS SRV records (RFC 6186, RFC 8314): _imaps, _imap, _pop3s, _pop3, _submissions,
//     _submission (the ones without "s" with STARTTLS required); priority, then weight;
//     a target of "." means the service is not offered;
//  3. the program's provider table (ProviderTable) for the provider's own domains, then for a
//     domain whose MX records point at a provider of the table.
//
// IMAP is taken before POP3 and implicit TLS before STARTTLS; a server in clear text never. A
// source that fails (no such host, a certificate for another name, a file that is no autoconfig
// file, one that offers only clear text, a DNS server that does not answer) is noted with its
// reason and the next one asked. Every name, the web hosts' included, is resolved by
// CDnsResolver (KESTROVAMAIL_DNS_SERVER); each look-up and each HTTPS request ends within 5 s,
// and at once when the cancel signal is raised. HTTPS goes to port 443, or to
// KESTROVAMAIL_HTTPS_PORT (tests). Runs on the calling thread (the mail worker, or the
// command line).

#include "base/SecurityChoice.h"
#include "base/Settings.h"

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

// The ports of tests: KESTROVAMAIL_HTTPS_PORT in place of 443.
inline constexpr const char* kHttpsPortVariable = "KESTROVAMAIL_HTTPS_PORT";

// caFile: an extra authority for the HTTPS requests beside the system's (CA_FILE); may be empty.
DiscoveryResult DiscoverAccount(const std::string& address, const std::string& caFile,
                                const CCancelSignal* cancel);

// Writes the account into the MAIL keys: RECEIVE_PROTOCOL, the IMAP or POP3 server, port and
// protection, the SMTP server, port and protection, SENDER_ADDRESS, POP3_ID (and SMTP_ID where
// the SMTP log-in differs), AUTH_METHOD and OAUTH_PROVIDER. Passwords and everything else stay.
void ApplyDiscovered(const DiscoveredAccount& account, MailSettings& mail);

// The lines that say what was found and from where, and which sources were skipped and why
// (translated), as --set-up prints them and the settings dialog shows them.
std::vector<std::string> DescribeDiscovery(const DiscoveryResult& result);
