#include "mail/SmtpAuthClient.h"

#include "tests/smtp/SmtpTestUtil.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kBoundary = CSmtpAuthClient::kBoundary;
const std::string kEhlo = "C: EHLO " + LocalHostName();

// Greeting, multi-line EHLO reply and a successful AUTH LOGIN for user "cam", password "pw".
Script LoggedIn() {
    return {"S: 220 peer.test ESMTP", kEhlo,
            "S: 250-peer.test",       "S: 250-AUTH LOGIN",
            "S: 250-SIZE 33554432",   "S: 250 HELP",
            "C: AUTH LOGIN",          "S: 334 VXNlcm5hbWU6",
            "C: " + Base64("cam"),    "S: 334 UGFzc3dvcmQ6",
            "C: " + Base64("pw"),     "S: 235 2.7.0 Authentication successful"};
}

const Script kMailFrom = {"C: MAIL FROM:<camera@example.test>", "S: 250 OK"};

// RCPT TO steps for the addresses, each accepted.
Script Accepted(std::initializer_list<std::string> addresses) {
    Script steps;
    for (const auto& address : addresses)
        steps.insert(steps.end(), {"C: RCPT TO:<" + address + ">", "S: 250 OK"});
    return steps;
}

// Log-in, MAIL FROM, the RCPT steps, a message taken and QUIT.
Script Delivery(const Script& rcpt) {
    return Join(Join(Join(LoggedIn(), kMailFrom), rcpt),
                {"C: DATA", "S: 354 go ahead", "DATA", "S: 250 queued", "C: QUIT", "S: 221 bye"});
}

class SmtpAuthClientTest : public ::testing::Test {
protected:
    // The client as the reply sender fills it, with credentials.
    void Fill(CSmtpAuthClient& client, uint16_t port, bool credentials = true) {
        client.SetServerEndpoint("127.0.0.1", port);
        client.SetReplyTimeout(5s);
        client.SetFromName("カメラ");
        client.SetFromAddress("camera@example.test");
        client.SetReplyAddress("camera@example.test");
        client.SetSubjectLine("キャプチャ画像");
        client.SetPriorityValue(3);
        client.SetMailerName("KestrovaMail");
        client.SetBodyText(m_body);
        if (credentials) {
            client.SetAuthUser("cam");
            client.SetAuthPassword("pw");
        }
    }

    TempDir m_dir;
    const std::string m_jpegNeverRead = (m_dir.path() / "other.jpg").string();
    const std::string m_body = "2026年12月6日(日)15時47分44秒現在の画像です。\r\n";
};

TEST_F(SmtpAuthClientTest, AuthLoginDialogueWithAttachment) {
    const std::string jpeg = JpegLikeBytes(108);
    const auto path = m_dir.path() / "20261206154744.jpg";
    TempDir::WriteFile(path, jpeg);

    ScriptedServer server(Delivery(Accepted({"alice@example.test", "bob@example.test"})));
    CSmtpAuthClient client;
    EXPECT_EQ(client.ErrorCode(), 0);
    Fill(client, server.port());
    EXPECT_TRUE(client.AddToAddress("alice@example.test"));
    EXPECT_TRUE(client.AddToAddress("bob@example.test"));
    EXPECT_TRUE(client.AttachFile(path.string()));
    EXPECT_TRUE(client.Deliver());
    EXPECT_EQ(client.ErrorCode(), 0);
    EXPECT_EQ(server.Mismatch(), "");

    const std::vector<std::string> data = server.Data();
    ASSERT_GT(data.size(), 7u);
    EXPECT_TRUE(std::regex_match(
        data[0], std::regex(R"(Date: \w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d \+0000)")))
        << data[0];
    EXPECT_TRUE(std::regex_match(data[7], std::regex(R"(Message-ID: <[^@<>]+@example\.test>)")))
        << data[7];
    // The server offers no 8BITMIME: the text goes as ISO-2022-JP.
    const std::vector<std::string> expected = {
        data[0],
        "From: " + EncodedWord("カメラ") + " <camera@example.test>",
        "X-Mailer: KestrovaMail",
        "Reply-To: camera@example.test",
        "X-Priority: 3 (Normal)",
        "To: <alice@example.test>, <bob@example.test>",
        "Subject: =?ISO-2022-JP?B?GyRCJS0lYyVXJUElYzJoQXwbKEI=?=",
        data[7],
        "MIME-Version: 1.0",
        "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"",
        "",
        "--" + kBoundary,
        "Content-type: text/plain; charset=ISO-2022-JP",
        "Content-Transfer-Encoding: 7bit",
        "",
        *CJisHeaderEncoder::EncodeMailText(
            text::Utf8ToSjis("2026年12月6日(日)15時47分44秒現在の画像です。")),
        "",
        "--" + kBoundary,
        "Content-Type: image/jpeg; name=\"20261206154744.jpg\"",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment; filename=\"20261206154744.jpg\"",
        "",
        Base64(jpeg.substr(0, 54)),
        Base64(jpeg.substr(54, 54)),
        "",
        "",
        "--" + kBoundary + "--",
        "",
        ".",
    };
    EXPECT_EQ(data, expected);
    EXPECT_EQ(expected[22].size(), 72u);
}

