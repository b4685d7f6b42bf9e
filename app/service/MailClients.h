#pragma once
// The mail settings as the clients take them: one place that says which security, CA file,
// APOP choice and log-in each client gets, for the check cycle, the replies, the snapshot mail
// and the dialog's connection tests alike.
//
// With AUTH_METHOD=oauth2 the log-in is an OAuth 2.0 access token for the SASL user POP3_ID
// (SMTP_ID for SMTP where set). Every job of a mail worker takes it from the worker's one
// CTokenSource, so that one sign-in serves receiving and sending and a token is refreshed once
// for all of them. A log-in refused for the token forgets it and tries once more with a fresh
// one; the token's own failure (no sign-in, the refresh refused, the authorization server out
// of reach) comes back apart from the server's, for the caller to say as such.

#include "app/signin/OAuthTokens.h"
#include "base/Settings.h"
#include "mail/net/MailError.h"
#include "mail/smtp/SmtpSession.h"

#include <string>

class CCancelSignal;
class CImapClient;
class CPop3Client;

// The access tokens of one mail worker over the refresh token in the program folder.
// Used on the worker's thread only.
class CTokenSource {
public:
    // folder: the program folder, ending in "/" (empty: ProgramFolder()).
    explicit CTokenSource(std::string folder = {});
    void SetFolder(std::string folder);

    // A token good for a minute more, or empty with error set. A refresh token refused for
    // good is not offered again: until the stored sign-in changes (a new sign-in) the answer
    // is SignInNeeded at once, without asking the authorization server every minute. The
    // token in memory is dropped when the account's servers, provider or client change.
    std::string AccessToken(const MailSettings& settings, const CCancelSignal* cancel,
                            MailError& error);
    void ForgetAccessToken() { m_tokens.ForgetAccessToken(); }
    // Which sign-in the last answer came from: changes when the stored sign-in is written anew.
    const std::string& Stamp() const { return m_stamp; }

    // The token source of the mail worker whose job runs on this thread; null elsewhere.
    static CTokenSource* OfThisThread();
    // Makes source the one OfThisThread returns on the calling thread (the worker's start).
    static void BindToThisThread(CTokenSource* source);

private:
    std::string Folder() const;
    // Changes when the sign-in kept in the secret store is written anew.
    std::string SignInStamp(const MailSettings& settings) const;

    COAuthTokens m_tokens;
    std::string m_folder;
    std::string m_account; // the settings the access token in memory was used with
    std::string m_stamp;
    bool m_refused = false; // the refresh token of m_stamp was refused for good, or is missing
};

// Security (chosen, or by the port), CA file, APOP and the cancel signal for the next LogIn.
void ConfigurePop3Client(CPop3Client& client, const MailSettings& settings,
                         const CCancelSignal* cancel);
// Security (chosen, or by the port: TLS on 993), CA file and the cancel signal for the next
// LogIn; the IMAP log-in is the POP3 one.
void ConfigureImapClient(CImapClient& client, const MailSettings& settings,
                         const CCancelSignal* cancel);

// Configures client and logs in to POP3_SERVER as POP3_ID with the password or an access
// token. False on failure: tokenError set when no token could be had (nothing was connected),
// else the client's LastMailError says why.
bool LogInPop3(CPop3Client& client, const MailSettings& settings, const CCancelSignal* cancel,
               MailError& tokenError);
// The same for IMAP_SERVER.
bool LogInImap(CImapClient& client, const MailSettings& settings, const CCancelSignal* cancel,
               MailError& tokenError);
// session.Open with policy; where the policy logs in and the account uses tokens, with an
// access token (retried once with a fresh one when refused). tokenError as above.
bool OpenSmtpSession(CSmtpSession& session, const std::string& host, int port,
                     SmtpPolicy policy, const MailSettings& settings,
                     const CCancelSignal* cancel, MailError& tokenError);

// The account the SMTP session logs in with: the SMTP log-in when one is set, else the POP3 one
// (as the settings of earlier versions expect).
const std::string& SmtpLogInName(const MailSettings& settings);
// The configured SMTP server and port: TLS as chosen or by the port (STARTTLS, verified,
// wherever the server offers it when nothing is chosen), and the log-in. A log-in borrowed from
// the mailbox is skipped by a server that offers none; an SMTP log-in of its own is required.
// With tokens the log-in holds the user alone; OpenSmtpSession adds the token.
SmtpPolicy ConfiguredSmtpPolicy(const MailSettings& settings);
// The port 25 path, which sends no password: STARTTLS with a verified certificate when the
// configured path asks for TLS (by setting or by port), else opportunistic STARTTLS.
SmtpPolicy PortTwentyFivePolicy(const MailSettings& settings);
// True when the configured path asks for TLS (from the first byte or STARTTLS required).
bool SmtpAsksForTls(const MailSettings& settings);
