#include "mail/pop3/Pop3Client.h"

#include "tests/support/LoopbackListener.h"
#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Script = std::vector<std::string>;

// Greeting, USER and PASS answered with "+OK", as every visit below begins.
Script LoggedIn(Script rest) {
    Script script = {"S: +OK POP3 ready","C: CAPA", "S: -ERR", "C: USER user", "S: +OK", "C: PASS secret", "S: +OK"};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

// A mailbox of one message of the announced size: STAT, LIST, then RETR 1 answered with reply.
Script OneMessage(int announced, const std::string& reply) {
    const std::string size = std::to_string(announced);
    return {"C: STAT",   "S: +OK 1 " + size, "C: LIST", "R: +OK\r\n1 " + size + "\r\n.\r\n",
            "C: RETR 1", "R: " + reply};
}

// A scripted visit: the server plays the log-in, the given steps and, unless told otherwise,
// a QUIT answered "+OK".
struct Visit {
    explicit Visit(Script steps, bool quit = true)
        : server(LoggedIn(quit ? Append(std::move(steps), {"C: QUIT", "S: +OK"}) : steps)) {}
    static Script Append(Script a, const Script& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    bool LogIn() { return client.LogIn("127.0.0.1", "user", "secret", server.port()); }
    // Logs out and checks that the client sent exactly the scripted lines.
    void LogOutCleanly() {
        EXPECT_TRUE(client.LogOut());
        EXPECT_EQ(server.Mismatch(), "");
    }

    ScriptedServer server;
    CPop3Client client;
};

TEST(Pop3Client, MailboxVisitSendsCommandsInOrderAndKeepsMessagesAsReceived) {
    Visit visit({
        "C: NOOP",
        "S: +OK",
        "C: STAT",
        "S: +OK 2 75",
        "C: STAT",
        "S: +OK 2 75",
        "C: LIST",
        "R: +OK 2 messages\r\n1 35\r\n2 40\r\n.\r\n",
        "C: RETR 1",
        "R: +OK 35 octets\r\nSubject: one\r\n\r\n..dots stay\r\n.\r\n",
        "C: RETR 2",
        "R: +OK\r\nSubject: cap\r\nFrom: A <a@example.com>\r\n\r\nhi\r\n.\r\n",
        "C: RSET",
        "S: +OK",
        "C: DELE 2",
        "S: +OK",
    });
    auto& client = visit.client;
    ASSERT_TRUE(visit.LogIn());
    EXPECT_TRUE(client.SendNoop());
    int count = 0;
    int64_t total = 0;
    ASSERT_TRUE(client.QueryStatus(count, total));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(total, 75);
    std::vector<std::string> texts;
    for (int n = 1; n <= count; ++n) {
        uint32_t size = 0;
        ASSERT_TRUE(client.MessageSize(n, size));
        CPop3Message message;
        ASSERT_TRUE(client.FetchMessage(n, message));
        texts.push_back(message.Text());
    }
    EXPECT_TRUE(client.UndoDeletions());
    EXPECT_TRUE(client.MarkDeleted(2));
    visit.LogOutCleanly();
    EXPECT_EQ(client.MessageSizes(), (std::vector<uint32_t>{35, 40}));
    // A line that begins with "." keeps both dots: no unstuffing.
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Subject: one\r\n\r\n..dots stay",
                                        "Subject: cap\r\nFrom: A <a@example.com>\r\n\r\nhi"}));
    EXPECT_FALSE(client.SizesFetched()); // cleared by LogOut
}

