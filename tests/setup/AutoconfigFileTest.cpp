// The autoconfig reader on files as providers write them, and as an attacker might: which
// server it takes, and why it takes none.

#include "app/discovery/AutoconfigFile.h"

#include <gtest/gtest.h>

namespace {

std::string File(const std::string& servers) {
    return "<?xml version=\"1.0\"?><clientConfig version=\"1.1\"><emailProvider id=\"x\">" +
           servers + "</emailProvider></clientConfig>";
}

std::string Server(const char* tag, const char* type, const char* host, const char* port,
                   const char* socketType, const std::string& rest = {}) {
    return "<" + std::string(tag) + " type=\"" + type + "\"><hostname>" + host +
           "</hostname><port>" + port + "</port><socketType>" + socketType + "</socketType>" +
           rest + "</" + tag + ">";
}

const std::string kSmtp = Server("outgoingServer", "smtp", "smtp.x.test", "465", "SSL");

TEST(AutoconfigFile, TakesTheSafestUsableServerOrSaysWhyNone) {
    const struct {
        const char* what;
        std::string xml;
        std::string host; // the incoming server taken; empty: none
        ServerKind kind;
        std::string userName;
        std::string problem; // part of the reason when none
    } cases[] = {
        {"IMAP before POP3 and TLS before STARTTLS, placeholders filled",
         File(Server("incomingServer", "pop3", "pop.x.test", "995", "SSL") +
              Server("incomingServer", "imap", "imap1.x.test", "143", "STARTTLS") +
              Server("incomingServer", "imap", "IMAP2.%EMAILDOMAIN%", "993", "SSL",
                     "<username>%EMAILLOCALPART%.box</username>") +
              kSmtp),
         "imap2.x.test", ServerKind::Imap, "me.box", ""},
        {"the full address when the file names no user",
         File(Server("incomingServer", "pop3", "pop.x.test", "995", "SSL") + kSmtp), "pop.x.test",
         ServerKind::Pop3, "me@x.test", ""},
        {"a clear-text server is never taken",
         File(Server("incomingServer", "imap", "imap.x.test", "143", "plain") + kSmtp), "",
         ServerKind::Imap, "", "暗号化しない"},
        {"OAuth2 alone, for a server of no known provider",
         File(Server("incomingServer", "imap", "imap.x.test", "993", "SSL",
                     "<authentication>OAuth2</authentication>") +
              kSmtp),
         "", ServerKind::Imap, "", "受信サーバー"},
        {"OAuth2 alone, for Google's server",
         File(Server("incomingServer", "imap", "imap.gmail.com", "993", "SSL",
                     "<authentication>OAuth2</authentication>") +
              kSmtp),
         "imap.gmail.com", ServerKind::Imap, "me@x.test", ""},
        {"no SMTP server", File(Server("incomingServer", "imap", "imap.x.test", "993", "SSL")), "",
         ServerKind::Imap, "", "送信サーバー"},
        {"a host name that is none, a port out of range",
         File(Server("incomingServer", "imap", "imap x.test", "993", "SSL") +
              Server("incomingServer", "imap", "imap.x.test", "99999", "SSL") + kSmtp),
         "", ServerKind::Imap, "", "受信サーバー"},
        {"a user name with a line break",
         File(Server("incomingServer", "imap", "imap.x.test", "993", "SSL",
                     "<username>me&#13;&#10;DELE 1</username>") +
              kSmtp),
         "", ServerKind::Imap, "", "受信サーバー"},
        {"broken XML", File(kSmtp).substr(0, 60), "", ServerKind::Imap, "", "XML"},
        {"another document", "<html><body>hello</body></html>", "", ServerKind::Imap, "",
         "形式ではありません"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const AutoconfigReading reading = ReadAutoconfig(c.xml, "me@x.test");
        if (c.host.empty()) {
            EXPECT_FALSE(reading.account);
            EXPECT_NE(reading.problem.find(c.problem), std::string::npos) << reading.problem;
            continue;
        }
        ASSERT_TRUE(reading.account) << reading.problem;
        EXPECT_EQ(reading.account->incoming.host, c.host);
        EXPECT_EQ(reading.account->incoming.kind, c.kind);
        EXPECT_EQ(reading.account->incoming.userName, c.userName);
        EXPECT_EQ(reading.account->outgoing.host, "smtp.x.test");
    }
}

} // namespace
