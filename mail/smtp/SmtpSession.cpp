// The SMTP dialogue of RFC 5321: greeting (4.2), EHLO and HELO (4.1.1.1, 4.1.4), MAIL (4.1.1.2),
// RCPT (4.1.1.3), DATA (4.1.1.4) with the end-of-data sequence and dot-stuffing (4.5.2), RSET
// (4.1.1.5) and QUIT (4.1.1.10); STARTTLS (RFC 3207), AUTH (RFC 4954), SIZE (RFC 1870),
// PIPELINING (RFC 2920) and 8BITMIME (RFC 6152).
#include "mail/smtp/SmtpSession.h"

#include "mail/text/ContentEncoders.h"
#include "mail/mime/MimeFormat.h"
#include "mail/mime/MimeMessage.h"
#include "mail/mime/MimeStream.h"
#include "mail/net/MailSecurity.h"
#include "mail/net/Sasl.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace {

// A reply longer than this is not an SMTP reply.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;
// Longest address that still fits a command line of 1,000 bytes with its keyword.
constexpr std::size_t kMaxAddressLength = 988;
constexpr std::size_t kHostNameBufferSize = 256;
// The message's data may take longer to write than a reply to arrive: one more second for each
// 32 KiB, so that a slow uplink still gets a large picture out, and a stalled peer is still
// given up.
constexpr std::size_t kBytesPerExtraSecond = 32 * 1024;

// Replies that accept a recipient: 250, and 251 (forwarded, RFC 5321 3.4).
bool AcceptsRecipient(int code) {
    return code == 250 || code == 251;
}

std::string LocalHostName() {
    char name[kHostNameBufferSize] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

std::string Base64(std::string_view bytes) {
    return encoders::EncodeBase64Block(bytes, encoders::Base64Flag::NoLineBreaks);
}

} // namespace

CSmtpSession::CSmtpSession() {
    m_connection.SetTraceProtocol("smtp");
}

CSmtpSession::~CSmtpSession() {
    Close();
}

void CSmtpSession::SetCancelSignal(const CCancelSignal* cancel) {
    m_connection.SetCancelSignal(cancel);
}

bool CSmtpSession::Fail(MailErrorCode code, std::string detail) {
    m_error = {code, 0, std::move(detail)};
    return false;
}

bool CSmtpSession::Refused(MailErrorCode code) {
    m_error = {code, 0, m_reply.Text()};
    return false;
}

// The connection failed, or the dialogue lost its step: nothing more can be said on it.
bool CSmtpSession::Broken() {
    if (m_connection.Error())
        m_error = m_connection.Error();
    m_connection.Close();
    return false;
}

bool CSmtpSession::SendLine(std::string_view line, TraceShape shape) {
    return m_connection.Send(line, m_replyTimeout, shape) || Broken();
}

bool CSmtpSession::ReadReply() {
    std::string text;
    const ReplyLimits limits{m_replyTimeout, m_replyTimeout, kMaxReplyBytes};
    if (!m_connection.ReadReply(replyend::SmtpReply, limits, text))
        return Broken();
    m_reply = ParseSmtpReply(text);
    return true;
}

bool CSmtpSession::Expect(int code) {
    if (!ReadReply())
        return false;
    return m_reply.code == code || Refused();
}

bool CSmtpSession::Open(const std::string& host, int port, const SmtpPolicy& policy) {
    Close();
    m_error = {};
    m_replyTimeout = policy.replyTimeout;
    if (m_localName.empty())
        m_localName = LocalHostName();
    if (!OpenOnce(host, port, policy, true)) {
        // Opportunistic TLS protects against a passive listener only; a server whose upgrade
        // fails is still reached in clear, as mail servers reach each other. No password goes
        // on such a path.
        const bool upgradeFailed = IsTlsError(m_error.code);
        if (policy.tls != SmtpTls::Opportunistic || !upgradeFailed || policy.logIn)
            return false;
        if (!OpenOnce(host, port, policy, false))
            return false;
    }
    if (!policy.logIn || (!OffersAuth() && policy.logInIfOffered))
        return true;
    if (!OffersAuth()) {
        // The configured log-in cannot be used: the server offers none (or someone on the
        // way has removed it from the reply).
        Fail(MailErrorCode::NotOffered, "AUTH");
        Close();
        return false;
    }
    m_loggedIn = Authenticate(*policy.logIn, policy.tls);
    if (!m_loggedIn) {
        Close();
        return false;
    }
    m_connection.ForgetLogInSecrets();
    return true;
}

