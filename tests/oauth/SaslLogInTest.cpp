// Log-ins with an OAuth 2.0 access token against real servers that ask the authorization
// server about it: dovecot's POP3 and IMAP with its oauth2 password database, aiosmtpd with a
// token handler. Each protocol with both mechanisms offered, with XOAUTH2 alone, and with
// neither (no password is tried in their place).
#include "mail/imap/ImapClient.h"
#include "mail/pop3/Pop3Client.h"
#include "mail/net/ProtocolTrace.h"
#include "mail/smtp/SmtpSession.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/OAuthPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace {

const std::string kUser = "camera@example.com";

enum class Protocol { Pop3, Imap, Smtp };

struct Case {
    const char* name;
    Protocol protocol;
    std::string offered;  // token mechanisms the server offers; empty: none
    std::string expected; // the mechanism the client takes
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class SaslLogIn : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const Case& c = GetParam();
        const auto& certs = TestCertificates::Shared();
        if (c.protocol == Protocol::Smtp) {
            m_smtp = std::make_unique<SmtpPeer>(SmtpPeer::Options{
                .authUser = kUser,
                .authMechanisms = c.offered.empty() ? "" : c.offered,
                .oauthIntrospect = c.offered.empty() ? "" : m_auth.IntrospectionUrl(),
                .oauthCa = certs.caFile()});
        } else {
            m_dovecot = std::make_unique<DovecotPeer>(
                kUser, "password", std::vector<std::string>{},
                DovecotPeer::Options{.imap = c.protocol == Protocol::Imap,
                                     .oauthIntrospect =
                                         c.offered.empty() ? "" : m_auth.IntrospectionUrl(),
                                     .oauthCa = certs.caFile(),
                                     .oauthMechanisms = c.offered});
        }
        protocoltrace::SetSink([this](std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_transcript.emplace_back(line);
        });
        protocoltrace::Enable(true);
    }

    void TearDown() override {
        protocoltrace::Enable(false);
        protocoltrace::SetSink({});
    }

    MailError LogIn(const std::string& token) {
        switch (GetParam().protocol) {
        case Protocol::Pop3: {
            CPop3Client client;
            client.SetAccessToken(token);
            if (!client.LogIn("127.0.0.1", kUser, "", m_dovecot->port()))
                return client.LastMailError();
            EXPECT_TRUE(client.LogOut());
            return {};
        }
        case Protocol::Imap: {
            CImapClient client;
            client.SetAccessToken(token);
            if (!client.LogIn("127.0.0.1", kUser, "", m_dovecot->port()))
                return client.LastMailError();
            EXPECT_TRUE(client.SelectInbox());
            EXPECT_TRUE(client.LogOut());
            return {};
        }
        case Protocol::Smtp: {
            SmtpPolicy policy;
            policy.tls = SmtpTls::Clear;
            policy.logIn = SmtpCredentials{kUser, "", token};
            CSmtpSession session;
            if (!session.Open("127.0.0.1", m_smtp->port(), policy))
                return session.Error();
            EXPECT_TRUE(session.LoggedIn());
            session.Quit();
            return {};
        }
        }
        return {};
    }

    // The mechanism of the last log-in the server saw; empty when it saw none.
    std::string LastMechanism() const {
        if (m_smtp) {
            const auto attempts = m_smtp->AuthAttempts();
            return attempts.empty() ? "" : attempts.back().mechanism;
        }
        const auto attempts = m_dovecot->LoginAttempts();
        return attempts.empty() ? "" : attempts.back().mechanism;
    }

    void ExpectTokenNotInTranscript(const std::string& token) {
        std::lock_guard lock(m_mutex);
        ASSERT_FALSE(m_transcript.empty());
        for (const std::string& line : m_transcript) {
            EXPECT_EQ(line.find(token.substr(0, 24)), std::string::npos) << line;
            EXPECT_LT(line.size(), 1000u) << line; // no base64 of a response either
        }
    }

    OAuthPeer m_auth{{.user = kUser}};
    std::unique_ptr<DovecotPeer> m_dovecot;
    std::unique_ptr<SmtpPeer> m_smtp;
    std::mutex m_mutex;
    std::vector<std::string> m_transcript;
};

TEST_P(SaslLogIn, TokenLogsInAndARefusedOneIsReportedWithItsStatus) {
    const Case& c = GetParam();
    const OAuthPeer::Tokens tokens = m_auth.Issue();
    ASSERT_GT(tokens.access.size(), 2000u);
    const MailError accepted = LogIn(tokens.access);
    if (c.offered.empty()) {
        EXPECT_EQ(accepted.code, MailErrorCode::NotOffered);
        EXPECT_EQ(LastMechanism(), ""); // nothing, not even the password, was tried
        return;
    }
    EXPECT_FALSE(accepted) << DescribeMailError(accepted);
    EXPECT_EQ(LastMechanism(), c.expected);

    m_auth.ExpireAccessTokens();
    const MailError refused = LogIn(tokens.access);
    EXPECT_EQ(refused.code, MailErrorCode::LoginRefused);
    EXPECT_NE(refused.detail.find("\"status\""), std::string::npos) << refused.detail;
    ExpectTokenNotInTranscript(tokens.access);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SaslLogIn,
    ::testing::Values(Case{"Pop3Both", Protocol::Pop3, "xoauth2 oauthbearer", "OAUTHBEARER"},
                      Case{"Pop3XOAuth2Only", Protocol::Pop3, "xoauth2", "XOAUTH2"},
                      Case{"Pop3PasswordOnly", Protocol::Pop3, "", ""},
                      Case{"ImapBoth", Protocol::Imap, "xoauth2 oauthbearer", "OAUTHBEARER"},
                      Case{"ImapXOAuth2Only", Protocol::Imap, "xoauth2", "XOAUTH2"},
                      Case{"ImapPasswordOnly", Protocol::Imap, "", ""},
                      Case{"SmtpBoth", Protocol::Smtp, "XOAUTH2,OAUTHBEARER", "OAUTHBEARER"},
                      Case{"SmtpXOAuth2Only", Protocol::Smtp, "XOAUTH2", "XOAUTH2"},
                      Case{"SmtpPasswordOnly", Protocol::Smtp, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
