#include "app/discovery/ServerGuess.h"

#include "app/report/ScreenText.h"
#include "mail/net/CancelSignal.h"
#include "mail/net/DnsResolver.h"
#include "mail/net/MailConnection.h"

#include <QCoreApplication>
#include <cstdlib>
#include <future>
#include <map>
#include <sstream>

namespace discovery {
namespace {

using Clock = std::chrono::steady_clock;
using enum ServerKind;
constexpr SecurityChoice kTls = SecurityChoice::Tls;
constexpr SecurityChoice kStartTls = SecurityChoice::StartTls;

template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("AccountDiscovery", text, {std::string_view(arguments)...});
}

struct Guess {
    const char* label; // before the domain
    ServerKind kind;
    int port;
    SecurityChoice security;
};

// In the order taken: IMAP before POP3, implicit TLS before STARTTLS (RFC 8314 section 5.1),
// the protocol's own name before "mail.".
constexpr Guess kGuesses[] = {
    {"imap", Imap, 993, kTls},      {"mail", Imap, 993, kTls},     {"imap", Imap, 143, kStartTls},
    {"mail", Imap, 143, kStartTls}, {"pop", Pop3, 995, kTls},      {"pop3", Pop3, 995, kTls},
    {"mail", Pop3, 995, kTls},      {"pop", Pop3, 110, kStartTls}, {"pop3", Pop3, 110, kStartTls},
    {"smtp", Smtp, 465, kTls},      {"mail", Smtp, 465, kTls},     {"smtp", Smtp, 587, kStartTls},
    {"mail", Smtp, 587, kStartTls},
};

// The standard port's stand-in from KESTROVAMAIL_GUESS_PORTS; 0: not probed. Without the
// variable every port is its own.
int PortFor(int standard) {
    const char* text = std::getenv(kGuessPortsVariable);
    if (!text)
        return standard;
    std::istringstream pairs(text);
    std::string pair;
    while (std::getline(pairs, pair, ',')) {
        const std::size_t equals = pair.find('=');
        if (equals != std::string::npos && std::atoi(pair.substr(0, equals).c_str()) == standard) {
            const int port = std::atoi(pair.substr(equals + 1).c_str());
            return port >= 1 && port <= 65535 ? port : 0;
        }
    }
    return 0;
}

// One line (IMAP, POP3) or one SMTP reply, within the probe's time.
bool ReadReply(CMailConnection& connection, ServerKind kind, std::string& reply,
               Clock::time_point deadline) {
    const auto left =
        std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                 std::chrono::milliseconds(1));
    const ReplyLimits limits{left, left, 4096, 0, false};
    return connection.ReadReply(kind == Smtp ? ReplyEndRule(replyend::SmtpReply)
                                             : ReplyEndRule(replyend::Pop3StatusLine),
                                limits, reply);
}

// The greeting of each protocol: RFC 9051 section 7.1.1 (and PREAUTH), RFC 1939 section 4,
// RFC 5321 section 4.2.
bool IsGreeting(ServerKind kind, const std::string& reply) {
    switch (kind) {
    case Imap:
        return reply.starts_with("* OK") || reply.starts_with("* PREAUTH");
    case Pop3:
        return reply.starts_with("+OK");
    case Smtp:
        return reply.starts_with("220");
    }
    return false;
}

// Asks for TLS on a greeted connection in clear text: true when the server agreed.
bool AskForTls(CMailConnection& connection, ServerKind kind, const std::string& host,
               Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    std::string reply;
    switch (kind) {
    case Imap: // RFC 9051 section 6.2.1; untagged lines may come before the tagged answer
        if (!connection.Send("K1 STARTTLS\r\n", left))
            return false;
        do {
            if (!ReadReply(connection, kind, reply, deadline))
                return false;
        } while (reply.starts_with("* "));
        return reply.starts_with("K1 OK");
    case Pop3: // RFC 2595 section 4
        return connection.Send("STLS\r\n", left) && ReadReply(connection, kind, reply, deadline) &&
               reply.starts_with("+OK");
    case Smtp: // RFC 3207 section 4
        return connection.Send("EHLO " + host + "\r\n", left) &&
               ReadReply(connection, kind, reply, deadline) && reply.starts_with("250") &&
               connection.Send("STARTTLS\r\n", left) &&
               ReadReply(connection, kind, reply, deadline) && reply.starts_with("220");
    }
    return false;
}

} // namespace

