// The whole check cycle with real peers: dovecot as the mailbox, aiosmtpd as the SMTP server,
// the GStreamer test pattern as the camera, the real activity log and log.txt.

#include "app/report/ActivityLog.h"
#include "app/service/MailService.h"
#include "app/service/ServiceAdapters.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPatternCamera.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const LocalTime kNow{2026, 12, 6, 0, 15, 47, 44};

// The mailbox's messages that carry the given Message-ID serials, in mailbox order.
Lines Remaining(const DovecotPeer& dovecot) {
    Lines ids;
    for (const std::string& message : dovecot.Messages()) {
        const auto at = message.find("Message-ID: <");
        ids.push_back(at == std::string::npos
                          ? "?"
                          : message.substr(at + 13, message.find('>', at) - at - 13));
    }
    return ids;
}

std::string IdOf(const std::string& mail) {
    const auto at = mail.find("Message-ID: <");
    return mail.substr(at + 13, mail.find('>', at) - at - 13);
}

MailSettings BaseSettings(int pop3Port) {
    MailSettings settings;
    settings.pop3Server = "127.0.0.1";
    settings.pop3Port = pop3Port;
    settings.pop3Id = "camera";
    settings.pop3Pass = "secret";
    settings.smtpServer = "127.0.0.1";
    settings.senderName = "監視カメラ";
    settings.senderAddress = "camera@example.com";
    return settings;
}

} // namespace

TEST(MailCycleEndToEnd, AnswersAllowedRequestsOnceAndLeavesTheRestOnTheServer) {
    TempDir home;
    TempDir decoded;
    AppSettings app;
    app.logFile = true;
    FixedClock clock(kNow);
    ActivityLog activity(app, home.folder(), clock);
    CActivityLogAdapter log(activity);
    ServiceFlags flags;
    TestPatternCamera camera(flags);
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});

    const std::string taro = RequestMail("Taro Yamada <taro@example.com>", "cap");
    const std::string chatter = RequestMail("other@example.com", "hello");
    const std::string taroAgain = RequestMail("taro@example.com", "  cap ");
    const std::string stranger = RequestMail("stranger@example.com", "cap");
    const std::string wrongCase = RequestMail("Taro@example.com", "cap");
    const std::string capitals = RequestMail("hanako@example.com", "CAP");
    const std::string encoded =
        RequestMail("Hanako <hanako@example.com>", "=?ISO-2022-JP?B?Y2Fw?=");
    DovecotPeer dovecot("camera", "secret",
                        {taro, chatter, taroAgain, stranger, wrongCase, capitals, encoded});

    MailSettings settings = BaseSettings(dovecot.port());
    settings.smtpPort = smtp.port(); // the authenticating path delivers
    settings.sendAddresses = {"taro@example.com", "hanako@example.com"};
    CMailService service(settings, flags, log, camera.pictures(), clock, nullptr,
                         UnusedLoopbackPort());
    const FrameSize size = camera.frameSize();
    ASSERT_GT(size.width, 0);

    {
        SCOPED_TRACE("one reply to each of the two allowed requesters");
        service.CheckMailNow();
        const auto mails = smtp.WaitForMessages(2);
        ASSERT_EQ(mails.size(), 2u) << dovecot.Log();
        EXPECT_EQ(mails[0].sender, "camera@example.com");
        EXPECT_EQ(mails[0].recipients, Lines{"taro@example.com"});
        EXPECT_EQ(mails[1].recipients, Lines{"hanako@example.com"});
        const DecodedMail mail = SmtpPeer::DecodeMail(mails[0].file, DecodeFolder(decoded, "1"));
        EXPECT_EQ(mail.headers.at("to"), "taro@example.com");
        EXPECT_EQ(mail.headers.at("subject"), "キャプチャ画像");
        EXPECT_EQ(mail.headers.at("x-mailer"), "KestrovaMail");
        ASSERT_EQ(mail.texts.size(), 1u);
        EXPECT_NE(mail.texts[0].find("2026年12月6日(日)15時47分44秒現在の画像です。"),
                  std::string::npos);
        ASSERT_EQ(mail.attachments.size(), 1u);
        EXPECT_EQ(JpegSize(mail.attachments[0]), std::make_pair(size.width, size.height));

        EXPECT_EQ(Remaining(dovecot),
                  (Lines{IdOf(chatter), IdOf(stranger), IdOf(wrongCase), IdOf(capitals)}));
        const Lines expected = {"送信完了<taro@example.com>", "送信完了<hanako@example.com>",
                                "メールチェック完了"};
        EXPECT_EQ(MessagesOf(activity.text()), expected);
        EXPECT_EQ(FileMessages(home.path()), expected);
        EXPECT_EQ(JpegFilesIn(home.path()), 0);
        // Named as the picture's file was: the moment of the grab.
        EXPECT_TRUE(std::regex_match(mail.attachments[0].filename().string(),
                                     std::regex(R"(\d{14}\.jpg)")));
        EXPECT_FALSE(flags.uiBusy.load());
    }
    {
        SCOPED_TRACE("a Japanese check string in an encoded word, picture turned");
        settings.checkString = "写真";
        settings.imageRotation = true;
        const std::string photo =
            RequestMail("Hanako <hanako@example.com>", "=?ISO-2022-JP?B?GyRCPEw/PxsoQg==?=");
        dovecot.AddMessage(photo);
        EXPECT_EQ(service.CheckMail(), 1);
        const auto mails = smtp.WaitForMessages(3);
        ASSERT_EQ(mails.size(), 3u);
        EXPECT_EQ(mails[2].recipients, Lines{"hanako@example.com"});
        const DecodedMail mail = SmtpPeer::DecodeMail(mails[2].file, DecodeFolder(decoded, "2"));
        ASSERT_EQ(mail.attachments.size(), 1u);
        EXPECT_EQ(mail.attachments[0].filename().string().back(), 'g');
        EXPECT_NE(mail.attachments[0].filename().string().find("r.jpg"), std::string::npos);
        EXPECT_EQ(JpegSize(mail.attachments[0]), std::make_pair(size.height, size.width));
        EXPECT_EQ(Remaining(dovecot).size(), 4u);
        EXPECT_EQ(JpegFilesIn(home.path()), 0);
    }
    {
        SCOPED_TRACE("what is left is read again and neither answered nor deleted");
        settings.checkString = "cap";
        settings.imageRotation = false;
        EXPECT_EQ(service.CheckMail(), 1);
        EXPECT_EQ(smtp.Messages().size(), 3u);
        EXPECT_EQ(Remaining(dovecot),
                  (Lines{IdOf(chatter), IdOf(stranger), IdOf(wrongCase), IdOf(capitals)}));
    }
    EXPECT_FALSE(service.CheckInProgress());
}

