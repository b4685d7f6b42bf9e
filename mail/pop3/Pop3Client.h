#pragma once
// POP3 client (RFC 1939): USER/PASS or APOP log-in, STAT, LIST, UIDL, RETR, TOP, DELE, NOOP,
// RSET, QUIT; over TLS from the first byte or after STLS (RFC 2595) when asked. Synchronous
// and blocking over CMailConnection: every operation returns when the server's reply is
// complete, has failed, or has run out of time.
//
// Every operation returns true on success. On failure LastMailError() holds the cause: a
// refused command is CommandRefused (LoginRefused, StartTlsRefused in their places) with the
// server's reply as the detail; a reply cut short keeps the first line of what arrived.
// Failures never close the connection except inside LogIn; call LogOut.
//
// Time limits of a reply: no new bytes for ReplyTimeoutMs() (2 s; kLogInReplyTimeoutMs for the
// replies to the log-in) fails it, and so does a whole reply that takes longer than
// kStatusReplyLimitFactor times that for a status line, or kListingReplyLimitFactor times that
// for a listing or a message (enough for a request mail of a few megabytes on a slow line).

#include "mail/net/MailConnection.h"
#include "mail/net/MailSecurity.h"
#include "mail/pop3/Pop3Message.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CPop3Client {
public:
    // A command line holds at most this many bytes of user name or password.
    static constexpr size_t kMaxCredentialLength = 120;
    static constexpr int kConnectTimeoutMs = 10000; // resolve, connect and TLS handshake, each
    static constexpr int kSendTimeoutMs = 10000;
    // Servers hold back the answer to a log-in, longer after each wrong password (dovecot's
    // penalty reaches 15 s), to slow down guessing: USER, PASS and APOP are answered within
    // this, so that a refused log-in is told as such and not as a silent server.
    static constexpr uint32_t kLogInReplyTimeoutMs = 30000;
    static constexpr int kStatusReplyLimitFactor = 4;
    static constexpr int kListingReplyLimitFactor = 30;

    CPop3Client() = default;
    virtual ~CPop3Client(); // LogOut when connected, then close
    CPop3Client(const CPop3Client&) = delete;
    CPop3Client& operator=(const CPop3Client&) = delete;

    // Settings for the next LogIn: the transport security, an extra CA file, APOP (used when
    // the greeting carries a time stamp; otherwise USER/PASS, and only inside TLS: with APOP
    // ticked the password never goes in clear), and a signal that cancels any wait from
    // another thread (it must outlive the client).
    void SetSecurity(TlsMode mode) { m_tlsMode = mode; }
    void SetCaFile(std::string path) { m_caFile = std::move(path); }
    void SetUseApop(bool apop) { m_useApop = apop; }
    void SetCancelSignal(const CCancelSignal* cancel) { m_connection.SetCancelSignal(cancel); }
    // Set: LogIn sends this OAuth 2.0 access token through AUTH OAUTHBEARER or XOAUTH2 (RFC
    // 5034) in place of the password, and fails with NotOffered where CAPA lists neither.
    void SetAccessToken(std::string token) { m_accessToken = std::move(token); }

    // Connects (with TLS as set), reads the greeting, asks CAPA, upgrades with STLS when asked
    // or (TlsMode::WhenOffered) offered, and logs in. Where STLS is asked and not offered, or
    // the upgrade fails, nothing of the log-in is sent; without TLS the password, digest or
    // token goes only where ClearTextRefusal (MailSecurity.h) allows it, else the log-in fails
    // with PasswordNeedsTls or TokenNeedsTls before anything of it is sent. A user name or password
    // longer than kMaxCredentialLength bytes or holding CR, LF or NUL fails with InvalidArgument
    // before anything is connected or sent. A failure after the connection stands has already sent
    // QUIT and closed the socket.
    bool LogIn(const std::string& host, const std::string& user, const std::string& password,
               int port);
    // QUIT when connected; closes the socket in every case. False when not connected.
    bool LogOut();
    bool SendNoop();
    bool UndoDeletions(); // RSET
    // STAT: message count and total size in octets.
    bool QueryStatus(int& count, int64_t& totalSize);
    // STAT (once per log-in) and LIST; fills the size list.
    bool FetchSizeList();
    // STAT (once per log-in) and UIDL; fills the unique-id list.
    bool FetchIdList();
    // Size of message n (1-based) from the size list, fetching it first when it is missing
    // (that fetch's result is the result). Throws std::out_of_range when n is not in the list.
    bool MessageSize(int n, uint32_t& size);
    // Unique-id of message n, in the same way over the unique-id list.
    bool MessageId(int n, std::string& id);
    // RETR n (after the size lookup) into message.
    bool FetchMessage(int n, CPop3Message& message);
    // TOP n 0 (after the size lookup) into message.
    bool FetchHeaderOnly(int n, CPop3Message& message);
    // DELE n (fetching the size list first when missing, ignoring that result).
    bool MarkDeleted(int n);
    // What CAPA (RFC 2449) listed; all false when CAPA was refused.
    struct Capabilities {
        bool top = false;
        bool uidl = false;
        bool pipelining = false;
        bool stls = false;
        std::string sasl; // the SASL mechanisms, blank-separated, as listed
    };
    // CAPA. A refusal is no failure: the server then gets the commands of RFC 1939 only, one
    // per round trip. False only when the connection failed.
    bool QueryCapabilities();
    const Capabilities& capabilities() const { return m_capabilities; }
    // LIST and, where the server offers it, UIDL: in one round trip where it pipelines. The
    // count and the size list come from LIST; no STAT is needed.
    bool FetchListings();
    // The header of every message in numbers, in order (message text up to its empty line):
    // TOP n 0 where the server offers TOP, RETR for a message whose TOP is refused or where
    // there is no TOP. Pipelined in batches of kPipelineBatch where the server pipelines.
    // Stops at the first failure that is not a refused TOP; headers then holds what came.
    bool FetchHeaders(const std::vector<int>& numbers, std::vector<CPop3Message>& headers);
    // DELE of every message in numbers, pipelined as above; false at the first refusal.
    bool MarkDeleted(const std::vector<int>& numbers);

    // Commands sent in one write before their replies are read, where the server pipelines:
    // bounded so that neither side's buffers can fill up with a huge mailbox.
    static constexpr std::size_t kPipelineBatch = 256; // about 3 KB of TOP commands

    // The cause of the last failure (see above); not reset by later successes. What the
    // log-in sent (password, digest, token, base64 response) is masked in it: a server may
    // repeat it in its refusal.
    MailError LastMailError() const;

    bool IsConnected() const { return m_connected; }
    int MessageCount() const { return m_messageCount; }
    bool SizesFetched() const { return m_sizesFetched; }
    bool StatusFetched() const { return m_statusFetched; }
    bool IdsFetched() const { return m_idsFetched; }
    const std::vector<uint32_t>& MessageSizes() const { return m_messageSizes; }
    const std::vector<std::string>& MessageIds() const { return m_messageIds; }
    uint32_t ReplyTimeoutMs() const { return m_replyTimeoutMs; }

