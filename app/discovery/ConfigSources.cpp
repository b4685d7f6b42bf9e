// The steps of account discovery that read what others publish: configuration files over
// HTTPS (the domain's own and the provider database's), MX and SRV records.

#include "app/discovery/AutoconfigFile.h"
#include "app/discovery/DiscoveryStep.h"
#include "app/discovery/ProviderTable.h"
#include "app/report/ScreenText.h"
#include "mail/dkim/DomainAlignment.h"
#include "mail/net/DnsResolver.h"
#include "mail/net/Https.h"

#include <QCoreApplication>
#include <QUrl>
#include <algorithm>
#include <arpa/inet.h>
#include <poll.h>

namespace discovery {
namespace {

using Clock = std::chrono::steady_clock;

template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("AccountDiscovery", text, {std::string_view(arguments)...});
}

std::string Lower(const std::string& text) {
    return QString::fromStdString(text).toLower().toStdString();
}

// libcurl's resolve entry for host at port: the addresses our resolver found.
std::string ResolveEntry(const std::string& host, int port,
                         const std::vector<std::string>& addresses) {
    std::string entry = host + ":" + std::to_string(port) + ":";
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const bool v6 = addresses[i].find(':') != std::string::npos;
        entry += (i ? "," : "") + (v6 ? "[" + addresses[i] + "]" : addresses[i]);
    }
    return entry;
}

bool IsLiteralAddress(std::string host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::chrono::milliseconds Left(const StepContext& context) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(context.deadline - Clock::now());
    return std::max(left, std::chrono::milliseconds(1));
}

} // namespace

CancelRelay::CancelRelay(const CCancelSignal* outer) {
    if (!outer)
        return;
    m_thread = std::thread([this, outer] {
        pollfd fds[2] = {{outer->fd(), POLLIN, 0}, {m_own.fd(), POLLIN, 0}};
        while (!outer->IsCancelled() && !m_own.IsCancelled())
            ::poll(fds, 2, -1);
        m_own.Cancel();
    });
}

CancelRelay::~CancelRelay() {
    m_own.Cancel();
    if (m_thread.joinable())
        m_thread.join();
}

std::string Described(const MailError& error) {
    return ScreenText(DescribeMailError(error));
}

bool IsInDomain(const std::string& host, const std::string& domain) {
    return host == domain || (host.size() > domain.size() && host.ends_with(domain) &&
                              host[host.size() - domain.size() - 1] == '.');
}

StepOutcome FromConfigFile(const StepContext& context, const std::string& url,
                           const std::string& source) {
    StepOutcome outcome;
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    const std::string host = parsed.host(QUrl::FullyEncoded).toStdString();
    const int port = parsed.port(443);
    if (!parsed.isValid() || parsed.scheme() != QLatin1String("https") || host.empty()) {
        outcome.Skip(source,
                     Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "https のアドレスではありません")));
        return outcome;
    }
    https::RequestOptions options;
    options.caFile = context.caFile;
    options.accept = "Accept: application/xml, text/xml";
    // A literal address goes to libcurl as it is; a name through the program's resolver.
    if (!IsLiteralAddress(host)) {
        CDnsResolver resolver;
        resolver.SetCancelSignal(context.cancel);
        const AddressAnswer addresses = resolver.LookupAddresses(host, context.deadline);
        if (addresses.status == DnsStatus::NotFound) {
            outcome.Skip(source,
                         Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "ホスト %1 がありません"), host));
            return outcome;
        }
        if (addresses.status != DnsStatus::Found) {
            outcome.Skip(source, Described(addresses.error));
            return outcome;
        }
        options.resolve = {ResolveEntry(host, port, addresses.records)};
    }
    options.timeout = Left(context);
    const HttpReply reply = https::Get(url, options, context.cancel);
    if (reply.error) {
        outcome.Skip(source, Described(reply.error));
        return outcome;
    }
    if (reply.status != 200) {
        outcome.Skip(source, Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "HTTP の応答 %1"),
                                std::to_string(reply.status)));
        return outcome;
    }
    AutoconfigReading reading = ReadAutoconfig(reply.body, context.address);
    if (!reading.account) {
        outcome.Skip(source, reading.problem);
        return outcome;
    }
    reading.account->source = source;
    outcome.account = std::move(reading.account);
    return outcome;
}

StepOutcome FromProviderDatabase(const StepContext& context, const std::string& domain,
                                 const std::string& sourcePrefix) {
    // The database's address form: the domain after the base, nothing of the address itself.
    std::string url = context.databaseUrl;
    if (!url.ends_with('/'))
        url += '/';
    url += domain;
    return FromConfigFile(
        context, url,
        sourcePrefix +
            Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "プロバイダー データベース（%1）"), url));
}

std::string TableSource(const ProviderEntry& entry) {
    return Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "プロバイダー表（%1、%2）"),
              std::string(entry.name), std::string(providers::kTableDate));
}

DiscoveredAccount FromTable(const StepContext& context, const ProviderEntry& entry,
                            std::string source) {
    DiscoveredAccount account;
    account.address = context.address;
    account.incoming = entry.incoming;
    account.outgoing = entry.outgoing;
    account.incoming.userName =
        providers::ExpandPlaceholders(entry.incoming.userName, context.address);
    account.outgoing.userName =
        providers::ExpandPlaceholders(entry.outgoing.userName, context.address);
    account.oauthProvider = entry.oauthProvider;
    account.source = std::move(source);
    if (entry.note)
        account.note = Tr(entry.note);
    return account;
}