TEST_F(SmtpAuthClientTest, SeparateMailsGoOneToEachRecipientInOneSession) {
    // The second recipient is refused: RSET, and the third still gets its mail.
    auto transaction = [](const std::string& address, const char* rcptReply) {
        Script steps = {"C: MAIL FROM:<camera@example.test>", "S: 250 OK",
                        "C: RCPT TO:<" + address + ">", rcptReply};
        if (std::string(rcptReply).starts_with("S: 250"))
            steps.insert(steps.end(), {"C: DATA", "S: 354 go ahead", "DATA", "S: 250 queued"});
        else
            steps.insert(steps.end(), {"C: RSET", "S: 250 OK"});
        return steps;
    };
    ScriptedServer server(
        Join(Join(Join(Join(LoggedIn(), transaction("a@example.test", "S: 250 OK")),
                       transaction("b@example.test", "S: 550 no such user")),
                  transaction("c@example.test", "S: 250 OK")),
             {"C: QUIT", "S: 221 bye"}));
    CSmtpAuthClient client;
    Fill(client, server.port());
    for (const char* address : {"a@example.test", "b@example.test", "c@example.test"})
        client.AddToAddress(address);
    client.AddCcAddress("copy@example.test"); // not used: each mail has one recipient
    EXPECT_EQ(client.DeliverSeparately(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(client.ErrorCode(), CSmtpAuthClient::kRcptToRefused);
    EXPECT_EQ(server.Mismatch(), "");
    std::vector<std::string> toLines, ids;
    for (const std::string& line : server.Data()) {
        if (line.starts_with("To:") || line.starts_with("Cc:"))
            toLines.push_back(line);
        if (line.starts_with("Message-ID:"))
            ids.push_back(line);
    }
    EXPECT_EQ(toLines, (std::vector<std::string>{"To: <a@example.test>", "To: <c@example.test>"}));
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_NE(ids[0], ids[1]);
}

TEST_F(SmtpAuthClientTest, SeparateMailsStopWhereTheConnectionFails) {
    ScriptedServer server(Join(LoggedIn(), {"C: MAIL FROM:<camera@example.test>", "CLOSE"}));
    CSmtpAuthClient client;
    Fill(client, server.port());
    client.AddToAddress("a@example.test");
    client.AddToAddress("b@example.test");
    EXPECT_EQ(client.DeliverSeparately(), (std::vector<bool>{false, false}));
    EXPECT_EQ(server.Mismatch(), "");
}

TEST_F(SmtpAuthClientTest, RefusedFirstRecipientStillDelivers) {
    ScriptedServer server(
        Delivery(Join({"C: RCPT TO:<gone@example.test>", "S: 550 5.1.1 no such user"},
                      Accepted({"bob@example.test"}))));
    CSmtpAuthClient client;
    Fill(client, server.port());
    client.AddToAddress("gone@example.test");
    client.AddToAddress("bob@example.test", "Bob ");
    EXPECT_TRUE(client.Deliver());
    EXPECT_EQ(client.ErrorCode(), CSmtpAuthClient::kRcptToRefused);
    EXPECT_EQ(server.Mismatch(), "");
    const auto data = server.Data();
    // No attachments: one text/plain message without boundary lines.
    EXPECT_NE(
        std::find(data.begin(), data.end(), "To: <gone@example.test>, Bob <bob@example.test>"),
        data.end());
    EXPECT_NE(std::find(data.begin(), data.end(), "Content-type: text/plain; charset=ISO-2022-JP"),
              data.end());
    for (const auto& line : data)
        EXPECT_EQ(line.find(kBoundary), std::string::npos) << line;
}

TEST_F(SmtpAuthClientTest, UnreadableAttachmentIsRecordedAndTheMessageFinished) {
    const auto folder = m_dir.path() / "folder.jpg";
    std::filesystem::create_directory(folder);
    for (const auto& path : {m_dir.path() / "gone.jpg", folder}) {
        ScriptedServer server(Delivery(Accepted({"bob@example.test"})));
        CSmtpAuthClient client;
        Fill(client, server.port());
        client.AddToAddress("bob@example.test");
        client.AttachFile(path.string());
        client.AttachFile(m_jpegNeverRead); // attachments stop at the first unreadable one
        EXPECT_TRUE(client.Deliver()) << path;
        EXPECT_EQ(client.ErrorCode(), CSmtpAuthClient::kFileNotExist) << path;
        EXPECT_EQ(CSmtpAuthClient::ErrorMessageFor(client.ErrorCode()), "File not exist.");
        const std::string name = path.filename().string();
        const auto data = server.Data();
        const std::vector<std::string> tail(data.end() - 9, data.end());
        const std::vector<std::string> expected = {
            "--" + kBoundary,
            "Content-Type: image/jpeg; name=\"" + name + "\"",
            "Content-Transfer-Encoding: base64",
            "Content-Disposition: attachment; filename=\"" + name + "\"",
            "",
            "",
            "--" + kBoundary + "--",
            "",
            "."};
        EXPECT_EQ(tail, expected) << path;
    }
}

TEST_F(SmtpAuthClientTest, AttachmentsBeyondTheLimitStayEmpty) {
    const auto small = m_dir.path() / "small.bin";
    const auto big = m_dir.path() / "big.bin";
    TempDir::WriteFile(small, std::string(1024, 'a'));
    TempDir::WriteFile(big, std::string(5 * 1024 * 1024, 'b'));
    ScriptedServer server(Delivery(Accepted({"bob@example.test"})));
    CSmtpAuthClient client;
    Fill(client, server.port());
    client.AddToAddress("bob@example.test");
    client.AttachFile(small.string());
    client.AttachFile(big.string()); // 1 KiB + 5 MiB reaches the limit
    EXPECT_TRUE(client.Deliver());
    EXPECT_EQ(client.ErrorCode(), CSmtpAuthClient::kMessageTooBig);
    const auto data = server.Data();
    const std::vector<std::string> tail(data.end() - 5, data.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"", "", "--" + kBoundary + "--", "", "."}));
    EXPECT_EQ(std::count(data.begin(), data.end(), Base64(std::string(54, 'a'))), 18);
}

