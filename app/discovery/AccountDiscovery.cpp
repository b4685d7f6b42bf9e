#include "app/discovery/AccountDiscovery.h"

#include "app/discovery/AutoconfigFile.h"
#include "mail/net/Https.h"
#include "app/discovery/ProviderTable.h"
#include "app/report/ScreenText.h"
#include "mail/net/CancelSignal.h"
#include "mail/net/DnsResolver.h"
#include "mail/mime/MailAddress.h"

#include <QCoreApplication>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

// Each DNS look-up and each HTTPS request ends within this.
constexpr std::chrono::milliseconds kLookUpLimit{5000};

template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("AccountDiscovery", text, {std::string_view(arguments)...});
}

// What every step needs.
struct Search {
    std::string address;
    std::string domain; // lower case, IDNA (ACE) form
    std::string caFile;
    const CCancelSignal* cancel = nullptr;
    mutable CDnsResolver resolver; // look-ups change only its channel
    int httpsPort = 443;
    std::vector<SkippedSource>* skipped = nullptr;

    bool Cancelled() const { return cancel && cancel->IsCancelled(); }
    void Skip(std::string source, std::string reason) const {
        skipped->push_back({std::move(source), std::move(reason)});
    }
};

int HttpsPort() {
    const char* text = std::getenv(kHttpsPortVariable);
    const int port = text ? std::atoi(text) : 0;
    return port >= 1 && port <= 65535 ? port : 443;
}

// The mail layer's cause in the user's language.
std::string Described(const MailError& error) {
    return ScreenText(DescribeMailError(error));
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

std::optional<DiscoveredAccount> FromAutoconfig(const Search& search, const std::string& host,
                                                const std::string& path) {
    const std::string authority =
        search.httpsPort == 443 ? host : host + ":" + std::to_string(search.httpsPort);
    const std::string url = "https://" + authority + path;
    const AddressAnswer addresses =
        search.resolver.LookupAddresses(host, Clock::now() + kLookUpLimit);
    if (addresses.status == DnsStatus::NotFound) {
        search.Skip(url, Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "ホスト %1 がありません"), host));
        return std::nullopt;
    }
    if (addresses.status != DnsStatus::Found) {
        search.Skip(url, Described(addresses.error));
        return std::nullopt;
    }
    https::RequestOptions options;
    options.caFile = search.caFile;
    options.timeout = kLookUpLimit;
    options.accept = "Accept: application/xml, text/xml";
    options.resolve = {ResolveEntry(host, search.httpsPort, addresses.records)};
    const HttpReply reply = https::Get(url, options, search.cancel);
    if (reply.error) {
        search.Skip(url, Described(reply.error));
        return std::nullopt;
    }
    if (reply.status != 200) {
        search.Skip(url, Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "HTTP の応答 %1"),
                            std::to_string(reply.status)));
        return std::nullopt;
    }
    AutoconfigReading reading = ReadAutoconfig(reply.body, search.address);
    if (!reading.account) {
        search.Skip(url, reading.problem);
        return std::nullopt;
    }
    reading.account->source = url;
    return reading.account;
}

// RFC 6186 section 3.4 and RFC 2782: the lowest priority first, among equals the heaviest.
// A single record with the target "." says the service is not offered.
std::optional<DiscoveredServer> FromSrv(const Search& search, const char* service, ServerKind kind,
                                        SecurityChoice security, MailError& failure) {
    const SrvAnswer answer = search.resolver.LookupSrv(std::string(service) + "." + search.domain,
                                                       Clock::now() + kLookUpLimit);
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
        return DiscoveredServer{kind, QString::fromStdString(record.target).toLower().toStdString(),
                                record.port, security, search.address};
    }
    return std::nullopt;
}

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

