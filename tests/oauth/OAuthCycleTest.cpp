// Whole check cycles of an OAuth 2.0 account against the test authorization server, dovecot
// (POP3 and IMAP with its oauth2 password database) and aiosmtpd with token log-ins, the test
// pattern as the camera. The mail worker's token source is bound to the test's thread, as
// the worker binds it to its own.
#include "app/ActivityLog.h"
#include "app/MailClients.h"
#include "app/MailService.h"
#include "app/OAuthTokens.h"
#include "app/ServiceAdapters.h"
#include "mail/ProtocolTrace.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/OAuthPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestPatternCamera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <regex>

namespace {

const std::string kUser = "camera@example.com";
constexpr const char* kSignInLine = "kestrovamail --sign-in"; // in the line that says so

enum class Story {
    Answers,        // signed in: the request is answered end to end
    ExpiresBetween, // the access token expires between two checks: one refresh, both answered
    Revoked,        // the refresh token is revoked: said once, request kept, until a new sign-in
};

struct Case {
    const char* name;
    bool imap;
    std::string dovecotMechanisms; // empty: XOAUTH2 and OAUTHBEARER
    std::string smtpMechanisms;
    Story story;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class OAuthCycle : public ::testing::TestWithParam<Case> {
protected:
    OAuthCycle()
        : m_dovecot(kUser, "", {RequestMail("taro@example.jp", "cap")},
                    {.imap = GetParam().imap,
                     .oauthIntrospect = m_auth.IntrospectionUrl(),
                     .oauthCa = TestCertificates::Shared().caFile(),
                     .oauthMechanisms = GetParam().dovecotMechanisms}),
          m_smtp({.authUser = kUser,
                  .authMechanisms = GetParam().smtpMechanisms,
                  .oauthIntrospect = m_auth.IntrospectionUrl(),
                  .oauthCa = TestCertificates::Shared().caFile()}) {
        MailSettings& s = m_settings;
        s.receiveProtocol = GetParam().imap ? ReceiveProtocol::Imap : ReceiveProtocol::Pop3;
        s.pop3Server = s.imapServer = s.smtpServer = "127.0.0.1";
        s.pop3Port = s.imapPort = m_dovecot.port();
        s.pop3Security = s.imapSecurity = s.smtpSecurity = SecurityChoice::None;
        s.smtpPort = m_smtp.port();
        s.pop3Id = kUser;
        s.senderAddress = kUser;
        s.oauth2 = true;
        s.oauthProvider = "custom";
        s.oauthClientId = "kestrova-test";
        s.oauthTokenUrl = m_auth.Url("/token");
        s.caFile = TestCertificates::Shared().caFile().string();
        m_app.logFile = true;
        m_service.SetStateFolder(m_home.folder());
        CTokenSource::BindToThisThread(&m_tokens);
        protocoltrace::SetSink([this](std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_transcript += std::string(line) + "\n";
        });
        protocoltrace::Enable(true);
    }

    ~OAuthCycle() override {
        protocoltrace::Enable(false);
        protocoltrace::SetSink({});
        CTokenSource::BindToThisThread(nullptr);
    }

    void SignIn() {
        m_issued.push_back(m_auth.Issue());
        ASSERT_TRUE(oauthstore::SaveRefreshToken(m_home.folder(), m_issued.back().refresh));
    }
    int Check() { return m_service.CheckMail(m_settings); }
    int Refreshes() { return m_auth.Stats()["refresh_token"]; }
    int SignInLines() {
        const auto lines = MessagesOf(m_activity.text());
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.find(kSignInLine) != std::string::npos;
        }));
    }

    // Neither the issued tokens nor those the client got by refreshing show anywhere.
    void ExpectNoTokenShown() {
        std::string everything = TempDir::ReadFile(m_home.path() / kLogFileName);
        EXPECT_FALSE(everything.empty());
        {
            std::lock_guard lock(m_mutex);
            EXPECT_FALSE(m_transcript.empty());
            everything += m_transcript;
        }
        for (const OAuthPeer::Tokens& tokens : m_issued) {
            for (const std::string& token : {tokens.access, tokens.refresh})
                EXPECT_EQ(everything.find(token.substr(0, 24)), std::string::npos);
        }
        // The peer's tokens are "at-" or "rt-" and 2,000 characters more.
        EXPECT_FALSE(std::regex_search(everything, std::regex("[ar]t-[A-Za-z0-9_-]{20}")));
    }

    OAuthPeer m_auth{{.user = kUser}};
    DovecotPeer m_dovecot;
    SmtpPeer m_smtp;
    TempDir m_home;
    AppSettings m_app;
    FixedClock m_clock{{2026, 12, 7, 1, 9, 30, 0}};
    ActivityLog m_activity{m_app, m_home.folder(), m_clock};
    CActivityLogAdapter m_log{m_activity};
    ServiceFlags m_flags;
    TestPatternCamera m_camera{m_flags};
    MailSettings m_settings;
    CMailService m_service{m_settings, m_flags, m_log, m_camera.pictures(), m_clock};
    CTokenSource m_tokens{m_home.folder()};
    std::vector<OAuthPeer::Tokens> m_issued;
    std::mutex m_mutex;
    std::string m_transcript;
};

