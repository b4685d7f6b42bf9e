#pragma once
// IMAP client (RFC 9051, with what RFC 3501 servers need): CAPABILITY, STARTTLS or TLS from
// the first byte, LOGIN or AUTHENTICATE PLAIN, SELECT INBOX, UID SEARCH, UID FETCH of header
// fields (BODY.PEEK, so nothing is marked as seen), UID STORE \Deleted with UID EXPUNGE (RFC
// 4315) or EXPUNGE, IDLE (RFC 2177) and LOGOUT. Synchronous and blocking over CMailConnection.
//
// Responses are read one at a time (literals included) and handled in whatever order the
// server sends them: EXISTS and EXPUNGE keep the message count, BYE ends the session (the
// command then fails with the server's words), untagged responses nobody asked for are passed
// over. Every command has an overall deadline besides the gap allowed between bytes.
//
// Every operation returns true on success; LastMailError() holds the cause of a failure (the
// server's text for a refused log-in or command).

#include "mail/net/MailConnection.h"
#include "mail/net/MailSecurity.h"
#include "mail/net/Sasl.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CCancelSignal;

namespace imap {
struct Response;
}

class CImapClient {
public:
    static constexpr std::chrono::milliseconds kConnectTimeout{10000}; // resolve, connect, TLS
    static constexpr std::chrono::milliseconds kSendTimeout{10000};
    // The longest gap between bytes of a response; the log-in may be held back longer (a
    // server slows down password guessing).
    static constexpr std::chrono::milliseconds kInactivity{10000};
    static constexpr std::chrono::milliseconds kLogInInactivity{30000};
    // The longest time one command may take with all its responses.
    static constexpr std::chrono::milliseconds kCommandLimit{120000};
    // A user name or password holds at most this many bytes.
    static constexpr std::size_t kMaxCredentialLength = 256;
    // UIDs named in one UID FETCH or UID STORE, so that a command line stays short.
    static constexpr std::size_t kUidsPerCommand = 500;

    struct Capabilities {
        bool idle = false;
        bool uidPlus = false;
        bool startTls = false;
        bool authPlain = false;
        bool authOAuthBearer = false;
        bool authXOAuth2 = false;
        bool saslIr = false;
        bool loginDisabled = false;
    };

    struct Header {
        uint32_t uid = 0;
        std::string text; // the requested header lines, CR LF ends as sent
    };

    // How Idle ended.
    enum class IdleEnd { NewMail, TimedOut, Woken, Failed };

    CImapClient() = default;
    ~CImapClient(); // LOGOUT when logged in, then close
    CImapClient(const CImapClient&) = delete;
    CImapClient& operator=(const CImapClient&) = delete;

    void SetSecurity(TlsMode mode) { m_tlsMode = mode; }
    void SetCaFile(std::string path) { m_caFile = std::move(path); }
    void SetCancelSignal(const CCancelSignal* cancel) { m_connection.SetCancelSignal(cancel); }
    // Set: LogIn sends this OAuth 2.0 access token through AUTHENTICATE OAUTHBEARER or XOAUTH2
    // (with SASL-IR where offered) in place of the password; the password may then be empty.
    // A server that offers neither fails the log-in with NotOffered.
    void SetAccessToken(std::string token) { m_accessToken = std::move(token); }

