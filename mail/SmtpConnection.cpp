// The plain SMTP client of RFC 5321: EHLO (4.1.1.1, HELO when refused), STARTTLS (RFC 3207),
// MAIL (4.1.1.2), RCPT (4.1.1.3), DATA (4.1.1.4) with the end-of-data sequence, RSET (4.1.1.5).
#include "mail/SmtpConnection.h"

#include "mail/MimeFormat.h"
#include "mail/MimeMessage.h"
#include "mail/SmtpReply.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace {

// A reply longer than this is not an SMTP reply; the connection is given up.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;
constexpr std::size_t kHostNameBufferSize = 256;

// 251 (forwarded) is an acceptance as well (RFC 5321 3.4).
bool IsAcceptedRecipient(const std::string& reply) {
    const long code = std::strtol(reply.c_str(), nullptr, 10);
    return code == 250 || code == 251;
}

// The addresses of a list separated by blanks, ',' or ';' (blanks and tabs after a separator
// belong to it; two separators in a row give an empty address, as an empty list gives one);
// false when one is too long for a command.
bool SplitRecipients(const std::string& list, std::vector<std::string>& addresses) {
    std::string address;
    for (std::size_t i = 0;; ++i) {
        const bool atEnd = i >= list.size();
        const char c = atEnd ? '\0' : list[i];
        if (!atEnd && c != ' ' && c != ',' && c != ';') {
            address += c;
            continue;
        }
        if (address.size() > CSmtpConnection::kMaxRecipientLength)
            return false;
        addresses.push_back(std::move(address));
        address.clear();
        if (atEnd)
            return true;
        while (i + 1 < list.size() && (list[i + 1] == ' ' || list[i + 1] == '\t'))
            ++i;
    }
}

} // namespace

CSmtpConnection::CSmtpConnection(uint16_t port) : m_port(port) {}

CSmtpConnection::~CSmtpConnection() {
    Close();
}

bool CSmtpConnection::Open(const std::string& host, int timeoutMs) {
    if (IsOpen())
        return false;
    bool tlsFailed = false;
    if (OpenOnce(host, timeoutMs, true, tlsFailed))
        return true;
    // A server whose STARTTLS does not work is still reached in clear, as by any mail server.
    return tlsFailed && OpenOnce(host, timeoutMs, false, tlsFailed);
}

bool CSmtpConnection::OpenOnce(const std::string& host, int timeoutMs, bool withTls,
                               bool& tlsFailed) {
    tlsFailed = false;
    m_eightBitMime = false;
    m_pipelining = false;
    m_encodedBodies.clear(); // a new connection, a new reply: files are read afresh
    if (!m_connection.Connect(host, m_port, std::chrono::milliseconds(std::max(timeoutMs, 0))))
        return false;
    std::string reply;
    char hostName[kHostNameBufferSize] = {};
    if (!ReadReply(reply) || reply.compare(0, 3, "220") != 0 ||
        ::gethostname(hostName, sizeof hostName - 1) != 0 || !Greet(hostName, reply)) {
        Abandon();
        return false;
    }
    m_eightBitMime = ParseSmtpReply(reply).HasExtension("8BITMIME");
    m_pipelining = ParseSmtpReply(reply).HasExtension("PIPELINING");
    if (!withTls || !ParseSmtpReply(reply).HasExtension("STARTTLS"))
        return true;
    // From here on a failure is the upgrade's: the caller tries once more without it.
    tlsFailed = true;
    if (!SendCommandExpect("STARTTLS\r\n", "220") ||
        !m_connection.StartTls({/*verify=*/false, {}}, m_replyTimeout) || !Greet(hostName, reply)) {
        Abandon();
        return false;
    }
    m_eightBitMime = ParseSmtpReply(reply).HasExtension("8BITMIME");
    m_pipelining = ParseSmtpReply(reply).HasExtension("PIPELINING");
    tlsFailed = false;
    return true;
}

// EHLO, or HELO when the server does not know EHLO (RFC 5321 section 4.1.4); reply gets the
// EHLO reply with the extensions, or the HELO reply (which names none).
bool CSmtpConnection::Greet(const std::string& hostName, std::string& reply) {
    const std::string ehlo = "EHLO " + hostName + "\r\n";
    if (ehlo.size() >= kCommandBufferSize)
        return false;
    if (!m_connection.Send(ehlo, m_replyTimeout) || !ReadReply(reply))
        return false;
    if (reply.compare(0, 3, "250") == 0)
        return true;
    const std::string helo = "HELO " + hostName + "\r\n";
    return m_connection.Send(helo, m_replyTimeout) && ReadReply(reply) &&
           reply.compare(0, 3, "250") == 0;
}

