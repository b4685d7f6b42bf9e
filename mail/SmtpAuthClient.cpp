// SMTP submission with EHLO (RFC 5321 4.1.1.1), STARTTLS (RFC 3207) and AUTH (RFC 4954: PLAIN
// sends "\0user\0password" base64-encoded as the initial response, RFC 4616; LOGIN sends user
// name and password base64-encoded, each after a 334 challenge), then a multipart/mixed
// message (RFC 2046 5.1) with base64 attachments (RFC 2045 6.8).
#include "mail/SmtpAuthClient.h"

#include "mail/ContentEncoders.h"
#include "mail/MimeFormat.h"
#include "mail/MimeHeaderField.h"
#include "mail/TextCodec.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <memory>
#include <netdb.h>
#include <unistd.h>

namespace {

constexpr uint16_t kDefaultSmtpPort = 25;
constexpr std::size_t kHostNameBufferSize = 255;
constexpr std::size_t kChunkBytes = 54; // one base64 line of 72 characters
constexpr std::size_t kReadBlock = 64 * 1024;
constexpr int kMaxReplyLines = 99;
// A reply longer than this is not an SMTP reply.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// 251 (forwarded) is an acceptance as well (RFC 5321 3.4).
bool IsAcceptedRecipient(int code) {
    return code == 250 || code == 251;
}

// "Sun, 06 Dec 2026 16:05:09 +0000": the UTC clock, with its zone written out.
std::string UtcDate() {
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc.tm_wday],
                  utc.tm_mday, months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

// A recipient list (To, Cc) as a folded header field; names as Japanese text.
std::string RecipientField(std::string_view name,
                           const std::vector<std::pair<std::string, std::string>>& list,
                           bool& fits) {
    mime::HeaderField field(name);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto& [displayName, address] = list[i];
        if (!displayName.empty())
            field.AddJapaneseText(displayName, mime::TextRole::Phrase);
        field.AddToken("<" + address + ">" + (i + 1 < list.size() ? "," : ""));
    }
    fits = fits && field.FitsLineLimit();
    return field.Text();
}

} // namespace

CSmtpAuthClient::CSmtpAuthClient() = default;

CSmtpAuthClient::~CSmtpAuthClient() {
    CloseSocket();
}

std::string CSmtpAuthClient::ErrorMessageFor(int code) {
    switch (code) {
    case kNoError:
        return "";
    case kWinsockInit:
        return "Unable to initialise winsock2.";
    case kWinsockVersion:
        return "Wrong version of the winsock2.";
    case kSendFailed:
        return "Function send() failed.";
    case kRecvFailed:
        return "Function recv() failed.";
    case kConnectFailed:
        return "Function connect failed.";
    case kResolveFailed:
        return "Functions gethostbyname() or gethostbyaddr() failed.";
    case kInvalidSocket:
        return "Invalid winsock2 socket.";
    case kHostNameFailed:
        return "Function hostname() failed.";
    case kBadIpv4Address:
        return "Improper IPv4 address.";
    case kUndefinedHeader:
        return "Undefined message header.";
    case kUndefinedFrom:
        return "Undefined from is the mail.";
    case kUndefinedSubject:
        return "Undefined message subject.";
    case kUndefinedRecipient:
        return "Undefined at least one reciepent.";
    case kUndefinedLogin:
        return "Undefined user login.";
    case kUndefinedPassword:
        return "Undefined user password.";
    case kUndefinedRecipientMail:
        return "Undefined recipent mail.";
    case kMailFromRefused:
        return "Server returned error after sending MAIL FROM.";
    case kEhloRefused:
        return "Server returned error after sending EHLO.";
    case kAuthLoginRefused:
        return "Server returned error after sending AUTH LOGIN.";
    case kDataRefused:
        return "Server returned error after sending DATA.";
    case kQuitRefused:
        return "Server returned error after sending QUIT.";
    case kRcptToRefused:
        return "Server returned error after sending RCPT TO.";
    case kMessageBodyRefused:
        return "Error in message body";
    case kConnectionClosed:
        return "Server has closed the connection.";
    case kServerNotReady:
        return "Server is not ready.";
    case kServerNotResponding:
        return "Server not responding";
    case kFileNotExist:
        return "File not exist.";
    case kMessageTooBig:
        return "Message is too big.";
    case kBadLogin:
        return "Bad login or password.";
    case kUnexpectedResponse:
        return "Undefined xyz SMTP response.";
    case kLackOfMemory:
        return "Lack of memory.";
    case kTlsFailed:
        return "TLS negotiation failed.";
    case kStartTlsNotOffered:
        return "STARTTLS is not offered or was refused.";
    case kCancelled:
        return "Cancelled.";
    default:
        return "Undefined error id.";
    }
}

