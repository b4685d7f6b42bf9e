// The plain SMTP client of RFC 5321: HELO (4.1.1.1), MAIL (4.1.1.2), RCPT (4.1.1.3),
// DATA (4.1.1.4) with the end-of-data sequence, RSET (4.1.1.5).
#include "mail/SmtpConnection.h"

#include "mail/MimeFormat.h"
#include "mail/MimeMessage.h"
#include "mail/SmtpSocketWait.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using smtpwait::Clock;

// A reply longer than this is not an SMTP reply; the connection is given up.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;
constexpr std::size_t kHostNameBufferSize = 256;

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

// Index just past the final line of a complete reply in buffer (a line without '-' after
// its code, RFC 5321 4.2.1), or npos while the reply is incomplete.
std::size_t EndOfReply(const std::string& buffer) {
    std::size_t lineStart = 0;
    for (;;) {
        const std::size_t lf = buffer.find('\n', lineStart);
        if (lf == std::string::npos)
            return std::string::npos;
        if (lf - lineStart < 4 || buffer[lineStart + 3] != '-')
            return lf + 1;
        lineStart = lf + 1;
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
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(m_port).c_str(), &hints, &found) != 0)
        return false;
    AddrInfoList addresses(found);

    for (const addrinfo* a = addresses.get(); a && !IsOpen(); a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            return false;
        if (smtpwait::ConnectWithin(fd, *a, timeoutMs > 0 ? timeoutMs : 0)) {
            m_fd = fd;
        } else {
            ::shutdown(fd, SHUT_RDWR);
            ::close(fd);
        }
    }
    if (!IsOpen())
        return false;
    m_pending.clear();

    std::string greeting;
    char hostName[kHostNameBufferSize] = {};
    if (!ReadReply(greeting) || greeting.compare(0, 3, "220") != 0 ||
        ::gethostname(hostName, sizeof hostName - 1) != 0) {
        Abandon();
        return false;
    }
    const std::string helo = "HELO " + std::string(hostName) + "\r\n";
    if (helo.size() >= kCommandBufferSize || !SendCommandExpect(helo, "250")) {
        Abandon();
        return false;
    }
    return true;
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

    const std::string mailFrom = "MAIL FROM:<" + from + ">\r\n";
    if (mailFrom.size() >= kCommandBufferSize || !SendCommandExpect(mailFrom, "250"))
        return false;
    if (!SendRecipients(list, true) || !SendCommandExpect("DATA\r\n", "354")) {
        if (IsOpen())
            ResetTransaction();
        return false;
    }
    // A message that could not be written whole must not be ended with "." (the server would
    // deliver the truncated part), and the server is still in its data phase: drop the
    // connection, so the server discards the message and a retry does not talk into it.
    if (!message.WriteTo(*this, SmtpForm)) {
        Abandon();
        return false;
    }
    return SendCommandExpect("\r\n.\r\n", "250");
}

bool CSmtpConnection::Close() {
    if (!IsOpen())
        return false;
    bool ok = ::shutdown(m_fd, SHUT_RDWR) == 0 || errno == ENOTCONN;
    ok = (::close(m_fd) == 0) && ok;
    m_fd = -1;
    m_pending.clear();
    return ok;
}

void CSmtpConnection::Abandon() {
    if (IsOpen()) {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
    }
    m_fd = -1;
    m_pending.clear();
}

bool CSmtpConnection::WriteAll(std::string_view bytes) {
    const auto deadline = Clock::now() + m_replyTimeout;
    while (!bytes.empty()) {
        if (!IsOpen())
            return false;
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (smtpwait::WaitFor(m_fd, POLLOUT, deadline))
                continue;
        }
        Abandon();
        return false;
    }
    return true;
}

// Reads one complete reply (all lines of a multi-line reply), waiting at most the reply
// timeout. A time-out, a closed connection or an error closes the connection.
bool CSmtpConnection::ReadReply(std::string& reply) {
    const auto deadline = Clock::now() + m_replyTimeout;
    for (;;) {
        if (const std::size_t end = EndOfReply(m_pending); end != std::string::npos) {
            reply = m_pending.substr(0, end);
            m_pending.erase(0, end);
            return true;
        }
        if (!IsOpen() || m_pending.size() > kMaxReplyBytes)
            break;
        if (!smtpwait::WaitFor(m_fd, POLLIN, deadline))
            break;
        char chunk[1000];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        m_pending.append(chunk, static_cast<std::size_t>(n));
    }
    Abandon();
    return false;
}

bool CSmtpConnection::SendCommandExpect(std::string_view command, std::string_view code) {
    std::string reply;
    return WriteAll(command) && ReadReply(reply) && reply.compare(0, 3, code) == 0;
}

bool CSmtpConnection::SendRecipients(const std::string& list, bool checkReplies) {
    std::string address;
    for (std::size_t i = 0;; ++i) {
        const bool atEnd = i >= list.size();
        const char c = atEnd ? '\0' : list[i];
        if (!atEnd && c != ' ' && c != ',' && c != ';') {
            address += c;
            continue;
        }
        if (address.size() > kMaxRecipientLength)
            return false;
        if (!WriteAll("RCPT TO:<" + address + ">\r\n"))
            return false;
        if (checkReplies) {
            std::string reply;
            if (!ReadReply(reply))
                return false;
            const long code = std::strtol(reply.c_str(), nullptr, 10);
            if (code != 250 && code != 251)
                return false;
        }
        if (atEnd)
            return true;
        address.clear();
        while (i + 1 < list.size() && (list[i + 1] == ' ' || list[i + 1] == '\t'))
            ++i;
    }
}

bool CSmtpConnection::ResetTransaction() {
    if (SendCommandExpect("RSET\r\n", "250"))
        return true;
    Close();
    return false;
}