TEST(Pop3Client, NegativeReplyDuringLogInSendsQuitAndFails) {
    const Script kScripts[] = {
        {"S: -ERR go away", "C: QUIT", "S: +OK"},
        {"S: +OK","C: CAPA", "S: -ERR", "C: USER user", "S: -ERR no such user", "C: QUIT", "S: +OK"},
        {"S: +OK","C: CAPA", "S: -ERR", "C: USER user", "S: +OK", "C: PASS secret", "S: -ERR wrong password", "C: QUIT",
         "S: +OK"},
        // Held back beyond the usual 2 s, as servers do after wrong passwords: still a refusal.
        {"S: +OK","C: CAPA", "S: -ERR", "C: USER user", "S: +OK", "C: PASS secret", "SLEEP 2500", "S: -ERR held back",
         "C: QUIT", "S: +OK"},
    };
    const char* kReplies[] = {"-ERR go away", "-ERR no such user", "-ERR wrong password",
                              "-ERR held back"};
    const MailErrorCode kCodes[] = {MailErrorCode::CommandRefused, MailErrorCode::LoginRefused,
                                    MailErrorCode::LoginRefused, MailErrorCode::LoginRefused};
    for (size_t i = 0; i < std::size(kScripts); ++i) {
        ScriptedServer server(kScripts[i]);
        CPop3Client client;
        EXPECT_FALSE(client.LogIn("127.0.0.1", "user", "secret", server.port()));
        EXPECT_EQ(client.LastMailError().code, kCodes[i]) << kReplies[i];
        EXPECT_EQ(client.LastMailError().detail, kReplies[i]);
        EXPECT_FALSE(client.IsConnected());
        EXPECT_EQ(server.Mismatch(), "") << kReplies[i];
    }
}

TEST(Pop3Client, LowerCaseOkIsAcceptedExceptByStat) {
    ScriptedServer server({
        "S: +ok hello","C: CAPA", "S: -ERR",
        "C: USER user",
        "S: +ok",
        "C: PASS secret",
        "S: +ok",
        "C: NOOP",
        "S: +ok",
        "C: STAT",
        "S: +OK 1 5",
        "C: LIST",
        "R: +ok\r\n1 5\r\n.\r\n",
        "C: RETR 1",
        "R: +ok\r\nA: b\r\n.\r\n",
        "C: STAT",
        "S: +ok 1 5",
        "C: QUIT",
        "S: +ok",
    });
    CPop3Client client;
    ASSERT_TRUE(client.LogIn("127.0.0.1", "user", "secret", server.port()));
    EXPECT_TRUE(client.SendNoop());
    CPop3Message message;
    EXPECT_TRUE(client.FetchMessage(1, message));
    EXPECT_EQ(message.Text(), "A: b");
    int count = -1;
    int64_t total = -1;
    EXPECT_FALSE(client.QueryStatus(count, total));
    EXPECT_EQ(client.LastMailError().code, MailErrorCode::ProtocolError);
    EXPECT_EQ(client.LastMailError().detail, "+ok 1 5");
    EXPECT_TRUE(client.LogOut());
    EXPECT_EQ(server.Mismatch(), "");
}

TEST(Pop3Client, EmptyMailboxGivesNoSizesAndLookupsOutsideTheListThrow) {
    Visit visit({"C: STAT", "S: +OK 0 0", "C: STAT", "S: +OK 0 0", "C: LIST",
                 "R: +OK 0 messages\r\n.\r\n"});
    auto& client = visit.client;
    ASSERT_TRUE(visit.LogIn());
    int count = -1;
    int64_t total = -1;
    ASSERT_TRUE(client.QueryStatus(count, total));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(total, 0);
    uint32_t size = 0;
    EXPECT_THROW(client.MessageSize(1, size), std::out_of_range);
    EXPECT_TRUE(client.SizesFetched());
    EXPECT_TRUE(client.MessageSizes().empty());
    EXPECT_THROW(client.MessageSize(0, size), std::out_of_range);
    visit.LogOutCleanly();
}

TEST(Pop3Client, MessageLargerThanAnnouncedArrivesWhole) {
    std::string body;
    for (int i = 0; body.size() < 200000; ++i)
        body +=
            "line " + std::to_string(i) + " of a message that is much longer than LIST said\r\n";
    const std::string text = "Subject: big\r\n\r\n" + body + "end";
    Visit visit(OneMessage(10, "+OK\r\n" + text + "\r\n.\r\n"));
    ASSERT_TRUE(visit.LogIn());
    CPop3Message message;
    ASSERT_TRUE(visit.client.FetchMessage(1, message));
    EXPECT_EQ(message.Text(), text);
    EXPECT_EQ(message.SubjectField(), "big");
    visit.LogOutCleanly();
}