bool CSmtpSession::OpenOnce(const std::string& host, int port, const SmtpPolicy& policy,
                            bool withTls) {
    m_loggedIn = false;
    m_greeting = {};
    if (!m_connection.Connect(host, port, policy.connectTimeout))
        return Broken();
    if (policy.tls == SmtpTls::Implicit &&
        !m_connection.StartTls({true, policy.caFile}, m_replyTimeout))
        return Broken();
    if (!Expect(220) || !Hello(policy.heloFallback)) {
        Close();
        return false;
    }
    const bool offered = m_greeting.HasExtension("STARTTLS");
    bool upgrade = false;
    switch (policy.tls) {
    case SmtpTls::Required:
        if (!offered) {
            Fail(MailErrorCode::StartTlsNotOffered);
            Close();
            return false;
        }
        upgrade = true;
        break;
    case SmtpTls::WhenOffered:
    case SmtpTls::Opportunistic:
        upgrade = offered && withTls;
        break;
    case SmtpTls::Implicit:
    case SmtpTls::Clear:
        break;
    }
    if (upgrade && !UpgradeWithStartTls(policy)) {
        Close();
        return false;
    }
    return true;
}

// EHLO, or HELO when allowed and the server does not know EHLO (RFC 5321 section 4.1.4).
bool CSmtpSession::Hello(bool allowHelo) {
    if (!SendLine("EHLO " + m_localName + "\r\n") || !ReadReply())
        return false;
    if (m_reply.code != 250 && allowHelo &&
        (!SendLine("HELO " + m_localName + "\r\n") || !ReadReply()))
        return false;
    if (m_reply.code != 250)
        return Refused();
    m_greeting = m_reply;
    return true;
}

bool CSmtpSession::UpgradeWithStartTls(const SmtpPolicy& policy) {
    if (!SendLine("STARTTLS\r\n") || !ReadReply())
        return false;
    if (m_reply.code != 220)
        return Refused(MailErrorCode::StartTlsRefused);
    const bool verify = policy.tls != SmtpTls::Opportunistic;
    if (!m_connection.StartTls({verify, verify ? policy.caFile : std::string()}, m_replyTimeout))
        return Broken();
    // The extensions may differ inside TLS (RFC 3207 section 4.2).
    return Hello(policy.heloFallback);
}

MailError CSmtpSession::Error() const {
    MailError error = m_error;
    m_connection.MaskSecrets(error.detail);
    return error;
}

bool CSmtpSession::Authenticate(const SmtpCredentials& credentials, SmtpTls tls) {
    // Nothing of the log-in goes before it is known that it may go. Unverified TLS (a path
    // that takes TLS opportunistically) protects from a listener, not from someone on the path.
    const LogInSecret secret =
        credentials.accessToken.empty() ? LogInSecret::Password : LogInSecret::Token;
    const TlsMode chosen = tls == SmtpTls::Clear ? TlsMode::None : TlsMode::WhenOffered;
    if (const MailErrorCode refusal = m_connection.LogInRefusal(chosen, secret);
        refusal != MailErrorCode::None)
        return Fail(refusal);
    if (secret == LogInSecret::Token)
        return AuthenticateWithToken(credentials);
    if (m_greeting.OffersParameter("AUTH", "PLAIN")) {
        static constexpr std::string_view kCommand = "AUTH PLAIN ";
        const std::string response =
            Base64(std::string(1, '\0') + credentials.user + '\0' + credentials.password);
        m_connection.SetLogInSecrets({credentials.password, response});
        if (!SendLine(std::string(kCommand) + response + "\r\n",
                      TraceShape::SecretAfter(kCommand.size())) ||
            !ReadReply())
            return false;
        return m_reply.code == 235 || Refused(MailErrorCode::LoginRefused);
    }
    // LOGIN, the mechanism every server of the last decades offers beside PLAIN.
    const std::string user = Base64(credentials.user);
    const std::string password = Base64(credentials.password);
    m_connection.SetLogInSecrets({credentials.password, password, user});
    if (!SendLine("AUTH LOGIN\r\n") || !ReadReply())
        return false;
    if (m_reply.code != 334)
        return Refused(MailErrorCode::LoginRefused);
    if (!SendLine(user + "\r\n", TraceShape::SecretAfter(0)) || !ReadReply())
        return false;
    if (m_reply.code != 334)
        return Refused(MailErrorCode::LoginRefused);
    if (!SendLine(password + "\r\n", TraceShape::SecretAfter(0)) || !ReadReply())
        return false;
    return m_reply.code == 235 || Refused(MailErrorCode::LoginRefused);
}