template <std::size_t N>
std::optional<DiscoveredServer> FirstSrv(const Search& search, const SrvService (&services)[N],
                                         MailError& failure) {
    for (const SrvService& service : services) {
        if (auto server = FromSrv(search, service.name, service.kind, service.security, failure))
            return server;
        if (failure) // a DNS server that does not answer: no use asking it more
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<DiscoveredAccount> FromSrvRecords(const Search& search) {
    const std::string source = "DNS SRV";
    MailError failure;
    std::optional<DiscoveredServer> incoming = FirstSrv(search, kIncomingServices, failure);
    std::optional<DiscoveredServer> outgoing;
    if (incoming)
        outgoing = FirstSrv(search, kOutgoingServices, failure);
    if (failure) {
        search.Skip(source, Described(failure));
        return std::nullopt;
    }
    if (!incoming) {
        search.Skip(source,
                    Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                         "受信サーバー（IMAP か POP3）のレコードがありません")));
        return std::nullopt;
    }
    if (!outgoing) {
        search.Skip(source, Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                                 "送信サーバー（SMTP）のレコードがありません")));
        return std::nullopt;
    }
    DiscoveredAccount account;
    account.address = search.address;
    account.incoming = *incoming;
    account.outgoing = *outgoing;
    account.oauthProvider = providers::OAuthProviderForHost(incoming->host);
    account.source = source;
    return account;
}

std::string TableSource(const ProviderEntry& entry) {
    return Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "プロバイダー表（%1、%2）"),
              std::string(entry.name), std::string(providers::kTableDate));
}

DiscoveredAccount FromTable(const Search& search, const ProviderEntry& entry, std::string source) {
    DiscoveredAccount account;
    account.address = search.address;
    account.incoming = entry.incoming;
    account.outgoing = entry.outgoing;
    account.incoming.userName =
        providers::ExpandPlaceholders(entry.incoming.userName, search.address);
    account.outgoing.userName =
        providers::ExpandPlaceholders(entry.outgoing.userName, search.address);
    account.oauthProvider = entry.oauthProvider;
    account.source = std::move(source);
    if (entry.note)
        account.note = Tr(entry.note);
    return account;
}

std::optional<DiscoveredAccount> FromMx(const Search& search) {
    const std::string source = "MX";
    MxAnswer answer = search.resolver.LookupMx(search.domain, Clock::now() + kLookUpLimit);
    if (answer.status == DnsStatus::Failed) {
        search.Skip(source, Described(answer.error));
        return std::nullopt;
    }
    std::stable_sort(
        answer.records.begin(), answer.records.end(),
        [](const MxRecord& a, const MxRecord& b) { return a.preference < b.preference; });
    for (const MxRecord& record : answer.records) {
        const std::string host = QString::fromStdString(record.host).toLower().toStdString();
        if (const ProviderEntry* entry = providers::ForMxHost(host))
            return FromTable(search, *entry, "MX → " + host + ": " + TableSource(*entry));
    }
    search.Skip(source,
                answer.records.empty()
                    ? Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "MX レコードがありません"))
                    : Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "%1 はプロバイダー表にありません"),
                         answer.records.front().host));
    return std::nullopt;
}

// The domain in the form DNS asks for; empty when the address is not one.
std::string DomainToLookUp(const std::string& address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string::npos || at == 0)
        return {};
    const QByteArray ace = QUrl::toAce(QString::fromStdString(address.substr(at + 1)).toLower());
    const std::string domain = ace.toStdString();
    if (!IsServerHostName(domain) || !mailbox::IsPlainAddress(address.substr(0, at + 1) + domain))
        return {};
    return domain;
}

std::string SecurityText(SecurityChoice security) {
    return security == SecurityChoice::Tls ? "SSL/TLS" : "STARTTLS";
}

std::string KindText(ServerKind kind) {
    return kind == ServerKind::Imap ? "IMAP" : kind == ServerKind::Pop3 ? "POP3" : "SMTP";
}

} // namespace