StepOutcome FromMx(const StepContext& context, bool online) {
    StepOutcome outcome;
    const std::string source = "MX";
    CDnsResolver resolver;
    resolver.SetCancelSignal(context.cancel);
    MxAnswer answer = resolver.LookupMx(context.domain, context.deadline);
    if (answer.status == DnsStatus::Failed) {
        outcome.Skip(source, Described(answer.error));
        return outcome;
    }
    std::stable_sort(
        answer.records.begin(), answer.records.end(),
        [](const MxRecord& a, const MxRecord& b) { return a.preference < b.preference; });
    std::erase_if(answer.records,
                  [](const MxRecord& record) { return !IsServerHostName(record.host); });
    if (answer.records.empty()) {
        outcome.Skip(source, Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "MX レコードがありません")));
        return outcome;
    }
    // A custom domain whose mail a listed provider handles: the database knows the provider
    // by the domain of its MX host (aspmx.l.google.com: google.com). A domain that receives
    // its own mail was asked already.
    const std::string first = Lower(answer.records.front().host);
    const std::string mxDomain = alignment::OrganizationalDomain(first);
    if (online && !mxDomain.empty() && mxDomain != context.domain) {
        StepOutcome database = FromProviderDatabase(context, mxDomain, "MX → " + first + ": ");
        if (database.account)
            return database;
        outcome.skipped = std::move(database.skipped);
    }
    for (const MxRecord& record : answer.records) {
        const std::string host = Lower(record.host);
        if (const ProviderEntry* entry = providers::ForMxHost(host)) {
            outcome.account =
                FromTable(context, *entry, "MX → " + host + ": " + TableSource(*entry));
            return outcome;
        }
    }
    outcome.Skip(
        source,
        Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "%1 はプロバイダー表にありません"), first));
    return outcome;
}

namespace {

struct SrvService {
    const char* name;
    ServerKind kind;
    SecurityChoice security;
};

// In the order taken: IMAP before POP3, implicit TLS before STARTTLS (RFC 8314 section 5.1).
constexpr SrvService kIncomingServices[] = {
    {"_imaps._tcp", ServerKind::Imap, SecurityChoice::Tls},
    {"_imap._tcp", ServerKind::Imap, SecurityChoice::StartTls},
    {"_pop3s._tcp", ServerKind::Pop3, SecurityChoice::Tls},
    {"_pop3._tcp", ServerKind::Pop3, SecurityChoice::StartTls},
};
constexpr SrvService kOutgoingServices[] = {
    {"_submissions._tcp", ServerKind::Smtp, SecurityChoice::Tls},
    {"_submission._tcp", ServerKind::Smtp, SecurityChoice::StartTls},
};

// RFC 6186 section 3.4 and RFC 2782: the lowest priority first, among equals the heaviest.
// A single record with the target "." says the service is not offered.
std::optional<DiscoveredServer> FromSrvService(const StepContext& context, CDnsResolver& resolver,
                                               const SrvService& service, MailError& failure) {
    const SrvAnswer answer =
        resolver.LookupSrv(std::string(service.name) + "." + context.domain, context.deadline);
    if (answer.status == DnsStatus::Failed) {
        failure = answer.error;
        return std::nullopt;
    }
    std::vector<SrvRecord> records = answer.records;
    std::stable_sort(records.begin(), records.end(), [](const SrvRecord& a, const SrvRecord& b) {
        return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
    });
    for (const SrvRecord& record : records) {
        if (record.target.empty() || record.target == "." || record.port == 0 ||
            !IsServerHostName(record.target))
            continue;
        return DiscoveredServer{service.kind, Lower(record.target), record.port, service.security,
                                context.address};
    }
    return std::nullopt;
}

template <std::size_t N>
std::optional<DiscoveredServer> FirstSrv(const StepContext& context, CDnsResolver& resolver,
                                         const SrvService (&services)[N], MailError& failure) {
    for (const SrvService& service : services) {
        if (auto server = FromSrvService(context, resolver, service, failure))
            return server;
        if (failure) // a DNS server that does not answer: no use asking it more
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

StepOutcome FromSrv(const StepContext& context) {
    StepOutcome outcome;
    const std::string source = "DNS SRV";
    CDnsResolver resolver;
    resolver.SetCancelSignal(context.cancel);
    MailError failure;
    std::optional<DiscoveredServer> incoming =
        FirstSrv(context, resolver, kIncomingServices, failure);
    std::optional<DiscoveredServer> outgoing;
    if (incoming)
        outgoing = FirstSrv(context, resolver, kOutgoingServices, failure);
    if (failure) {
        outcome.Skip(source, Described(failure));
        return outcome;
    }
    if (!incoming || !outgoing) {
        outcome.Skip(
            source,
            !incoming ? Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                             "受信サーバー（IMAP か POP3）のレコードがありません"))
                      : Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                             "送信サーバー（SMTP）のレコードがありません")));
        return outcome;
    }
    DiscoveredAccount account;
    account.address = context.address;
    account.incoming = *incoming;
    account.outgoing = *outgoing;
    account.oauthProvider = providers::OAuthProviderForHost(incoming->host);
    account.source = source;
    // RFC 6186 section 6: an unsigned answer may name any host; one outside the address's
    // domain is only a claim, and the password would follow it.
    for (const DiscoveredServer* server : {&account.incoming, &account.outgoing})
        if (!IsInDomain(server->host, context.domain) &&
            std::find(account.otherDomainHosts.begin(), account.otherDomainHosts.end(),
                      server->host) == account.otherDomainHosts.end())
            account.otherDomainHosts.push_back(server->host);
    outcome.account = std::move(account);
    return outcome;
}

} // namespace discovery