void CSmtpAuthClient::SetServerEndpoint(const std::string& host, uint16_t port) {
    m_serverHost = host;
    m_serverPort = port;
}

bool CSmtpAuthClient::SetFromAddress(std::string_view address) {
    if (!mime::IsSafeAddress(address))
        return false;
    m_fromAddress = address;
    return true;
}

bool CSmtpAuthClient::SetReplyAddress(std::string_view address) {
    if (!mime::IsSafeAddress(address))
        return false;
    m_replyAddress = address;
    return true;
}

void CSmtpAuthClient::SetFromName(std::string_view utf8Name) {
    m_fromName = mime::StripLineBreaks(utf8Name);
}

void CSmtpAuthClient::SetSubjectLine(std::string_view utf8Subject) {
    m_subject = mime::StripLineBreaks(utf8Subject);
    m_hasSubject = true;
}

void CSmtpAuthClient::SetBodyText(std::string_view utf8Body) {
    m_body = utf8Body;
}

void CSmtpAuthClient::SetMailerName(std::string_view name) {
    m_mailerName = mime::StripLineBreaks(name);
}

void CSmtpAuthClient::SetAuthUser(std::string_view user) {
    m_authUser = user;
    m_hasAuthUser = true;
}

void CSmtpAuthClient::SetAuthPassword(std::string_view password) {
    m_authPassword = password;
    m_hasAuthPassword = true;
}

bool CSmtpAuthClient::AddToAddress(std::string_view address, std::string_view name) {
    if (address.empty() || !mime::IsSafeAddress(address)) {
        Fail(kUndefinedRecipientMail);
        return false;
    }
    m_toList.emplace_back(mime::StripLineBreaks(name), std::string(address));
    return true;
}

bool CSmtpAuthClient::AddCcAddress(std::string_view address, std::string_view name) {
    if (address.empty() || !mime::IsSafeAddress(address)) {
        Fail(kUndefinedRecipientMail);
        return false;
    }
    m_ccList.emplace_back(mime::StripLineBreaks(name), std::string(address));
    return true;
}

bool CSmtpAuthClient::AddBccAddress(std::string_view address, std::string_view name) {
    if (address.empty() || !mime::IsSafeAddress(address)) {
        Fail(kUndefinedRecipientMail);
        return false;
    }
    m_bccList.emplace_back(mime::StripLineBreaks(name), std::string(address));
    return true;
}

bool CSmtpAuthClient::AttachFile(const std::string& path) {
    m_attachments.push_back(path);
    return true;
}

void CSmtpAuthClient::CloseSocket() {
    m_connection.Close();
}

bool CSmtpAuthClient::FailFromConnection(int code) {
    m_broken = true;
    m_mailError = m_connection.Error();
    switch (m_mailError.code) {
    case MailErrorCode::Cancelled:
        code = kCancelled;
        break;
    case MailErrorCode::NoAnswer:
        code = kServerNotResponding;
        break;
    case MailErrorCode::Closed:
        code = kConnectionClosed;
        break;
    case MailErrorCode::ReplyTooLong:
        code = kLackOfMemory;
        break;
    default:
        if (IsTlsError(m_mailError.code))
            code = kTlsFailed;
        break;
    }
    Fail(code);
    return false;
}

void CSmtpAuthClient::Refused(int code, MailErrorCode cause) {
    Fail(code);
    m_mailError = {cause, 0, m_reply.Text()};
}

bool CSmtpAuthClient::Connect() {
    uint16_t port = m_serverPort;
    if (port == 0) {
        servent entry{};
        servent* result = nullptr;
        char buffer[1024];
        port = (::getservbyname_r("mail", "tcp", &entry, buffer, sizeof buffer, &result) == 0 &&
                result)
                   ? ntohs(static_cast<uint16_t>(result->s_port))
                   : kDefaultSmtpPort;
    }
    m_connection.SetTraceProtocol("smtp");
    if (!m_connection.Connect(m_serverHost, port, m_replyTimeout))
        return FailFromConnection(m_connection.Error().code == MailErrorCode::NameNotFound
                                      ? kResolveFailed
                                      : kConnectFailed);
    if (m_tlsMode == TlsMode::Implicit && !m_connection.StartTls({true, m_caFile}, m_replyTimeout))
        return FailFromConnection(kTlsFailed);
    return true;
}

