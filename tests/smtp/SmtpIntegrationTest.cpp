// The SMTP session delivers to a real aiosmtpd under both policies the program uses; Python's
// email package reads the messages back.
#include "mail/text/CodePageService.h"
#include "mail/mime/MimeMessage.h"
#include "mail/smtp/SmtpSession.h"
#include "tests/smtp/SmtpTestUtil.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace {

const std::string kSubject = "キャプチャ画像";
const std::string kSender = "カメラ 玄関";
const std::string kBody = "2026年12月6日(日)15時47分44秒現在の画像です。";

class SmtpIntegration : public ::testing::Test {
protected:
    // The reply as the reply sender composes it, to one address; the text ends in a lone dot.
    std::unique_ptr<CMimeMessage> Reply(const std::string& to) const {
        auto message = std::make_unique<CMimeMessage>(CCodePageService::Create());
        message->AddToRecipient(to);
        message->SetSenderAddress("camera@example.test");
        message->SetSenderDisplayName(kSender);
        message->SetSubjectText(kSubject);
        message->AddTextPart(kBody + "\r\n.\r\n", 1);
        message->AddBytesAttachment("20261206154744.jpg", m_jpeg);
        return message;
    }

    static SmtpPolicy Policy(bool logIn, const std::string& password = "secret") {
        SmtpPolicy policy;
        policy.tls = logIn ? SmtpTls::Clear : SmtpTls::Opportunistic;
        policy.heloFallback = !logIn;
        if (logIn)
            policy.logIn = SmtpCredentials{"camera", password};
        return policy;
    }

    void CheckDecoded(const ReceivedMail& mail, const std::string& to) {
        const DecodedMail decoded = SmtpPeer::DecodeMail(mail.file, m_out.path());
        EXPECT_EQ(decoded.headers.at("subject"), kSubject);
        EXPECT_EQ(decoded.headers.at("from"), kSender + " <camera@example.test>");
        EXPECT_EQ(decoded.headers.at("to"), to);
        ASSERT_EQ(decoded.texts.size(), 1u);
        EXPECT_NE(decoded.texts[0].find(kBody), std::string::npos) << decoded.texts[0];
        EXPECT_NE(decoded.texts[0].find("\n.\n"), std::string::npos) << decoded.texts[0];
        ASSERT_EQ(decoded.attachments.size(), 1u);
        EXPECT_EQ(decoded.attachments[0].filename(), "20261206154744.jpg");
        EXPECT_EQ(TempDir::ReadFile(decoded.attachments[0]), *m_jpeg);
        EXPECT_TRUE(decoded.defects.empty()) << decoded.defects.front();
        EXPECT_EQ(decoded.headers.count("message-id"), 1u);
    }

    TempDir m_out;
    // Large enough for many segments of the data.
    const std::shared_ptr<const std::string> m_jpeg =
        std::make_shared<const std::string>(JpegLikeBytes(300000));
};

TEST_F(SmtpIntegration, DeliversUnderBothPoliciesInEveryFormOfTheServer) {
    // With and without 8BITMIME and PIPELINING, a log-in or none: two mails in one session,
    // each to its own recipient, read back whole; without 8BITMIME no byte above 127 travels.
    for (const bool logIn : {true, false}) {
        for (const bool eightBitMime : {true, false}) {
            for (const bool pipelining : {true, false}) {
                SCOPED_TRACE(std::string(logIn ? "log-in" : "port 25 policy") +
                             (eightBitMime ? ", 8BITMIME" : "") +
                             (pipelining ? ", PIPELINING" : ""));
                SmtpPeer peer({.authUser = logIn ? "camera" : "",
                               .authPassword = logIn ? "secret" : "",
                               .noEightBitMime = !eightBitMime,
                               .pipelining = pipelining});
                CSmtpSession session;
                ASSERT_TRUE(session.Open("127.0.0.1", peer.port(), Policy(logIn)))
                    << DescribeMailError(session.Error());
                EXPECT_EQ(session.LoggedIn(), logIn);
                for (const char* to : {"alice@example.test", "bob@example.test"})
                    EXPECT_TRUE(session.Send(*Reply(to), {to})) << to;
                session.Quit();

                const auto mails = peer.WaitForMessages(2);
                ASSERT_EQ(mails.size(), 2u);
                for (std::size_t i = 0; i < 2; ++i) {
                    const std::string to = i == 0 ? "alice@example.test" : "bob@example.test";
                    EXPECT_EQ(mails[i].sender, "camera@example.test");
                    EXPECT_EQ(mails[i].recipients, std::vector<std::string>{to});
                    CheckDecoded(mails[i], to);
                }
                const bool sevenBit = std::all_of(mails[0].raw.begin(), mails[0].raw.end(),
                                                  [](char c) { return (c & 0x80) == 0; });
                EXPECT_EQ(sevenBit, !eightBitMime);
            }
        }
    }
}

TEST_F(SmtpIntegration, WrongPasswordIsRefusedWithTheServersWords) {
    SmtpPeer peer({.authUser = "camera", .authPassword = "secret"});
    CSmtpSession session;
    EXPECT_FALSE(session.Open("127.0.0.1", peer.port(), Policy(true, "wrong")));
    EXPECT_EQ(session.Error().code, MailErrorCode::LoginRefused);
    EXPECT_NE(session.Error().detail.find("535"), std::string::npos) << session.Error().detail;
    EXPECT_TRUE(peer.Messages().empty());
}

} // namespace