TEST_F(SmtpAuthClientTest, FailuresGiveTheirCodes) {
    const Script mailFrom = Join(LoggedIn(), kMailFrom);
    const Script rcpt = Join(mailFrom, Accepted({"bob@example.test"}));
    const Script askUser = {"S: 220 x", kEhlo, "S: 250 x", "C: AUTH LOGIN", "S: 334 VXNlcm5hbWU6"};
    struct Case {
        const char* name;
        Script script;
        bool credentials;
        bool delivered;
        int code;
    };
    const Case cases[] = {
        {"greeting refused", {"S: 554 no", "SILENT"}, true, false, 401},
        {"multi-line greeting read whole",
         {"S: 220-a", "S: 220 b", kEhlo, "S: 502 no", "SILENT"},
         true,
         false,
         301},
        {"EHLO refused", {"S: 220 x", kEhlo, "S: 502 no", "SILENT"}, true, false, 301},
        {"AUTH refused",
         {"S: 220 x", kEhlo, "S: 250-x", "S: 250 y", "C: AUTH LOGIN", "S: 504 no", "SILENT"},
         true,
         false,
         302},
        {"no login set", Join(askUser, {"SILENT"}), false, false, 204},
        {"user refused", Join(askUser, {"C: " + Base64("cam"), "S: 501 no", "SILENT"}), true, false,
         406},
        {"bad password",
         Join(askUser, {"C: " + Base64("cam"), "S: 334 UGFzc3dvcmQ6", "C: " + Base64("pw"),
                        "S: 535 5.7.8 bad credentials", "SILENT"}),
         true, false, 405},
        {"MAIL FROM refused", Join(LoggedIn(), {"C: *", "S: 553 no", "SILENT"}), true, false, 300},
        {"only recipient refused", Join(mailFrom, {"C: *", "S: 550 no", "SILENT"}), true, false,
         305},
        {"DATA refused", Join(rcpt, {"C: DATA", "S: 554 no", "SILENT"}), true, false, 303},
        {"end of data refused",
         Join(rcpt, {"C: DATA", "S: 354 go", "DATA", "S: 552 too much", "SILENT"}), true, false,
         306},
        {"QUIT refused after delivery",
         Join(rcpt, {"C: DATA", "S: 354 go", "DATA", "S: 250 ok", "C: QUIT", "S: 500 ?", "SILENT"}),
         true, true, 304},
        {"closed at once", {"CLOSE"}, true, false, 400},
        {"silent server", {"S: 220 x", kEhlo, "SILENT"}, true, false, 402},
    };
    for (const Case& c : cases) {
        ScriptedServer server(c.script);
        CSmtpAuthClient client;
        Fill(client, server.port(), c.credentials);
        client.SetReplyTimeout(400ms);
        client.AddToAddress("bob@example.test");
        const auto start = Clock::now();
        EXPECT_EQ(client.Deliver(), c.delivered) << c.name;
        EXPECT_EQ(client.ErrorCode(), c.code) << c.name;
        EXPECT_LT(Clock::now() - start, 5s) << c.name;
        EXPECT_EQ(server.Mismatch(), "") << c.name;
    }
}