bool CSmtpAuthClient::SendText(std::string_view text, TraceShape shape) {
    return m_connection.Send(text, m_replyTimeout, shape) || FailFromConnection(kSendFailed);
}

bool CSmtpAuthClient::ReadReply() {
    std::string text;
    const ReplyLimits limits{m_replyTimeout, m_replyTimeout, kMaxReplyBytes};
    if (!m_connection.ReadReply(replyend::SmtpReply, limits, text))
        return FailFromConnection(kRecvFailed);
    m_reply = ParseSmtpReply(text);
    return true;
}

bool CSmtpAuthClient::ExpectOne(int expected, int error) {
    if (!ReadReply())
        return false;
    if (m_reply.code != expected) {
        Refused(error, MailErrorCode::CommandRefused);
        return false;
    }
    return true;
}

bool CSmtpAuthClient::ExpectWithin99(int expected, int skipped, int error) {
    for (int replies = 0; replies < kMaxReplyLines; ++replies) {
        if (!ReadReply())
            return false;
        if (m_reply.code == expected)
            return true;
        if (m_reply.code != skipped) {
            Refused(error, MailErrorCode::CommandRefused);
            return false;
        }
    }
    Fail(kServerNotResponding);
    m_broken = true; // 99 replies and still no end: the dialogue has lost its step
    return false;
}

bool CSmtpAuthClient::MakeHeader(const std::vector<Recipient>& to, bool withCopies,
                                 const mime::TextBody& body, std::string& header) {
    bool fits = true;
    auto field = [&fits](std::string_view name, std::string_view utf8, mime::TextRole role) {
        mime::HeaderField f(name);
        f.AddJapaneseText(utf8, role);
        fits = fits && f.FitsLineLimit();
        return f;
    };
    header = "Date: " + UtcDate() + "\r\n";
    mime::HeaderField from = field("From", m_fromName, mime::TextRole::Phrase);
    from.AddToken("<" + m_fromAddress + ">");
    fits = fits && from.FitsLineLimit();
    header += from.Text();
    if (!m_mailerName.empty())
        header += field("X-Mailer", m_mailerName, mime::TextRole::Unstructured).Text();
    if (!m_replyAddress.empty())
        header += "Reply-To: " + m_replyAddress + "\r\n";
    header += m_priority == 2   ? "X-Priority: 2 (High)\r\n"
              : m_priority == 4 ? "X-Priority: 4 (Low)\r\n"
                                : "X-Priority: 3 (Normal)\r\n";
    header += RecipientField("To", to, fits);
    if (withCopies && !m_ccList.empty())
        header += RecipientField("Cc", m_ccList, fits);
    // No Bcc line: it would show the blind copies to every recipient.
    if (m_hasSubject) {
        header += field("Subject", m_subject, mime::TextRole::Unstructured).Text();
    } else {
        header += "Subject:  \r\n";
        Fail(kUndefinedSubject);
    }
    header += "Message-ID: " + mime::MakeMessageId(m_fromAddress) + "\r\n";
    header += "MIME-Version: 1.0\r\n";
    if (!m_attachments.empty()) {
        header += "Content-Type: multipart/mixed; boundary=\"" + std::string(kBoundary) +
                  "\"\r\n\r\n--" + kBoundary + "\r\n";
    }
    header += "Content-type: text/plain; charset=" + body.charset +
              "\r\nContent-Transfer-Encoding: " + body.transferEncoding + "\r\n\r\n";
    if (!fits || header.size() >= kBufferSize) {
        Fail(kLackOfMemory);
        return false;
    }
    return true;
}

