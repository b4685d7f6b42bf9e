// An attacker on the path between the program and a real server (dovecot for POP3 and IMAP,
// aiosmtpd for SMTP submission) removes the offer of STLS/STARTTLS from the clear-text
// dialogue, with the protection left to the port. Nothing secret may cross: not the password,
// not an access token, not a word of the log-in; the error names the setting that decides.
// The same servers reached without the attacker upgrade and take the log-in inside TLS.
//
// The servers are named "localhost", not 127.0.0.1: only a server given by a loopback address
// counts as this machine, where a log-in may go in clear; through a name, the proxy stands
// where any server on the network would.

#include "app/service/ConnectionTest.h"
#include "mail/imap/ImapClient.h"
#include "mail/net/MailSecurity.h"
#include "mail/pop3/Pop3Client.h"
#include "mail/smtp/SmtpSession.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

constexpr const char* kUser = "camera";
constexpr const char* kPassword = "Kitsune-secret-77";
constexpr const char* kToken = "ya29.a0AfB_stripped0token0for0the0test0Zq";

enum class Protocol { Pop3, Imap, Smtp };

const TestCertificates& Certs() {
    return TestCertificates::Shared();
}

// One real server with TLS on offer, behind a proxy that can strip the offer.
struct StrippablePeer {
    std::unique_ptr<DovecotPeer> dovecot;
    std::unique_ptr<SmtpPeer> smtp;
    std::unique_ptr<FaultProxy> proxy;

    StrippablePeer(Protocol protocol, bool stripped) {
        if (protocol == Protocol::Smtp)
            smtp = std::make_unique<SmtpPeer>(SmtpPeer::Options{.authUser = kUser,
                                                                .authPassword = kPassword,
                                                                .tlsCert = Certs().serverCert(),
                                                                .tlsKey = Certs().serverKey()});
        else
            dovecot = std::make_unique<DovecotPeer>(
                kUser, kPassword, std::vector<std::string>{},
                DovecotPeer::Options{.tlsCert = Certs().serverCert(),
                                     .tlsKey = Certs().serverKey(),
                                     .imap = protocol == Protocol::Imap});
        proxy = std::make_unique<FaultProxy>(smtp ? smtp->port() : dovecot->port());
        if (stripped) {
            proxy->ReplaceInReplies("STARTTLS", "XXXXXXXX");
            proxy->ReplaceInReplies("STLS", "XXXX");
        }
    }
    // For each log-in the server saw: whether it came inside TLS.
    std::vector<bool> LogInsTls() const {
        std::vector<bool> tls;
        if (smtp)
            for (const auto& attempt : smtp->AuthAttempts())
                tls.push_back(attempt.tls);
        else
            for (const auto& attempt : dovecot->LoginAttempts())
                tls.push_back(attempt.tls);
        return tls;
    }
    // Nothing a listener could use: the secret, and no command that carries one (IMAP's
    // CAPABILITY and LOGOUT hold no "LOGIN ").
    void ExpectNothingSecretCrossed(const std::string& secret) const {
        const std::string wire = proxy->ClientBytes();
        for (const std::string& word : {secret, std::string("PASS"), std::string("APOP"),
                                        std::string("LOGIN "), std::string("AUTH")})
            EXPECT_EQ(wire.find(word), std::string::npos) << word << " in:\n" << wire;
        EXPECT_TRUE(LogInsTls().empty());
    }
};

const char* Name(Protocol protocol) {
    return protocol == Protocol::Pop3 ? "POP3" : protocol == Protocol::Imap ? "IMAP" : "SMTP";
}

MailSettings SettingsThrough(int port) {
    MailSettings settings;
    settings.pop3Server = settings.imapServer = settings.smtpServer = "localhost";
    settings.pop3Port = settings.imapPort = settings.smtpPort = port;
    settings.pop3Id = settings.smtpId = kUser;
    settings.pop3Pass = settings.smtpPass = kPassword;
    settings.caFile = Certs().caFile().string();
    return settings;
}

TEST(StrippedUpgrade, PasswordCrossesOnlyInsideTls) {
    for (const Protocol protocol : {Protocol::Pop3, Protocol::Imap, Protocol::Smtp}) {
        for (const bool stripped : {true, false}) {
            SCOPED_TRACE(std::string(Name(protocol)) + (stripped ? " stripped" : " offered"));
            StrippablePeer peer(protocol, stripped);
            const MailSettings settings = SettingsThrough(peer.proxy->port());
            const ConnectionTestResult result =
                protocol == Protocol::Pop3   ? TestPop3Connection(settings)
                : protocol == Protocol::Imap ? TestImapConnection(settings)
                                             : TestSmtpConnection(settings);
            EXPECT_EQ(peer.proxy->ClientBytes().find(kPassword), std::string::npos);
            if (stripped) {
                EXPECT_FALSE(result.ok);
                EXPECT_NE(result.message.find("パスワードを送りません"), std::string::npos)
                    << result.message;
                EXPECT_NE(
                    result.message.find(std::string("MAIL.") + Name(protocol) + "_SECURITY=none"),
                    std::string::npos)
                    << result.message;
                peer.ExpectNothingSecretCrossed(kPassword);
            } else {
                EXPECT_TRUE(result.ok) << result.message;
                EXPECT_EQ(peer.LogInsTls(), std::vector<bool>{true});
            }
        }
    }
}

// A bearer token opens the whole mailbox for its hour: not even "none" sends it over a network.
TEST(StrippedUpgrade, TokenNeverCrossesInClear) {
    for (const Protocol protocol : {Protocol::Pop3, Protocol::Imap, Protocol::Smtp}) {
        for (const SecurityChoice choice : {SecurityChoice::ByPort, SecurityChoice::None}) {
            SCOPED_TRACE(std::string(Name(protocol)) +
                         (choice == SecurityChoice::None ? " none" : " by port, stripped"));
            StrippablePeer peer(protocol, true);
            const int port = peer.proxy->port();
            const TlsMode mode = EffectiveTlsMode(choice, port);
            MailError error;
            if (protocol == Protocol::Pop3) {
                CPop3Client client;
                client.SetSecurity(mode);
                client.SetAccessToken(kToken);
                EXPECT_FALSE(client.LogIn("localhost", kUser, "", port));
                error = client.LastMailError();
            } else if (protocol == Protocol::Imap) {
                CImapClient client;
                client.SetSecurity(mode);
                client.SetAccessToken(kToken);
                EXPECT_FALSE(client.LogIn("localhost", kUser, "", port));
                error = client.LastMailError();
            } else {
                CSmtpSession session;
                SmtpPolicy policy;
                policy.tls = mode == TlsMode::None ? SmtpTls::Clear : SmtpTls::WhenOffered;
                policy.logIn = SmtpCredentials{kUser, {}, kToken};
                EXPECT_FALSE(session.Open("localhost", port, policy));
                error = session.Error();
            }
            EXPECT_EQ(error.code, MailErrorCode::TokenNeedsTls) << DescribeMailError(error);
            peer.ExpectNothingSecretCrossed(kToken);
        }
    }
}

} // namespace
