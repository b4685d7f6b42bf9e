#pragma once
// One connection to a mail server, the single socket layer of the POP3, IMAP and SMTP
// clients: address resolution (either family; a name may begin with a digit), one connect
// deadline over all addresses, TLS from the first byte or after STARTTLS/STLS (TLS 1.2 at
// least, SNI, chain and host name verified against the system trust store and an optional
// extra CA file), sending, and reading one reply whose end a protocol rule finds.
//
// Every wait is bounded and also ends, within a poll, when the cancel signal given to the
// connection is raised from another thread. A reply has two bounds: the longest gap between
// bytes (the protocol's inactivity limit) and the longest time for the whole reply from the
// moment it is awaited, so a server that drips a byte now and then cannot hold the program.
//
// Failures are kept as one MailError (Error()); the connection stays open after a failed
// reply or send unless the caller closes it.
//
// With the protocol transcript on (ProtocolTrace.h), every line sent and received is written
// there, shaped as the caller says (TraceShape on Send, ReplyLimits::traceAsBody on a read).
// The secrets of a log-in (SetLogInSecrets) are masked in every line of it, the server's too,
// and in the errors a client builds from the server's words (MaskSecrets).

#include "base/FileDescriptor.h"
#include "mail/net/MailError.h"
#include "mail/net/MailSecurity.h"
#include "mail/net/ProtocolTrace.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <utility>
#include <vector>

class CCancelSignal;
class CLoopbackListener;

// Finds the end of the reply at the start of buffered: the index just past it, or npos while
// it is incomplete. The bytes before searchFrom were already searched by an earlier call that
// found no end; a rule may use that to search only the new bytes.
// A rule may keep state for the one reply it is given to (see replyend::ImapResponseScanner).
using ReplyEndRule = std::function<std::size_t(std::string_view buffered, std::size_t searchFrom)>;

namespace replyend {
// One line ending in CR LF (a POP3 status reply, RFC 1939 section 3).
std::size_t Pop3StatusLine(std::string_view buffered, std::size_t searchFrom);
// A multi-line POP3 reply ending in CR LF "." CR LF; a "-ERR" status ends at its own line.
std::size_t Pop3MultiLine(std::string_view buffered, std::size_t searchFrom);
// An SMTP reply: lines "code-text" continue it, the first "code text" line ends it
// (RFC 5321 section 4.2.1).
std::size_t SmtpReply(std::string_view buffered, std::size_t searchFrom);
} // namespace replyend

struct ReplyLimits {
    std::chrono::milliseconds inactivity; // longest gap between two arrivals of bytes
    std::chrono::milliseconds overall;    // longest time for the whole reply
    std::size_t maxBytes;                 // a longer reply fails with ReplyTooLong
    std::size_t capacityHint = 0;         // expected size, so the buffer is sized once
    bool traceAsBody = false;             // a message's data: the transcript shows its first line
};

struct TlsOptions {
    // Off only for opportunistic TLS on a path that sends no password: a certificate that
    // cannot be verified still protects against a passive listener.
    bool verify = true;
    std::string caFile; // an extra authority (PEM) beside the system's; empty: none
};

class CMailConnection {
public:
    CMailConnection();
    ~CMailConnection();
    CMailConnection(const CMailConnection&) = delete;
    CMailConnection& operator=(const CMailConnection&) = delete;

    // The signal every later wait also polls; null for none. It must outlive the connection.
    void SetCancelSignal(const CCancelSignal* cancel) { m_cancel = cancel; }

    // Resolves host and connects to the first of its addresses that answers, all within
    // timeout. Closes an earlier connection first. Each address has kConnectHeadStart to itself
    // before the next one is tried beside it, so a silent first address cannot use up the
    // whole timeout.
    bool Connect(const std::string& host, int port, std::chrono::milliseconds timeout);
    static constexpr std::chrono::milliseconds kConnectHeadStart{250};

    // One address to connect to, as the resolver gives it.
    struct SocketAddress {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };
    // The connecting part of Connect over addresses already known (Connect resolves them, and
    // tests give them directly); Host() stays as the last Connect set it.
    bool ConnectToAddresses(const std::vector<SocketAddress>& addresses,
                            std::chrono::steady_clock::time_point deadline);
    // Connect to host at port over addresses (text, either family) that another resolver
    // found (account discovery asks its own DNS resolver); TLS is then checked against host.
    bool ConnectToAddresses(const std::string& host, int port,
                            const std::vector<std::string>& addresses,
                            std::chrono::steady_clock::time_point deadline);
    // The client side of a TLS handshake on the open connection, checked against the host
    // given to Connect, within timeout. After a failure the connection is unusable: close it.
    bool StartTls(const TlsOptions& options, std::chrono::milliseconds timeout);
    // The server side, for a browser on this machine that comes back to the program: takes the
    // next connection to listener within timeout (closing an earlier connection first). What
    // such a connection carries (an authorization code) never goes to the transcript.
    bool Accept(const CLoopbackListener& listener, std::chrono::milliseconds timeout);
    // Sends every byte; the peer must take them all within timeout. shape says how the
    // transcript shows them.
    bool Send(std::string_view bytes, std::chrono::milliseconds timeout, TraceShape shape = {});
    // The protocol named in the transcript ("smtp", "pop3", "imap").
    void SetTraceProtocol(std::string protocol) { m_traceProtocol = std::move(protocol); }
    // Reads one reply (the rule says where it ends) into reply; bytes after it stay buffered
    // for the next read. On failure reply holds what had arrived of it.
    bool ReadReply(const ReplyEndRule& rule, const ReplyLimits& limits, std::string& reply);
    // How AwaitData ended.
    enum class Arrival { Data, TimedOut, Woken, Failed };
    // Waits, without reading, until bytes from the server are at hand (bytes already received
    // count; so does the end of the stream), timeout has passed, or wake (may be null) is
    // raised. Failed: cancelled or a broken socket (Error() says which). For a client that
    // waits long for news, as an idling IMAP client does.
    Arrival AwaitData(std::chrono::milliseconds timeout, const CCancelSignal* wake);
    // Closes the socket (after a TLS close_notify when TLS is up); no protocol goodbye.
    void Close();

