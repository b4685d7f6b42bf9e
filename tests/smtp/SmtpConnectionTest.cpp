#include "mail/SmtpConnection.h"

#include "mail/MimeMessage.h"
#include "tests/smtp/SmtpTestUtil.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <regex>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kEhlo = "C: EHLO " + LocalHostName();
const std::string kHelo = "C: HELO " + LocalHostName();

// Greeting and EHLO answered (no extensions), then the given steps.
Script Greeted(const Script& rest) {
    return Join({"S: 220 peer.test", kEhlo, "S: 250 peer.test"}, rest);
}

// ... and MAIL FROM of the camera accepted.
Script MailFrom(const Script& rest) {
    return Greeted(Join({"C: MAIL FROM:<camera@example.test>", "S: 250 Ok"}, rest));
}

// ... both recipients of the fixture's message accepted and the message data read.
Script InData(const Script& rest) {
    return MailFrom(
        Join({"C: RCPT TO:<alice@example.test>", "S: 250 Ok", "C: RCPT TO:<bob@example.test>",
              "S: 250 Ok", "C: DATA", "S: 354 go", "DATA"},
             rest));
}

// The lines of a message with its boundary and Date value replaced by fixed words.
std::vector<std::string> Normalised(std::vector<std::string> lines) {
    const std::regex boundary("------=_Next_Part_\\d{10}\\.\\d{3}");
    for (auto& line : lines) {
        line = std::regex_replace(line, boundary, "BOUNDARY");
        if (line.rfind("Date: ", 0) == 0)
            line = "Date: *";
    }
    return lines;
}

class SmtpConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TempDir::WriteFile(m_jpeg, JpegLikeBytes(5000));
        m_message.SetPriorityLevel(1);
        m_message.AddToRecipient("alice@example.test");
        m_message.AddToRecipient("bob@example.test");
        m_message.SetSenderAddress("camera@example.test");
        m_message.SetSenderDisplayName("カメラ");
        m_message.AddFileAttachment(m_jpeg.string());
        m_message.AddTextPart("2026年12月6日(日)15時47分44秒現在の画像です。\r\n.", 1);
        m_message.SetSubjectText("キャプチャ画像");
    }

    TempDir m_dir;
    std::filesystem::path m_jpeg = m_dir.path() / "snap.jpg";
    CMimeMessage m_message;
};

TEST_F(SmtpConnectionTest, HeloDialogueDeliversTheComposedMessage) {
    ScriptedServer server(Greeted(
        {"C: MAIL FROM:<camera@example.test>", "S: 250 2.1.0 Ok", "C: RCPT TO:<alice@example.test>",
         "S: 250 2.1.5 Ok", "C: RCPT TO:<bob@example.test>", "S: 251 2.1.5 will forward", "C: DATA",
         "S: 354 End data with <CR><LF>.<CR><LF>", "DATA", "S: 250 2.0.0 queued", "SILENT"}));
    CSmtpConnection connection(server.port());
    ASSERT_TRUE(connection.Open("127.0.0.1", 10000));
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_TRUE(connection.Send(m_message));
    EXPECT_TRUE(connection.Close());
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(server.Mismatch(), "");

    // On the wire: the composer's message in its 7-bit form (the server offers no 8BITMIME),
    // dots doubled, and the end-of-data line.
    StringStream expected;
    ASSERT_TRUE(m_message.WriteTo(expected, SmtpForm | SevenBit));
    std::vector<std::string> lines = SplitCrLf(expected.bytes());
    lines.insert(lines.end(), {"", "."});
    EXPECT_EQ(Normalised(server.Data()), Normalised(lines));
    EXPECT_NE(std::find(lines.begin(), lines.end(), ".."), lines.end());
}

