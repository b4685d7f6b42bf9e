// The test peer's IMAP mode (DovecotPeer with .imap) by a bare dialogue: what the IMAP client's
// integration tests rely on.
#include "mail/net/MailConnection.h"
#include "tests/support/DovecotPeer.h"

#include <gtest/gtest.h>

namespace {

const std::string kFirst = "Subject: first\r\n\r\nbody\r\n";
const std::string kSecond = "Subject: hello\r\n\r\nbody\r\n";

// One IMAP line after another (an IMAP line ends like a POP3 status line).
class ImapLines {
public:
    explicit ImapLines(int port) { m_connection.Connect("127.0.0.1", port, kWait); }
    void Send(const std::string& line) { m_connection.Send(line + "\r\n", kWait); }
    // The lines up to the first that begins with `last` (or all that came within 5 s).
    std::string Until(const std::string& last) {
        std::string lines;
        for (std::string line;
             m_connection.ReadReply(replyend::Pop3StatusLine, {kWait, kWait, 1 << 16}, line);) {
            lines += line;
            if (line.rfind(last, 0) == 0)
                break;
        }
        return lines;
    }

private:
    static constexpr std::chrono::seconds kWait{5};
    CMailConnection m_connection;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DovecotImapPeer, IdleHearsAddedMailAndDropEndsTheSession) {
    DovecotPeer dovecot("kestrova", "secret", {kFirst}, {.imap = true});
    ImapLines imap(dovecot.port());
    EXPECT_TRUE(Has(imap.Until("* OK"), " IDLE "));
    imap.Send("a LOGIN kestrova secret");
    ASSERT_TRUE(Has(imap.Until("a "), "a OK")) << dovecot.Log();
    imap.Send("b SELECT INBOX");
    EXPECT_TRUE(Has(imap.Until("b "), "* 1 EXISTS\r\n"));
    imap.Send("c IDLE");
    EXPECT_TRUE(Has(imap.Until("+ "), "+ "));
    dovecot.AddMessage(kSecond);
    EXPECT_TRUE(Has(imap.Until("* 2 EXISTS"), "* 2 EXISTS\r\n"));
    imap.Send("DONE");
    EXPECT_TRUE(Has(imap.Until("c "), "c OK"));
    imap.Send("d FETCH 1:* (BODY.PEEK[HEADER.FIELDS (SUBJECT)])");
    EXPECT_TRUE(Has(imap.Until("d "), "Subject: hello"));
    EXPECT_EQ(dovecot.MessageFlags(), (std::vector<std::string>{"", ""}));

    dovecot.DropConnections();
    EXPECT_TRUE(Has(imap.Until("* BYE"), "* BYE"));
    ImapLines again(dovecot.port());
    again.Until("* OK");
    again.Send("a LOGIN kestrova secret");
    ASSERT_TRUE(Has(again.Until("a "), "a OK"));
    again.Send("b SELECT INBOX");
    again.Send("c STORE 1 +FLAGS (\\Seen)");
    again.Send("d LOGOUT");
    EXPECT_TRUE(Has(again.Until("d "), "d OK"));
    EXPECT_EQ(dovecot.MessageFlags(), (std::vector<std::string>{"S", ""}));
}

TEST(DovecotImapPeer, NoIdleLeavesIdleOutOfTheCapabilities) {
    DovecotPeer dovecot("kestrova", "secret", {}, {.imap = true, .noIdle = true});
    ImapLines imap(dovecot.port());
    const std::string greeting = imap.Until("* OK");
    EXPECT_TRUE(Has(greeting, "IMAP4rev1"));
    EXPECT_FALSE(Has(greeting, "IDLE"));
    imap.Send("a LOGIN kestrova secret");
    imap.Send("b CAPABILITY");
    const std::string capabilities = imap.Until("b ");
    EXPECT_TRUE(Has(capabilities, "* CAPABILITY IMAP4rev1"));
    EXPECT_FALSE(Has(capabilities, "IDLE"));
}

} // namespace
