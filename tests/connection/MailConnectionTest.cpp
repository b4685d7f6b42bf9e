// The connection layer on its own: where each protocol's reply ends, the overall bound of a
// reply that drips in, and a wait cancelled from another thread.

#include "mail/CancelSignal.h"
#include "mail/MailConnection.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/ScriptedServer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr std::size_t npos = std::string_view::npos;

TEST(MailConnection, ReplyEndRules) {
    struct Case {
        ReplyEndRule rule;
        std::string buffered;
        std::size_t end;
    };
    const Case cases[] = {
        {replyend::Pop3StatusLine, "+OK ready\r\nnext", 11},
        {replyend::Pop3StatusLine, "+OK ready\r", npos},
        {replyend::Pop3MultiLine, "+OK\r\n.\r\n", 8},
        {replyend::Pop3MultiLine, "+OK\r\nline\r\n..dot\r\n.\r\nmore", 21},
        {replyend::Pop3MultiLine, "+OK\r\nline\r\n.x\r\n", npos},
        {replyend::Pop3MultiLine, "-ERR no such message\r\n", 22}, // no listing after -ERR
        {replyend::SmtpReply, "250-a\r\n250-b\r\n250 c\r\n354", 21},
        {replyend::SmtpReply, "250-a\r\n250-b\r\n", npos},
        {replyend::SmtpReply, "220\r\n", 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.rule(c.buffered, 0), c.end) << c.buffered;
}

TEST(MailConnection, ReplyThatDripsInEndsAtTheOverallBound) {
    // A byte every 150 ms never trips the 500 ms inactivity limit; the 1 s bound ends it.
    std::vector<std::string> script;
    for (char c : std::string("+OK drips."))
        script.insert(script.end(), {"R: " + std::string(1, c), "SLEEP 150"});
    script.push_back("SILENT");
    ScriptedServer server(script);
    CMailConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), 5s));
    std::string reply;
    const auto start = Clock::now();
    EXPECT_FALSE(connection.ReadReply(replyend::Pop3StatusLine, {500ms, 1s, 1000}, reply));
    const auto took = Clock::now() - start;
    EXPECT_EQ(connection.Error().code, MailErrorCode::NoAnswer);
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 2s);
    EXPECT_EQ(reply.rfind("+OK", 0), 0u); // what had arrived is kept for the error text
}

TEST(MailConnection, CancelEndsAnyWaitAtOnce) {
    LoopbackListener silent; // the connection stands in its backlog; nobody ever answers
    CCancelSignal cancel;
    CMailConnection connection;
    connection.SetCancelSignal(&cancel);
    ASSERT_TRUE(connection.Connect("127.0.0.1", silent.port(), 5s));

    for (int round = 0; round < 2; ++round) {
        cancel.Reset();
        std::string reply;
        std::thread canceller([&cancel] {
            std::this_thread::sleep_for(200ms);
            cancel.Cancel();
        });
        const auto start = Clock::now();
        const bool ok = round == 0
                            ? connection.ReadReply(replyend::SmtpReply, {30s, 30s, 1000}, reply)
                            : connection.StartTls({}, 30s);
        const auto took = Clock::now() - start;
        canceller.join();
        EXPECT_FALSE(ok);
        EXPECT_EQ(connection.Error().code, MailErrorCode::Cancelled);
        EXPECT_LT(took, 300ms) << "round " << round; // 200 ms to the cancel, then at once
    }
    // A raised signal stops the next connect before it waits.
    CMailConnection next;
    next.SetCancelSignal(&cancel);
    EXPECT_FALSE(next.Connect("localhost", silent.port(), 5s));
    EXPECT_EQ(next.Error().code, MailErrorCode::Cancelled);
}

TEST(MailConnection, ConnectFailuresKeepTheirCause) {
    struct Case {
        std::string host;
        int port;
        MailErrorCode code;
    };
    const Case cases[] = {
        {"", 110, MailErrorCode::InvalidArgument},
        {"127.0.0.1", 0, MailErrorCode::InvalidArgument},
        {"127.0.0.1", UnusedLoopbackPort(), MailErrorCode::Refused},
    };
    for (const Case& c : cases) {
        CMailConnection connection;
        EXPECT_FALSE(connection.Connect(c.host, c.port, 5s)) << c.host;
        EXPECT_EQ(connection.Error().code, c.code) << c.host << ":" << c.port;
    }
}

} // namespace
