#include "app/discovery/AutoconfigFile.h"
#include "app/report/ScreenText.h"

#include "app/discovery/ProviderTable.h"

#include <QCoreApplication>
#include <QXmlStreamReader>
#include <algorithm>

namespace {

// A file of more servers than this is not read further: nobody offers that many.
constexpr int kMaxServers = 32;
constexpr std::size_t kMaxUserNameBytes = 255;

std::string Tr(const char* text, const QString& argument = {}) {
    return argument.isNull() ? TranslatedText("AccountDiscovery", text)
                             : TranslatedText("AccountDiscovery", text, {argument.toStdString()});
}

struct ServerEntry {
    DiscoveredServer server;
    bool inClear = false;  // socketType plain (or none)
    bool password = false; // a password log-in is offered
    bool oauth = false;    // OAuth2 is offered
    bool valid = false;    // host, port, protection and log-in name are usable
};

// Printable ASCII without blanks: it goes into LOGIN/USER/AUTH commands and setup.ini as it is.
bool IsUserName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxUserNameBytes &&
           std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return c > 0x20 && c < 0x7F; });
}

// One <incomingServer> or <outgoingServer>; the reader stands on its start element.
ServerEntry ReadServer(QXmlStreamReader& reader, ServerKind kind, const std::string& address) {
    ServerEntry entry;
    entry.server.kind = kind;
    std::string host, userName, socketType;
    bool portOk = false;
    int port = 0;
    bool anyAuthentication = false;
    while (reader.readNextStartElement()) {
        const QStringView name = reader.name();
        const QString text = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        if (name == u"hostname") {
            host =
                QString::fromStdString(providers::ExpandPlaceholders(text.toStdString(), address))
                    .toLower()
                    .toStdString();
        } else if (name == u"port") {
            port = text.toInt(&portOk);
        } else if (name == u"socketType") {
            socketType = text.toStdString();
        } else if (name == u"username") {
            userName = providers::ExpandPlaceholders(text.toStdString(), address);
        } else if (name == u"authentication") {
            anyAuthentication = true;
            // The password log-ins; OAuth2 for the providers that take sign-in.
            if (text == u"password-cleartext" || text == u"plain" ||
                text == u"password-encrypted" || text == u"secure")
                entry.password = true;
            else if (text == u"OAuth2")
                entry.oauth = true;
        }
    }
    if (!anyAuthentication)
        entry.password = true; // the format's default
    if (socketType == "SSL")
        entry.server.security = SecurityChoice::Tls;
    else if (socketType == "STARTTLS")
        entry.server.security = SecurityChoice::StartTls;
    else
        entry.inClear = true;
    entry.server.host = host;
    entry.server.port = portOk ? port : 0;
    entry.server.userName = userName.empty() ? address : userName;
    const bool signIn = entry.oauth && !providers::OAuthProviderForHost(host).empty();
    entry.valid = !entry.inClear && IsServerHostName(host) && port >= 1 && port <= 65535 &&
                  IsUserName(entry.server.userName) && (entry.password || signIn);
    return entry;
}

// IMAP before POP3, implicit TLS before STARTTLS; otherwise the file's order.
const ServerEntry* Best(const std::vector<ServerEntry>& entries) {
    auto rank = [](const ServerEntry& e) {
        return (e.server.kind == ServerKind::Pop3 ? 2 : 0) +
               (e.server.security == SecurityChoice::Tls ? 0 : 1);
    };
    const ServerEntry* best = nullptr;
    for (const ServerEntry& entry : entries)
        if (entry.valid && (!best || rank(entry) < rank(*best)))
            best = &entry;
    return best;
}

bool OnlyInClear(const std::vector<ServerEntry>& entries) {
    return !entries.empty() && std::all_of(entries.begin(), entries.end(),
                                           [](const ServerEntry& e) { return e.inClear; });
}

} // namespace

bool IsServerHostName(std::string_view host) {
    if (host.empty() || host.size() > 253)
        return false;
    std::size_t label = 0;
    for (std::size_t i = 0; i <= host.size(); ++i) {
        if (i == host.size() || host[i] == '.') {
            if (label == 0 || label > 63 || host[i - 1] == '-' || host[i - label] == '-')
                return false;
            label = 0;
            continue;
        }
        const char c = host[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-'))
            return false;
        ++label;
    }
    return true;
}

AutoconfigReading ReadAutoconfig(std::string_view xml, const std::string& address) {
    AutoconfigReading reading;
    QXmlStreamReader reader(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    std::vector<ServerEntry> incoming, outgoing;
    if (reader.readNextStartElement() && reader.name() == u"clientConfig") {
        while (reader.readNextStartElement()) {
            if (reader.name() != u"emailProvider") {
                reader.skipCurrentElement();
                continue;
            }
            while (reader.readNextStartElement()) {
                const QStringView type = reader.attributes().value(QLatin1String("type"));
                const int count = static_cast<int>(incoming.size() + outgoing.size());
                if (count < kMaxServers && reader.name() == u"incomingServer" &&
                    (type == u"imap" || type == u"pop3"))
                    incoming.push_back(ReadServer(
                        reader, type == u"imap" ? ServerKind::Imap : ServerKind::Pop3, address));
                else if (count < kMaxServers && reader.name() == u"outgoingServer" &&
                         type == u"smtp")
                    outgoing.push_back(ReadServer(reader, ServerKind::Smtp, address));
                else
                    reader.skipCurrentElement();
            }
        }
    } else if (!reader.hasError()) {
        reading.problem =
            Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "設定ファイルの形式ではありません"));
        return reading;
    }
    if (reader.hasError()) {
        reading.problem =
            Tr(QT_TRANSLATE_NOOP("AccountDiscovery", "XML として読めません（%1 行目）"),
               QString::number(reader.lineNumber()));
        return reading;
    }
    const ServerEntry* in = Best(incoming);
    const ServerEntry* out = Best(outgoing);
    if (!in || !out) {
        const std::vector<ServerEntry>& missing = in ? outgoing : incoming;
        if (OnlyInClear(missing))
            reading.problem = Tr(QT_TRANSLATE_NOOP(
                "AccountDiscovery", "暗号化しない接続しか載っていないため使いません"));
        else if (!in)
            reading.problem = Tr(QT_TRANSLATE_NOOP(
                "AccountDiscovery", "使える受信サーバー（IMAP か POP3）が載っていません"));
        else
            reading.problem = Tr(QT_TRANSLATE_NOOP("AccountDiscovery",
                                                   "使える送信サーバー（SMTP）が載っていません"));
        return reading;
    }
    DiscoveredAccount account;
    account.address = address;
    account.incoming = in->server;
    account.outgoing = out->server;
    account.oauthProvider = providers::OAuthProviderForHost(in->server.host);
    reading.account = std::move(account);
    return reading;
}