DiscoveryResult DiscoverAccount(const std::string& address, const std::string& caFile,
                                const CCancelSignal* cancel) {
    DiscoveryResult result;
    Search search;
    search.domain = DomainToLookUp(address);
    if (search.domain.empty()) {
        result.addressProblem =
            Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                 "\"%1\" はメールアドレス（名前@ドメイン）ではありません"),
               address);
        return result;
    }
    search.address = address;
    search.caFile = caFile;
    search.cancel = cancel;
    search.resolver.SetCancelSignal(cancel);
    search.httpsPort = HttpsPort();
    search.skipped = &result.skipped;

    const std::function<std::optional<DiscoveredAccount>()> steps[] = {
        [&] {
            return FromAutoconfig(search, "autoconfig." + search.domain, "/mail/config-v1.1.xml");
        },
        [&] {
            return FromAutoconfig(search, search.domain,
                                  "/.well-known/autoconfig/mail/config-v1.1.xml");
        },
        [&] { return FromSrvRecords(search); },
        [&]() -> std::optional<DiscoveredAccount> {
            if (const ProviderEntry* entry = providers::ForDomain(search.domain))
                return FromTable(search, *entry, TableSource(*entry));
            return std::nullopt;
        },
        [&] { return FromMx(search); },
    };
    for (const auto& step : steps) {
        if (search.Cancelled())
            break;
        if (std::optional<DiscoveredAccount> account = step()) {
            result.account = std::move(account);
            break;
        }
    }
    return result;
}

void ApplyDiscovered(const DiscoveredAccount& account, MailSettings& mail) {
    const DiscoveredServer& in = account.incoming;
    if (in.kind == ServerKind::Imap) {
        mail.receiveProtocol = ReceiveProtocol::Imap;
        mail.imapServer = in.host;
        mail.imapPort = in.port;
        mail.imapSecurity = in.security;
    } else {
        mail.receiveProtocol = ReceiveProtocol::Pop3;
        mail.pop3Server = in.host;
        mail.pop3Port = in.port;
        mail.pop3Security = in.security;
    }
    mail.pop3Id = in.userName;
    mail.smtpServer = account.outgoing.host;
    mail.smtpPort = account.outgoing.port;
    mail.smtpSecurity = account.outgoing.security;
    // An empty SMTP_ID logs in with the mailbox's name.
    mail.smtpId =
        account.outgoing.userName == in.userName ? std::string() : account.outgoing.userName;
    mail.senderAddress = account.address;
    mail.oauth2 = !account.oauthProvider.empty();
    if (mail.oauth2)
        mail.oauthProvider = account.oauthProvider;
}

std::vector<std::string> DescribeDiscovery(const DiscoveryResult& result) {
    std::vector<std::string> lines;
    if (!result.addressProblem.empty()) {
        lines.push_back(result.addressProblem);
        return lines;
    }
    for (const SkippedSource& skipped : result.skipped)
        lines.push_back(Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "使わなかったもの: %1: %2"),
                           skipped.source, skipped.reason));
    if (!result.account) {
        lines.push_back(Tr(QT_TRANSLATE_NOOP(
            "AccountDiscovery",
            "このアドレスのサーバーは見つかりませんでした。プロバイダーの案内にあるサーバーを"
            "設定してください")));
        return lines;
    }
    const DiscoveredAccount& account = *result.account;
    lines.push_back(Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "見つけた場所: %1"), account.source));
    for (const DiscoveredServer* server : {&account.incoming, &account.outgoing})
        lines.push_back(
            Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "%1: %2 ポート %3 %4、ユーザー名 %5"),
               KindText(server->kind), server->host, std::to_string(server->port),
               SecurityText(server->security), server->userName));
    if (!account.oauthProvider.empty())
        lines.push_back(
            Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                 "ログインはパスワードではなく OAuth のサインイン（%1）です"),
               account.oauthProvider));
    if (!account.note.empty())
        lines.push_back(account.note);
    return lines;
}
