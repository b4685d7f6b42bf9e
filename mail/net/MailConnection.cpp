#include "mail/net/MailConnection.h"

#include "base/FileDescriptor.h"
#include "mail/net/AddressResolver.h"
#include "mail/net/CancelSignal.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// True when the socket's peer is this machine (127.0.0.0/8, ::1, or IPv4 mapped into IPv6).
bool PeerIsLoopback(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address.ss_family == AF_INET6) {
        const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
    }
    return false;
}

using Clock = std::chrono::steady_clock;

// Bytes asked of the system per read; replies are read straight into the reply buffer.
constexpr std::size_t kReadChunk = 64 * 1024;
// Of a reply that failed for being too long, this much is kept for the error text.
constexpr std::size_t kOversizeReplyKept = 1000;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

bool IsLiteralAddress(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

struct SslCtxDeleter {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslDeleter {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// The library's reason for the last failure, for the log line.
std::string TlsLibraryReason() {
    const unsigned long code = ERR_get_error();
    if (code == 0)
        return {};
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

MailErrorCode CertificateCause(long verifyResult) {
    switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return MailErrorCode::CertificateExpired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return MailErrorCode::CertificateNameMismatch;
    default:
        return MailErrorCode::CertificateUntrusted;
    }
}

// The numeric address of the connected socket's peer, for the transcript.
std::string PeerAddress(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "?";
    char text[INET6_ADDRSTRLEN] = "?";
    const void* raw = address.ss_family == AF_INET6
                          ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6&>(address).sin6_addr)
                          : static_cast<const void*>(&reinterpret_cast<sockaddr_in&>(address).sin_addr);
    ::inet_ntop(address.ss_family, raw, text, sizeof text);
    return text;
}

// The socket under TLS. OpenSSL's own socket BIO writes with write(2), which raises SIGPIPE when
// the peer has gone, and SIGPIPE ends the process. This one writes with send(MSG_NOSIGNAL), as
// the plain connection does: a peer that closes mid-picture becomes an EPIPE the caller logs.
// Ignoring SIGPIPE process-wide would do the same, but would change every other pipe of the
// process (standard output to a closed reader, child processes) behind their backs.
int SocketOf(BIO* bio) {
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

int QuietSocketWrite(BIO* bio, const char* data, size_t length, size_t* written) {
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do {
        n = ::send(SocketOf(bio), data, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_write(bio);
        *written = 0;
        return 0;
    }
    *written = static_cast<size_t>(n);
    return 1;
}

int QuietSocketRead(BIO* bio, char* data, size_t length, size_t* read) {
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do {
        n = ::recv(SocketOf(bio), data, length, 0);
    } while (n < 0 && errno == EINTR);
    *read = n > 0 ? static_cast<size_t>(n) : 0;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_read(bio);
    return n > 0 ? 1 : 0;
}

long QuietSocketControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0; // nothing is buffered here
}

const BIO_METHOD* QuietSocketMethod() {
    static const std::unique_ptr<BIO_METHOD, void (*)(BIO_METHOD*)> method = [] {
        BIO_METHOD* m = BIO_meth_new(
            BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "socket, no SIGPIPE");
        if (m) {
            BIO_meth_set_write_ex(m, QuietSocketWrite);
            BIO_meth_set_read_ex(m, QuietSocketRead);
            BIO_meth_set_ctrl(m, QuietSocketControl);
        }
        return std::unique_ptr<BIO_METHOD, void (*)(BIO_METHOD*)>(m, BIO_meth_free);
    }();
    return method.get();
}

// A BIO over fd (which stays the caller's to close); null on failure.
BIO* QuietSocketBio(int fd) {
    const BIO_METHOD* method = QuietSocketMethod();
    BIO* bio = method ? BIO_new(method) : nullptr;
    if (bio) {
        BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
        BIO_set_init(bio, 1);
    }
    return bio;
}

} // namespace

struct CMailConnection::Tls {
    std::unique_ptr<SSL_CTX, SslCtxDeleter> context;
    std::unique_ptr<SSL, SslDeleter> session;
};

namespace replyend {

std::size_t Pop3StatusLine(std::string_view buffered, std::size_t searchFrom) {
    const std::size_t at = buffered.find("\r\n", searchFrom > 0 ? searchFrom - 1 : 0);
    return at == std::string_view::npos ? at : at + 2;
}

std::size_t Pop3MultiLine(std::string_view buffered, std::size_t searchFrom) {
    // A negative status has no listing after it (RFC 1939 section 3).
    if (!buffered.empty() && buffered[0] == '-')
        return Pop3StatusLine(buffered, searchFrom);
    constexpr std::string_view kEnd = "\r\n.\r\n";
    const std::size_t from = searchFrom >= kEnd.size() ? searchFrom - (kEnd.size() - 1) : 0;
    const std::size_t at = buffered.find(kEnd, from);
    return at == std::string_view::npos ? at : at + kEnd.size();
}

std::size_t SmtpReply(std::string_view buffered, std::size_t) {
    // Replies are short: the whole buffer is searched, line by line.
    std::size_t lineStart = 0;
    for (;;) {
        const std::size_t lf = buffered.find('\n', lineStart);
        if (lf == std::string_view::npos)
            return std::string_view::npos;
        if (lf - lineStart < 4 || buffered[lineStart + 3] != '-')
            return lf + 1;
        lineStart = lf + 1;
    }
}

} // namespace replyend

CMailConnection::CMailConnection() = default;

CMailConnection::~CMailConnection() {
    Close();
}

bool CMailConnection::Fail(MailErrorCode code, int systemError, std::string detail) {
    m_error = {code, systemError, std::move(detail)};
    return false;
}

bool CMailConnection::FailWait(Wait wait, MailErrorCode onTimeOut) {
    switch (wait) {
    case Wait::Cancelled:
        return Fail(MailErrorCode::Cancelled);
    case Wait::TimedOut:
        return Fail(onTimeOut, ETIMEDOUT);
    default:
        return Fail(MailErrorCode::ReceiveFailed, errno);
    }
}

void CMailConnection::Close() {
    if (m_tls && m_fd) {
        // One close_notify without waiting for the peer's; the socket goes right after.
        ERR_clear_error();
        SSL_shutdown(m_tls->session.get());
    }
    m_tls.reset();
    if (m_fd)
        ::shutdown(m_fd.get(), SHUT_RDWR);
    m_fd.reset();
    m_in.clear();
    m_corked = false;
}

void CMailConnection::Cork() {
    const int on = 1;
    if (m_fd && !m_corked)
        m_corked = ::setsockopt(m_fd.get(), IPPROTO_TCP, TCP_CORK, &on, sizeof on) == 0;
}

void CMailConnection::Uncork() {
    if (!m_fd || !m_corked)
        return;
    m_corked = false;
    // Without Nagle's rule the held tail leaves now, even while an earlier small segment is
    // still unacknowledged; every later Send is a whole part of the dialogue anyway.
    const int on = 1, off = 0;
    ::setsockopt(m_fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(m_fd.get(), IPPROTO_TCP, TCP_CORK, &off, sizeof off);
}

CMailConnection::Wait CMailConnection::WaitFor(int fd, short events, Clock::time_point deadline,
                                               const CCancelSignal* wake, int otherFd) {
    for (;;) {
        pollfd fds[4] = {{fd, events, 0},
                         {m_cancel ? m_cancel->fd() : -1, POLLIN, 0},
                         {wake ? wake->fd() : -1, POLLIN, 0},
                         {otherFd, events, 0}};
        const int ready = ::poll(fds, 4, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (m_cancel && m_cancel->IsCancelled())
            return Wait::Cancelled;
        if (wake && wake->IsCancelled())
            return Wait::Woken;
        if (ready < 0)
            return Wait::Failed;
        if (ready == 0)
            return Wait::TimedOut;
        if ((fds[0].revents | fds[3].revents) & POLLNVAL) {
            errno = EBADF;
            return Wait::Failed;
        }
        if (fds[0].revents || fds[3].revents)
            return Wait::Ready;
    }
}

bool CMailConnection::Connect(const std::string& host, int port,
                              std::chrono::milliseconds timeout) {
    Close();
    m_error = {};
    m_traced = true;
    m_secrets.clear();
    m_host = host;
    m_peer = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
             std::to_string(port);
    if (host.empty() || port < 1 || port > 65535)
        return Fail(MailErrorCode::InvalidArgument, EINVAL, host);
    const auto deadline = Clock::now() + timeout;
    AddrInfoList addresses = ResolveAddresses(host, port, deadline, m_cancel, m_error);
    if (!addresses)
        return false;

    std::vector<SocketAddress> list;
    for (const addrinfo* a = addresses.get(); a; a = a->ai_next) {
        SocketAddress address;
        std::memcpy(&address.storage, a->ai_addr,
                    std::min<std::size_t>(a->ai_addrlen, sizeof address.storage));
        address.length = a->ai_addrlen;
        list.push_back(address);
    }
    return ConnectToAddresses(list, deadline);
}

bool CMailConnection::ConnectToAddresses(const std::string& host, int port,
                                         const std::vector<std::string>& addresses,
                                         Clock::time_point deadline) {
    Close();
    m_error = {};
    m_traced = true;
    m_host = host;
    m_peer = host + ":" + std::to_string(port);
    if (host.empty() || port < 1 || port > 65535)
        return Fail(MailErrorCode::InvalidArgument, EINVAL, host);
    std::vector<SocketAddress> list;
    for (const std::string& text : addresses) {
        SocketAddress address;
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
        if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
            v4->sin_family = AF_INET;
            v4->sin_port = htons(static_cast<uint16_t>(port));
            address.length = sizeof *v4;
        } else if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(static_cast<uint16_t>(port));
            address.length = sizeof *v6;
        } else {
            continue;
        }
        list.push_back(address);
    }
    if (list.empty())
        return Fail(MailErrorCode::NameNotFound, 0, host);
    return ConnectToAddresses(list, deadline);
}

bool CMailConnection::ConnectToAddresses(const std::vector<SocketAddress>& addresses,
                                         Clock::time_point deadline) {
    Close();
    // RFC 8305 section 5: the next address gets its try after a head start of the one before,
    // or at once when that one failed; the first to connect wins and the others are dropped.
    // So an address that swallows packets (often the IPv6 one of a home router) costs
    // kConnectHeadStart, not the whole deadline.
    struct Attempt {
        FileDescriptor fd;
    };
    std::vector<Attempt> attempts;
    Fail(MailErrorCode::Unreachable, 0, m_host);
    auto failedWith = [this](int error) {
        Fail(error == ECONNREFUSED ? MailErrorCode::Refused : MailErrorCode::Unreachable, error,
             m_host);
    };
    auto won = [this](FileDescriptor& fd) {
        m_fd = std::move(fd);
        return Connected();
    };
    std::size_t next = 0;
    auto nextStart = Clock::now();
    for (;;) {
        if (next < addresses.size() && (attempts.empty() || Clock::now() >= nextStart)) {
            const SocketAddress& address = addresses[next++];
            const sockaddr* raw = reinterpret_cast<const sockaddr*>(&address.storage);
            FileDescriptor fd(
                ::socket(raw->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            if (!fd) {
                failedWith(errno);
                continue;
            }
            if (::connect(fd.get(), raw, address.length) == 0)
                return won(fd);
            if (errno != EINPROGRESS) {
                failedWith(errno);
                continue;
            }
            attempts.push_back({std::move(fd)});
            nextStart = Clock::now() + kConnectHeadStart;
        }
        if (attempts.empty())
            return false; // every address failed at once; m_error has the last cause

        std::vector<pollfd> fds;
        fds.push_back({m_cancel ? m_cancel->fd() : -1, POLLIN, 0});
        for (const Attempt& attempt : attempts)
            fds.push_back({attempt.fd.get(), POLLOUT, 0});
        const auto until = next < addresses.size() ? std::min(deadline, nextStart) : deadline;
        const int ready = ::poll(fds.data(), fds.size(), MillisecondsLeft(until));
        if (ready < 0 && errno != EINTR)
            return Fail(MailErrorCode::Unreachable, errno, m_host);
        if (m_cancel && m_cancel->IsCancelled())
            return Fail(MailErrorCode::Cancelled);
        for (std::size_t k = attempts.size(); k-- > 0;) {
            if (ready <= 0 || fds[k + 1].revents == 0)
                continue;
            int soError = 0;
            socklen_t length = sizeof soError;
            if (::getsockopt(attempts[k].fd.get(), SOL_SOCKET, SO_ERROR, &soError, &length) != 0)
                soError = errno;
            if (soError == 0)
                return won(attempts[k].fd);
            failedWith(soError);
            attempts.erase(attempts.begin() + static_cast<std::ptrdiff_t>(k));
            nextStart = Clock::now(); // a failed address hands its turn on at once
        }
        if (Clock::now() >= deadline && !attempts.empty())
            return Fail(MailErrorCode::ConnectTimeout, ETIMEDOUT, m_host);
    }
}

bool CMailConnection::Accept(const CLoopbackListener& listener,
                             std::chrono::milliseconds timeout) {
    Close();
    m_error = {};
    m_host = "127.0.0.1";
    m_peer = "127.0.0.1:" + std::to_string(listener.port());
    m_traced = false;
    if (!listener.IsListening())
        return Fail(MailErrorCode::Closed);
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const Wait wait = WaitFor(listener.fd(), POLLIN, deadline, nullptr, listener.fd6());
        if (wait != Wait::Ready)
            return FailWait(wait, MailErrorCode::NoAnswer);
        for (const int listening : {listener.fd(), listener.fd6()}) {
            if (listening < 0)
                continue;
            FileDescriptor fd(::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
            if (fd) {
                m_fd = std::move(fd);
                return Connected();
            }
            // Nothing on this one, a client that gave up before it was taken, or a moment
            // without descriptors.
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED && errno != EINTR)
                return Fail(MailErrorCode::ReceiveFailed, errno);
        }
    }
}

bool CMailConnection::Connected() {
    m_error = {};
    m_peerIsLocal = PeerIsLoopback(m_fd.get());
    if (Tracing())
        protocoltrace::Note(m_traceProtocol, m_peer, "connected to " + PeerAddress(m_fd.get()));
    return true;
}

bool CMailConnection::StartTls(const TlsOptions& options, std::chrono::milliseconds timeout) {
    if (!IsOpen())
        return Fail(MailErrorCode::Closed);
    // Bytes that came in clear after the reply that began the upgrade were never protected:
    // someone on the path may have put them there, to be read as the server's words in TLS.
    m_in.clear();
    ERR_clear_error();
    auto tls = std::make_unique<Tls>();
    tls->context.reset(SSL_CTX_new(TLS_client_method()));
    if (!tls->context)
        return Fail(MailErrorCode::TlsFailed, 0, TlsLibraryReason());
    SSL_CTX* context = tls->context.get();
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // Servers often close without a close_notify; that is an end of stream, not an attack on
    // a length-delimited protocol such as these.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (options.verify) {
        SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(context);
        if (!options.caFile.empty() &&
            SSL_CTX_load_verify_locations(context, options.caFile.c_str(), nullptr) != 1)
            return Fail(MailErrorCode::TlsFailed, 0,
                        "CA file " + options.caFile + ": " + TlsLibraryReason());
    } else {
        SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    }

    tls->session.reset(SSL_new(context));
    SSL* ssl = tls->session.get();
    BIO* socket = ssl ? QuietSocketBio(m_fd.get()) : nullptr;
    if (!socket)
        return Fail(MailErrorCode::TlsFailed, 0, TlsLibraryReason());
    SSL_set_bio(ssl, socket, socket); // the session owns the BIO from here
    SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (IsLiteralAddress(m_host)) {
        if (options.verify)
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), m_host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, m_host.c_str()); // SNI, RFC 6066 section 3
        if (options.verify)
            SSL_set1_host(ssl, m_host.c_str());
    }

    const auto deadline = Clock::now() + timeout;
    for (;;) {
        ERR_clear_error();
        const int rc = SSL_connect(ssl);
        if (rc == 1)
            break;
        const int reason = SSL_get_error(ssl, rc);
        short events = 0;
        if (reason == SSL_ERROR_WANT_READ)
            events = POLLIN;
        else if (reason == SSL_ERROR_WANT_WRITE)
            events = POLLOUT;
        if (events == 0) {
            const long verified = SSL_get_verify_result(ssl);
            if (options.verify && verified != X509_V_OK)
                return Fail(CertificateCause(verified), 0, X509_verify_cert_error_string(verified));
            std::string detail = TlsLibraryReason();
            return Fail(MailErrorCode::TlsFailed, errno,
                        detail.empty() ? "connection closed during the handshake" : detail);
        }
        const Wait wait = WaitFor(events, deadline);
        if (wait != Wait::Ready)
            return FailWait(wait, MailErrorCode::NoAnswer);
    }
    m_tls = std::move(tls);
    m_tlsVerified = options.verify;
    if (Tracing())
        protocoltrace::Note(m_traceProtocol, m_peer,
                            std::string("TLS up: ") + SSL_get_version(ssl) + " " +
                                SSL_get_cipher_name(ssl) +
                                (options.verify ? ", certificate verified" : ", not verified"));
    return true;
}

