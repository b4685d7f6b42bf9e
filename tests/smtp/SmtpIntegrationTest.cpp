// Both SMTP clients deliver to a real aiosmtpd; Python's email package reads the messages back.
#include "mail/MimeMessage.h"
#include "mail/SmtpAuthClient.h"
#include "mail/SmtpConnection.h"
#include "tests/smtp/SmtpTestUtil.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

const std::string kSubject = "キャプチャ画像";
const std::string kSender = "カメラ 玄関";
const std::string kBody = "2026年12月6日(日)15時47分44秒現在の画像です。";

class SmtpIntegration : public ::testing::Test {
protected:
    // Large enough for many blocks of both clients' attachment streaming.
    void SetUp() override { TempDir::WriteFile(m_jpeg, JpegLikeBytes(300000)); }

    void CheckDecoded(const ReceivedMail& mail) {
        const DecodedMail decoded = SmtpPeer::DecodeMail(mail.file, m_out.path());
        EXPECT_EQ(decoded.headers.at("subject"), kSubject);
        EXPECT_EQ(decoded.headers.at("from"), kSender + " <camera@example.test>");
        EXPECT_NE(decoded.headers.at("to").find("alice@example.test"), std::string::npos);
        EXPECT_NE(decoded.headers.at("to").find("bob@example.test"), std::string::npos);
        ASSERT_EQ(decoded.texts.size(), 1u);
        EXPECT_NE(decoded.texts[0].find(kBody), std::string::npos) << decoded.texts[0];
        ASSERT_EQ(decoded.attachments.size(), 1u);
        EXPECT_EQ(decoded.attachments[0].filename(), "20261206154744.jpg");
        EXPECT_EQ(TempDir::ReadFile(decoded.attachments[0]), TempDir::ReadFile(m_jpeg));
        EXPECT_TRUE(decoded.defects.empty()) << decoded.defects.front();
        EXPECT_EQ(decoded.headers.count("message-id"), 1u);
    }

    // The AUTH LOGIN client as the reply sender fills it, to alice and bob.
    static void Fill(CSmtpAuthClient& client, const SmtpPeer& peer, const std::string& password) {
        client.SetServerEndpoint("127.0.0.1", static_cast<uint16_t>(peer.port()));
        client.SetAuthUser("camera");
        client.SetAuthPassword(password);
        client.SetFromName(kSender);
        client.SetFromAddress("camera@example.test");
        client.SetReplyAddress("camera@example.test");
        client.SetSubjectLine(kSubject);
        client.SetPriorityValue(3);
        client.SetMailerName("KestrovaMail");
        client.SetBodyText(kBody + "\r\n");
        client.AddToAddress("alice@example.test");
        client.AddToAddress("bob@example.test");
    }

    TempDir m_dir;
    TempDir m_out;
    std::filesystem::path m_jpeg = m_dir.path() / "20261206154744.jpg";
};

TEST_F(SmtpIntegration, AuthLoginClientDeliversToAiosmtpd) {
    SmtpPeer peer({.authUser = "camera", .authPassword = "secret"});
    CSmtpAuthClient client;
    Fill(client, peer, "secret");
    client.AttachFile(m_jpeg.string());
    ASSERT_TRUE(client.Deliver()) << CSmtpAuthClient::ErrorMessageFor(client.ErrorCode());
    EXPECT_EQ(client.ErrorCode(), 0);

    const auto mails = peer.WaitForMessages(1);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].sender, "camera@example.test");
    EXPECT_EQ(mails[0].recipients,
              (std::vector<std::string>{"alice@example.test", "bob@example.test"}));
    CheckDecoded(mails[0]);
}

TEST_F(SmtpIntegration, AuthLoginClientWithWrongPasswordFails) {
    SmtpPeer peer({.authUser = "camera", .authPassword = "secret"});
    CSmtpAuthClient client;
    Fill(client, peer, "wrong");
    EXPECT_FALSE(client.Deliver());
    EXPECT_EQ(client.ErrorCode(), CSmtpAuthClient::kBadLogin);
    EXPECT_TRUE(peer.Messages().empty());
}

TEST_F(SmtpIntegration, HeloConnectionDeliversTheComposedMessage) {
    SmtpPeer peer;
    CSmtpConnection connection(static_cast<uint16_t>(peer.port()));
    ASSERT_TRUE(connection.Open("127.0.0.1", 10000));

    CMimeMessage message;
    ASSERT_TRUE(message.SetCodePageService(CCodePageService::Create()));
    message.SetPriorityLevel(1);
    message.AddToRecipient("alice@example.test");
    message.AddToRecipient("bob@example.test");
    message.SetSenderAddress("camera@example.test");
    message.SetSenderDisplayName(kSender);
    message.AddFileAttachment(m_jpeg.string());
    message.AddTextPart(kBody + "\r\n.\r\n", 1);
    message.SetSubjectText(kSubject);
    ASSERT_TRUE(connection.Send(message));
    // A second message on the same connection.
    ASSERT_TRUE(connection.Send(message, "carol@example.test"));
    EXPECT_TRUE(connection.Close());

    const auto mails = peer.WaitForMessages(2);
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].sender, "camera@example.test");
    EXPECT_EQ(mails[0].recipients,
              (std::vector<std::string>{"alice@example.test", "bob@example.test"}));
    EXPECT_EQ(mails[1].recipients, (std::vector<std::string>{"carol@example.test"}));
    CheckDecoded(mails[0]);
    // The lone dot of the text came through as one dot.
    const DecodedMail decoded = SmtpPeer::DecodeMail(mails[1].file, m_out.path());
    ASSERT_EQ(decoded.texts.size(), 1u);
    EXPECT_NE(decoded.texts[0].find("\n.\n"), std::string::npos) << decoded.texts[0];
}

