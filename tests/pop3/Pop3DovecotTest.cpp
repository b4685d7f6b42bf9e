// The POP3 client against a real dovecot on loopback.
#include "mail/pop3/Pop3Client.h"
#include "tests/support/DovecotPeer.h"

#include <gtest/gtest.h>

namespace {

const std::string kFirst = "From: Alice <alice@example.com>\r\nSubject: cap\r\n\r\nfirst\r\n";
const std::string kSecond = "From: bob@example.com\r\nsubject: hello\r\n\tworld\r\n\r\n"
                            ".dot line\r\nlast\r\n";

// What RETR gives back: the message without its final CR LF (it belongs to the end line) and
// with dot-stuffed lines kept as the server sent them.
std::string AsRetrieved(std::string message) {
    message.resize(message.size() - 2);
    for (size_t at = message.find("\r\n."); at != std::string::npos;
         at = message.find("\r\n.", at + 4))
        message.insert(at + 2, ".");
    return message;
}

TEST(Pop3Dovecot, ReadsDeletesAndQuits) {
    DovecotPeer dovecot("kestrova", "pass word", {kFirst, kSecond});
    {
        CPop3Client client;
        ASSERT_TRUE(client.LogIn("127.0.0.1", "kestrova", "pass word", dovecot.port()))
            << DescribeMailError(client.LastMailError()) << dovecot.Log();
        EXPECT_TRUE(client.SendNoop());
        int count = 0;
        int64_t total = 0;
        ASSERT_TRUE(client.QueryStatus(count, total));
        ASSERT_EQ(count, 2);
        EXPECT_EQ(total, static_cast<int64_t>(kFirst.size() + kSecond.size()));

        std::vector<std::string> subjects;
        for (int n = 1; n <= count; ++n) {
            uint32_t size = 0;
            ASSERT_TRUE(client.MessageSize(n, size));
            EXPECT_EQ(size, (n == 1 ? kFirst : kSecond).size());
            CPop3Message message;
            ASSERT_TRUE(client.FetchMessage(n, message)) << client.LastMailError().detail;
            EXPECT_EQ(message.Text(), AsRetrieved(n == 1 ? kFirst : kSecond));
            subjects.push_back(message.SubjectField());
        }
        EXPECT_EQ(subjects, (std::vector<std::string>{"cap", "hello world"}));
        CPop3Message header;
        ASSERT_TRUE(client.FetchHeaderOnly(1, header));
        EXPECT_EQ(header.FromField(), "Alice <alice@example.com>");
        std::string id;
        EXPECT_TRUE(client.MessageId(2, id));
        EXPECT_FALSE(id.empty());

        EXPECT_TRUE(client.UndoDeletions());
        EXPECT_TRUE(client.MarkDeleted(1));
        EXPECT_TRUE(client.LogOut());
    }
    EXPECT_EQ(dovecot.Messages(), (std::vector<std::string>{kSecond}));

    // A message added while the server runs is there at the next visit, after the old one.
    const std::string third = "Subject: third\r\n\r\nbody\r\n";
    dovecot.AddMessage(third);
    CPop3Client client;
    ASSERT_TRUE(client.LogIn("127.0.0.1", "kestrova", "pass word", dovecot.port()));
    int count = 0;
    int64_t total = 0;
    ASSERT_TRUE(client.QueryStatus(count, total));
    ASSERT_EQ(count, 2);
    CPop3Message message;
    ASSERT_TRUE(client.FetchMessage(2, message));
    EXPECT_EQ(message.SubjectField(), "third");
    EXPECT_TRUE(client.LogOut());
    EXPECT_EQ(dovecot.MessageCount(), 2);
}

TEST(Pop3Dovecot, WrongPasswordFailsWithTheServersReply) {
    DovecotPeer dovecot("kestrova", "secret");
    CPop3Client client;
    EXPECT_FALSE(client.LogIn("127.0.0.1", "kestrova", "wrong", dovecot.port()));
    EXPECT_EQ(client.LastMailError().code, MailErrorCode::LoginRefused);
    EXPECT_EQ(client.LastMailError().detail.rfind("-ERR", 0), 0u) << client.LastMailError().detail;
    EXPECT_FALSE(client.IsConnected());
}

} // namespace
