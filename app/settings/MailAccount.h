#pragma once
// Whether the account settings let a mail check log in: the receiving server of the chosen
// protocol, the user name and the password, asked for in that order. Every place that refuses
// to start a check (the button, the IMAP session, --check-once) asks here.

#include "base/Settings.h"

enum class AccountGap {
    None,          // complete
    ReceiveServer, // POP3_SERVER, or IMAP_SERVER when IMAP is chosen
    UserId,        // POP3_ID (it serves IMAP too)
    Password,      // POP3_PASS (not with AUTH_METHOD=oauth2: the sign-in stands for it)
};

// The first setting the account lacks; None when it is complete.
AccountGap MissingAccountSetting(const MailSettings& mail);

inline bool AccountComplete(const MailSettings& mail) {
    return MissingAccountSetting(mail) == AccountGap::None;
}
