// The fallback delivery path of a reply against a scripted SMTP server: the first path finds
// nobody listening, the HELO path gets one retry on the same connection, and its outcome is
// the result and the log line.

#include "app/ReplySender.h"

#include "tests/service/ServiceTestSupport.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const Lines kGreeting = {"S: 220 ready", "C: *", "S: 250 hello"};

TEST(ReplySenderHelloPath, RetriesOnceOnTheSameConnectionAndLogsTheOutcome) {
    const Lines refused = {"C: MAIL FROM:<camera@example.com>", "S: 451 try later"};
    const Lines accepted = {"C: MAIL FROM:<camera@example.com>",
                            "S: 250 ok",
                            "C: RCPT TO:<a@example.com>",
                            "S: 250 ok",
                            "C: RCPT TO:<b@example.com>",
                            "S: 250 ok",
                            "C: DATA",
                            "S: 354 go ahead",
                            "DATA",
                            "S: 250 queued"};
    struct Case {
        const char* name;
        Lines script;
        int result;
        Lines screen;
    };
    const Case cases[] = {
        {"second try delivers",
         Join({kGreeting, refused, accepted}),
         1,
         {"送信完了<a@example.com>", "送信完了<b@example.com>"}},
        {"both tries refused",
         Join({kGreeting, refused, refused}),
         0,
         {"ERROR : メールの返信に失敗しました"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir home;
        const std::string picture = home.folder() + "20261206154744.jpg";
        TempDir::WriteFile(picture, "\xFF\xD8 not much of a picture \xFF\xD9");
        ScriptedServer server(c.script);

        MailSettings settings;
        settings.smtpServer = "127.0.0.1";
        settings.smtpPort = UnusedLoopbackPort(); // the authenticating path finds nobody
        settings.senderAddress = "camera@example.com";
        RecordingLog log;
        FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
        CReplySender sender(settings, log, clock, nullptr, server.port());

        EXPECT_EQ(sender.SendReply({"a@example.com", "b@example.com"}, picture), c.result);
        EXPECT_EQ(server.Mismatch(), "");
        EXPECT_EQ(server.Connections(), 1);
        EXPECT_EQ(log.screen, c.screen);
        EXPECT_TRUE(log.fileOnly.empty());
    }
}

TEST(ReplySenderAuthPath, AnEmptySenderNameGivesAFromLineWithTheAddressOnly) {
    const struct {
        const char* senderName;
        const char* fromLine;
    } cases[] = {
        {"", "From:  <camera@example.com>"},
        {"監視カメラ", "From: =?ISO-2022-JP?B?GyRCNEY7ayUrJWElaRsoQg==?= <camera@example.com>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.senderName);
        TempDir home;
        const std::string picture = home.folder() + "20261206154744.jpg";
        TempDir::WriteFile(picture, "\xFF\xD8 not much of a picture \xFF\xD9");
        ScriptedServer server({"S: 220 ready", "C: *", "S: 250 hello", "C: AUTH LOGIN",
                               "S: 334 VXNlcm5hbWU6", "C: Y2FtZXJh", "S: 334 UGFzc3dvcmQ6",
                               "C: c2VjcmV0", "S: 235 ok", "C: MAIL FROM:<camera@example.com>",
                               "S: 250 ok", "C: RCPT TO:<a@example.com>", "S: 250 ok", "C: DATA",
                               "S: 354 go ahead", "DATA", "S: 250 queued", "C: QUIT",
                               "S: 221 bye"});

        MailSettings settings;
        settings.smtpServer = "127.0.0.1";
        settings.smtpPort = server.port();
        settings.pop3Id = "camera";
        settings.pop3Pass = "secret";
        settings.senderName = c.senderName;
        settings.senderAddress = "camera@example.com";
        RecordingLog log;
        FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
        CReplySender sender(settings, log, clock, nullptr,
                            static_cast<uint16_t>(UnusedLoopbackPort()));

        EXPECT_EQ(sender.SendReply({"a@example.com"}, picture), 1);
        EXPECT_EQ(server.Mismatch(), "");
        const std::vector<std::string> data = server.Data();
        const auto from = std::find_if(data.begin(), data.end(), [](const std::string& line) {
            return line.starts_with("From:");
        });
        ASSERT_NE(from, data.end());
        EXPECT_EQ(*from, c.fromLine);
        // The log drops the trailing line break of this path's line.
        EXPECT_EQ(log.screen, Lines{"送信完了<a@example.com>\r\n"});
    }
}

} // namespace