TEST_F(SmtpAuthClientTest, ConnectFailuresReportInvalidSocket) {
    for (const char* host : {"999.1.2.3", "", "127.0.0.1x"}) {
        CSmtpAuthClient client;
        client.SetServerEndpoint(host, 25);
        EXPECT_FALSE(client.Deliver()) << host;
        EXPECT_EQ(client.ErrorCode(), CSmtpAuthClient::kInvalidSocket) << host;
    }
}

TEST_F(SmtpAuthClientTest, LineBreaksCannotAddHeadersOrCommands) {
    CSmtpAuthClient client;
    EXPECT_FALSE(client.AddToAddress("a@x.test>\r\nRCPT TO:<spy@x.test"));
    EXPECT_EQ(client.ErrorCode(), CSmtpAuthClient::kUndefinedRecipientMail);
    EXPECT_FALSE(client.AddCcAddress(""));
    EXPECT_FALSE(client.AddBccAddress("b@x.test\n"));
    EXPECT_FALSE(client.SetFromAddress("me@x.test\r\nDATA"));
    EXPECT_FALSE(client.SetReplyAddress("me@x.test\r\nBcc: spy@x.test"));

    ScriptedServer server(
        Delivery(Accepted({"bob@example.test", "carol@example.test", "hidden@example.test"})));
    Fill(client, server.port());
    client.SetSubjectLine("Hello\r\nBcc: spy@x.test");
    client.SetFromName("Cam\r\nX-Evil: 1");
    client.SetMailerName("KestrovaMail\r\nX-Evil: 2");
    client.SetBodyText("line one\r\n.\r\nMAIL FROM:<spy@x.test>\n.\nend");
    client.AddToAddress("bob@example.test", "Bob\r\nX-Evil: 3");
    client.AddCcAddress("carol@example.test");
    client.AddBccAddress("hidden@example.test");
    EXPECT_TRUE(client.Deliver());
    EXPECT_EQ(server.Mismatch(), "");
    const auto data = server.Data();
    for (const auto& line : data) {
        EXPECT_NE(line.rfind("Bcc:", 0), 0u) << line;
        EXPECT_NE(line.rfind("X-Evil", 0), 0u) << line;
        EXPECT_EQ(line.find("hidden@"), std::string::npos) << line;
    }
    EXPECT_NE(std::find(data.begin(), data.end(), "Subject: HelloBcc: spy@x.test"), data.end());
    EXPECT_NE(std::find(data.begin(), data.end(), "Cc: <carol@example.test>"), data.end());
    // The body's dot lines arrive doubled, bare LFs as CR LF.
    const std::vector<std::string> body = {"line one", "..", "MAIL FROM:<spy@x.test>", "..", "end"};
    EXPECT_NE(std::search(data.begin(), data.end(), body.begin(), body.end()), data.end());
}

TEST(SmtpAuthClientErrors, TextsOfTheCodes) {
    const std::pair<int, const char*> table[] = {
        {0, ""},
        {102, "Function send() failed."},
        {105, "Functions gethostbyname() or gethostbyaddr() failed."},
        {201, "Undefined from is the mail."},
        {203, "Undefined at least one reciepent."},
        {206, "Undefined recipent mail."},
        {305, "Server returned error after sending RCPT TO."},
        {306, "Error in message body"},
        {402, "Server not responding"},
        {404, "Message is too big."},
        {406, "Undefined xyz SMTP response."},
        {407, "Lack of memory."},
        {999, "Undefined error id."},
        {-1, "Undefined error id."},
    };
    for (const auto& [code, textOfCode] : table)
        EXPECT_EQ(CSmtpAuthClient::ErrorMessageFor(code), textOfCode) << code;
}

} // namespace