    // Connects, reads the greeting, upgrades with STARTTLS when asked (nothing of the log-in
    // is sent when the server does not offer it) or, with TlsMode::WhenOffered, where offered
    // (without TLS the password or token goes only where ClearTextRefusal in MailSecurity.h
    // allows it, else PasswordNeedsTls or TokenNeedsTls before anything of it is sent),
    // logs in (AUTHENTICATE PLAIN where offered, else LOGIN, a password outside ASCII as a
    // literal) and learns the capabilities. A user name or password that is empty, longer
    // than kMaxCredentialLength or holds CR, LF or NUL fails with InvalidArgument before
    // anything is connected. After a failure the connection is closed.
    bool LogIn(const std::string& host, const std::string& user, const std::string& password,
               int port);
    // SELECT INBOX.
    bool SelectInbox();
    // UID SEARCH UNDELETED: the UIDs of the messages in the mailbox, in ascending order.
    bool SearchUids(std::vector<uint32_t>& uids);
    // UID FETCH of the Subject and From lines of every message in uids (without marking them
    // seen). Messages gone meanwhile are simply missing from headers.
    bool FetchHeaders(const std::vector<uint32_t>& uids, std::vector<Header>& headers);
    // UID FETCH of the first maxBytes bytes of the whole message uid (BODY.PEEK[]<0.maxBytes>,
    // without marking it seen); found is false when the message is gone.
    bool FetchWhole(uint32_t uid, std::size_t maxBytes, std::string& text, bool& found);
    // UID STORE +FLAGS.SILENT (\Deleted), then UID EXPUNGE of those UIDs where the server has
    // UIDPLUS, else EXPUNGE (which also removes what another client marked deleted).
    bool Delete(const std::vector<uint32_t>& uids);
    // IDLE until the server announces a new message, limit has passed, or wake (may be null)
    // is raised; then DONE. The server's news that came meanwhile is kept (MessageCount()).
    // Needs capabilities().idle.
    IdleEnd Idle(std::chrono::milliseconds limit, const CCancelSignal* wake);
    // LOGOUT when logged in; closes the connection in every case. False when not logged in
    // or the server did not answer it.
    bool LogOut();

    bool IsLoggedIn() const { return m_loggedIn && m_connection.IsOpen(); }
    const Capabilities& capabilities() const { return m_capabilities; }
    uint32_t UidValidity() const { return m_uidValidity; }
    uint32_t MessageCount() const { return m_exists; }
    // The cause of the last failure; what the log-in sent (password, token, base64 response) is
    // masked in it, for a server that repeats it in its refusal.
    MailError LastMailError() const;

private:
    using UntaggedHandler = std::function<void(const imap::Response&)>;

    // Sends "tag command" and reads responses up to the tagged one; untagged ones go through
    // the session's bookkeeping and then to onUntagged. True on a tagged OK; a NO or BAD is
    // CommandRefused (or refusal, when given) with the server's text.
    // continuation: the one line to send when the server asks for more ("+"); it carries a
    // log-in's secret and never shows in the transcript. shape: how the transcript shows the
    // command (a Secret's visible bytes count from the command, after the tag).
    bool Command(const std::string& command, const UntaggedHandler& onUntagged = {},
                 MailErrorCode refusal = MailErrorCode::CommandRefused,
                 std::chrono::milliseconds inactivity = kInactivity,
                 const std::string& continuation = {}, TraceShape shape = {});
    // Reads responses up to the tagged one of the command sent last (m_tag); as Command.
    bool Complete(const UntaggedHandler& onUntagged = {},
                  MailErrorCode refusal = MailErrorCode::CommandRefused,
                  std::chrono::milliseconds inactivity = kInactivity,
                  const std::string& continuation = {});
    // The server said BYE: the connection is closed and the failure carries its words.
    bool EndedByBye();
    // Reads one response within the limits; false (error set) when none came or it was not
    // IMAP.
    bool ReadResponse(imap::Response& response, std::chrono::milliseconds inactivity,
                      std::chrono::steady_clock::time_point deadline);
    // The session's bookkeeping of an untagged response: the count, capabilities, BYE.
    void Note(const imap::Response& response);
    bool Send(const std::string& line, TraceShape shape = {});
    void NextTag();
    bool Fail(MailErrorCode code, std::string detail = {});
    bool FailFromConnection();
    bool UpgradeWithStartTls();
    bool Authenticate(const std::string& user, const std::string& password);
    bool AuthenticateWithToken(const std::string& user);
    bool RefreshCapabilities();

    CMailConnection m_connection;
    TlsMode m_tlsMode = TlsMode::None;
    std::string m_caFile;
    std::string m_accessToken;
    // While a token is being presented: the mechanism, which says how to answer the server's
    // error challenge, and what that challenge said.
    std::optional<BearerMechanism> m_bearerExchange;
    std::string m_bearerChallenge;
    Capabilities m_capabilities;
    bool m_capabilitiesKnown = false;
    bool m_loggedIn = false;
    bool m_loggingOut = false;
    bool m_newMail = false; // EXISTS raised the count since the last UID SEARCH
    bool m_bye = false;
    std::string m_byeText;
    std::string m_tag;
    uint32_t m_tagNumber = 0;
    uint32_t m_exists = 0;
    uint32_t m_uidValidity = 0;
    MailError m_error;
};
