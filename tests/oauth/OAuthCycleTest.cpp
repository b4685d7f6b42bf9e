// Whole check cycles of an OAuth 2.0 account against the test authorization server, dovecot
// (POP3 and IMAP with its oauth2 password database) and aiosmtpd with token log-ins, the test
// pattern as the camera. The mail worker's token source is bound to the test's thread, as
// the worker binds it to its own. Every sign-in is the browser flow, its last address pasted.
#include "app/report/ActivityLog.h"
#include "app/service/MailClients.h"
#include "app/service/MailService.h"
#include "app/signin/OAuthSignIn.h"
#include "app/signin/OAuthTokens.h"
#include "app/service/ServiceAdapters.h"
#include "mail/net/ProtocolTrace.h"
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

enum class Between { Nothing, Expiry, Revocation }; // what befalls the tokens between checks

struct Case {
    const char* name;
    bool imap;
    bool xoauth2Only; // else the servers offer OAUTHBEARER and XOAUTH2
    Between between;
    int refreshes;          // asked for by the two checks after it
    const char* faultState; // after them
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
                     .oauthMechanisms = GetParam().xoauth2Only ? "xoauth2" : ""}),
          m_smtp({.authUser = kUser,
                  .authMechanisms = GetParam().xoauth2Only ? "XOAUTH2" : "",
                  .oauthIntrospect = m_auth.IntrospectionUrl(),
                  .oauthCa = TestCertificates::Shared().caFile()}) {
        MailSettings& s = m_settings;
        s.receiveProtocol = GetParam().imap ? ReceiveProtocol::Imap : ReceiveProtocol::Pop3;
        s.pop3Server = s.imapServer = s.smtpServer = "127.0.0.1";
        s.pop3Port = s.imapPort = m_dovecot.port();
        s.smtpPort = m_smtp.port();
        s.pop3Id = kUser;
        s.senderAddress = kUser;
        s.oauth2 = true;
        s.oauthClientId = "kestrova-test";
        s.oauthTokenUrl = m_auth.Url("/token");
        s.oauthAuthUrl = m_auth.Url("/authorize");
        s.oauthProvider = "custom";
        s.oauthScope = "mail";
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

    // The browser sign-in, the browser's last address pasted back.
    void SignIn() {
        COAuthBrowserSignIn browser(m_settings, m_home.folder());
        MailError error;
        const std::string address = browser.Start(error);
        ASSERT_FALSE(address.empty()) << DescribeMailError(error);
        error = browser.Complete(OAuthPeer::Approve(address), nullptr);
        ASSERT_FALSE(error) << DescribeMailError(error);
    }
    int Check() { return m_service.CheckMail(m_settings); }
    int Refreshes() { return m_auth.Stats()["refresh_token"]; }
    std::size_t Replies() { return m_smtp.Messages().size(); }
    int SignInLines() {
        const auto lines = MessagesOf(m_activity.text());
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.find(kSignInLine) != std::string::npos;
        }));
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
    std::mutex m_mutex;
    std::string m_transcript;
};

// A signed-in account answers a request; the access token serves the next check too, or is
// refreshed once when the servers refuse it; a revoked sign-in is said once, holds back the
// request and sets the error state until a new sign-in.
TEST_P(OAuthCycle, RunsOnTokens) {
    const Case& c = GetParam();
    SignIn();
    ASSERT_EQ(Check(), 1);
    ASSERT_EQ(m_smtp.WaitForMessages(1).size(), 1u);
    EXPECT_EQ(Refreshes(), 1); // one refresh gave the token for both servers
    if (c.between == Between::Revocation)
        m_auth.RevokeRefreshTokens();
    if (c.between != Between::Nothing)
        m_auth.ExpireAccessTokens();
    m_service.CloseImapSession(); // IMAP logs in again, as after a dropped connection
    m_dovecot.AddMessage(RequestMail("hanako@example.jp", "cap"));
    const bool answers = c.between != Between::Revocation;
    for (int check = 0; check < 2; ++check)
        EXPECT_EQ(Check(), answers ? 1 : 0);
    EXPECT_EQ(Refreshes(), 1 + c.refreshes);
    EXPECT_EQ(m_service.FaultState(), c.faultState);
    EXPECT_EQ(SignInLines(), answers ? 0 : 1);
    EXPECT_EQ(m_dovecot.MessageCount(), answers ? 0 : 1);
    EXPECT_EQ(Replies(), answers ? 2u : 1u);
    SignIn(); // a new sign-in: every request answered, no error state
    EXPECT_EQ(Check(), 1);
    EXPECT_EQ(m_smtp.WaitForMessages(2).size(), 2u);
    EXPECT_EQ(m_service.FaultState(), "");
    // No token shows in log.txt or the transcript: the peer's are "at-" or "rt-" and 2,000
    // characters more.
    std::string log = TempDir::ReadFile(m_home.path() / kLogFileName);
    std::lock_guard lock(m_mutex);
    ASSERT_FALSE(log.empty() || m_transcript.empty());
    for (const std::string* text : {&log, &m_transcript})
        EXPECT_FALSE(std::regex_search(*text, std::regex("[ar]t-[A-Za-z0-9_-]{20}")));
}

INSTANTIATE_TEST_SUITE_P(
    Accounts, OAuthCycle,
    ::testing::Values(Case{"Pop3", false, false, Between::Nothing, 0, ""},
                      Case{"ImapXOAuth2Only", true, true, Between::Nothing, 0, ""},
                      Case{"Pop3TokenExpires", false, false, Between::Expiry, 1, ""},
                      Case{"ImapTokenExpires", true, false, Between::Expiry, 1, ""},
                      Case{"Pop3SignInRevoked", false, false, Between::Revocation, 1,
                           "エラー: サインイン"},
                      Case{"ImapSignInRevoked", true, false, Between::Revocation, 1,
                           "エラー: サインイン"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