long CMailConnection::Transfer(bool receive, char* data, std::size_t length, short& wantEvents) {
    const MailErrorCode failure =
        receive ? MailErrorCode::ReceiveFailed : MailErrorCode::SendFailed;
    if (!m_tls) {
        for (;;) {
            const ssize_t n = receive ? ::recv(m_fd.get(), data, length, 0)
                                      : ::send(m_fd.get(), data, length, MSG_NOSIGNAL);
            if (n >= 0)
                return static_cast<long>(n);
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                wantEvents = receive ? POLLIN : POLLOUT;
                return -1;
            }
            Fail(failure, errno);
            return -2;
        }
    }
    ERR_clear_error();
    std::size_t n = 0;
    SSL* ssl = m_tls->session.get();
    const int rc =
        receive ? SSL_read_ex(ssl, data, length, &n) : SSL_write_ex(ssl, data, length, &n);
    if (rc == 1)
        return static_cast<long>(n);
    // TLS may need to read while writing and the other way round (renegotiation, key update).
    switch (SSL_get_error(ssl, rc)) {
    case SSL_ERROR_WANT_READ:
        wantEvents = POLLIN;
        return -1;
    case SSL_ERROR_WANT_WRITE:
        wantEvents = POLLOUT;
        return -1;
    case SSL_ERROR_ZERO_RETURN:
        if (receive)
            return 0;
        [[fallthrough]];
    default:
        Fail(receive ? MailErrorCode::TlsFailed : failure, errno ? errno : EPIPE,
             TlsLibraryReason());
        return -2;
    }
}

