// The port 25 path of the program: when it is taken (no AUTH offered on the configured port to a
// log-in borrowed from the mailbox; nobody listening there) and when never (a TLS or certificate
// failure, a refused log-in, or less protection than the configured path asked for), and the
// same message on both paths. Port 25 is the port of the test's own server here, so that nothing
// on the machine that holds port 25 gets in the way.

#include "app/report/ActivityLog.h"
#include "app/service/MailService.h"
#include "app/service/ReplySender.h"
#include "app/service/ServiceAdapters.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestPatternCamera.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>

TEST(MailCycleHelloPath, RefusedAuthFallsBackToTheHelloPath) {
    TempDir home;
    TempDir decoded;
    AppSettings app;
    FixedClock clock({2026, 1, 5, 1, 9, 3, 7});
    ActivityLog activity(app, home.folder(), clock);
    CActivityLogAdapter log(activity);
    ServiceFlags flags;
    TestPatternCamera camera(flags);
    SmtpPeer smtp; // offers no AUTH
    DovecotPeer dovecot("camera", "secret",
                        {RequestMail("Taro <taro@example.com>", "cap"),
                         RequestMail("Hanako <hanako@example.com>", "cap")});

    MailSettings settings;
    settings.pop3Server = "127.0.0.1";
    settings.pop3Port = dovecot.port();
    settings.pop3Id = "camera";
    settings.pop3Pass = "secret";
    settings.smtpServer = "127.0.0.1";
    settings.smtpPort = smtp.port(); // where no AUTH is offered
    settings.senderName = "監視カメラ";
    settings.senderAddress = "camera@example.com";
    CMailService service(settings, flags, log, camera.pictures(), clock, nullptr,
                         static_cast<uint16_t>(smtp.port()));

    service.CheckMailNow();
    const auto mails = smtp.WaitForMessages(2);
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].recipients, std::vector<std::string>{"taro@example.com"});
    EXPECT_EQ(mails[1].recipients, std::vector<std::string>{"hanako@example.com"});
    const DecodedMail mail = SmtpPeer::DecodeMail(mails[0].file, DecodeFolder(decoded, "1"));
    EXPECT_EQ(mail.headers.at("subject"), "キャプチャ画像");
    ASSERT_EQ(mail.texts.size(), 1u);
    EXPECT_NE(mail.texts[0].find("2026年1月5日(月)09時03分07秒現在の画像です。"),
              std::string::npos);
    ASSERT_EQ(mail.attachments.size(), 1u);
    const FrameSize size = camera.frameSize();
    EXPECT_EQ(JpegSize(mail.attachments[0]), std::make_pair(size.width, size.height));
    // The HELO path's lines, and no error line.
    EXPECT_EQ(MessagesOf(activity.text()),
              (std::vector<std::string>{"送信完了<taro@example.com>",
                                        "送信完了<hanako@example.com>", "メールチェック完了"}));
    EXPECT_EQ(dovecot.MessageCount(), 0);
    EXPECT_EQ(JpegFilesIn(home.path()), 0);
}

namespace {

const TestCertificates& Certs() {
    return TestCertificates::Shared();
}

const MailPicture kPicture{"20261206154744.jpg",
                           std::make_shared<const std::string>(4000, '\xAB')};

MailSettings SmtpSettings(int port, SecurityChoice security) {
    MailSettings settings;
    settings.smtpServer = "127.0.0.1";
    settings.smtpPort = port;
    settings.smtpSecurity = security;
    settings.pop3Id = "camera";
    settings.pop3Pass = "secret";
    settings.senderName = "監視カメラ";
    settings.senderAddress = "camera@example.com";
    settings.caFile = Certs().caFile().string();
    return settings;
}

} // namespace

