#pragma once
// CSmtpConnection delivers a CMimeMessage with the plain HELO dialogue (RFC 5321): no
// extensions, no authentication, no encryption, port 25.
//
// Every wait is bounded: the connect by the caller's timeout per address, each reply and each
// write by the reply timeout (kReplyTimeout unless a test sets another). A connection whose
// reply timed out or whose message could not be written completely is closed, so a retried
// Send fails at once instead of talking into a half-sent message.

#include "mail/MimeStream.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class CMimeMessage;

class CSmtpConnection final : public CMimeStream {
public:
    static constexpr uint16_t kSmtpPort = 25;
    static constexpr std::chrono::milliseconds kReplyTimeout{30000};
    static constexpr std::size_t kCommandBufferSize = 1001;
    static constexpr std::size_t kMaxRecipientLength = 988;

    // The program always uses port 25; only tests pass another port.
    explicit CSmtpConnection(uint16_t port = kSmtpPort);
    ~CSmtpConnection() override;
    CSmtpConnection(const CSmtpConnection&) = delete;
    CSmtpConnection& operator=(const CSmtpConnection&) = delete;

    // Connects to host (any address family, each address tried for at most timeoutMs), reads
    // the 220 greeting and sends HELO with the local host name.
    bool Open(const std::string& host, int timeoutMs);
    bool IsOpen() const { return m_fd >= 0; }
    // MAIL FROM, RCPT TO for every recipient, DATA, the message, end of data. recipients is a
    // list separated by blanks, ',' or ';'; without it the message's EnvelopeRecipients, without
    // sender its SenderAddress. A refused recipient or DATA sends RSET.
    bool Send(CMimeMessage& message, std::optional<std::string> recipients = std::nullopt,
              std::optional<std::string> sender = std::nullopt);
    // Shuts the socket down and closes it; no QUIT is sent.
    bool Close();

    void SetReplyTimeout(std::chrono::milliseconds timeout) { m_replyTimeout = timeout; }

    bool WriteAll(std::string_view bytes) override;

private:
    bool ReadReply(std::string& reply);
    bool SendCommandExpect(std::string_view command, std::string_view code);
    bool SendRecipients(const std::string& list, bool checkReplies);
    bool ResetTransaction();
    void Abandon();

    uint16_t m_port;
    int m_fd = -1;
    std::chrono::milliseconds m_replyTimeout = kReplyTimeout;
    std::string m_pending; // bytes received after the last complete reply
};
