// The connection layer on its own: where each protocol's reply ends, the overall bound of a
// reply that drips in, and a wait cancelled from another thread.

#include "mail/net/MailConnection.h"

#include "mail/net/CancelSignal.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
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

TEST(MailConnection, ReplyThatStreamsWithoutPauseEndsAtTheOverallBound) {
    // Bytes keep coming, so no read ever waits; the bound must hold all the same, long before
    // the byte cap.
    int port = 0;
    const int listener = ListenOnLoopback(1, port);
    std::thread server([listener] {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        const std::string chunk = "+OK " + std::string(64 * 1024, 'x');
        while (::send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
        }
        ::close(client);
    });
    std::string reply;
    bool ok = true;
    std::chrono::steady_clock::duration took{};
    {
        CMailConnection connection;
        ASSERT_TRUE(connection.Connect("127.0.0.1", port, 5s));
        const auto start = Clock::now();
        ok = connection.ReadReply(replyend::Pop3MultiLine, {10s, 100ms, std::size_t{1} << 30},
                                  reply);
        took = Clock::now() - start;
        EXPECT_EQ(connection.Error().code, MailErrorCode::NoAnswer);
    } // closing the connection ends the server's loop
    server.join();
    ::close(listener);
    EXPECT_FALSE(ok);
    EXPECT_LT(took, 5s);
}

// 200 ms to the cancel, then at once; far below the 30 s the waits are given. The sanitizer
// build records a whole stack for every allocation, and StartTls's loading of the system's
// authorities (thousands of them) before its wait then takes seconds of its own.
#ifdef __SANITIZE_ADDRESS__
constexpr auto kAtOnce = 5s;
#else
constexpr auto kAtOnce = 300ms;
#endif

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
        EXPECT_LT(took, kAtOnce) << "round " << round; // 200 ms to the cancel, then at once
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

// A loopback address that swallows connection attempts as a black-holed route does: its listen
// queue is full, so the system drops further SYNs instead of answering them.
class BlackHole {
public:
    BlackHole() : m_listener(ListenOnLoopback(0, m_port)) {
        m_queued = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const CMailConnection::SocketAddress address = Address(m_port);
        ::connect(m_queued, reinterpret_cast<const sockaddr*>(&address.storage), address.length);
    }
    ~BlackHole() {
        ::close(m_queued);
        ::close(m_listener);
    }
    int port() const { return m_port; }

    static CMailConnection::SocketAddress Address(int port) {
        CMailConnection::SocketAddress address;
        auto& in = reinterpret_cast<sockaddr_in&>(address.storage);
        in.sin_family = AF_INET;
        in.sin_port = htons(static_cast<uint16_t>(port));
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.length = sizeof in;
        return address;
    }

private:
    int m_port = 0;
    int m_listener;
    int m_queued;
};

TEST(MailConnection, EachAddressGetsItsOwnTryWhenAnEarlierOneIsSilent) {
    BlackHole silent;
    LoopbackListener answering;
    struct Case {
        const char* name;
        std::vector<int> ports;
        bool connects;
        MailErrorCode code;
    };
    const Case cases[] = {
        {"silent, then answering", {silent.port(), answering.port()}, true, MailErrorCode::None},
        {"refused, silent, then answering",
         {UnusedLoopbackPort(), silent.port(), answering.port()},
         true,
         MailErrorCode::None},
        {"silent only", {silent.port()}, false, MailErrorCode::ConnectTimeout},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CMailConnection::SocketAddress> addresses;
        for (int port : c.ports)
            addresses.push_back(BlackHole::Address(port));
        CMailConnection connection;
        EXPECT_EQ(connection.ConnectToAddresses(addresses, Clock::now() + 2s), c.connects);
        EXPECT_EQ(connection.Error().code, c.code);
        EXPECT_EQ(answering.AcceptWaiting(), c.connects ? 1 : 0);
    }
}

} // namespace
