// The reply sender against scripted SMTP servers: the port 25 path (taken when nobody answers on
// the configured port) sends one mail per requester on one connection, each with one retry, and
// its outcome is the result and the log lines; the configured path's From line; a cancel signal
// that ends both paths.

#include "app/service/ReplySender.h"

#include "mail/net/CancelSignal.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/ScriptedServer.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const MailPicture kPicture{
    "20261206154744.jpg",
    std::make_shared<const std::string>("\xFF\xD8 not much of a picture \xFF\xD9")};

const Lines kGreeting = {"S: 220 ready", "C: *", "S: 250 hello"};

// One mail transaction for address on the HELO path: MAIL FROM answered with mailReply, then
// (when it is a 250) RCPT TO answered with rcptReply and, when that is a 250, the data.
Lines Transaction(const std::string& address, const char* mailReply, const char* rcptReply) {
    Lines steps = {"C: MAIL FROM:<camera@example.com>", mailReply};
    if (std::string(mailReply) != "S: 250 ok")
        return steps;
    steps.insert(steps.end(), {"C: RCPT TO:<" + address + ">", rcptReply});
    if (std::string(rcptReply) == "S: 250 ok")
        steps.insert(steps.end(), {"C: DATA", "S: 354 go ahead", "DATA", "S: 250 queued"});
    else
        steps.insert(steps.end(), {"C: RSET", "S: 250 ok"});
    return steps;
}

TEST(ReplySenderHelloPath, OneMailPerRequesterEachRetriedOnceOnTheSameConnection) {
    const char* ok = "S: 250 ok";
    const char* later = "S: 451 try later";
    const char* unknown = "S: 550 no such user";
    struct Case {
        const char* name;
        Lines script;
        std::vector<bool> sent;
        Lines screen;
        Lines fileOnly; // what the user sees of a failure is its cause, from the check cycle
        // Whose cause LastFailure tells: none, the authenticating path's (the configured port
        // where nobody listens), or the port 25 path's, which delivered the others.
        enum { None, AuthPath, HelloPath } blamed;
    };
    const Case cases[] = {
        {"a refused MAIL FROM is retried",
         Join({kGreeting, Transaction("a@example.com", later, ""),
               Transaction("a@example.com", ok, ok), Transaction("b@example.com", ok, ok)}),
         {true, true},
         {"送信完了<a@example.com>", "送信完了<b@example.com>"},
         {},
         Case::None},
        {"a refused recipient keeps its request, the other is answered",
         Join({kGreeting, Transaction("a@example.com", ok, unknown),
               Transaction("a@example.com", ok, unknown), Transaction("b@example.com", ok, ok)}),
         {false, true},
         {"送信完了<b@example.com>"},
         {"ERROR : メールの返信に失敗しました"},
         Case::HelloPath},
        {"both refused twice",
         Join({kGreeting, Transaction("a@example.com", later, ""),
               Transaction("a@example.com", later, ""), Transaction("b@example.com", later, ""),
               Transaction("b@example.com", later, "")}),
         {false, false},
         {},
         {"ERROR : メールの返信に失敗しました"},
         Case::AuthPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.script);

        MailSettings settings;
        settings.smtpServer = "127.0.0.1";
        settings.smtpPort = UnusedLoopbackPort(); // the configured path finds nobody
        settings.pop3Id = "camera";
        settings.pop3Pass = "secret";
        settings.senderAddress = "camera@example.com";
        RecordingLog log;
        FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
        CReplySender sender(log, clock, nullptr, server.port());

        EXPECT_EQ(sender.SendReplies(settings, {"a@example.com", "b@example.com"}, kPicture),
                  c.sent);
        EXPECT_EQ(server.Mismatch(), "");
        EXPECT_EQ(server.Connections(), 1);
        EXPECT_EQ(log.screen, c.screen);
        EXPECT_EQ(log.fileOnly, c.fileOnly);
        const int blamedPort = c.blamed == Case::AuthPath ? settings.smtpPort : server.port();
        EXPECT_EQ(sender.LastFailure().server,
                  c.blamed == Case::None ? "" : "127.0.0.1:" + std::to_string(blamedPort));
    }
}

TEST(ReplySenderAuthPath, AnEmptySenderNameGivesAFromLineWithTheAddressOnly) {
    const struct {
        const char* senderName;
        const char* fromLine;
    } cases[] = {
        {"", "From: <camera@example.com>"},
        {"監視カメラ", "From: =?ISO-2022-JP?B?GyRCNEY7ayUrJWElaRsoQg==?= <camera@example.com>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.senderName);
        ScriptedServer server({"S: 220 ready", "C: *", "S: 250-hello", "S: 250 AUTH LOGIN",
                               "C: AUTH LOGIN",
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
        CReplySender sender(log, clock, nullptr, static_cast<uint16_t>(UnusedLoopbackPort()));

        EXPECT_EQ(sender.SendReplies(settings, {"a@example.com"}, kPicture),
                  std::vector<bool>{true});
        EXPECT_EQ(server.Mismatch(), "");
        const std::vector<std::string> data = server.Data();
        const auto from = std::find_if(data.begin(), data.end(), [](const std::string& line) {
            return line.starts_with("From:");
        });
        ASSERT_NE(from, data.end());
        EXPECT_EQ(*from, c.fromLine);
        EXPECT_EQ(log.screen, Lines{"送信完了<a@example.com>"});
    }
}

TEST(ReplySenderCancel, ARaisedSignalEndsTheWaitAtOnceAndNothingIsSent) {
    LoopbackListener silentSmtp, silentHello; // connections stand; nobody ever answers
    MailSettings settings;
    settings.smtpServer = "127.0.0.1";
    settings.smtpPort = silentSmtp.port();
    settings.pop3Id = "camera";
    settings.pop3Pass = "secret";
    settings.senderAddress = "camera@example.com";
    RecordingLog log;
    FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
    CReplySender sender(log, clock, nullptr, static_cast<uint16_t>(silentHello.port()));
    CCancelSignal cancel;
    sender.SetCancelSignal(&cancel);

    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel.Cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sender.SendReplies(settings, {"a@example.com", "b@example.com"}, kPicture),
              (std::vector<bool>{false, false}));
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(log.screen.empty());
    EXPECT_FALSE(silentHello.HasPendingConnection()); // the second path was not started
}

} // namespace
