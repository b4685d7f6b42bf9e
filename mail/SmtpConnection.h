#pragma once
// CSmtpConnection delivers a CMimeMessage with the plain dialogue of RFC 5321 on port 25: no
// authentication. It greets with EHLO (HELO when EHLO is refused) and takes STARTTLS when the
// server offers it, going on in clear when it does not or when the upgrade fails: opportunistic
// TLS as mail servers use among themselves (RFC 7435). This path sends no password, so a
// certificate it cannot verify does not stop it; TLS still keeps a passive listener out.
//
// Where the server offers 8BITMIME (RFC 6152) the message goes with BODY=8BITMIME and its text
// in 8 bits; elsewhere every byte of it is 7-bit (the text part as ISO-2022-JP or base64).
//
// Where the server offers PIPELINING (RFC 2920) MAIL FROM, every RCPT TO and DATA go in one
// write and their replies are read in order; elsewhere one command per reply. The message
// itself leaves in full-sized segments (the connection is corked while it is written), and a
// file attached to several messages on one connection is read and encoded once.
//
// Every wait is bounded: the connect by the caller's timeout over all addresses, each reply
// and each write by the reply timeout (kReplyTimeout unless a test sets another). A connection
// whose reply timed out or whose message could not be written completely is closed, so a
// retried Send fails at once instead of talking into a half-sent message.

#include "mail/MailConnection.h"
#include "mail/MimeStream.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

    // Connects to host (any address family, all addresses within timeoutMs), reads the 220
    // greeting and greets with the local host name, upgrading to TLS where offered.
    bool Open(const std::string& host, int timeoutMs);
    bool IsOpen() const { return m_connection.IsOpen(); }
    bool IsTls() const { return m_connection.IsTls(); }
    // True when the server's greeting offered 8BITMIME.
    bool TakesEightBit() const { return m_eightBitMime; }
    void SetCancelSignal(const CCancelSignal* cancel) { m_connection.SetCancelSignal(cancel); }
    // The cause of the last failure.
    const MailError& LastMailError() const { return m_connection.Error(); }
    // MAIL FROM, RCPT TO for every recipient, DATA, the message, end of data. recipients is a
    // list separated by blanks, ',' or ';'; without it the message's EnvelopeRecipients, without
    // sender its SenderAddress. An address too long for a command sends nothing. A refused
    // recipient or DATA sends RSET; where the commands went in one write and the server opened
    // the data of a transaction with a refused part, the connection is dropped instead (the
    // server then delivers nothing of it).
    bool Send(CMimeMessage& message, std::optional<std::string> recipients = std::nullopt,
              std::optional<std::string> sender = std::nullopt);
    // Shuts the socket down and closes it; no QUIT is sent.
    bool Close();

    void SetReplyTimeout(std::chrono::milliseconds timeout) { m_replyTimeout = timeout; }

    bool WriteAll(std::string_view bytes) override;
    EncodedBodyMemo* EncodedBodies() override { return &m_encodedBodies; }

private:
    // One attempt at Open; withTls false skips STARTTLS (after a failed upgrade).
    bool OpenOnce(const std::string& host, int timeoutMs, bool withTls, bool& tlsFailed);
    bool Greet(const std::string& hostName, std::string& reply);
    bool ReadReply(std::string& reply);
    bool SendCommandExpect(std::string_view command, std::string_view code);
    // MAIL FROM to the 354 of DATA, one command per reply or all in one write.
    bool OpenTransaction(const std::string& mailFrom, const std::vector<std::string>& addresses);
    bool OpenPipelinedTransaction(const std::string& mailFrom,
                                  const std::vector<std::string>& addresses);
    bool ResetTransaction();
    void Abandon();

    uint16_t m_port;
    CMailConnection m_connection;
    bool m_eightBitMime = false;
    bool m_pipelining = false;
    EncodedBodyMemo m_encodedBodies; // of the messages sent since Open
    std::chrono::milliseconds m_replyTimeout = kReplyTimeout;
};