TEST(MailCycleEndToEnd, FailedRepliesLeaveTheRequestsForTheNextCycle) {
    TempDir home;
    AppSettings app;
    app.logFile = true;
    FixedClock clock(kNow);
    ActivityLog activity(app, home.folder(), clock);
    CActivityLogAdapter log(activity);
    ServiceFlags flags;
    TestPatternCamera camera(flags);
    DovecotPeer dovecot("camera", "secret", {RequestMail("Taro <taro@example.com>", "cap")});

    const int smtpPort = UnusedLoopbackPort();
    MailSettings settings = BaseSettings(dovecot.port());
    settings.smtpPort = smtpPort;
    CMailService service(settings, flags, log, camera.pictures(), clock, nullptr, smtpPort);

    const std::string smtpDown = "ERROR : SMTPサーバ 127.0.0.1:" + std::to_string(smtpPort) +
                                 " で返信を送れません: 接続が拒否されました";
    {
        SCOPED_TRACE("SMTP server unreachable: nothing deleted, the cause on screen");
        service.CheckMailNow();
        EXPECT_EQ(MessagesOf(activity.text()), (Lines{smtpDown, "メールチェック完了"}));
        // The specified line stays in the file, the cause after it.
        EXPECT_EQ(FileMessages(home.path()), (Lines{"ERROR : SMTPサーバへの接続に失敗しました。",
                                                    smtpDown, "メールチェック完了"}));
        EXPECT_EQ(dovecot.MessageCount(), 1);
        EXPECT_EQ(JpegFilesIn(home.path()), 0);
    }
    {
        SCOPED_TRACE("the server is back without AUTH: the HELO path answers the request");
        SmtpPeer smtp(SmtpOnPort(smtpPort));
        service.CheckMailNow();
        const auto mails = smtp.WaitForMessages(1);
        ASSERT_EQ(mails.size(), 1u);
        EXPECT_EQ(mails[0].recipients, Lines{"taro@example.com"});
        EXPECT_EQ(MessagesOf(activity.text()),
                  (Lines{smtpDown, "メールチェック完了", "送信完了<taro@example.com>",
                         CFaultNotices::kSmtpOver, "メールチェック完了"}));
        EXPECT_EQ(dovecot.MessageCount(), 0);
        EXPECT_EQ(JpegFilesIn(home.path()), 0);
    }
    {
        // Last, because dovecot slows down further log-ins after a refused one.
        SCOPED_TRACE("POP3 log-in refused: the file line, then server, account and reply");
        Lines screen = MessagesOf(activity.text());
        Lines file = FileMessages(home.path());
        settings.pop3Pass = "wrong";
        service.CheckMailNow();
        const std::string refused =
            "ERROR : POP3サーバ 127.0.0.1:" + std::to_string(dovecot.port()) +
            " にアカウント camera でログインできません: "
            "ログインが拒否されました (-ERR [AUTH] Authentication failed.)";
        screen.push_back(refused);
        EXPECT_EQ(MessagesOf(activity.text()), screen);
        file.insert(file.end(), {"ERROR : POP3サーバの接続に失敗しました。", refused});
        EXPECT_EQ(FileMessages(home.path()), file);
    }
    EXPECT_FALSE(service.CheckInProgress());
}