// The attachments of every mail of one delivery: each file is read and encoded once, however
// many requesters get it.
const std::string& CSmtpAuthClient::AttachmentSection() {
    if (m_attachmentSection)
        return *m_attachmentSection;
    std::string& section = m_attachmentSection.emplace();
    m_attachmentError = kNoError;
    std::uint64_t total = 0;
    for (const std::string& path : m_attachments) {
        // The type follows the file's extension (image/jpeg for the reply picture): mail
        // readers hold back attachments declared as programs (application/x-msdownload).
        const std::string name = mime::QuotedParameterText(mime::FileNameOfPath(path));
        section += "--" + std::string(kBoundary) +
                   "\r\nContent-Type: " + mime::LookupContentType(name) + "; name=\"" + name +
                   "\"\r\nContent-Transfer-Encoding: base64\r\n"
                   "Content-Disposition: attachment; filename=\"" +
                   name + "\"\r\n\r\n";

        // Up to the room left under the limit: a file that fills it is too big, and so is
        // every file after it.
        const std::uint64_t room = kMaxAttachmentBytes - total;
        std::string bytes;
        FileHandle file(std::fopen(path.c_str(), "rb"));
        bool unreadable = !file;
        while (!unreadable && bytes.size() < room) {
            const std::size_t had = bytes.size();
            bytes.resize(had +
                         static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, room - had)));
            const std::size_t n = std::fread(bytes.data() + had, 1, bytes.size() - had, file.get());
            bytes.resize(had + n);
            unreadable = std::ferror(file.get()) != 0; // a folder, or an unreadable file
            if (n == 0)
                break;
        }
        if (unreadable) {
            m_attachmentError = kFileNotExist;
            break; // the remaining attachments are skipped, the message is finished
        }
        if (bytes.size() >= room) {
            m_attachmentError = kMessageTooBig;
            total = kMaxAttachmentBytes;
            continue;
        }
        total += bytes.size();

        // Lines of 54 bytes (a multiple of 3: only the last has '=' fill); a file that fills
        // its last line whole gets an empty line after it.
        const std::size_t lines = bytes.size() / kChunkBytes + 1;
        const std::size_t at = section.size();
        section.resize(
            at + encoders::Base64EncodedLength(bytes.size(), encoders::Base64Flag::NoLineBreaks) +
            2 * lines);
        char* out = section.data() + at;
        const auto* source = reinterpret_cast<const unsigned char*>(bytes.data());
        for (std::size_t i = 0; i < lines; ++i) {
            const std::size_t offset = i * kChunkBytes;
            const std::size_t n = std::min(kChunkBytes, bytes.size() - offset);
            out += encoders::EncodeBase64To(source + offset, n, encoders::Base64Flag::NoLineBreaks,
                                            out);
            *out++ = '\r';
            *out++ = '\n';
        }
        section.resize(static_cast<std::size_t>(out - section.data()));
    }
    return *m_attachmentSection;
}

bool CSmtpAuthClient::Hello() {
    if (!SendText("EHLO " + m_localHostName + "\r\n") || !ExpectOne(250, kEhloRefused))
        return false;
    m_ehlo = m_reply;
    return true;
}

bool CSmtpAuthClient::UpgradeWithStartTls() {
    if (!m_ehlo.HasExtension("STARTTLS")) {
        Fail(kStartTlsNotOffered);
        m_mailError = {MailErrorCode::StartTlsNotOffered, 0, {}};
        return false;
    }
    if (!SendText("STARTTLS\r\n") || !ReadReply())
        return false;
    if (m_reply.code != 220) {
        Refused(kStartTlsNotOffered, MailErrorCode::StartTlsRefused);
        return false;
    }
    if (!m_connection.StartTls({true, m_caFile}, m_replyTimeout))
        return FailFromConnection(kTlsFailed);
    return Hello(); // the extensions may differ inside TLS (RFC 3207 section 4.2)
}

