// Mail over TLS with real peers: dovecot and aiosmtpd with certificates made for the test, the
// GStreamer test pattern as the camera. Whole check cycles over each TLS mode, the refusals that
// must come before any password, and the log-in each server offers.

#include "app/report/ActivityLog.h"
#include "app/service/ConnectionTest.h"
#include "app/service/MailService.h"
#include "app/service/ServiceAdapters.h"
#include "mail/net/MailError.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestPatternCamera.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

using Path = std::filesystem::path;

const TestCertificates& Certs() {
    return TestCertificates::Shared();
}

MailSettings SecureSettings(int pop3Port, SecurityChoice pop3, int smtpPort, SecurityChoice smtp) {
    MailSettings settings;
    settings.pop3Server = settings.smtpServer = "127.0.0.1";
    settings.pop3Port = pop3Port;
    settings.pop3Security = pop3;
    settings.pop3Id = "camera";
    settings.pop3Pass = "secret";
    settings.smtpPort = smtpPort;
    settings.smtpSecurity = smtp;
    settings.senderAddress = "camera@example.com";
    settings.caFile = Certs().caFile().string();
    return settings;
}

} // namespace

TEST(SecureMail, WholeCycleAnswersOverEveryTlsMode) {
    struct Case {
        const char* name;
        bool pop3Implicit;
        bool smtpImplicit;
        bool helloPath; // the authenticating path is down; the port 25 path delivers
    };
    const Case cases[] = {
        {"POP3S and SMTPS", true, true, false},
        {"STLS and STARTTLS", false, false, false},
        {"port 25 path with opportunistic STARTTLS", true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir home;
        AppSettings app;
        FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
        ActivityLog activity(app, home.folder(), clock);
        CActivityLogAdapter log(activity);
        ServiceFlags flags;
        TestPatternCamera camera(flags);
        DovecotPeer dovecot("camera", "secret", {RequestMail("taro@example.com", "cap")},
                            {.tlsCert = Certs().serverCert(),
                             .tlsKey = Certs().serverKey(),
                             .implicitTls = c.pop3Implicit});
        // The port 25 path of a configured path that asks for no TLS verifies nothing: a
        // certificate of an unknown authority still works.
        SmtpPeer smtp({.authUser = c.helloPath ? "" : "camera",
                       .authPassword = c.helloPath ? "" : "secret",
                       .tlsCert = c.helloPath ? Certs().untrustedCert() : Certs().serverCert(),
                       .tlsKey = c.helloPath ? Certs().untrustedKey() : Certs().serverKey(),
                       .implicitTls = c.smtpImplicit});
        MailSettings settings = SecureSettings(
            dovecot.port(), c.pop3Implicit ? SecurityChoice::Tls : SecurityChoice::StartTls,
            c.helloPath ? UnusedLoopbackPort() : smtp.port(),
            c.helloPath      ? SecurityChoice::None
            : c.smtpImplicit ? SecurityChoice::Tls
                             : SecurityChoice::StartTls);
        CMailService service(settings, flags, log, camera.pictures(), clock, nullptr,
                             c.helloPath ? smtp.port() : UnusedLoopbackPort());

        EXPECT_EQ(service.CheckMail(), 1);
        ASSERT_EQ(smtp.WaitForMessages(1).size(), 1u) << activity.text();
        EXPECT_EQ(dovecot.MessageCount(), 0);
        const auto logins = dovecot.LoginAttempts();
        const auto events = smtp.SessionEvents();
        ASSERT_FALSE(logins.empty());
        ASSERT_FALSE(events.empty());
        for (const auto& attempt : logins)
            EXPECT_TRUE(attempt.tls);
        for (const auto& event : events)
            EXPECT_TRUE(event.tls) << event.command;
    }
}

// Every way TLS can fail ends the attempt before a password is sent, and the connection test
// names the cause; the extra CA file makes a server of its own authority work.
TEST(SecureMail, CertificateAndStartTlsFailuresStopBeforeAnyPassword) {
    struct Case {
        const char* name;
        Path cert, key;  // empty: the server offers no STARTTLS
        Path caFile;     // empty: only the test CA
        const char* why; // the cause the test names; nullptr: it works
    };
    const Case cases[] = {
        {"other host name", Certs().wrongHostCert(), Certs().wrongHostKey(), {},
         "証明書のホスト名が一致しません"},
        {"expired", Certs().expiredCert(), Certs().expiredKey(), {}, "証明書の有効期限が切れています"},
        {"unknown authority", Certs().untrustedCert(), Certs().untrustedKey(), {},
         "証明書が信頼できません"},
        {"STARTTLS not offered", {}, {}, {}, "STARTTLSに対応していません"},
        {"extra CA file", Certs().untrustedCert(), Certs().untrustedKey(), Certs().untrustedCaFile(),
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DovecotPeer dovecot("camera", "secret", {}, {.tlsCert = c.cert, .tlsKey = c.key});
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret", .tlsCert = c.cert,
                       .tlsKey = c.key});
        MailSettings settings = SecureSettings(dovecot.port(), SecurityChoice::StartTls,
                                               smtp.port(), SecurityChoice::StartTls);
        if (!c.caFile.empty())
            settings.caFile = c.caFile.string();

        for (const ConnectionTestResult& result :
             {TestPop3Connection(settings), TestSmtpConnection(settings)}) {
            EXPECT_EQ(result.ok, c.why == nullptr) << result.message;
            if (c.why) {
                EXPECT_NE(result.message.find(c.why), std::string::npos) << result.message;
            }
        }
        EXPECT_EQ(dovecot.SawPassword(), c.why == nullptr);
        EXPECT_EQ(smtp.SawPassword(), c.why == nullptr);
    }
}