TEST_P(OAuthCycle, RunsOnTokens) {
    SignIn();
    switch (GetParam().story) {
    case Story::Answers:
        EXPECT_EQ(Check(), 1);
        EXPECT_EQ(m_smtp.WaitForMessages(1).size(), 1u);
        EXPECT_EQ(m_dovecot.MessageCount(), 0);
        EXPECT_EQ(Refreshes(), 1); // the one refresh token gave the token for all three
        break;
    case Story::ExpiresBetween: {
        EXPECT_EQ(Check(), 1);
        const int before = Refreshes();
        m_auth.ExpireAccessTokens();
        m_service.CloseImapSession(); // IMAP logs in again, as after a dropped connection
        m_dovecot.AddMessage(RequestMail("hanako@example.jp", "cap"));
        EXPECT_EQ(Check(), 1);
        EXPECT_EQ(m_smtp.WaitForMessages(2).size(), 2u);
        EXPECT_EQ(m_dovecot.MessageCount(), 0);
        EXPECT_EQ(Refreshes(), before + 1);
        EXPECT_EQ(m_service.FaultState(), "");
        break;
    }
    case Story::Revoked:
        m_auth.RevokeRefreshTokens();
        EXPECT_EQ(Check(), 0);
        EXPECT_EQ(Check(), 0);
        EXPECT_EQ(SignInLines(), 1);
        EXPECT_EQ(Refreshes(), 1); // the refused refresh token is not offered every minute
        EXPECT_EQ(m_service.FaultState(), "エラー: サインイン");
        EXPECT_EQ(m_dovecot.MessageCount(), 1);
        EXPECT_TRUE(m_smtp.Messages().empty());
        SignIn(); // a new sign-in ends the state
        EXPECT_EQ(Check(), 1);
        EXPECT_EQ(m_smtp.WaitForMessages(1).size(), 1u);
        EXPECT_EQ(m_service.FaultState(), "");
        break;
    }
    ExpectNoTokenShown();
}

INSTANTIATE_TEST_SUITE_P(
    Accounts, OAuthCycle,
    ::testing::Values(Case{"Pop3Answers", false, "", "", Story::Answers},
                      Case{"ImapXOAuth2OnlyAnswers", true, "xoauth2", "XOAUTH2", Story::Answers},
                      Case{"Pop3ExpiresBetweenChecks", false, "", "", Story::ExpiresBetween},
                      Case{"ImapExpiresBetweenChecks", true, "", "", Story::ExpiresBetween},
                      Case{"Pop3Revoked", false, "", "", Story::Revoked},
                      Case{"ImapRevoked", true, "", "", Story::Revoked}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