TEST_F(SmtpConnectionTest, RefusedRecipientSendsRset) {
    struct Case {
        const char* name;
        std::optional<std::string> recipients;
        Script rcptSteps;
        const char* rsetReply;
        bool openAfterwards;
    };
    const Case cases[] = {
        {"550 then RSET",
         "bad@example.test",
         {"C: RCPT TO:<bad@example.test>", "S: 550 5.1.1 no such user"},
         "S: 250 Ok",
         true},
        {"second of three refused",
         "a@x.test b@x.test;c@x.test",
         {"C: RCPT TO:<a@x.test>", "S: 250 Ok", "C: RCPT TO:<b@x.test>", "S: 550 no"},
         "S: 250 Ok",
         true},
        {"empty list",
         "",
         {"C: RCPT TO:<>", "S: 501 5.1.3 bad recipient address syntax"},
         "S: 250 Ok",
         true},
        {"RSET refused closes",
         "bad@example.test",
         {"C: RCPT TO:<bad@example.test>", "S: 550 no"},
         "S: 421 closing",
         false},
    };
    for (const Case& c : cases) {
        ScriptedServer server(MailFrom(Join(c.rcptSteps, {"C: RSET", c.rsetReply, "SILENT"})));
        CSmtpConnection connection(server.port());
        ASSERT_TRUE(connection.Open("127.0.0.1", 10000)) << c.name;
        EXPECT_FALSE(connection.Send(m_message, c.recipients)) << c.name;
        EXPECT_EQ(connection.IsOpen(), c.openAfterwards) << c.name;
        connection.Close();
        EXPECT_EQ(server.Mismatch(), "") << c.name;
    }
}

TEST_F(SmtpConnectionTest, MessageWithoutRecipientsSendsOneEmptyRcpt) {
    CMimeMessage empty;
    empty.SetSenderAddress("camera@example.test");
    empty.AddTextPart("x");
    ScriptedServer server(
        MailFrom({"C: RCPT TO:<>", "S: 550 no", "C: RSET", "S: 250 Ok", "SILENT"}));
    CSmtpConnection connection(server.port());
    ASSERT_TRUE(connection.Open("127.0.0.1", 10000));
    EXPECT_FALSE(connection.Send(empty));
    connection.Close();
    EXPECT_EQ(server.Mismatch(), "");
}

TEST_F(SmtpConnectionTest, OpenFailures) {
    struct Case {
        const char* name;
        std::vector<std::string> script;
    };
    const Case cases[] = {
        {"wrong greeting", {"S: 554 go away", "SILENT"}},
        {"EHLO and HELO refused",
         {"S: 220 peer.test", kEhlo, "S: 502 no", kHelo, "S: 502 no HELO", "SILENT"}},
        {"closed after greeting", {"S: 220 peer.test", kEhlo, "CLOSE"}},
    };
    for (const Case& c : cases) {
        ScriptedServer server(c.script);
        CSmtpConnection connection(server.port());
        EXPECT_FALSE(connection.Open("127.0.0.1", 10000)) << c.name;
        EXPECT_FALSE(connection.IsOpen()) << c.name;
        EXPECT_EQ(server.Mismatch(), "") << c.name;
    }
    CSmtpConnection refused(static_cast<uint16_t>(UnusedLoopbackPort()));
    EXPECT_FALSE(refused.Open("127.0.0.1", 10000));
    EXPECT_FALSE(refused.Open("", 10000)); // fails in the resolver without a query
    EXPECT_FALSE(refused.Close());
}

TEST_F(SmtpConnectionTest, MultiLineGreetingIsReadWhole) {
    // ... and a server without EHLO is greeted with HELO.
    ScriptedServer server({"S: 220-peer.test first line", "S: 220 peer.test ready", kEhlo,
                           "S: 500 unknown", kHelo, "S: 250 peer.test", "SILENT"});
    CSmtpConnection connection(server.port());
    EXPECT_TRUE(connection.Open("127.0.0.1", 10000));
    EXPECT_FALSE(connection.Open("127.0.0.1", 10000)); // already open
    connection.Close();
    EXPECT_EQ(server.Mismatch(), "");
}

