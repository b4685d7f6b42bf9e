// Requests as phones and webmail write them, and the replies to many requesters, through whole
// check cycles against dovecot and aiosmtpd.

#include "app/service/MailService.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

MailSettings Settings(int pop3Port, int smtpPort) {
    MailSettings settings;
    settings.pop3Server = settings.smtpServer = "127.0.0.1";
    settings.pop3Port = pop3Port;
    settings.pop3Id = settings.smtpId = "camera";
    settings.pop3Pass = settings.smtpPass = "secret";
    settings.smtpPort = smtpPort;
    settings.senderName = "監視カメラ";
    settings.senderAddress = "camera@example.com";
    return settings;
}

// The From value of a case with its address put in for "{}".
std::string FromValue(std::string form, const std::string& address) {
    return form.replace(form.find("{}"), 2, address);
}

bool HoldsAddress(const std::vector<std::string>& messages, const std::string& address) {
    return std::any_of(messages.begin(), messages.end(), [&](const std::string& message) {
        return message.find("<" + address + ">") != std::string::npos ||
               message.find("From: " + address) != std::string::npos;
    });
}

TEST(RequestForms, EverySubjectAndFromFormIsAnsweredAndNothingElse) {
    struct Case {
        const char* checkString;
        const char* from; // "{}" stands for the case's own address
        std::string subject;
        bool answered;
    };
    const Case cases[] = {
        {"cap", "Taro <{}>", "cap", true},
        {"cap", "Taro <{}>", "=?UTF-8?B?Y2Fw?=", true},
        {"cap", "Taro <{}>", "=?utf-8?q?cap?=", true},
        {"cap", "Taro <{}>", "=?ISO-2022-JP?B?Y2Fw?=", true},
        {"cap", "Taro <{}>", "Re: cap", false},
        {"cap", "Taro <{}>", "CAP", false},
        {"cap", "{}", "cap", true},
        {"cap", "{} (Taro Yamada)", "cap", true},
        {"cap", "\"Yamada, Taro\" <{}>", "cap", true},
        {"cap", "=?UTF-8?B?5bGx55Sw?= <{}>", "cap", true},
        {"cap", "=?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <{}>", "cap", true},
        {"cap", "=?EUC-JP?B?u7PFxA==?= <{}>", "cap", true},
        {"cap", "山田 <{}>", "cap", true},
        {"撮影", "Taro <{}>", "=?UTF-8?B?5pKu5b2x?=", true},
        {"撮影", "Taro <{}>", "=?utf-8?Q?=E6=92=AE=E5=BD=B1?=", true},
        {"撮影", "Taro <{}>", "=?Shift_JIS?B?jkKJZQ==?=", true},
        {"撮影", "Taro <{}>", "=?ISO-2022-JP?B?GyRCOyMxRhsoQg==?=", true},
        {"撮影", "Taro <{}>", "=?EUC-JP?B?u6Oxxg==?=", true},
        {"撮影", "Taro <{}>", "撮影", true}, // raw UTF-8, as SMTPUTF8 mail carries it
        {"撮影", "Taro <{}>", "=?UTF-8?B?5pKu?=\r\n =?UTF-8?B?5b2x?=", true},
        {"撮影", "Taro <{}>", "=?UTF-8?Q?=E6=92?= =?UTF-8?Q?=AE=E5=BD=B1?=", true},
        {"撮影", "Taro <{}>", "=?UTF-8?B?5YaZ55yf?=", false}, // 写真
        {"撮影", "Taro <{}>", "Re: 撮影", false},
    };
    for (const std::string checkString : {"cap", "撮影"}) {
        SCOPED_TRACE(checkString);
        std::vector<std::string> mails, expected, kept;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            if (c.checkString != checkString)
                continue;
            const std::string address = "sender" + std::to_string(i) + "@example.com";
            mails.push_back(RequestMail(FromValue(c.from, address), c.subject));
            (c.answered ? expected : kept).push_back(address);
        }
        TempDir home;
        DovecotPeer dovecot("camera", "secret", mails);
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        MailSettings settings = Settings(dovecot.port(), smtp.port());
        settings.checkString = checkString;
        ServiceFlags flags;
        flags.graphReady = true;
        RecordingLog log;
        FakePictureSource pictures;
        FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
        CMailService service(settings, flags, log, pictures, clock, nullptr,
                             static_cast<uint16_t>(UnusedLoopbackPort()));

        EXPECT_EQ(service.CheckMail(), 1);
        Lines answered;
        for (const ReceivedMail& mail : smtp.WaitForMessages(expected.size()))
            answered.insert(answered.end(), mail.recipients.begin(), mail.recipients.end());
        EXPECT_EQ(answered, expected);
        const std::vector<std::string> left = dovecot.Messages();
        EXPECT_EQ(left.size(), kept.size());
        for (const std::string& address : kept)
            EXPECT_TRUE(HoldsAddress(left, address)) << address;
    }
}

