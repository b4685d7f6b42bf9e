#include "app/settings/MailAccount.h"

AccountGap MissingAccountSetting(const MailSettings& mail) {
    const bool imap = mail.receiveProtocol == ReceiveProtocol::Imap;
    if (imap ? mail.imapServer.empty() : mail.pop3Server.empty())
        return AccountGap::ReceiveServer;
    if (mail.pop3Id.empty())
        return AccountGap::UserId;
    // A password the locked keyring holds is there; the mail check says why it cannot be had.
    if (!mail.oauth2 && mail.pop3Pass.empty() && !mail.secretsUnread)
        return AccountGap::Password;
    return AccountGap::None;
}