bool CSmtpAuthClient::Authenticate() {
    std::string mechanisms = m_ehlo.ExtensionParameters("AUTH");
    for (char& c : mechanisms)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool plain = (" " + mechanisms + " ").find(" PLAIN ") != std::string::npos;
    if (plain) {
        if (!m_hasAuthUser || !m_hasAuthPassword) {
            Fail(m_hasAuthUser ? kUndefinedPassword : kUndefinedLogin);
            return false;
        }
        const std::string response = std::string(1, '\0') + m_authUser + '\0' + m_authPassword;
        constexpr std::string_view kAuthPlain = "AUTH PLAIN ";
        if (!SendText(std::string(kAuthPlain) +
                          encoders::EncodeBase64Block(response, encoders::Base64Flag::NoLineBreaks) +
                          "\r\n",
                      TraceShape::SecretAfter(kAuthPlain.size())) ||
            !ReadReply())
            return false;
        if (m_reply.code != 235) {
            Refused(m_reply.code == 535 ? kBadLogin : kAuthLoginRefused,
                    MailErrorCode::LoginRefused);
            return false;
        }
        return true;
    }

    // LOGIN: also when the server names no mechanism, as it has always been tried.
    if (!SendText("AUTH LOGIN\r\n") || !ExpectWithin99(334, 250, kAuthLoginRefused))
        return false;
    if (!m_hasAuthUser) {
        Fail(kUndefinedLogin);
        return false;
    }
    if (!SendText(encoders::EncodeBase64Block(m_authUser, encoders::Base64Flag::NoLineBreaks) +
                      "\r\n",
                  TraceShape::SecretAfter(0)) ||
        !ExpectOne(334, kUnexpectedResponse))
        return false;
    if (!m_hasAuthPassword) {
        Fail(kUndefinedPassword);
        return false;
    }
    if (!SendText(encoders::EncodeBase64Block(m_authPassword, encoders::Base64Flag::NoLineBreaks) +
                      "\r\n",
                  TraceShape::SecretAfter(0)))
        return false;
    for (int replies = 0;; ++replies) {
        if (replies == kMaxReplyLines) {
            Fail(kServerNotResponding);
            return false;
        }
        if (!ReadReply())
            return false;
        if (m_reply.code == 235)
            return true;
        if (m_reply.code != 334) {
            Refused(m_reply.code == 535 ? kBadLogin : kUnexpectedResponse,
                    MailErrorCode::LoginRefused);
            return false;
        }
    }
}

bool CSmtpAuthClient::OpenSession(bool withLogIn) {
    m_mailError = {};
    m_broken = false;
    m_quitSent = false;
    if (!Connect()) {
        if (m_errorCode != kTlsFailed && m_errorCode != kCancelled)
            Fail(kInvalidSocket);
        return false;
    }
    if (!ExpectOne(220, kServerNotReady))
        return false;

    char hostName[kHostNameBufferSize + 1] = {};
    if (::gethostname(hostName, kHostNameBufferSize) == 0) {
        m_localHostName = hostName;
    } else {
        Fail(kHostNameFailed);
        m_localHostName = "domain";
    }
    if (!Hello())
        return false;
    if (m_tlsMode == TlsMode::StartTls && !UpgradeWithStartTls())
        return false;
    return !withLogIn || Authenticate();
}

bool CSmtpAuthClient::Transaction(const std::vector<Recipient>& to, bool withCopies, bool last) {
    if (m_fromAddress.empty()) {
        Fail(kUndefinedFrom);
        return false;
    }
    if (to.empty()) {
        Fail(kUndefinedRecipient);
        return false;
    }
    // 8-bit text only where the server said it takes it (RFC 6152); else a 7-bit form.
    const bool eightBit = m_ehlo.HasExtension("8BITMIME");
    const mime::TextBody body =
        mime::EncodeTextBody(text::Utf8ToSjis(m_body), "Shift_JIS", eightBit);
    std::string header;
    if (!MakeHeader(to, withCopies, body, header)) {
        Fail(kUndefinedHeader);
        return false;
    }

    const std::string mailFrom =
        "MAIL FROM:<" + m_fromAddress + ">" + (eightBit ? " BODY=8BITMIME" : "") + "\r\n";
    std::vector<Recipient> copies;
    if (withCopies) {
        copies = m_ccList;
        copies.insert(copies.end(), m_bccList.begin(), m_bccList.end());
    }
    const bool pipelining = m_ehlo.HasExtension("PIPELINING");
    if (!(pipelining ? OpenPipelined(mailFrom, to, copies) : OpenOneByOne(mailFrom, to, copies)))
        return false;

    // The whole data section in one write, corked: it leaves in full-sized segments and
    // waits for no acknowledgement on the way. The end of the last mail carries QUIT along.
    const std::string& attachments = AttachmentSection();
    if (m_attachmentError != kNoError)
        Fail(m_attachmentError);
    const std::string closing =
        m_attachments.empty() ? "" : "\r\n--" + std::string(kBoundary) + "--\r\n";
    std::string data;
    data.reserve(header.size() + body.lines.size() + attachments.size() + 64);
    data += header;
    data += mime::DotStuff(body.lines);
    data += "\r\n";
    data += attachments;
    data += closing;
    data += "\r\n.\r\n";
    m_quitSent = pipelining && last;
    if (m_quitSent)
        data += "QUIT\r\n";
    m_connection.Cork();
    return SendText(data) && ExpectOne(250, kMessageBodyRefused);
}

