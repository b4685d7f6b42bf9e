#pragma once
// The connection tests of the mail settings dialog, without the dialog: log in to the POP3
// or IMAP server (then QUIT or LOGOUT), or connect to the SMTP server, EHLO, STARTTLS, AUTH and QUIT without
// sending a mail. Both use the settings as given and the same clients as the check cycle.

#include "base/Settings.h"

#include <string>

class CCancelSignal;

struct ConnectionTestResult {
    bool ok = false;
    // What the dialog shows: "POP3サーバの接続に成功しました。", or the failure line followed
    // by a line with the cause ("理由: 証明書が信頼できません" and the like).
    std::string message;
};

ConnectionTestResult TestPop3Connection(const MailSettings& settings,
                                        const CCancelSignal* cancel = nullptr);
// Logs in to the IMAP server (then LOGOUT): "IMAPサーバの接続に成功しました。" or the failure.
ConnectionTestResult TestImapConnection(const MailSettings& settings,
                                        const CCancelSignal* cancel = nullptr);
ConnectionTestResult TestSmtpConnection(const MailSettings& settings,
                                        const CCancelSignal* cancel = nullptr);