bool CSmtpSession::AuthenticateWithToken(const SmtpCredentials& credentials) {
    const std::optional<BearerMechanism> mechanism = sasl::ChooseBearer(
        [this](std::string_view name) { return m_greeting.OffersParameter("AUTH", name); });
    if (!mechanism)
        return Fail(MailErrorCode::NotOffered, "AUTH OAUTHBEARER XOAUTH2");
    if (!sasl::UsableToken(credentials.accessToken) ||
        credentials.user.find_first_of(std::string_view("\r\n\0\x01", 4)) != std::string::npos)
        return Fail(MailErrorCode::InvalidArgument, "AUTH");
    const std::string command = "AUTH " + std::string(sasl::Name(*mechanism)) + " ";
    const std::string response =
        Base64(sasl::InitialResponse(*mechanism, credentials.user, credentials.accessToken));
    m_connection.SetLogInSecrets({credentials.accessToken, response});
    if (!SendLine(command + response + "\r\n", TraceShape::SecretAfter(command.size())) ||
        !ReadReply())
        return false;
    if (m_reply.code == 235)
        return true;
    if (m_reply.code != 334)
        return Refused(MailErrorCode::LoginRefused);
    // A refused token: the server explains in a JSON challenge and waits for the mechanism's
    // answer before it says no (RFC 7628 section 3.2.3).
    const std::string explanation = sasl::DescribeChallenge(m_reply.lines.empty() ? std::string() : m_reply.lines.front());
    if (!SendLine(Base64(sasl::ErrorChallengeReply(*mechanism)) + "\r\n") || !ReadReply())
        return false;
    Refused(MailErrorCode::LoginRefused);
    if (!explanation.empty())
        m_error.detail += " " + explanation;
    return false;
}

std::uint64_t CSmtpSession::SizeLimit() const {
    const std::string value = m_greeting.ExtensionParameters("SIZE");
    return value.empty() ? 0 : std::strtoull(value.c_str(), nullptr, 10);
}