std::string ProbeServer(const StepContext& context, ServerKind kind, const std::string& host,
                        int port, SecurityChoice security) {
    CDnsResolver resolver;
    resolver.SetCancelSignal(context.cancel);
    const AddressAnswer addresses = resolver.LookupAddresses(host, context.deadline);
    if (addresses.status == DnsStatus::NotFound)
        return Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "ホスト %1 がありません"), host);
    if (addresses.status != DnsStatus::Found)
        return Described(addresses.error);

    CMailConnection connection;
    connection.SetCancelSignal(context.cancel);
    connection.SetTraceProtocol(kind == Imap ? "imap" : kind == Pop3 ? "pop3" : "smtp");
    const auto left = [&] {
        return std::max(
            std::chrono::duration_cast<std::chrono::milliseconds>(context.deadline - Clock::now()),
            std::chrono::milliseconds(1));
    };
    if (!connection.ConnectToAddresses(host, port, addresses.records, context.deadline))
        return Described(connection.Error());
    std::string greeting;
    if (security == kStartTls) {
        if (!ReadReply(connection, kind, greeting, context.deadline))
            return Described(connection.Error());
        if (!IsGreeting(kind, greeting))
            return Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "メールサーバーの応答ではありません"));
        if (!AskForTls(connection, kind, host, context.deadline))
            return connection.Error() ? Described(connection.Error())
                                      : Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                                             "暗号化（STARTTLS）に応じません"));
    }
    // The certificate must name this very host: a guess has nothing else to go by.
    if (!connection.StartTls({true, context.caFile}, left()))
        return Described(connection.Error());
    if (security == kTls) {
        if (!ReadReply(connection, kind, greeting, context.deadline))
            return Described(connection.Error());
        if (!IsGreeting(kind, greeting))
            return Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "メールサーバーの応答ではありません"));
    }
    connection.Close();
    return {};
}

StepOutcome FromGuess(const StepContext& search) {
    StepOutcome outcome;
    // The probes' own signal: once the best usable server of each kind has answered, the
    // probes still waiting (on a host that swallows packets, say) are let go.
    CancelRelay stop(search.cancel);
    StepContext context = search;
    context.cancel = stop.signal();
    struct Probe {
        const Guess* guess;
        std::string host;
        int port;
        std::future<std::string> problem;
    };
    std::vector<Probe> probes;
    for (const Guess& guess : kGuesses) {
        const int port = PortFor(guess.port);
        if (port == 0)
            continue;
        Probe probe{&guess, std::string(guess.label) + "." + context.domain, port, {}};
        probe.problem = std::async(std::launch::async, ProbeServer, std::cref(context), guess.kind,
                                   probe.host, port, guess.security);
        probes.push_back(std::move(probe));
    }
    // Each kind's probes are read in the table's order, so the first usable one is taken
    // whichever answered first; the ones after it are not waited for.
    std::optional<DiscoveredServer> incoming, outgoing;
    std::map<std::string, std::string> firstProblem; // by host:port, for the user
    for (const bool sending : {false, true}) {
        std::optional<DiscoveredServer>& slot = sending ? outgoing : incoming;
        for (Probe& probe : probes) {
            if ((probe.guess->kind == Smtp) != sending || slot)
                continue;
            const std::string problem = probe.problem.get();
            if (problem.empty())
                slot = DiscoveredServer{probe.guess->kind, probe.host, probe.guess->port,
                                        probe.guess->security, context.address};
            else
                firstProblem.emplace(probe.host + ":" + std::to_string(probe.guess->port), problem);
        }
    }
    stop.Cancel(); // before the probes not read are waited for
    if (incoming && outgoing) {
        DiscoveredAccount account;
        account.address = context.address;
        account.incoming = *incoming;
        account.outgoing = *outgoing;
        account.source =
            Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "推測（%1 と %2、証明書とあいさつを確認）"),
               incoming->host, outgoing->host);
        outcome.account = std::move(account);
        return outcome;
    }
    const auto source = [](const std::string& where) {
        return Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "推測 %1"), where);
    };
    for (const auto& [where, problem] : firstProblem)
        outcome.Skip(source(where), problem);
    if (firstProblem.empty())
        outcome.Skip(source(context.domain),
                     Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "使えるサーバーがありません")));
    return outcome;
}

} // namespace discovery