TEST(Pop3Client, TerminatorSplitAcrossPacketsIsFound) {
    Visit visit({"C: STAT", "S: +OK 1 6", "C: LIST", "R: +OK\r\n1 6\r", "SLEEP 30", "R: \n.",
                 "SLEEP 30", "R: \r\n", "C: RETR 1", "R: +OK\r\nA: b\r", "SLEEP 30", "R: \n",
                 "SLEEP 30", "R: .\r", "SLEEP 30", "R: \n"});
    ASSERT_TRUE(visit.LogIn());
    CPop3Message message;
    ASSERT_TRUE(visit.client.FetchMessage(1, message));
    EXPECT_EQ(message.Text(), "A: b");
    EXPECT_EQ(visit.client.MessageSizes(), (std::vector<uint32_t>{6}));
    visit.LogOutCleanly();
}

TEST(Pop3Client, ServerClosingMidReplyEndsInTimeOutNotAHang) {
    Visit visit(Visit::Append(OneMessage(100, "+OK\r\nSubject: cut"), {"CLOSE"}), false);
    auto& client = visit.client;
    ASSERT_TRUE(visit.LogIn());
    CPop3Message message;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.FetchMessage(1, message));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(client.LastMailError().code, MailErrorCode::Closed);
    EXPECT_EQ(client.LastMailError().detail, "+OK"); // the first line of what came
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_TRUE(message.IsEmpty());
    EXPECT_FALSE(client.LogOut()); // nobody answers the QUIT
    EXPECT_EQ(visit.server.Mismatch(), "");
}

TEST(Pop3Client, HostNamesAreResolvedAndEveryAddressIsTried) {
    // "localhost" may give ::1 before 127.0.0.1; the server listens on IPv4 only.
    Visit visit({});
    ASSERT_TRUE(visit.client.LogIn("localhost", "user", "secret", visit.server.port()))
        << DescribeMailError(visit.client.LastMailError());
    visit.LogOutCleanly();
}

TEST(Pop3Client, NegativeReplyToListLeavesTheSizeListEmpty) {
    Visit visit({"C: STAT", "S: +OK 1 100", "C: LIST", "S: -ERR not now"});
    auto& client = visit.client;
    ASSERT_TRUE(visit.LogIn());
    uint32_t size = 0;
    // A negative reply has no listing after it: it ends at its own line, without a wait.
    EXPECT_THROW(client.MessageSize(1, size), std::out_of_range);
    EXPECT_EQ(client.LastMailError().code, MailErrorCode::CommandRefused);
    EXPECT_EQ(client.LastMailError().detail, "-ERR not now");
    EXPECT_FALSE(client.SizesFetched());
    visit.LogOutCleanly();
}

TEST(Pop3Client, UidlListingGivesTheSecondWordOfEveryLine) {
    Visit visit({"C: STAT", "S: +OK 2 10", "C: UIDL",
                 "R: +OK\r\n1 abc.123\r\n2 QhdPYR:00WBw1Ph7x7\r\n.\r\n"});
    ASSERT_TRUE(visit.LogIn());
    std::string id;
    EXPECT_TRUE(visit.client.MessageId(2, id));
    EXPECT_EQ(id, "QhdPYR:00WBw1Ph7x7");
    EXPECT_EQ(visit.client.MessageIds(),
              (std::vector<std::string>{"abc.123", "QhdPYR:00WBw1Ph7x7"}));
    visit.LogOutCleanly();
}

