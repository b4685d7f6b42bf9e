// The fallback SMTP path of the program as it ships: no AUTH offered on the configured port, so
// the reply goes out over HELO on port 25.

#include "app/ActivityLog.h"
#include "app/MailService.h"
#include "app/ServiceAdapters.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPatternCamera.h"

#include <gtest/gtest.h>

TEST(MailCyclePort25, RefusedAuthFallsBackToHeloOnPort25) {
    TempDir home;
    TempDir decoded;
    AppSettings app;
    FixedClock clock({2026, 1, 5, 1, 9, 3, 7});
    ActivityLog activity(app, home.folder(), clock);
    CActivityLogAdapter log(activity);
    ServiceFlags flags;
    TestPatternCamera camera(home.folder(), flags);
    SmtpPeer smtp(SmtpOnPort(25));
    DovecotPeer dovecot("camera", "secret",
                        {RequestMail("Taro <taro@example.com>", "cap"),
                         RequestMail("Hanako <hanako@example.com>", "cap")});

    MailSettings settings;
    settings.pop3Server = "127.0.0.1";
    settings.pop3Port = dovecot.port();
    settings.pop3Id = "camera";
    settings.pop3Pass = "secret";
    settings.smtpServer = "127.0.0.1"; // smtpPort stays 25, where no AUTH is offered
    settings.senderName = "監視カメラ";
    settings.senderAddress = "camera@example.com";
    CMailService service(settings, flags, log, camera.pictures(), clock);

    service.CheckMailNow();
    const auto mails = smtp.WaitForMessages(1);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].recipients,
              (std::vector<std::string>{"taro@example.com", "hanako@example.com"}));
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