TEST_F(SmtpConnectionTest, LocalhostTriesEveryAddress) {
    // localhost may resolve to ::1 first, where nothing listens; 127.0.0.1 must still be tried.
    ScriptedServer server(Greeted({"SILENT"}));
    CSmtpConnection connection(server.port());
    EXPECT_TRUE(connection.Open("localhost", 10000));
    connection.Close();
}

TEST_F(SmtpConnectionTest, SilentServerEndsWithinTheBound) {
    struct Case {
        const char* name;
        std::vector<std::string> script;
        bool opens;
    };
    const Case cases[] = {
        {"no greeting", {"SILENT"}, false},
        {"no EHLO reply", {"S: 220 peer.test", kEhlo, "SILENT"}, false},
        {"no end-of-data reply", InData({"SILENT"}), true},
    };
    for (const Case& c : cases) {
        ScriptedServer server(c.script);
        CSmtpConnection connection(server.port());
        connection.SetReplyTimeout(300ms);
        const auto start = Clock::now();
        const bool opened = connection.Open("127.0.0.1", 10000);
        EXPECT_EQ(opened, c.opens) << c.name;
        if (opened) {
            EXPECT_FALSE(connection.Send(m_message)) << c.name;
            EXPECT_FALSE(connection.IsOpen()) << c.name;
        }
        EXPECT_LT(Clock::now() - start, 5s) << c.name;
        EXPECT_EQ(server.Mismatch(), "") << c.name;
    }
}

TEST_F(SmtpConnectionTest, UnreadableAttachmentDropsTheConnectionWithoutEndOfData) {
    std::filesystem::remove(m_jpeg);
    ScriptedServer server(InData({}));
    CSmtpConnection connection(server.port());
    ASSERT_TRUE(connection.Open("127.0.0.1", 10000));
    EXPECT_FALSE(connection.Send(m_message));
    EXPECT_FALSE(connection.IsOpen());
    const auto start = Clock::now();
    EXPECT_FALSE(connection.Send(m_message)); // the retry fails at once
    EXPECT_LT(Clock::now() - start, 1s);
    // The server saw the data end without "." (so it delivers nothing).
    EXPECT_EQ(server.Mismatch(), "message data ended early");
}

TEST_F(SmtpConnectionTest, LineBreaksCannotAddCommands) {
    ScriptedServer server(MailFrom(
        {"C: RCPT TO:<alice@example.test>", "S: 550 no", "C: RSET", "S: 250 Ok", "SILENT"}));
    CSmtpConnection connection(server.port());
    ASSERT_TRUE(connection.Open("127.0.0.1", 10000));
    EXPECT_FALSE(connection.Send(m_message, std::nullopt, "me@x.test>\r\nRCPT TO:<spy@x.test"));
    EXPECT_FALSE(connection.Send(m_message, "a@x.test\r\nRCPT TO:<spy@x.test>"));
    EXPECT_FALSE(connection.Send(m_message, "a@x.test\nDATA"));
    EXPECT_TRUE(connection.IsOpen());
    // Nothing of the refused attempts reached the server: the next command is MAIL FROM.
    EXPECT_FALSE(connection.Send(m_message, "alice@example.test"));
    connection.Close();
    EXPECT_EQ(server.Mismatch(), "");
}

TEST_F(SmtpConnectionTest, OverlongRecipientIsNotSent) {
    // Nothing of the transaction goes out: not even MAIL FROM.
    const std::string longAddress = std::string(989, 'a');
    ScriptedServer server(Greeted({"C: RSET", "SILENT"}));
    CSmtpConnection connection(server.port());
    ASSERT_TRUE(connection.Open("127.0.0.1", 10000));
    EXPECT_FALSE(connection.Send(m_message, longAddress));
    EXPECT_FALSE(connection.Send(m_message, std::nullopt, std::string(990, 'b')));
    connection.Close();
    EXPECT_EQ(server.Mismatch(), "expected \"RSET\", connection ended");
}

} // namespace