// Port 25 is taken only when the configured server could not be reached or offers no log-in to a
// program with none of its own, and never less protected than the configured path.
TEST(MailCycleHelloPath, PortTwentyFiveOnlyWhenTheConfiguredServerCannotBeUsed) {
    struct Case {
        const char* name;
        SmtpPeer::Options configured; // port 0 and no user: nobody listens there
        SecurityChoice security;
        SmtpPeer::Options portTwentyFive;
        bool delivered;
        MailErrorCode cause;
        bool refusalSaid; // the log says why port 25 did not deliver
    };
    const SmtpPeer::Options untrusted{.authUser = "camera", .authPassword = "secret",
                                      .tlsCert = Certs().untrustedCert(),
                                      .tlsKey = Certs().untrustedKey(), .implicitTls = true};
    const SmtpPeer::Options wrongPassword{.authUser = "camera", .authPassword = "other",
                                          .tlsCert = Certs().serverCert(),
                                          .tlsKey = Certs().serverKey()};
    const SmtpPeer::Options verifiedStartTls{.tlsCert = Certs().serverCert(),
                                             .tlsKey = Certs().serverKey()};
    const Case cases[] = {
        {"certificate failure on 465: nothing anywhere else", untrusted, SecurityChoice::Tls, {},
         false, MailErrorCode::CertificateUntrusted, true},
        {"log-in refused: nothing anywhere else", wrongPassword, SecurityChoice::StartTls, {},
         false, MailErrorCode::LoginRefused, false},
        {"TLS asked, port 25 without STARTTLS: nothing sent", {}, SecurityChoice::Tls, {}, false,
         MailErrorCode::Refused, true},
        {"TLS asked, port 25 with verified STARTTLS: delivered there", {}, SecurityChoice::Tls,
         verifiedStartTls, true, MailErrorCode::None, false},
        {"no TLS asked, plain port 25: delivered there", {}, SecurityChoice::None, {}, true,
         MailErrorCode::None, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool listening = !c.configured.authUser.empty();
        std::optional<SmtpPeer> configured;
        if (listening)
            configured.emplace(c.configured);
        SmtpPeer portTwentyFive(c.portTwentyFive);
        const MailSettings settings =
            SmtpSettings(listening ? configured->port() : UnusedLoopbackPort(), c.security);
        RecordingLog log;
        FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
        CReplySender sender(log, clock, nullptr, static_cast<uint16_t>(portTwentyFive.port()));

        EXPECT_EQ(sender.SendReplies(settings, {"taro@example.com"}, kPicture),
                  std::vector<bool>{c.delivered});
        EXPECT_EQ(sender.LastFailure().cause.code, c.cause)
            << DescribeMailError(sender.LastFailure().cause);
        EXPECT_EQ(!portTwentyFive.SessionEvents().empty() || !portTwentyFive.Messages().empty(),
                  c.delivered);
        EXPECT_EQ(!sender.PortTwentyFiveRefusal().empty(), c.refusalSaid);
        if (c.delivered) {
            for (const auto& event : portTwentyFive.SessionEvents())
                EXPECT_EQ(event.tls, c.security != SecurityChoice::None) << event.command;
        }
        if (configured) {
            EXPECT_TRUE(configured->Messages().empty());
        }
    }
}

// Both paths send the same message: only the envelope's way differs.
TEST(MailCycleHelloPath, BothPathsSendTheSameHeaders) {
    SmtpPeer configured({.authUser = "camera", .authPassword = "secret"});
    SmtpPeer portTwentyFive;
    RecordingLog log;
    FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
    CReplySender sender(log, clock, nullptr, static_cast<uint16_t>(portTwentyFive.port()));
    MailSettings settings = SmtpSettings(configured.port(), SecurityChoice::None);
    ASSERT_EQ(sender.SendReplies(settings, {"taro@example.com"}, kPicture),
              std::vector<bool>{true});
    settings.smtpPort = UnusedLoopbackPort();
    ASSERT_EQ(sender.SendReplies(settings, {"taro@example.com"}, kPicture),
              std::vector<bool>{true});

    TempDir decoded;
    auto headers = [&](const SmtpPeer& peer, const char* folder) {
        const auto mails = peer.WaitForMessages(1);
        EXPECT_EQ(mails.size(), 1u);
        DecodedMail mail = SmtpPeer::DecodeMail(mails.at(0).file, DecodeFolder(decoded, folder));
        EXPECT_TRUE(mail.defects.empty());
        EXPECT_EQ(mail.headers.count("date") + mail.headers.count("message-id"), 2u);
        mail.headers.erase("date"); // the clock's
        mail.headers.erase("message-id");
        mail.headers.erase("content-type"); // its boundary; the parts' types are compared
        return std::make_pair(mail.headers, mail.partTypes);
    };
    const auto viaConfigured = headers(configured, "configured");
    EXPECT_EQ(viaConfigured, headers(portTwentyFive, "port25"));
    EXPECT_EQ(viaConfigured.first.at("subject"), "キャプチャ画像");
    EXPECT_EQ(viaConfigured.first.at("mime-version"), "1.0");
    EXPECT_EQ(viaConfigured.first.at("reply-to"), "camera@example.com");
}