protected:
    // The reply readers. Each reads one reply through AwaitReply and parses it.
    virtual bool ParseStatusReply(int& count, int64_t& totalSize);
    virtual bool AwaitStatusLine(std::string* text = nullptr);
    // A failure of this client's own finding (a malformed reply, a bad argument).
    bool Fail(MailErrorCode code, std::string detail = {});
    virtual bool ParseSizeListing();
    virtual bool ParseIdListing();
    bool ParseSizeText(const std::string& reply);
    bool ParseIdText(const std::string& reply);
    virtual bool TakeMessageText(std::string_view command, uint32_t announcedSize,
                                 CPop3Message& message);
    // Reads the reply to command (the line sent: the command table says whether it answers in
    // several lines) into text without its terminator; the buffer is sized for capacityHint
    // bytes first. Succeeds when the reply begins with "+OK" (any case); a negative one is
    // CommandRefused. A reply beyond 1 GiB fails with ReplyTooLong.
    virtual bool AwaitReply(std::string& text, std::string_view command, size_t capacityHint);

    bool SendCommand(std::string_view line, TraceShape shape = {});
    bool FetchText(const char* verb, const char* tail, int n, CPop3Message& message);
    // Takes the connection's error; text is what had arrived of the reply, if anything.
    bool FailFromConnection(std::string_view text = {});
    bool Refused() const { return m_mailError.code == MailErrorCode::CommandRefused; }

private:
    // STAT once per session before the first listing.
    bool EnsureStatus();
    bool UpgradeWithStls();
    // Sends commands in batches (one at a time without PIPELINING) and hands each reply, in
    // order, to onReply (index, ok); stops when onReply returns false.
    bool RunBatched(const std::vector<std::string>& commands,
                    const std::function<bool(std::size_t, bool, std::string&)>& onReply);
    bool Authenticate(const std::string& greeting, const std::string& user,
                      const std::string& password);
    bool AuthenticateWithToken(const std::string& user);

    CMailConnection m_connection;
    TlsMode m_tlsMode = TlsMode::None;
    std::string m_caFile;
    bool m_useApop = false;
    std::string m_accessToken;
    MailError m_mailError;
    Capabilities m_capabilities;
    int m_messageCount = 0;
    bool m_sizesFetched = false;
    bool m_statusFetched = false;
    bool m_idsFetched = false;
    std::vector<uint32_t> m_messageSizes;
    std::vector<std::string> m_messageIds;
    bool m_connected = false;
    uint32_t m_replyTimeoutMs = 2000;
};
