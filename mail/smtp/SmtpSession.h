#pragma once
// CSmtpSession is the program's one SMTP client (RFC 5321): it opens a session under a policy
// (how TLS is used and checked, a log-in or none, HELO when EHLO is refused), sends finished
// messages (CMimeMessage) to lists of recipients, resets and quits. Every path that mails a
// picture uses it; only the policy differs between them.
//
// - TLS from the first byte, or STARTTLS (RFC 3207) required, taken when offered, or taken
//   opportunistically without verification on a path that sends no password (RFC 7435), where
//   a failed upgrade starts again in clear.
// - AUTH (RFC 4954) only when the EHLO reply offers it: PLAIN with an initial response
//   (RFC 4616) where offered, else LOGIN; with an access token OAUTHBEARER (RFC 7628) or
//   XOAUTH2, the token in the initial response (lines of up to 12,288 octets, RFC 4954 4).
//   Without verified TLS a password goes only under SmtpTls::Clear or to this machine, a token
//   only to this machine (ClearTextRefusal in MailSecurity.h); otherwise the open fails with
//   PasswordNeedsTls or TokenNeedsTls before anything of the log-in is sent.
// - SIZE (RFC 1870): a message larger than the server's stated limit fails before MAIL FROM.
// - PIPELINING (RFC 2920): MAIL FROM, every RCPT TO and DATA in one write.
// - 8BITMIME (RFC 6152): the text goes in 8 bits with BODY=8BITMIME, else in a 7-bit form.
//
// MailError is the only error record. A session whose connection failed or whose reply did not
// come in time is closed: a later command fails at once instead of talking into an unknown
// state. Every wait is bounded by the policy's timeouts and ends on the cancel signal.

#include "mail/net/MailConnection.h"
#include "mail/smtp/SmtpReply.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CCancelSignal;
class CMimeMessage;

enum class SmtpTls {
    Implicit,      // TLS from the first byte, certificate verified
    Required,      // STARTTLS with a verified certificate; without it nothing more is sent
    WhenOffered,   // STARTTLS, verified, where the server offers it; a failed upgrade stops
    Opportunistic, // STARTTLS where offered, unverified; a failed upgrade goes on in clear
    Clear,         // no TLS
};

struct SmtpCredentials {
    std::string user;
    std::string password;
    // Set: an OAuth 2.0 access token goes through OAUTHBEARER or XOAUTH2 in place of the
    // password, and a server that offers neither is not logged in to at all.
    std::string accessToken{};
};

struct SmtpPolicy {
    SmtpTls tls = SmtpTls::Required;
    std::string caFile;                    // an extra authority beside the system's
    std::optional<SmtpCredentials> logIn;  // none: no AUTH is sent
    // With a log-in: true greets a server that offers no AUTH without one (LoggedIn() then says
    // so); false fails the open with NotOffered.
    bool logInIfOffered = false;
    bool heloFallback = false;             // HELO when the server refuses EHLO
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds replyTimeout{30000};
};

class CSmtpSession {
public:
    CSmtpSession();
    ~CSmtpSession();
    CSmtpSession(const CSmtpSession&) = delete;
    CSmtpSession& operator=(const CSmtpSession&) = delete;

    // The signal that cancels every wait; null for none. It must outlive the session.
    void SetCancelSignal(const CCancelSignal* cancel);

    // Connects, reads the greeting, greets, takes TLS and logs in as the policy says. When the
    // policy has a log-in and the server offers no AUTH, fails with NotOffered.
    bool Open(const std::string& host, int port, const SmtpPolicy& policy);
    // One mail transaction: message to every address of recipients (the envelope; the To line
    // is the message's own). True when the server took the message. A refusal leaves the
    // session open (after RSET); a broken connection closes it.
    bool Send(CMimeMessage& message, const std::vector<std::string>& recipients);
    // RSET; false (and the session closed) when it is not answered with 250.
    bool Reset();
    // QUIT, its reply awaited, then the connection closed. Nothing is reported: a mail that
    // was taken stays taken.
    void Quit();
    void Close();

    bool IsOpen() const { return m_connection.IsOpen(); }
    bool IsTls() const { return m_connection.IsTls(); }
    // The EHLO reply (or HELO's, which names no extension) of the open session.
    const SmtpReply& Greeting() const { return m_greeting; }
    bool OffersAuth() const { return m_greeting.HasExtension("AUTH"); }
    bool LoggedIn() const { return m_loggedIn; }
    // The cause of the last failure; what the log-in sent (password, token, base64 responses)
    // is masked in it, for a server that repeats it in its refusal.
    MailError Error() const;
    // The last Send failed after the whole message had gone out (no reply to its end, or the
    // connection lost then): the server may have taken it, so it must not be sent elsewhere.
    bool MayHaveDelivered() const { return m_mayHaveDelivered; }
    // The server's SIZE limit; 0 when it states none.
    std::uint64_t SizeLimit() const;

private:
    bool OpenOnce(const std::string& host, int port, const SmtpPolicy& policy, bool withTls);
    bool Hello(bool allowHelo);
    bool UpgradeWithStartTls(const SmtpPolicy& policy);
    bool Authenticate(const SmtpCredentials& credentials, SmtpTls tls);
    bool AuthenticateWithToken(const SmtpCredentials& credentials);
    bool SendLine(std::string_view line, TraceShape shape = {});
    bool ReadReply();
    bool Expect(int code);
    bool OpenTransaction(const std::string& mailFrom, const std::vector<std::string>& to,
                         bool pipelined);
    bool Fail(MailErrorCode code, std::string detail = {});
    bool Refused(MailErrorCode code = MailErrorCode::CommandRefused);
    bool RefusedInTransaction(MailError refusal);
    bool Broken();

    CMailConnection m_connection;
    std::chrono::milliseconds m_replyTimeout{30000};
    std::string m_localName;
    SmtpReply m_reply;
    SmtpReply m_greeting;
    MailError m_error;
    bool m_loggedIn = false;
    bool m_mayHaveDelivered = false;
};