TEST_F(SmtpIntegration, WithoutEightBitMimeEveryByteIsSevenBit) {
    // Both clients, against a server with and without 8BITMIME: the message reads the same in
    // Python's email package either way, and without 8BITMIME no byte above 127 travels.
    for (const bool eightBitMime : {true, false}) {
        for (const bool authPath : {true, false}) {
            SCOPED_TRACE(std::string(authPath ? "AUTH client" : "HELO connection") +
                         (eightBitMime ? ", 8BITMIME" : ", no 8BITMIME"));
            SmtpPeer peer({.authUser = authPath ? "camera" : "",
                           .authPassword = authPath ? "secret" : "",
                           .noEightBitMime = !eightBitMime});
            if (authPath) {
                CSmtpAuthClient client;
                Fill(client, peer, "secret");
                client.AttachFile(m_jpeg.string());
                ASSERT_TRUE(client.Deliver());
            } else {
                CSmtpConnection connection(static_cast<uint16_t>(peer.port()));
                ASSERT_TRUE(connection.Open("127.0.0.1", 10000));
                EXPECT_EQ(connection.TakesEightBit(), eightBitMime);
                CMimeMessage message(CCodePageService::Create());
                message.AddToRecipient("alice@example.test");
                message.AddToRecipient("bob@example.test");
                message.SetSenderAddress("camera@example.test");
                message.SetSenderDisplayName(kSender);
                message.AddFileAttachment(m_jpeg.string());
                message.AddTextPart(kBody, 1);
                message.SetSubjectText(kSubject);
                ASSERT_TRUE(connection.Send(message));
            }
            const auto mails = peer.WaitForMessages(1);
            ASSERT_EQ(mails.size(), 1u);
            const bool sevenBit = std::all_of(mails[0].raw.begin(), mails[0].raw.end(),
                                              [](char c) { return (c & 0x80) == 0; });
            EXPECT_EQ(sevenBit, !eightBitMime);
            EXPECT_EQ(mails[0].mailOptions, eightBitMime ? std::vector<std::string>{"BODY=8BITMIME"}
                                                         : std::vector<std::string>{});
            CheckDecoded(mails[0]);
        }
    }
}

TEST_F(SmtpIntegration, PipelinedDialoguesDeliverToAiosmtpd) {
    // Each client's groups of commands, and QUIT behind the last data, as a real server reads
    // them; every requester's mail arrives whole.
    for (const bool authPath : {true, false}) {
        SCOPED_TRACE(authPath ? "AUTH client" : "HELO connection");
        SmtpPeer peer({.authUser = authPath ? "camera" : "",
                       .authPassword = authPath ? "secret" : "",
                       .pipelining = true});
        if (authPath) {
            CSmtpAuthClient client;
            Fill(client, peer, "secret");
            client.AttachFile(m_jpeg.string());
            EXPECT_EQ(client.DeliverSeparately(), (std::vector<bool>{true, true}));
            EXPECT_EQ(client.ErrorCode(), 0);
        } else {
            CSmtpConnection connection(static_cast<uint16_t>(peer.port()));
            ASSERT_TRUE(connection.Open("127.0.0.1", 10000));
            for (const char* to : {"alice@example.test", "bob@example.test"}) {
                CMimeMessage message(CCodePageService::Create());
                message.AddToRecipient(to);
                message.SetSenderAddress("camera@example.test");
                message.AddFileAttachment(m_jpeg.string());
                message.AddTextPart(kBody, 1);
                EXPECT_TRUE(connection.Send(message)) << to;
            }
        }
        const auto mails = peer.WaitForMessages(2);
        ASSERT_EQ(mails.size(), 2u);
        for (std::size_t i = 0; i < mails.size(); ++i) {
            EXPECT_EQ(mails[i].recipients,
                      std::vector<std::string>{i == 0 ? "alice@example.test" : "bob@example.test"});
            const DecodedMail decoded = SmtpPeer::DecodeMail(mails[i].file, m_out.path());
            ASSERT_EQ(decoded.attachments.size(), 1u);
            EXPECT_EQ(TempDir::ReadFile(decoded.attachments[0]), TempDir::ReadFile(m_jpeg));
            EXPECT_TRUE(decoded.defects.empty()) << decoded.defects.front();
        }
    }
}

} // namespace