bool CSmtpSession::Send(CMimeMessage& message, const std::vector<std::string>& recipients) {
    m_mayHaveDelivered = false;
    if (!IsOpen())
        return Fail(m_error ? m_error.code : MailErrorCode::Closed, m_error.detail);
    const std::string from = message.SenderAddress();
    if (from.empty() || !mime::IsSafeAddress(from) || from.size() > kMaxAddressLength)
        return Fail(MailErrorCode::InvalidArgument, "MAIL FROM");
    if (recipients.empty())
        return Fail(MailErrorCode::InvalidArgument, "RCPT TO");
    for (const std::string& address : recipients) {
        if (address.empty() || !mime::IsSafeAddress(address) || address.size() > kMaxAddressLength)
            return Fail(MailErrorCode::InvalidArgument, "RCPT TO");
    }

    // The whole message is made before the transaction opens, so that its size is known and
    // a message the composer cannot finish never starts one.
    const bool eightBit = m_greeting.HasExtension("8BITMIME");
    CStringMimeStream data;
    if (!message.WriteTo(data, SmtpForm | (eightBit ? 0u : unsigned{SevenBit})))
        return Fail(MailErrorCode::InvalidArgument, "message");
    std::string& bytes = data.Bytes();
    bytes += "\r\n.\r\n";
    const std::uint64_t limit = SizeLimit();
    if (limit != 0 && bytes.size() > limit)
        return Fail(MailErrorCode::TooLarge, std::to_string(bytes.size()) + " > SIZE " +
                                                 std::to_string(limit));

    std::string mailFrom = "MAIL FROM:<" + from + ">";
    if (m_greeting.HasExtension("SIZE"))
        mailFrom += " SIZE=" + std::to_string(bytes.size());
    if (eightBit)
        mailFrom += " BODY=8BITMIME";
    mailFrom += "\r\n";
    const bool pipelined = m_greeting.HasExtension("PIPELINING");
    if (!OpenTransaction(mailFrom, recipients, pipelined))
        return false;

    // The data in one corked write: it leaves in full-sized segments and waits for no
    // acknowledgement on the way.
    m_connection.Cork();
    const auto extra = std::chrono::seconds(bytes.size() / kBytesPerExtraSecond);
    if (!m_connection.Send(bytes, m_replyTimeout + extra, TraceShape::MessageBody()))
        return Broken(); // the end of data did not go out: the server delivers nothing
    if (!ReadReply()) {
        m_mayHaveDelivered = true;
        return false;
    }
    return m_reply.code == 250 || Refused();
}

bool CSmtpSession::OpenTransaction(const std::string& mailFrom,
                                   const std::vector<std::string>& to, bool pipelined) {
    if (!pipelined) {
        if (!SendLine(mailFrom) || !Expect(250))
            return false;
        for (const std::string& address : to) {
            if (!SendLine("RCPT TO:<" + address + ">\r\n") || !ReadReply())
                return false;
            if (!AcceptsRecipient(m_reply.code))
                return RefusedInTransaction({MailErrorCode::CommandRefused, 0, m_reply.Text()});
        }
        if (!SendLine("DATA\r\n") || !ReadReply())
            return false;
        return m_reply.code == 354 ||
               RefusedInTransaction({MailErrorCode::CommandRefused, 0, m_reply.Text()});
    }

    // RFC 2920 section 3.1: the replies come in the order of the commands; each is read
    // whatever the one before it said.
    std::string group = mailFrom;
    for (const std::string& address : to)
        group += "RCPT TO:<" + address + ">\r\n";
    group += "DATA\r\n";
    if (!SendLine(group) || !ReadReply())
        return false;
    const bool senderTaken = m_reply.code == 250;
    MailError refusal;
    if (!senderTaken)
        refusal = {MailErrorCode::CommandRefused, 0, m_reply.Text()};
    for (std::size_t i = 0; i < to.size(); ++i) {
        if (!ReadReply())
            return false;
        if (!AcceptsRecipient(m_reply.code) && !refusal)
            refusal = {MailErrorCode::CommandRefused, 0, m_reply.Text()};
    }
    if (!ReadReply())
        return false;
    const bool inData = m_reply.code == 354;
    if (inData && !refusal)
        return true;
    if (!refusal)
        refusal = {MailErrorCode::CommandRefused, 0, m_reply.Text()};
    if (!inData)
        return RefusedInTransaction(refusal);
    // The server waits for the data of a transaction with a refused part: only dropping the
    // connection makes it discard it.
    m_connection.Close();
    m_error = refusal;
    return false;
}

// RSET clears the refused transaction; the refusal stays the cause.
bool CSmtpSession::RefusedInTransaction(MailError refusal) {
    Reset();
    m_error = std::move(refusal);
    return false;
}

bool CSmtpSession::Reset() {
    if (!IsOpen())
        return false;
    if (!SendLine("RSET\r\n") || !ReadReply())
        return false;
    if (m_reply.code == 250)
        return true;
    Refused();
    m_connection.Close();
    return false;
}

void CSmtpSession::Quit() {
    if (IsOpen() && SendLine("QUIT\r\n"))
        ReadReply();
    Close();
}

void CSmtpSession::Close() {
    m_connection.Close();
}