bool CSmtpConnection::Send(CMimeMessage& message, std::optional<std::string> recipients,
                           std::optional<std::string> sender) {
    if (!IsOpen())
        return false;
    const std::string from = sender ? *sender : message.SenderAddress();
    const std::string list = recipients ? *recipients : message.EnvelopeRecipients();
    // Neither text may carry a line break into a command.
    if (!mime::IsSafeAddress(from) ||
        list.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return false;

    const std::string mailFrom =
        "MAIL FROM:<" + from + ">" + (m_eightBitMime ? " BODY=8BITMIME" : "") + "\r\n";
    std::vector<std::string> addresses;
    if (mailFrom.size() >= kCommandBufferSize || !SplitRecipients(list, addresses))
        return false;
    if (!(m_pipelining ? OpenPipelinedTransaction(mailFrom, addresses)
                       : OpenTransaction(mailFrom, addresses)))
        return false;
    // A message that could not be written whole must not be ended with "." (the server would
    // deliver the truncated part), and the server is still in its data phase: drop the
    // connection, so the server discards the message and a retry does not talk into it.
    m_connection.Cork();
    if (!message.WriteTo(*this, SmtpForm | (m_eightBitMime ? 0u : unsigned{SevenBit}))) {
        Abandon();
        return false;
    }
    return SendCommandExpect("\r\n.\r\n", "250");
}

bool CSmtpConnection::OpenTransaction(const std::string& mailFrom,
                                      const std::vector<std::string>& addresses) {
    if (!SendCommandExpect(mailFrom, "250"))
        return false;
    for (const std::string& address : addresses) {
        std::string reply;
        if (!WriteAll("RCPT TO:<" + address + ">\r\n") || !ReadReply(reply))
            return false;
        if (!IsAcceptedRecipient(reply)) {
            ResetTransaction();
            return false;
        }
    }
    if (SendCommandExpect("DATA\r\n", "354"))
        return true;
    if (IsOpen())
        ResetTransaction();
    return false;
}

// RFC 2920 section 3.1: DATA ends the group; the server answers every command in order.
bool CSmtpConnection::OpenPipelinedTransaction(const std::string& mailFrom,
                                               const std::vector<std::string>& addresses) {
    std::string batch = mailFrom;
    for (const std::string& address : addresses)
        batch += "RCPT TO:<" + address + ">\r\n";
    batch += "DATA\r\n";
    std::string reply;
    if (!WriteAll(batch) || !ReadReply(reply))
        return false;
    const bool senderTaken = reply.compare(0, 3, "250") == 0;
    bool whole = senderTaken;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (!ReadReply(reply))
            return false;
        whole = whole && IsAcceptedRecipient(reply);
    }
    if (!ReadReply(reply))
        return false;
    const bool inData = reply.compare(0, 3, "354") == 0;
    if (whole && inData)
        return true;
    if (inData)
        Abandon(); // any end of this data would deliver a transaction with a refused part
    else if (senderTaken)
        ResetTransaction();
    return false;
}

bool CSmtpConnection::Close() {
    if (!IsOpen())
        return false;
    m_connection.Close();
    return true;
}

void CSmtpConnection::Abandon() {
    m_connection.Close();
}

bool CSmtpConnection::WriteAll(std::string_view bytes) {
    if (m_connection.Send(bytes, m_replyTimeout))
        return true;
    Abandon();
    return false;
}

// Reads one complete reply (all lines of a multi-line reply), waiting at most the reply
// timeout. A time-out, a closed connection or an error closes the connection.
bool CSmtpConnection::ReadReply(std::string& reply) {
    const ReplyLimits limits{m_replyTimeout, m_replyTimeout, kMaxReplyBytes};
    if (m_connection.ReadReply(replyend::SmtpReply, limits, reply))
        return true;
    Abandon();
    return false;
}

bool CSmtpConnection::SendCommandExpect(std::string_view command, std::string_view code) {
    std::string reply;
    return WriteAll(command) && ReadReply(reply) && reply.compare(0, 3, code) == 0;
}

bool CSmtpConnection::ResetTransaction() {
    if (SendCommandExpect("RSET\r\n", "250"))
        return true;
    Close();
    return false;
}