TEST(Pop3Client, ListingLinesGiveTheirOwnSizeWhateverBlanksTheyCarry) {
    const struct {
        const char* listing;
        std::vector<uint32_t> sizes;
    } cases[] = {
        {"+OK\r\n1 120\r\n2 340\r\n.\r\n", {120, 340}},
        {"+OK\r\n1 120 \r\n2 340 \r\n.\r\n", {120, 340}}, // trailing blanks
        {"+OK\r\n1\t120\t\t\r\n 2  340\r\n.\r\n", {120, 340}},
        {"+OK\r\n1 \r\n2 340\r\n.\r\n", {340}}, // a line without size gives none
        {"+OK\r\n1 12x\r\n2 340 extra words\r\n.\r\n", {340}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listing);
        Visit visit({"C: STAT", "S: +OK 2 460", "C: LIST", std::string("R: ") + c.listing});
        ASSERT_TRUE(visit.LogIn());
        uint32_t size = 0;
        EXPECT_TRUE(visit.client.MessageSize(1, size));
        EXPECT_EQ(visit.client.MessageSizes(), c.sizes);
        visit.LogOutCleanly();
    }
}

// Brings the loopback interface of the current network namespace up and gives it one more
// IPv6 address, so that the machine seems to have IPv6 but no IPv4 beyond loopback.
bool LoopbackUpWithIpv6Address() {
    struct In6Ifreq { // struct in6_ifreq of <linux/ipv6.h>
        in6_addr addr;
        uint32_t prefixLength;
        int interfaceIndex;
    };
    const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq flags{};
    std::strncpy(flags.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &flags) == 0;
    flags.ifr_flags |= IFF_UP;
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &flags) == 0;
    In6Ifreq address{};
    ok = ok && ::inet_pton(AF_INET6, "fd00::1", &address.addr) == 1;
    address.prefixLength = 128;
    address.interfaceIndex = static_cast<int>(::if_nametoindex("lo"));
    ok = ok && address.interfaceIndex > 0 && ::ioctl(fd, SIOCSIFADDR, &address) == 0;
    ::close(fd);
    return ok;
}

TEST(Pop3Client, DottedAddressIsUsedWhateverAddressesTheMachineHas) {
    // In a network namespace of its own, a child process makes IPv6 the only family beyond
    // loopback; a dotted IPv4 address must still connect. Creating the namespace needs root.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNET) != 0 || !LoopbackUpWithIpv6Address())
            ::_exit(77);
        try {
            LoopbackListener listener;
            CMailConnection connection;
            ::_exit(connection.Connect("127.0.0.1", listener.port(), std::chrono::seconds(5)) ? 0
                                                                                             : 1);
        } catch (...) {
            ::_exit(78);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no network namespace of our own (needs root)";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Pop3Client, CredentialsThatDoNotFitACommandLineAreRefusedBeforeConnecting) {
    struct Case {
        std::string user;
        std::string password;
    };
    const Case kCases[] = {
        {"user\r\nDELE 1", "secret"},
        {"user", "secret\nQUIT"},
        {"user\rx", "secret"},
        {std::string("us\0er", 5), "secret"},
        {std::string(121, 'u'), "secret"},
        {"user", std::string(121, 'p')},
    };
    LoopbackListener listener;
    for (const auto& c : kCases) {
        CPop3Client client;
        EXPECT_FALSE(client.LogIn("127.0.0.1", c.user, c.password, listener.port()));
        EXPECT_EQ(client.LastMailError().code, MailErrorCode::InvalidArgument);
        EXPECT_FALSE(client.IsConnected());
    }
    EXPECT_FALSE(listener.HasPendingConnection(100));
}

TEST(Pop3Client, ConnectFailuresReportAndSendNothing) {
    CPop3Client never;
    EXPECT_FALSE(never.LogOut()); // never connected: nothing sent, false

    CPop3Client badPort;
    EXPECT_FALSE(badPort.LogIn("127.0.0.1", "user", "secret", 0));
    EXPECT_EQ(badPort.LastMailError().code, MailErrorCode::InvalidArgument);

    CPop3Client refused;
    EXPECT_FALSE(refused.LogIn("127.0.0.1", "user", "secret", UnusedLoopbackPort()));
    EXPECT_EQ(refused.LastMailError().code, MailErrorCode::Refused);
    EXPECT_FALSE(refused.IsConnected());
}

} // namespace