bool CSmtpAuthClient::OpenOneByOne(const std::string& mailFrom, const std::vector<Recipient>& to,
                                   const std::vector<Recipient>& copies) {
    if (!SendText(mailFrom) || !ExpectOne(250, kMailFromRefused))
        return false;
    auto sendRecipients = [this](const std::vector<Recipient>& list, int& accepted) {
        for (const auto& recipient : list) {
            if (!SendText("RCPT TO:<" + recipient.second + ">\r\n") || !ReadReply())
                return false;
            if (IsAcceptedRecipient(m_reply.code))
                ++accepted;
            else
                Refused(kRcptToRefused, MailErrorCode::CommandRefused);
        }
        return true;
    };
    int accepted = 0;
    if (!sendRecipients(to, accepted) || accepted == 0)
        return false;
    int copied = 0;
    if (!sendRecipients(copies, copied))
        return false;
    return SendText("DATA\r\n") && ExpectWithin99(354, 250, kDataRefused);
}

// RFC 2920 section 3.1: MAIL FROM, every RCPT TO and DATA in one group; the replies come in
// the order of the commands, and each is read whatever the one before it said.
bool CSmtpAuthClient::OpenPipelined(const std::string& mailFrom, const std::vector<Recipient>& to,
                                    const std::vector<Recipient>& copies) {
    std::string group = mailFrom;
    for (const auto* list : {&to, &copies}) {
        for (const auto& recipient : *list)
            group += "RCPT TO:<" + recipient.second + ">\r\n";
    }
    group += "DATA\r\n";
    if (!SendText(group) || !ReadReply())
        return false;
    const bool senderTaken = m_reply.code == 250;
    if (!senderTaken)
        Refused(kMailFromRefused, MailErrorCode::CommandRefused);
    int acceptedTo = 0;
    for (std::size_t i = 0; i < to.size() + copies.size(); ++i) {
        if (!ReadReply())
            return false;
        if (IsAcceptedRecipient(m_reply.code))
            acceptedTo += i < to.size() ? 1 : 0;
        else if (senderTaken)
            Refused(kRcptToRefused, MailErrorCode::CommandRefused);
    }
    if (!ReadReply())
        return false;
    const bool whole = senderTaken && acceptedTo > 0;
    if (m_reply.code == 354 && whole)
        return true;
    if (m_reply.code == 354) {
        // The server waits for data of a mail that must not go (no To recipient took it):
        // only dropping the connection makes it discard the transaction.
        m_broken = true;
        CloseSocket();
    } else if (whole) {
        Refused(kDataRefused, MailErrorCode::CommandRefused);
    }
    return false;
}

// The server has taken the mail: a QUIT without 221 is recorded, but the mail went out, and
// reporting a failure here would make the caller send it a second time.
void CSmtpAuthClient::Quit() {
    if (m_quitSent || SendText("QUIT\r\n"))
        ExpectOne(221, kQuitRefused);
}

bool CSmtpAuthClient::Reset() {
    return SendText("RSET\r\n") && ExpectOne(250, kUnexpectedResponse);
}

bool CSmtpAuthClient::Deliver() {
    m_attachmentSection.reset();
    const bool delivered = OpenSession(true) && Transaction(m_toList, true, true);
    if (delivered)
        Quit();
    CloseSocket();
    return delivered;
}

std::vector<bool> CSmtpAuthClient::DeliverSeparately() {
    std::vector<bool> taken(m_toList.size(), false);
    if (m_toList.empty()) {
        Fail(kUndefinedRecipient);
        return taken;
    }
    m_attachmentSection.reset();
    if (OpenSession(true)) {
        bool usable = true;
        for (std::size_t i = 0; i < m_toList.size() && usable; ++i) {
            taken[i] = Transaction({m_toList[i]}, false, i + 1 == m_toList.size());
            // A refusal leaves the session usable once RSET has cleared the transaction; a
            // connection that failed or timed out is in no known state. QUIT may have gone
            // behind the last mail's data already: nothing more is sent then.
            if (!taken[i] && !m_quitSent)
                usable = !m_broken && Reset();
        }
        if (usable && !m_broken)
            Quit();
    }
    CloseSocket();
    return taken;
}

bool CSmtpAuthClient::TestLogIn() {
    bool ok = OpenSession(m_hasAuthUser && !m_authUser.empty());
    if (ok && SendText("QUIT\r\n"))
        ExpectOne(221, kQuitRefused);
    CloseSocket();
    return ok;
}