bool CMailConnection::Send(std::string_view bytes, std::chrono::milliseconds timeout,
                           TraceShape shape) {
    if (!IsOpen())
        return Fail(MailErrorCode::SendFailed, EBADF);
    if (Tracing())
        protocoltrace::Write(m_traceProtocol, m_peer, "C:", bytes, shape, m_secrets);
    const auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        short events = 0;
        const long n = Transfer(false, const_cast<char*>(bytes.data()), bytes.size(), events);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0)
            return Fail(MailErrorCode::SendFailed, EPIPE);
        if (n == -2)
            return false;
        const Wait wait = WaitFor(events, deadline);
        if (wait == Wait::TimedOut)
            return Fail(MailErrorCode::SendFailed, ETIMEDOUT);
        if (wait != Wait::Ready)
            return FailWait(wait, MailErrorCode::SendFailed);
    }
    return true;
}

CMailConnection::Arrival CMailConnection::AwaitData(std::chrono::milliseconds timeout,
                                                    const CCancelSignal* wake) {
    if (!m_in.empty() || (m_tls && SSL_has_pending(m_tls->session.get())))
        return Arrival::Data;
    if (!IsOpen()) {
        Fail(MailErrorCode::Closed);
        return Arrival::Failed;
    }
    Uncork();
    switch (WaitFor(POLLIN, Clock::now() + timeout, wake)) {
    case Wait::Ready:
        return Arrival::Data;
    case Wait::TimedOut:
        return Arrival::TimedOut;
    case Wait::Woken:
        return Arrival::Woken;
    case Wait::Cancelled:
        Fail(MailErrorCode::Cancelled);
        return Arrival::Failed;
    default:
        Fail(MailErrorCode::ReceiveFailed, errno);
        return Arrival::Failed;
    }
}