// The sender name is 1,022 bytes long: every header line stays within its limits all the same.
TEST(ManyRequesters, EachGetsAPrivateStandardReplyAndARefusedOneKeepsItsRequest) {
    constexpr int kRequesters = 30;
    const std::string refused = "r17@example.com";
    std::string name;
    while (name.size() < 1022)
        name += "玄関の監視カメラ";
    for (const bool authPath : {true, false}) {
        SCOPED_TRACE(authPath ? "authenticating path" : "HELO path");
        std::vector<std::string> requests;
        for (int i = 1; i <= kRequesters; ++i) {
            const std::string address = "r" + std::to_string(i) + "@example.com";
            requests.push_back(
                RequestMail("Requester " + std::to_string(i) + " <" + address + ">", "cap"));
        }
        TempDir home, decoded;
        DovecotPeer dovecot("camera", "secret", requests);
        SmtpPeer smtp({.authUser = authPath ? "camera" : "",
                       .authPassword = authPath ? "secret" : "",
                       .refusedRecipients = {refused}});
        const int elsewhere = UnusedLoopbackPort();
        MailSettings settings = Settings(dovecot.port(), authPath ? smtp.port() : elsewhere);
        settings.senderName = name;
        ServiceFlags flags;
        flags.graphReady = true;
        RecordingLog log;
        FakePictureSource pictures;
        FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
        CMailService service(settings, flags, log, pictures, clock, nullptr,
                             static_cast<uint16_t>(authPath ? elsewhere : smtp.port()));

        EXPECT_EQ(service.CheckMail(), 1);
        EXPECT_EQ(pictures.grabs, 1);
        const std::vector<ReceivedMail> mails = smtp.WaitForMessages(kRequesters - 1);
        ASSERT_EQ(mails.size(), static_cast<std::size_t>(kRequesters - 1));
        std::set<std::string> ids;
        for (std::size_t i = 0; i < mails.size(); ++i) {
            ASSERT_EQ(mails[i].recipients.size(), 1u);
            const DecodedMail mail =
                SmtpPeer::DecodeMail(mails[i].file, DecodeFolder(decoded, std::to_string(i)));
            EXPECT_EQ(mail.headers.at("to"), mails[i].recipients[0]);
            EXPECT_TRUE(mail.defects.empty()) << mail.defects.front();
            const std::string& raw = mails[i].raw;
            std::istringstream header(raw.substr(0, raw.find("\r\n\r\n")));
            for (std::string line; std::getline(header, line);)
                EXPECT_LE(line.size(), 78u) << line; // 76 characters and the CR
            // Python's email package keeps the blank between two encoded words of a display
            // name (RFC 2047 6.2 drops it, as mail readers do); the name itself holds none.
            std::string from = mail.headers.at("from");
            from.erase(std::remove(from.begin(), from.end(), ' '), from.end());
            EXPECT_EQ(from, name + "<camera@example.com>");
            ASSERT_EQ(mail.headers.count("message-id"), 1u);
            EXPECT_TRUE(ids.insert(mail.headers.at("message-id")).second);
            EXPECT_EQ(mail.attachments.size(), 1u);
        }
        const auto delivered =
            std::count_if(log.screen.begin(), log.screen.end(),
                          [](const std::string& line) { return line.starts_with("送信完了<"); });
        EXPECT_EQ(delivered, kRequesters - 1);
        EXPECT_EQ(std::count(log.screen.begin(), log.screen.end(), "送信完了<" + refused + ">"), 0);
        // The unanswered request is said once, by the SMTP server's cause.
        EXPECT_EQ(std::count_if(log.screen.begin(), log.screen.end(),
                                [](const std::string& line) {
                                    return line.starts_with("ERROR : SMTPサーバ");
                                }),
                  1);
        const std::vector<std::string> left = dovecot.Messages();
        ASSERT_EQ(left.size(), 1u);
        EXPECT_TRUE(HoldsAddress(left, refused));
    }
}

} // namespace

