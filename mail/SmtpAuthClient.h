#pragma once
// CSmtpAuthClient sends one message over SMTP (RFC 5321) with EHLO and AUTH (RFC 4954: PLAIN
// with an initial response when the server offers it, else LOGIN), optionally with file
// attachments in a multipart/mixed body (RFC 2046). TLS from the first byte or after STARTTLS
// (RFC 3207) when asked: then a server that does not offer STARTTLS, refuses it, or shows a
// certificate that fails verification ends the dialogue before any log-in is sent.
// Every failure is kept as a numeric error code with a fixed English text, and its cause as a
// MailError (the server's reply for a refused command or log-in).
//
// Texts are UTF-8. The body goes out in Shift_JIS with BODY=8BITMIME where the server offers
// 8BITMIME, else in a 7-bit form (ISO-2022-JP, see mime::EncodeTextBody). Names and the
// subject go out as ISO-2022-JP encoded words (UTF-8 words for what JIS X 0208 cannot hold),
// folded so that no header line grows past its limits however long they are; every mail
// carries a Message-ID at the sender's domain. CR and LF are removed from names, the subject
// and the mailer name; an address holding CR, LF, '<' or '>' is refused. Every reply is
// awaited at most the reply timeout; a failed Deliver closes its connection.
//
// Where the server offers PIPELINING (RFC 2920), MAIL FROM, every RCPT TO and DATA go in one
// write and their replies are read in order, and QUIT follows the last mail's data in the
// same write. A mail's data (header, text and attachments) goes in one corked write, so it
// leaves in full-sized segments; each attachment is read and encoded once per delivery, however
// many requesters DeliverSeparately sends it to.

#include "mail/MailConnection.h"
#include "mail/MailSecurity.h"
#include "mail/MimeFormat.h"
#include "mail/SmtpReply.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CSmtpAuthClient {
public:
    enum Error : int {
        kNoError = 0,
        kWinsockInit = 100,
        kWinsockVersion = 101,
        kSendFailed = 102,
        kRecvFailed = 103,
        kConnectFailed = 104,
        kResolveFailed = 105,
        kInvalidSocket = 106,
        kHostNameFailed = 107,
        kBadIpv4Address = 108,
        kUndefinedHeader = 200,
        kUndefinedFrom = 201,
        kUndefinedSubject = 202,
        kUndefinedRecipient = 203,
        kUndefinedLogin = 204,
        kUndefinedPassword = 205,
        kUndefinedRecipientMail = 206,
        kMailFromRefused = 300,
        kEhloRefused = 301,
        kAuthLoginRefused = 302,
        kDataRefused = 303,
        kQuitRefused = 304,
        kRcptToRefused = 305,
        kMessageBodyRefused = 306,
        kConnectionClosed = 400,
        kServerNotReady = 401,
        kServerNotResponding = 402,
        kFileNotExist = 403,
        kMessageTooBig = 404,
        kBadLogin = 405,
        kUnexpectedResponse = 406,
        kLackOfMemory = 407,
        kTlsFailed = 408,
        kStartTlsNotOffered = 409,
        kCancelled = 410,
    };

    static constexpr std::chrono::milliseconds kReplyTimeout{30000};
    static constexpr std::size_t kBufferSize = 10240;
    static constexpr std::uint64_t kMaxAttachmentBytes = 5 * 1024 * 1024 + 1024;
    static constexpr const char* kBoundary = "__MESSAGE__ID__54yg6f6h6y456345";

    CSmtpAuthClient();
    ~CSmtpAuthClient();
    CSmtpAuthClient(const CSmtpAuthClient&) = delete;
    CSmtpAuthClient& operator=(const CSmtpAuthClient&) = delete;

    int ErrorCode() const { return m_errorCode; }
    // The cause of the last failure, for the messages the user sees.
    const MailError& LastMailError() const { return m_mailError; }
    static std::string ErrorMessageFor(int code);

    // Host name or dotted IPv4 address; port 0 means the "mail" service or 25.
    void SetServerEndpoint(const std::string& host, uint16_t port);
    // Addresses: false (and nothing stored) when unsafe.
    bool SetFromAddress(std::string_view address);
    bool SetReplyAddress(std::string_view address);
    // Display name and subject as plain UTF-8 text; they are encoded when the mail is written.
    void SetFromName(std::string_view utf8Name);
    void SetSubjectLine(std::string_view utf8Subject);
    void SetBodyText(std::string_view utf8Body);
    void SetMailerName(std::string_view name);
    void SetAuthUser(std::string_view user);
    void SetAuthPassword(std::string_view password);
    void SetPriorityValue(int level) { m_priority = level; }
    void SetSecurity(TlsMode mode) { m_tlsMode = mode; }
    void SetCaFile(std::string path) { m_caFile = std::move(path); }
    // A signal that cancels any wait from another thread; it must outlive the client.
    void SetCancelSignal(const CCancelSignal* cancel) { m_connection.SetCancelSignal(cancel); }
    // An empty or unsafe address records 206 and returns false. Names are UTF-8.
    bool AddToAddress(std::string_view address, std::string_view name = {});
    bool AddCcAddress(std::string_view address, std::string_view name = {});
    bool AddBccAddress(std::string_view address, std::string_view name = {});
    bool AttachFile(const std::string& path);

    // The whole dialogue; true when the server took the message and QUIT was answered.
    bool Deliver();
    // One mail per To recipient, each addressed to that recipient alone (envelope and To line,
    // no Cc or Bcc), all in one session: one log-in however many there are. The result says
    // for each To recipient, in order, whether the server took its mail. A refused mail does
    // not stop the others; a connection that fails does.
    std::vector<bool> DeliverSeparately();
    // The dialogue up to the log-in, then QUIT; no mail. Without a user name nothing is
    // logged in: connection, greeting, EHLO and TLS are tested.
    bool TestLogIn();

    void SetReplyTimeout(std::chrono::milliseconds timeout) { m_replyTimeout = timeout; }