bool CMailConnection::ReadReply(const ReplyEndRule& rule, const ReplyLimits& limits,
                                std::string& reply) {
    Uncork(); // the bytes the reply answers must be out
    const auto started = Clock::now();
    const auto overallDeadline = started + limits.overall;
    const TraceShape traceShape =
        limits.traceAsBody ? TraceShape::MessageBody() : TraceShape();
    auto lastArrival = started;
    if (limits.capacityHint > m_in.capacity())
        m_in.reserve(std::min(limits.capacityHint, limits.maxBytes) + 1);

    auto failWith = [&](bool result) {
        reply.assign(m_in, 0,
                     m_error.code == MailErrorCode::ReplyTooLong
                         ? std::min(m_in.size(), kOversizeReplyKept)
                         : m_in.size());
        m_in.clear();
        if (Tracing()) {
            protocoltrace::Write(m_traceProtocol, m_peer, "S:", reply, traceShape, m_secrets);
            protocoltrace::Note(m_traceProtocol, m_peer, "reply ended: " + DescribeMailError(m_error));
        }
        return result;
    };

    std::size_t searchFrom = 0;
    for (;;) {
        const std::size_t end = rule(m_in, searchFrom);
        // The bound holds however the bytes were cut into reads.
        if (end != std::string_view::npos && end > limits.maxBytes)
            return failWith(Fail(MailErrorCode::ReplyTooLong, EMSGSIZE));
        if (end != std::string_view::npos) {
            if (end == m_in.size()) {
                reply = std::move(m_in);
                m_in = std::string();
            } else {
                reply.assign(m_in, 0, end);
                m_in.erase(0, end);
            }
            if (Tracing())
                protocoltrace::Write(m_traceProtocol, m_peer, "S:", reply, traceShape, m_secrets);
            return true;
        }
        if (m_in.size() > limits.maxBytes)
            return failWith(Fail(MailErrorCode::ReplyTooLong, EMSGSIZE));
        // Checked after every read too: a server that keeps the pipe full never lets a read
        // block, and must not hold the program up to the byte cap.
        if (Clock::now() >= overallDeadline)
            return failWith(FailWait(Wait::TimedOut, MailErrorCode::NoAnswer));
        if (!IsOpen())
            return failWith(Fail(MailErrorCode::Closed));
        searchFrom = m_in.size();

        const std::size_t had = m_in.size();
        m_in.resize(had + kReadChunk); // within a presized buffer: no reallocation
        short events = 0;
        const long n = Transfer(true, m_in.data() + had, m_in.size() - had, events);
        m_in.resize(had + static_cast<std::size_t>(std::max(n, 0L)));
        if (n > 0) {
            lastArrival = Clock::now();
            continue;
        }
        if (n == 0)
            return failWith(Fail(MailErrorCode::Closed));
        if (n == -2)
            return failWith(false);
        const Wait wait =
            WaitFor(events, std::min(lastArrival + limits.inactivity, overallDeadline));
        if (wait != Wait::Ready)
            return failWith(FailWait(wait, MailErrorCode::NoAnswer));
    }
}

