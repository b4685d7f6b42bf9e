// The fallback SMTP path of the program as it ships: no AUTH offered on the configured port, so
// the replies go out over HELO on the fallback port (25 in the program; here the port of the
// test's own server, so that nothing on the machine that holds port 25 gets in the way).

#include "app/ActivityLog.h"
#include "app/MailService.h"
#include "app/ServiceAdapters.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPatternCamera.h"

#include <gtest/gtest.h>

TEST(MailCycleHelloPath, RefusedAuthFallsBackToTheHelloPath) {
    TempDir home;
    TempDir decoded;
    AppSettings app;
    FixedClock clock({2026, 1, 5, 1, 9, 3, 7});
    ActivityLog activity(app, home.folder(), clock);
    CActivityLogAdapter log(activity);
    ServiceFlags flags;
    TestPatternCamera camera(home.folder(), flags);
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
