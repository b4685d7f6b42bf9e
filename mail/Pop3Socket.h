#pragma once
// The TCP connection of the POP3 client: a thin owner of one socket descriptor with a bounded
// connect, bounded sends and readiness polling. Errors are kept as numbers: errno values of the
// system calls, or the three Windows Sockets numbers below where the client needs a fixed one.

#include <cstddef>
#include <string>
#include <sys/types.h>

// Error numbers the POP3 client reports through CPop3Client::LastError() besides errno values.
// They keep the values of the Windows Sockets errors of the same names so that logs and
// callers see the numbers earlier versions of the program reported.
inline constexpr int WSAEINVAL = 10022;          // host not resolvable, invalid argument
inline constexpr int WSAETIMEDOUT = 10060;       // no reply data in time, connect time-out
inline constexpr int WSAEPROTONOSUPPORT = 10043; // a reply that does not begin with "+OK"

class CPop3Socket {
public:
    // Longest wait for a connection to stand, over all addresses of the host.
    static constexpr int kConnectTimeoutMs = 10000;
    // Longest wait for the system to take more bytes of a command.
    static constexpr int kSendTimeoutMs = 10000;

    CPop3Socket() = default;
    ~CPop3Socket() { CloseSocket(); }
    CPop3Socket(const CPop3Socket&) = delete;
    CPop3Socket& operator=(const CPop3Socket&) = delete;

    // Prepares the holder for a new connection, closing any earlier one. The descriptor itself
    // is opened by ConnectTo for the address family of each address it tries.
    bool Create();
    // Resolves host (numeric address of either family, or a name, through getaddrinfo) and
    // connects to the first address that answers, waiting at most kConnectTimeoutMs in all.
    // An unresolvable host or a port outside 1..65535 fails with WSAEINVAL, the time limit
    // with WSAETIMEDOUT, anything else with the errno of the failing call.
    bool ConnectTo(const std::string& host, int port);
    // Sends all length bytes; false on an error or when the peer takes nothing for
    // kSendTimeoutMs.
    bool SendBytes(const char* data, size_t length);
    // Receives at most capacity bytes into buffer: the count, 0 when the peer has closed, -1
    // on an error (EAGAIN in LastError() when nothing was waiting after all).
    ssize_t ReceiveBytes(char* buffer, size_t capacity);
    // Waits up to waitMs (0: no wait) until data, an end of stream or an error is waiting;
    // readable tells which. False when the poll itself fails.
    bool HasData(bool& readable, int waitMs = 0);
    void CloseSocket();

    bool IsOpen() const { return m_handle >= 0; }
    int handle() const { return m_handle; }
    // The error of the last failing operation (errno value or one of the numbers above).
    int LastError() const { return m_lastError; }

private:
    int m_handle = -1;
    int m_lastError = 0;
};
