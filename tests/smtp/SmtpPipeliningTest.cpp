// Both SMTP clients against servers that offer PIPELINING: commands of a group leave before
// their replies are read (the scripts ask for every line of a group before they answer any,
// so a client that waited would fail), replies are taken in order, and a refusal inside a
// group leaves the session in a known state. Also: files read once per reply.
#include "mail/MimeMessage.h"
#include "mail/SmtpAuthClient.h"
#include "mail/SmtpConnection.h"
#include "tests/smtp/SmtpTestUtil.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>

namespace {

using namespace std::chrono_literals;

const std::string kEhlo = "C: EHLO " + LocalHostName();
const std::string kMailFrom = "C: MAIL FROM:<camera@example.test>";

// Greeting, EHLO with PIPELINING and AUTH PLAIN, and the log-in in one round trip (the
// credentials go with the command, RFC 4954 section 4).
Script PipelinedLogIn() {
    return {"S: 220 peer.test ESMTP",
            kEhlo,
            "S: 250-peer.test",
            "S: 250-PIPELINING",
            "S: 250 AUTH PLAIN LOGIN",
            "C: AUTH PLAIN " + Base64(std::string("\0cam\0pw", 7)),
            "S: 235 2.7.0 Authentication successful"};
}

// One mail's group to address, the replies to MAIL, RCPT and DATA, and what follows.
Script Group(const std::string& address, const std::string& rcptReply, const std::string& dataReply,
             const Script& rest) {
    return Join({kMailFrom, "C: RCPT TO:<" + address + ">", "C: DATA", "S: 250 OK",
                 "S: " + rcptReply, "S: " + dataReply},
                rest);
}

TEST(SmtpPipelining, AuthClientSendsEachMailAsOneGroup) {
    struct Case {
        const char* name;
        Script afterLogIn;
        std::vector<bool> taken;
        int code;
    };
    // QUIT is asked for before the last reply to the data: it travels with the data.
    const Case cases[] = {
        {"both taken, QUIT behind the last data",
         Join(Group("a@example.test", "250 OK", "354 go", {"DATA", "S: 250 queued"}),
              Group("b@example.test", "250 OK", "354 go",
                    {"DATA", "C: QUIT", "S: 250 queued", "S: 221 bye"})),
         {true, true},
         CSmtpAuthClient::kNoError},
        {"refused recipient: DATA refused, RSET, the next mail goes",
         Join(Group("a@example.test", "550 no such user", "554 no valid recipients",
                    {"C: RSET", "S: 250 OK"}),
              Group("b@example.test", "250 OK", "354 go",
                    {"DATA", "C: QUIT", "S: 250 queued", "S: 221 bye"})),
         {false, true},
         CSmtpAuthClient::kRcptToRefused},
        {"refused sender: every reply of the group read, RSET",
         Join({kMailFrom, "C: RCPT TO:<a@example.test>", "C: DATA", "S: 553 not you",
               "S: 503 sender first", "S: 503 sender first", "C: RSET", "S: 250 OK"},
              Group("b@example.test", "250 OK", "354 go",
                    {"DATA", "C: QUIT", "S: 250 queued", "S: 221 bye"})),
         {false, true},
         CSmtpAuthClient::kMailFromRefused},
        {"refused end of the last data: no RSET, QUIT answered",
         Join(Group("a@example.test", "250 OK", "354 go", {"DATA", "S: 250 queued"}),
              Group("b@example.test", "250 OK", "354 go",
                    {"DATA", "C: QUIT", "S: 552 too big", "S: 221 bye"})),
         {true, false},
         CSmtpAuthClient::kMessageBodyRefused},
        {"connection lost inside the group: no further mail",
         {kMailFrom, "C: RCPT TO:<a@example.test>", "C: DATA", "S: 250 OK", "CLOSE"},
         {false, false},
         CSmtpAuthClient::kConnectionClosed},
    };
    for (const Case& c : cases) {
        ScriptedServer server(Join(PipelinedLogIn(), c.afterLogIn));
        CSmtpAuthClient client;
        client.SetServerEndpoint("127.0.0.1", server.port());
        client.SetReplyTimeout(5s);
        client.SetFromAddress("camera@example.test");
        client.SetSubjectLine("キャプチャ画像");
        client.SetBodyText("本文");
        client.SetAuthUser("cam");
        client.SetAuthPassword("pw");
        client.AddToAddress("a@example.test");
        client.AddToAddress("b@example.test");
        EXPECT_EQ(client.DeliverSeparately(), c.taken) << c.name;
        EXPECT_EQ(client.ErrorCode(), c.code) << c.name;
        EXPECT_EQ(server.Mismatch(), "") << c.name;
    }
}

TEST(SmtpPipelining, AuthClientDropsAMailNoToRecipientTook) {
    // Only the copy's recipient was taken, and the server opens the data anyway: ending it
    // would deliver the mail to the copy alone, so the connection goes and no data is sent.
    ScriptedServer server(
        Join(PipelinedLogIn(),
             {kMailFrom, "C: RCPT TO:<gone@example.test>", "C: RCPT TO:<copy@example.test>",
              "C: DATA", "S: 250 OK", "S: 550 no such user", "S: 250 OK", "S: 354 go", "C: *"}));
    CSmtpAuthClient client;
    client.SetServerEndpoint("127.0.0.1", server.port());
    client.SetReplyTimeout(5s);
    client.SetFromAddress("camera@example.test");
    client.SetSubjectLine("x");
    client.SetAuthUser("cam");
    client.SetAuthPassword("pw");
    client.AddToAddress("gone@example.test");
    client.AddCcAddress("copy@example.test");
    EXPECT_FALSE(client.Deliver());
    EXPECT_EQ(client.ErrorCode(), CSmtpAuthClient::kRcptToRefused);
    EXPECT_EQ(server.Mismatch(), "expected \"*\", connection ended");
}

TEST(SmtpPipelining, HeloConnectionSendsOneGroupPerMessage) {
    struct Case {
        const char* name;
        Script afterGreeting;
        std::vector<bool> results; // of Send, called once per entry
        bool openAfterwards;
        std::string mismatch;
    };
    auto group = [](const char* rcptReply, const char* dataReply, const Script& rest) {
        return Join({kMailFrom, "C: RCPT TO:<alice@example.test>", "C: RCPT TO:<bob@example.test>",
                     "C: DATA", "S: 250 OK", "S: 250 OK", std::string("S: ") + rcptReply,
                     std::string("S: ") + dataReply},
                    rest);
    };
    const Case cases[] = {
        {"taken",
         group("251 will forward", "354 go", {"DATA", "S: 250 queued", "SILENT"}),
         {true},
         true,
         ""},
        {"refused recipient, DATA refused: RSET, and the retry goes",
         Join(group("550 no", "554 no valid recipients", {"C: RSET", "S: 250 OK"}),
              group("250 OK", "354 go", {"DATA", "S: 250 queued", "SILENT"})),
         {false, true},
         true,
         ""},
        {"refused recipient, data opened anyway: the connection is dropped",
         group("550 no", "354 go", {"C: *"}),
         {false},
         false,
         "expected \"*\", connection ended"},
        {"refused sender: no RSET, the retry goes",
         Join({kMailFrom, "C: RCPT TO:<alice@example.test>", "C: RCPT TO:<bob@example.test>",
               "C: DATA", "S: 553 not you", "S: 503 sender first", "S: 503 sender first",
               "S: 503 sender first"},
              group("250 OK", "354 go", {"DATA", "S: 250 queued", "SILENT"})),
         {false, true},
         true,
         ""},
    };
    TempDir dir;
    for (const Case& c : cases) {
        ScriptedServer server(Join(
            {"S: 220 peer.test", kEhlo, "S: 250-peer.test", "S: 250 PIPELINING"}, c.afterGreeting));
        CSmtpConnection connection(server.port());
        connection.SetReplyTimeout(5s);
        ASSERT_TRUE(connection.Open("127.0.0.1", 10000)) << c.name;
        CMimeMessage message;
        message.AddToRecipient("alice@example.test");
        message.AddToRecipient("bob@example.test");
        message.SetSenderAddress("camera@example.test");
        message.AddTextPart("text");
        for (std::size_t i = 0; i < c.results.size(); ++i)
            EXPECT_EQ(connection.Send(message), c.results[i]) << c.name << ", send " << i;
        EXPECT_EQ(connection.IsOpen(), c.openAfterwards) << c.name;
        connection.Close();
        EXPECT_EQ(server.Mismatch(), c.mismatch) << c.name;
    }
}

// The data lines of a transaction that ends in 250; no PIPELINING, so one command a reply.
Script OneByOne(const std::string& to) {
    return {kMailFrom,   "S: 250 OK",    "C: RCPT TO:<" + to + ">",
            "S: 250 OK", "C: DATA",      "S: 354 go",
            "DATA",      "S: 250 queued"};
}

TEST(SmtpAttachmentReads, EachClientReadsThePictureOncePerReply) {
    // Three requesters get the picture over one session; the file is opened once.
    struct Case {
        const char* name;
        bool authPath;
    };
    for (const Case c : {Case{"AUTH client, one mail per requester", true},
                         Case{"HELO connection, one message per requester", false}}) {
        TempDir dir;
        const std::string jpeg = JpegLikeBytes(20000);
        TempDir::WriteFile(dir.path() / "20261206154744.jpg", jpeg);
        OpenCounter picture(dir.path() / "20261206154744.jpg");
        const std::vector<std::string> requesters = {"a@example.test", "b@example.test",
                                                     "c@example.test"};
        Script script = {"S: 220 peer.test", kEhlo, "S: 250 peer.test"};
        if (c.authPath)
            script = {"S: 220 peer.test",
                      kEhlo,
                      "S: 250-peer.test",
                      "S: 250 AUTH PLAIN",
                      "C: AUTH PLAIN " + Base64(std::string("\0cam\0pw", 7)),
                      "S: 235 ok"};
        for (const std::string& to : requesters)
            script = Join(script, OneByOne(to));
        if (c.authPath)
            script = Join(script, {"C: QUIT", "S: 221 bye"});
        ScriptedServer server(script);

        if (c.authPath) {
            CSmtpAuthClient client;
            client.SetServerEndpoint("127.0.0.1", server.port());
            client.SetReplyTimeout(5s);
            client.SetFromAddress("camera@example.test");
            client.SetSubjectLine("x");
            client.SetAuthUser("cam");
            client.SetAuthPassword("pw");
            for (const std::string& to : requesters)
                client.AddToAddress(to);
            client.AttachFile((dir.path() / "20261206154744.jpg").string());
            EXPECT_EQ(client.DeliverSeparately(), std::vector<bool>(3, true)) << c.name;
        } else {
            CSmtpConnection connection(server.port());
            connection.SetReplyTimeout(5s);
            ASSERT_TRUE(connection.Open("127.0.0.1", 10000)) << c.name;
            for (const std::string& to : requesters) {
                CMimeMessage message;
                message.AddToRecipient(to);
                message.SetSenderAddress("camera@example.test");
                message.AddFileAttachment((dir.path() / "20261206154744.jpg").string());
                message.AddTextPart("text", 1);
                EXPECT_TRUE(connection.Send(message)) << c.name << ", " << to;
            }
            connection.Close();
        }
        EXPECT_EQ(server.Mismatch(), "") << c.name;
        EXPECT_EQ(picture.Opens(), 1) << c.name;

        // Every mail carries the whole picture.
        const std::string first = Base64(jpeg.substr(0, 54)).substr(0, 60);
        const auto data = server.Data();
        EXPECT_EQ(std::count_if(data.begin(), data.end(),
                                [&](const std::string& line) { return line.starts_with(first); }),
                  3)
            << c.name;
    }
}

} // namespace