private:
    using Recipient = std::pair<std::string, std::string>; // (display name, address)

    bool Connect();
    bool SendText(std::string_view text, TraceShape shape = {});
    // Reads one whole reply into m_reply.
    bool ReadReply();
    bool ExpectOne(int expected, int error);
    bool ExpectWithin99(int expected, int skipped, int error);
    // Connect, greeting, EHLO, TLS as set, and (when withLogIn) AUTH.
    bool OpenSession(bool withLogIn);
    bool Hello();
    bool UpgradeWithStartTls();
    bool Authenticate();
    // One mail transaction, MAIL FROM to the end of data, for the To list to (and with
    // withCopies the Cc and Bcc lists). last: no mail follows in this session, so a server
    // that pipelines gets QUIT behind the data.
    bool Transaction(const std::vector<Recipient>& to, bool withCopies, bool last);
    // MAIL FROM, RCPT TO and DATA up to the 354: one command per reply, or in one group.
    bool OpenOneByOne(const std::string& mailFrom, const std::vector<Recipient>& to,
                      const std::vector<Recipient>& copies);
    bool OpenPipelined(const std::string& mailFrom, const std::vector<Recipient>& to,
                       const std::vector<Recipient>& copies);
    bool Reset();
    void Quit();
    bool FailFromConnection(int code);
    void Refused(int code, MailErrorCode cause);
    bool MakeHeader(const std::vector<Recipient>& to, bool withCopies, const mime::TextBody& body,
                    std::string& header);
    // Every attachment's part header and base64 lines, made at the first use in a delivery;
    // m_attachmentError then holds what went wrong with them (kFileNotExist, kMessageTooBig).
    const std::string& AttachmentSection();
    void Fail(int code) { m_errorCode = code; }
    void CloseSocket();

    int m_errorCode = kNoError;
    MailError m_mailError;
    bool m_broken = false;   // the connection failed: no further command may follow
    bool m_quitSent = false; // QUIT went out behind the last data; its reply is still due
    CMailConnection m_connection;
    TlsMode m_tlsMode = TlsMode::None;
    std::string m_caFile;
    SmtpReply m_reply; // the last reply read
    SmtpReply m_ehlo;  // the EHLO reply: the server's extensions
    std::string m_localHostName;
    std::string m_fromAddress, m_fromName;
    std::string m_subject;
    bool m_hasSubject = false;
    std::string m_body;
    std::string m_mailerName;
    std::string m_replyAddress;
    std::string m_authUser, m_authPassword;
    bool m_hasAuthUser = false, m_hasAuthPassword = false;
    std::string m_serverHost;
    uint16_t m_serverPort = 0;
    int m_priority = 3;
    std::vector<Recipient> m_toList, m_ccList, m_bccList;
    std::vector<std::string> m_attachments;
    std::optional<std::string> m_attachmentSection;
    int m_attachmentError = kNoError;
    std::chrono::milliseconds m_replyTimeout = kReplyTimeout;
};