TEST(SecureMail, LogInFollowsWhatTheServerOffers) {
    for (const char* mechanism : {"PLAIN", "LOGIN"}) {
        SmtpPeer smtp({.authUser = "cam", .authPassword = "pw", .authMechanisms = mechanism,
                       .tlsCert = Certs().serverCert(), .tlsKey = Certs().serverKey(),
                       .implicitTls = true});
        MailSettings settings = SecureSettings(UnusedLoopbackPort(), SecurityChoice::None,
                                               smtp.port(), SecurityChoice::Tls);
        settings.smtpId = "cam"; // the SMTP log-in of its own, not the POP3 one
        settings.smtpPass = "pw";
        EXPECT_TRUE(TestSmtpConnection(settings).ok) << mechanism;
        const auto attempts = smtp.AuthAttempts();
        ASSERT_EQ(attempts.size(), 1u) << mechanism;
        EXPECT_EQ(attempts[0].mechanism, mechanism);
    }

    DovecotPeer dovecot("camera", "secret", {}, {.apop = true});
    MailSettings settings = SecureSettings(dovecot.port(), SecurityChoice::None,
                                           UnusedLoopbackPort(), SecurityChoice::None);
    settings.apop = true;
    EXPECT_TRUE(TestPop3Connection(settings).ok) << dovecot.Log();
    const auto logins = dovecot.LoginAttempts();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].mechanism, "APOP");
    EXPECT_FALSE(dovecot.SawPassword());
}

// Where the protection is left to the port (110 and 143 here stand for any port without a
// mode of its own), an offered STLS/STARTTLS is taken, verified; a failed upgrade sends no
// password, and neither does APOP ticked without a time stamp outside TLS.
TEST(SecureMail, LeftToThePortAnOfferedUpgradeIsTakenAndAFailedOneSendsNoPassword) {
    struct Case {
        const char* name;
        bool imap;
        Path cert, key; // empty: no TLS offered
        bool apop;
        bool loggedIn;
        bool passwordSeen;
    };
    const Case cases[] = {
        {"POP3, STLS offered: taken", false, Certs().serverCert(), Certs().serverKey(), false,
         true, true},
        {"IMAP, STARTTLS offered: taken", true, Certs().serverCert(), Certs().serverKey(), false,
         true, true},
        {"POP3, upgrade fails: no password", false, Certs().untrustedCert(),
         Certs().untrustedKey(), false, false, false},
        {"IMAP, upgrade fails: no password", true, Certs().untrustedCert(),
         Certs().untrustedKey(), false, false, false},
        {"POP3, no upgrade offered: in clear as before", false, {}, {}, false, true, true},
        {"POP3, APOP ticked, no time stamp, no TLS: no password", false, {}, {}, true, false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DovecotPeer dovecot("camera", "secret", {},
                            {.tlsCert = c.cert, .tlsKey = c.key, .imap = c.imap});
        MailSettings settings = SecureSettings(dovecot.port(), SecurityChoice::ByPort,
                                               UnusedLoopbackPort(), SecurityChoice::ByPort);
        settings.imapServer = "127.0.0.1";
        settings.imapPort = dovecot.port();
        settings.apop = c.apop;
        const ConnectionTestResult result =
            c.imap ? TestImapConnection(settings) : TestPop3Connection(settings);
        EXPECT_EQ(result.ok, c.loggedIn) << result.message;
        EXPECT_EQ(dovecot.SawPassword(), c.passwordSeen) << dovecot.Log();
        for (const auto& attempt : dovecot.LoginAttempts())
            EXPECT_EQ(attempt.tls, !c.cert.empty());
    }
}
