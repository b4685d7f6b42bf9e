#include "app/service/ConnectionTest.h"

#include "app/report/FaultNotices.h"
#include "app/service/MailClients.h"
#include "mail/imap/ImapClient.h"
#include "mail/net/MailError.h"
#include "mail/pop3/Pop3Client.h"
#include "mail/smtp/SmtpSession.h"

namespace {

ConnectionTestResult Outcome(bool ok, const char* protocol, const char* success,
                             const char* failure, const MailError& cause) {
    if (ok)
        return {true, success};
    std::string message = failure;
    if (cause)
        message += "\n理由: " + DescribeServerCause(cause, protocol);
    return {false, message};
}

} // namespace

ConnectionTestResult TestPop3Connection(const MailSettings& settings,
                                        const CCancelSignal* cancel) {
    CPop3Client client;
    MailError tokenError;
    const bool ok = LogInPop3(client, settings, cancel, tokenError);
    const MailError cause = tokenError ? tokenError : client.LastMailError();
    // QUIT before the outcome is shown, so the server is not kept waiting behind the box.
    client.LogOut();
    return Outcome(ok, "POP3", "POP3サーバの接続に成功しました。",
                   "POP3サーバの接続に失敗しました。", cause);
}

ConnectionTestResult TestImapConnection(const MailSettings& settings,
                                        const CCancelSignal* cancel) {
    CImapClient client;
    MailError tokenError;
    const bool ok = LogInImap(client, settings, cancel, tokenError) && client.SelectInbox();
    const MailError cause = tokenError ? tokenError : client.LastMailError();
    client.LogOut();
    return Outcome(ok, "IMAP", "IMAPサーバの接続に成功しました。",
                   "IMAPサーバの接続に失敗しました。", cause);
}

ConnectionTestResult TestSmtpConnection(const MailSettings& settings,
                                        const CCancelSignal* cancel) {
    if (settings.smtpPort < 1 || settings.smtpPort > 65535)
        return Outcome(false, "SMTP", "", "SMTPサーバの接続に失敗しました。",
                       {MailErrorCode::InvalidArgument, 0, "SMTP_PORT"});
    CSmtpSession session;
    session.SetCancelSignal(cancel);
    MailError tokenError;
    const bool ok = OpenSmtpSession(session, settings.smtpServer, settings.smtpPort,
                                    ConfiguredSmtpPolicy(settings), settings, cancel, tokenError);
    const MailError cause = tokenError ? tokenError : session.Error();
    session.Quit();
    return Outcome(ok, "SMTP", "SMTPサーバの接続に成功しました。",
                   "SMTPサーバの接続に失敗しました。", cause);
}