    // While corked, what Send writes leaves in full-sized segments only, so that a part of the
    // dialogue written in many pieces (the data of a mail) does not go out as small segments
    // that each wait for the peer's delayed acknowledgement. Uncork sends the rest at once, and
    // so does the next ReadReply: a corked connection never holds back bytes a reply waits on.
    void Cork();
    void Uncork();

    // What the log-in about to be sent holds (password, token, the base64 response, a digest):
    // masked in the transcript, both ways, until the next Connect or ForgetLogInSecrets (once
    // the log-in stands).
    void SetLogInSecrets(protocoltrace::Secrets secrets) { m_secrets = std::move(secrets); }
    void ForgetLogInSecrets() { m_secrets.clear(); }
    // Masks the log-in's secrets in text: an error made of the server's words.
    void MaskSecrets(std::string& text) const { protocoltrace::MaskSecrets(text, m_secrets); }

    bool IsOpen() const { return static_cast<bool>(m_fd); }
    bool IsTls() const { return m_tls != nullptr; }
    // TLS is up and the server's certificate was verified (not opportunistic TLS).
    bool IsVerifiedTls() const { return m_tls != nullptr && m_tlsVerified; }
    // True when the connected peer is this machine: nothing sent to it crosses a network.
    bool PeerIsLocal() const { return IsOpen() && m_peerIsLocal; }
    // Why a log-in holding secret may not go on this connection now (ClearTextRefusal, for a
    // connection without verified TLS and the protection chosen); None when it may.
    MailErrorCode LogInRefusal(TlsMode chosen, LogInSecret secret) const {
        if (IsVerifiedTls())
            return MailErrorCode::None;
        return ClearTextRefusal(chosen, secret, ServerOnThisMachine(Host(), PeerIsLocal()));
    }
    const std::string& Host() const { return m_host; }
    const MailError& Error() const { return m_error; }

private:
    enum class Wait { Ready, TimedOut, Cancelled, Failed, Woken };
    struct Tls;

    Wait WaitFor(short events, std::chrono::steady_clock::time_point deadline,
                 const CCancelSignal* wake = nullptr) {
        return WaitFor(m_fd.get(), events, deadline, wake);
    }
    // Ready when fd or otherFd (-1: none) is.
    Wait WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline,
                 const CCancelSignal* wake, int otherFd = -1);
    bool Tracing() const { return m_traced && protocoltrace::Enabled(); }
    // One read or write attempt (data is only read when sending): the count, 0 at the end of
    // the stream, -1 when it would block (wantEvents says for what), -2 on an error (m_error
    // set).
    long Transfer(bool receive, char* data, std::size_t length, short& wantEvents);
    bool Fail(MailErrorCode code, int systemError = 0, std::string detail = {});
    bool Connected(); // the connection stands: no error, and the transcript says so
    bool FailWait(Wait wait, MailErrorCode onTimeOut);

    FileDescriptor m_fd;
    std::string m_host;
    std::unique_ptr<Tls> m_tls;
    const CCancelSignal* m_cancel = nullptr;
    std::string m_in; // received bytes not yet taken as a reply
    MailError m_error;
    bool m_corked = false;
    bool m_peerIsLocal = false;
    bool m_tlsVerified = false;
    bool m_traced = true;
    protocoltrace::Secrets m_secrets;
    std::string m_traceProtocol;
    std::string m_peer; // "host:port", as the transcript names the connection
};

// TCP sockets listening on a free port of the loopback (RFC 8252 section 7.3: the loopback
// redirect of a sign-in in the browser); CMailConnection::Accept takes their connections.
// A redirect to "localhost" may reach either loopback address, and browsers try ::1 first: the
// listener then holds the same port on 127.0.0.1 and ::1, so that no other user of the machine
// can take the port's other address and be sent the code.
class CLoopbackListener {
public:
    enum class Addresses {
        Ipv4,         // 127.0.0.1 (a redirect that names it)
        BothLoopback, // 127.0.0.1 and ::1 on one port; 127.0.0.1 alone without IPv6
    };
    // Opens the sockets (closing earlier ones); false with error set when none could listen.
    bool Listen(MailError& error, Addresses addresses = Addresses::Ipv4);
    void Close() {
        m_fd.reset();
        m_fd6.reset();
        m_port = 0;
    }
    bool IsListening() const { return static_cast<bool>(m_fd); }
    int port() const { return m_port; }
    int fd() const { return m_fd.get(); }
    // The ::1 socket; -1 when there is none.
    int fd6() const { return m_fd6.get(); }

private:
    FileDescriptor m_fd;
    FileDescriptor m_fd6;
    int m_port = 0;
};