TEST(MailCycleEndToEnd, CommandSequenceOfAMailboxWhoseSecondMailIsARequest) {
    TempDir home;
    SmtpPeer smtp;
    ScriptedServer pop3(Join({kLogIn, kNoCapabilities,
                              Listing({150, 150}),
                              Retrieve(1, {"From: a@example.com", "Subject: hi"}),
                              Retrieve(2, {"From: <b@example.com>", "Subject: cap"}),
                              {"C: DELE 2", "S: +OK", "C: QUIT", "S: +OK"}}));
    MailSettings settings = BaseSettings(pop3.port());
    settings.smtpPort = smtp.port(); // no AUTH offered: the first path is refused
    ServiceFlags flags;
    flags.graphReady = true;
    RecordingLog log;
    FakePictureSource pictures;
    FixedClock clock(kNow);
    CMailService service(settings, flags, log, pictures, clock, nullptr, smtp.port());

    EXPECT_EQ(service.CheckMail(), 1);
    EXPECT_EQ(pop3.Mismatch(), "");
    EXPECT_EQ(pictures.grabs, 1);
    ASSERT_EQ(smtp.Messages().size(), 1u);
    EXPECT_EQ(smtp.Messages()[0].recipients, Lines{"b@example.com"});
    EXPECT_EQ(log.screen, Lines{"送信完了<b@example.com>"});
    EXPECT_EQ(JpegFilesIn(home.path()), 0);
}

TEST(MailCycleEndToEnd, RequestsWithoutAUsableAddressAreLeftAloneAndAFailedDeleteKeepsNoPicture) {
    // Mail 1 has no From, mail 2 a name without brackets: answering them would make the whole
    // reply fail for every requester. Mail 3 is answered; its DELE then fails.
    TempDir home;
    SmtpPeer smtp;
    ScriptedServer pop3(
        Join({kLogIn, kNoCapabilities,
              Listing({100, 100, 100}),
              Retrieve(1, {"Subject: cap"}),
              Retrieve(2, {"From: Taro Yamada taro@example.com", "Subject: cap"}),
              Retrieve(3, {"From: c@example.com", "Subject: cap"}),
              {"C: DELE 3", "S: -ERR busy", "C: QUIT", "S: +OK"}}));
    MailSettings settings = BaseSettings(pop3.port());
    settings.smtpPort = smtp.port();
    ServiceFlags flags;
    flags.graphReady = true;
    RecordingLog log;
    FakePictureSource pictures;
    FixedClock clock(kNow);
    CMailService service(settings, flags, log, pictures, clock, nullptr, smtp.port());

    EXPECT_EQ(service.CheckMail(), 0); // the failed DELE ends the cycle, and says why
    EXPECT_EQ(pop3.Mismatch(), "");
    ASSERT_EQ(smtp.Messages().size(), 1u);
    EXPECT_EQ(smtp.Messages()[0].recipients, Lines{"c@example.com"});
    EXPECT_EQ(
        log.screen,
        (Lines{"送信完了<c@example.com>",
               "ERROR : POP3サーバ 127.0.0.1:" + std::to_string(pop3.port()) +
                   " とのやり取りに失敗しました: サーバがコマンドを拒否しました (-ERR busy)"}));
    EXPECT_EQ(JpegFilesIn(home.path()), 0);
    EXPECT_FALSE(service.CheckInProgress());
}

TEST(MailCycleEndToEnd, GrabThatGivesNoBytesSendsNothing) {
    TempDir home;
    SmtpPeer smtp;
    ScriptedServer pop3(Join({kLogIn, kNoCapabilities,
                              Listing({100}),
                              Retrieve(1, {"From: c@example.com", "Subject: cap"}),
                              {"C: QUIT", "S: +OK"}}));
    MailSettings settings = BaseSettings(pop3.port());
    settings.smtpPort = smtp.port();
    ServiceFlags flags;
    flags.graphReady = true;
    RecordingLog log;
    FakePictureSource pictures;
    pictures.claimWithoutBytes = true;
    FixedClock clock(kNow);
    CMailService service(settings, flags, log, pictures, clock, nullptr, smtp.port());

    EXPECT_EQ(service.CheckMail(), 1);
    EXPECT_EQ(pop3.Mismatch(), ""); // no DELE
    EXPECT_TRUE(smtp.Messages().empty());
    EXPECT_EQ(log.screen, Lines{"ERROR : カメラから写真を取り込めないため、写真の依頼に答えられ"
                                "ません（依頼はサーバーに残します）"});
}
