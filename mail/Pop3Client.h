#pragma once
// POP3 client (RFC 1939): USER/PASS log-in, STAT, LIST, UIDL, RETR, TOP, DELE, NOOP, RSET,
// QUIT. Synchronous and blocking: every operation returns when the server's reply is complete,
// has failed, or has timed out (replyTimeoutMs without new bytes).
//
// Every operation returns true on success. On failure LastError() holds the reason (an errno
// value, or WSAEINVAL, WSAETIMEDOUT or WSAEPROTONOSUPPORT from Pop3Socket.h) and, for a
// failed or timed-out reply, LastServerReply() the text received. Failures never close the
// connection except inside LogIn; call LogOut.

#include "mail/Pop3Message.h"
#include "mail/Pop3Socket.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CPop3Client {
public:
    // A command line holds at most this many bytes of user name or password.
    static constexpr size_t kMaxCredentialLength = 120;

    CPop3Client() = default;
    virtual ~CPop3Client(); // LogOut when connected, then close
    CPop3Client(const CPop3Client&) = delete;
    CPop3Client& operator=(const CPop3Client&) = delete;

    // Connects, reads the greeting, sends USER and PASS. A user name or password longer than
    // kMaxCredentialLength bytes or holding CR, LF or NUL fails with WSAEINVAL before anything
    // is connected or sent. A failure after the connection stands has already sent QUIT and
    // closed the socket.
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
    // The text of the last reply that failed; not updated by successful replies.
    std::string LastServerReply() const { return m_lastServerReply; }
    // The reason of the last failure (see above); 0 before any failure.
    int LastError() const { return m_lastError; }

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
    virtual bool AwaitStatusLine();
    virtual bool ParseSizeListing();
    virtual bool ParseIdListing();
    virtual bool TakeMessageText(uint32_t announcedSize, CPop3Message& message);
    // Reads one reply until terminator, starting with room for initialCapacity bytes and
    // growing by at least growBy. On success text holds the reply without its terminator and
    // begins with "+OK" (any case). A reply beyond 1 GiB fails with EMSGSIZE.
    virtual bool AwaitReply(std::string& text, size_t initialCapacity, std::string_view terminator,
                            size_t growBy);

    bool SendCommand(std::string_view line);
    bool SendNumbered(const char* verb, int n, const char* tail = "");
    bool FetchText(const char* verb, const char* tail, int n, CPop3Message& message);
    void Fail(int error) { m_lastError = error; }

private:
    // STAT once per session before the first listing.
    bool EnsureStatus();

    CPop3Socket m_socket;
    int m_messageCount = 0;
    bool m_sizesFetched = false;
    bool m_statusFetched = false;
    bool m_idsFetched = false;
    std::vector<uint32_t> m_messageSizes;
    std::vector<std::string> m_messageIds;
    bool m_connected = false;
    std::string m_lastServerReply;
    uint32_t m_replyTimeoutMs = 2000;
    int m_lastError = 0;
};
