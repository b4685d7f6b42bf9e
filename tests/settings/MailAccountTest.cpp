// What the account lacks, asked in one order for POP3 and IMAP alike.

#include "app/settings/MailAccount.h"

#include <gtest/gtest.h>

namespace {

TEST(MailAccount, FirstMissingSettingInOrder) {
    const struct {
        const char* name;
        ReceiveProtocol protocol;
        const char* pop3Server;
        const char* imapServer;
        const char* id;
        const char* password;
        AccountGap gap;
    } cases[] = {
        {"pop3 complete", ReceiveProtocol::Pop3, "pop", "", "me", "pw", AccountGap::None},
        {"imap complete", ReceiveProtocol::Imap, "", "imap", "me", "pw", AccountGap::None},
        {"pop3 without server", ReceiveProtocol::Pop3, "", "imap", "me", "pw",
         AccountGap::ReceiveServer},
        {"imap without server", ReceiveProtocol::Imap, "pop", "", "me", "pw",
         AccountGap::ReceiveServer},
        {"nothing set", ReceiveProtocol::Pop3, "", "", "", "", AccountGap::ReceiveServer},
        {"no id", ReceiveProtocol::Imap, "", "imap", "", "", AccountGap::UserId},
        {"no password", ReceiveProtocol::Pop3, "pop", "", "me", "", AccountGap::Password},
    };
    for (const auto& c : cases) {
        MailSettings mail;
        mail.receiveProtocol = c.protocol;
        mail.pop3Server = c.pop3Server;
        mail.imapServer = c.imapServer;
        mail.pop3Id = c.id;
        mail.pop3Pass = c.password;
        EXPECT_EQ(MissingAccountSetting(mail), c.gap) << c.name;
        EXPECT_EQ(AccountComplete(mail), c.gap == AccountGap::None) << c.name;
    }
}

} // namespace
