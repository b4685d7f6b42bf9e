#include "app/discovery/AccountDiscovery.h"

#include "app/discovery/AutoconfigFile.h"
#include "app/discovery/DiscoveryStep.h"
#include "app/discovery/ProviderTable.h"
#include "app/report/ScreenText.h"
#include "mail/mime/MailAddress.h"
#include "mail/net/CancelSignal.h"

#include <QCoreApplication>
#include <QUrl>
#include <cstdlib>
#include <future>

namespace {

using Clock = std::chrono::steady_clock;

template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("AccountDiscovery", text, {std::string_view(arguments)...});
}

int HttpsPort() {
    const char* text = std::getenv(kHttpsPortVariable);
    const int port = text ? std::atoi(text) : 0;
    return port >= 1 && port <= 65535 ? port : 443;
}

std::string DatabaseUrl() {
    const char* text = std::getenv(kDatabaseUrlVariable);
    return text && *text ? text : kDefaultDatabaseUrl;
}

std::future<StepOutcome> Start(std::function<StepOutcome()> step) {
    return std::async(std::launch::async, std::move(step));
}

std::future<StepOutcome> Nothing() {
    std::promise<StepOutcome> none;
    none.set_value({});
    return none.get_future();
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

DiscoveryResult DiscoverAccount(const std::string& address, const DiscoveryOptions& options,
                                const CCancelSignal* cancel) {
    DiscoveryResult result;
    const std::string domain = DomainToLookUp(address);
    if (domain.empty()) {
        result.addressProblem =
            Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                 "\"%1\" はメールアドレス（名前@ドメイン）ではありません"),
               address);
        return result;
    }
    // Declared before the steps' futures: those are waited for (destroyed) first.
    discovery::CancelRelay relay(cancel);
    StepContext context;
    context.address = address;
    context.domain = domain;
    context.caFile = options.caFile;
    context.httpsPort = HttpsPort();
    context.databaseUrl = DatabaseUrl();
    context.cancel = relay.signal();
    context.deadline = Clock::now() + kStepLimit;
    const std::string authority =
        context.httpsPort == 443 ? std::string() : ":" + std::to_string(context.httpsPort);

    // Everything that does not wait on another answer is asked at once.
    std::future<StepOutcome> steps[] = {
        Start([context, authority] {
            const std::string url =
                "https://autoconfig." + context.domain + authority + "/mail/config-v1.1.xml";
            return discovery::FromConfigFile(context, url, url);
        }),
        Start([context, authority] {
            const std::string url = "https://" + context.domain + authority +
                                    "/.well-known/autoconfig/mail/config-v1.1.xml";
            return discovery::FromConfigFile(context, url, url);
        }),
        options.online
            ? Start([context] { return discovery::FromProviderDatabase(context, context.domain); })
            : Nothing(),
        Start([context] {
            StepOutcome outcome;
            if (const ProviderEntry* entry = providers::ForDomain(context.domain))
                outcome.account =
                    discovery::FromTable(context, *entry, discovery::TableSource(*entry));
            return outcome;
        }),
        Start([context, online = options.online] { return discovery::FromMx(context, online); }),
        Start([context] { return discovery::FromSrv(context); }),
    };
    // When the answer is in, the steps still asking are stopped before they are waited for.
    struct StopOnReturn {
        discovery::CancelRelay& relay;
        ~StopOnReturn() { relay.Cancel(); }
    } stopOnReturn{relay};

    const auto Cancelled = [cancel] { return cancel && cancel->IsCancelled(); };
    // Notes what a step passed over, and takes its answer unless it needs the user's word.
    std::optional<DiscoveredAccount> otherDomain;
    const auto take = [&](StepOutcome outcome) {
        for (SkippedSource& skipped : outcome.skipped) {
            if (options.progress)
                options.progress(SkippedLine(skipped));
            result.skipped.push_back(std::move(skipped));
        }
        if (outcome.account && !outcome.account->otherDomainHosts.empty()) {
            otherDomain = std::move(outcome.account);
            return false;
        }
        if (!outcome.account)
            return false;
        result.account = std::move(outcome.account);
        return true;
    };
    for (std::future<StepOutcome>& step : steps) {
        if (Cancelled())
            return result;
        if (take(step.get()))
            return result;
    }
    if (Cancelled())
        return result;
    context.deadline = Clock::now() + kGuessLimit;
    if (take(discovery::FromGuess(context)) || Cancelled())
        return result;
    result.account = std::move(otherDomain);
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
        lines.push_back(SkippedLine(skipped));
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
    if (!account.otherDomainHosts.empty()) {
        std::string hosts;
        for (const std::string& host : account.otherDomainHosts)
            hosts += (hosts.empty() ? "" : ", ") + host;
        const std::string domain = account.address.substr(account.address.rfind('@') + 1);
        lines.push_back(
            Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                 "注意: %1 は %2 の外のサーバーです。そう言っているのは署名のない "
                                 "DNS の応答だけで、偽物かもしれません。プロバイダーの案内と同じか"
                                 "確かめてから使ってください"),
               hosts, domain));
    }
    return lines;
}

std::string SkippedLine(const SkippedSource& skipped) {
    return Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "使わなかったもの: %1: %2"), skipped.source,
              skipped.reason);
}