namespace {

// A listening socket on address (its port 0: a free one), or invalid with errno set.
FileDescriptor ListeningSocket(const sockaddr* address, socklen_t length) {
    FileDescriptor fd(::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    if (fd &&
        (address->sa_family != AF_INET6 ||
         ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == 0) &&
        ::bind(fd.get(), address, length) == 0 && ::listen(fd.get(), 8) == 0)
        return fd;
    const int error = errno;
    fd.reset();
    errno = error;
    return {};
}

} // namespace

bool CLoopbackListener::Listen(MailError& error, Addresses addresses) {
    Close();
    // Another user may hold ::1 on the port just found free on 127.0.0.1: another port then.
    constexpr int kPortAttempts = 32;
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof v4;
        FileDescriptor fd = ListeningSocket(reinterpret_cast<sockaddr*>(&v4), length);
        if (!fd || ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&v4), &length) != 0) {
            error = {MailErrorCode::Unreachable, errno, "127.0.0.1"};
            return false;
        }
        if (addresses == Addresses::BothLoopback) {
            sockaddr_in6 v6{};
            v6.sin6_family = AF_INET6;
            v6.sin6_addr = in6addr_loopback;
            v6.sin6_port = v4.sin_port;
            FileDescriptor fd6 = ListeningSocket(reinterpret_cast<sockaddr*>(&v6), sizeof v6);
            if (!fd6 && errno == EADDRINUSE)
                continue;
            // Without IPv6 (no such family, or no ::1) the name has no other address to take.
            if (!fd6 && errno != EAFNOSUPPORT && errno != EADDRNOTAVAIL) {
                error = {MailErrorCode::Unreachable, errno, "::1"};
                return false;
            }
            m_fd6 = std::move(fd6);
        }
        m_port = ntohs(v4.sin_port);
        m_fd = std::move(fd);
        return true;
    }
    error = {MailErrorCode::Unreachable, EADDRINUSE, "::1"};
    return false;
}