namespace {

// A request mail with one header line changed or added.
std::string WithHeader(std::string mail, const std::string& line) {
    const std::string name = line.substr(0, line.find(':') + 1);
    if (const std::size_t at = mail.find(name + " "); at != std::string::npos)
        return mail.replace(at, mail.find("\r\n", at) - at, line);
    return line + "\r\n" + mail;
}

std::string MessageIdOf(const std::string& mail) {
    const std::size_t at = mail.find("Message-ID: ") + 12;
    return mail.substr(at, mail.find("\r\n", at) - at);
}

struct World {
    TempDir home;
    ServiceFlags flags;
    RecordingLog log;
    FixedClock clock{{2026, 12, 6, 0, 15, 47, 44}};
};

// Mail a program sent is never answered (no loop with another responder, a list or a bounce),
// and every reply says it is an automatic one and which request it answers.
TEST(AutomaticMail, MailSentByAProgramStaysUnansweredAndRepliesSayTheyAreAutomatic) {
    const struct {
        const char* header; // added or put in place of the request's own
        const char* from;   // "" : the case's own address
        bool answered;
    } cases[] = {
        {"Subject: cap", "", true},
        {"Auto-Submitted: no", "", true},
        {"Auto-Submitted: auto-replied", "", false},
        {"Auto-Submitted: auto-generated; by=x", "", false},
        {"Precedence: bulk", "", false},
        {"Precedence: list", "", false},
        {"Precedence: junk", "", false},
        {"List-Id: <cams.example.com>", "", false},
        {"Return-Path: <>", "", false},
        {"Subject: cap", "MAILER-DAEMON@example.net", false},
        {"Subject: cap", "postmaster@example.net", false},
    };
    std::vector<std::string> mails, expected, kept, expectedIds;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string address =
            *cases[i].from ? cases[i].from : "s" + std::to_string(i) + "@example.com";
        mails.push_back(WithHeader(RequestMail("<" + address + ">", "cap"), cases[i].header));
        (cases[i].answered ? expected : kept).push_back(address);
        if (cases[i].answered)
            expectedIds.push_back(MessageIdOf(mails.back()));
    }
    World w;
    TempDir decoded;
    DovecotPeer dovecot("camera", "secret", mails);
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
    w.flags.graphReady = true;
    FakePictureSource pictures;
    const MailSettings settings = Settings(dovecot.port(), smtp.port());
    CMailService service(settings, w.flags, w.log, pictures, w.clock, nullptr,
                         static_cast<uint16_t>(UnusedLoopbackPort()));

    EXPECT_EQ(service.CheckMail(), 1);
    const std::vector<ReceivedMail> replies = smtp.WaitForMessages(expected.size());
    ASSERT_EQ(replies.size(), expected.size());
    for (std::size_t i = 0; i < replies.size(); ++i) {
        EXPECT_EQ(replies[i].recipients, Lines{expected[i]});
        const DecodedMail mail =
            SmtpPeer::DecodeMail(replies[i].file, DecodeFolder(decoded, std::to_string(i)));
        EXPECT_EQ(mail.headers.at("auto-submitted"), "auto-replied");
        EXPECT_EQ(mail.headers.at("in-reply-to"), expectedIds[i]);
        EXPECT_EQ(mail.headers.at("references"), expectedIds[i]);
    }
    const std::vector<std::string> left = dovecot.Messages();
    EXPECT_EQ(left.size(), kept.size());
    for (const std::string& address : kept)
        EXPECT_TRUE(HoldsAddress(left, address)) << address;
    // Each refusal said once, with its reason.
    EXPECT_EQ(std::count_if(w.log.screen.begin(), w.log.screen.end(),
                            [](const std::string& line) {
                                return line.starts_with("プログラムが送ったメールには返信しません");
                            }),
              static_cast<long>(kept.size()));
}

// At most MAX_REPLIES_PER_HOUR requests of one address answered in an hour, counted across
// runs; several requests in one check get one reply, and each counts.
TEST(ReplyLimit, TheTwentyFirstRequestOfAnHourStaysOnTheServer) {
    std::vector<std::string> mails;
    for (int i = 0; i < 21; ++i)
        mails.push_back(RequestMail("Taro <taro@example.com>", "cap"));
    World w;
    DovecotPeer dovecot("camera", "secret", mails);
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
    w.flags.graphReady = true;
    FakePictureSource pictures;
    const MailSettings settings = Settings(dovecot.port(), smtp.port());
    const auto run = [&] {
        CMailService service(settings, w.flags, w.log, pictures, w.clock, nullptr,
                             static_cast<uint16_t>(UnusedLoopbackPort()));
        service.SetStateFolder(w.home.folder());
        EXPECT_EQ(service.CheckMail(), 1);
    };
    run();
    EXPECT_EQ(smtp.WaitForMessages(1).size(), 1u);
    EXPECT_EQ(dovecot.MessageCount(), 1);
    // A new run (as --check-once from cron) still counts the twenty of this hour.
    dovecot.AddMessage(RequestMail("Taro <taro@example.com>", "cap"));
    run();
    EXPECT_EQ(dovecot.MessageCount(), 2);
    EXPECT_EQ(smtp.Messages().size(), 1u);
    EXPECT_EQ(std::count_if(w.log.screen.begin(), w.log.screen.end(),
                            [](const std::string& line) { return line.starts_with("返信の上限"); }),
              2); // once in each run
}

} // namespace
