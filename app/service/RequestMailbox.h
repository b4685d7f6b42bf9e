#pragma once
// What the check cycle needs of a mailbox, whichever protocol reads it: the messages there, the
// Subject and From of some of them, and the deletion of the answered requests. The POP3 and
// IMAP forms wrap a client that has logged in. A body is read only where the sender must be
// proven, and then only up to a bound (FetchWhole).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CImapClient;
class CPop3Client;

// One message: an id that stays the message's own across sessions (UIDL, or UIDVALIDITY and
// UID), empty when the server gives none, and its size where the protocol says it cheaply.
struct MailboxEntry {
    std::string id;
    uint32_t size = 0;
};

// The raw header fields of a message the request rules read; present is false for a message
// gone meanwhile.
struct RequestHeader {
    bool present = false;
    std::string subject;
    std::string from;
    // What tells mail sent by a program (RFC 3834): Auto-Submitted, Precedence, List-Id and the
    // envelope sender (Return-Path); and the Message-ID a reply refers to.
    std::string autoSubmitted;
    std::string precedence;
    std::string listId;
    std::string returnPath;
    std::string messageId;
};

class IRequestMailbox {
public:
    virtual ~IRequestMailbox() = default;
    // Every message, in mailbox order.
    virtual bool List(std::vector<MailboxEntry>& entries) = 0;
    // The headers of the entries at indices (into the last List), in the same order.
    virtual bool FetchHeaders(const std::vector<std::size_t>& indices,
                              std::vector<RequestHeader>& headers) = 0;
    // Removes the entries at indices from the mailbox.
    virtual bool Delete(const std::vector<std::size_t>& indices) = 0;

    enum class Whole { Fetched, TooLarge, Gone, Failed };
    // The whole message at index (into the last List) when it holds at most maxBytes; TooLarge
    // without reading it when the server says it is larger. Failed ends the session.
    virtual Whole FetchWhole(std::size_t index, std::size_t maxBytes, std::string& text) = 0;
};

// CAPA and LIST (with UIDL where offered), TOP or RETR, RETR of a whole request, DELE; the deletions take effect at QUIT.
class CPop3RequestMailbox final : public IRequestMailbox {
public:
    explicit CPop3RequestMailbox(CPop3Client& client) : m_client(client) {}
    bool List(std::vector<MailboxEntry>& entries) override;
    bool FetchHeaders(const std::vector<std::size_t>& indices,
                      std::vector<RequestHeader>& headers) override;
    bool Delete(const std::vector<std::size_t>& indices) override;
    Whole FetchWhole(std::size_t index, std::size_t maxBytes, std::string& text) override;

private:
    CPop3Client& m_client;
};

// UID SEARCH, UID FETCH of the two header fields or of a whole request (BODY.PEEK[] with a
// partial range), UID STORE and EXPUNGE; INBOX selected.
class CImapRequestMailbox final : public IRequestMailbox {
public:
    explicit CImapRequestMailbox(CImapClient& client) : m_client(client) {}
    bool List(std::vector<MailboxEntry>& entries) override;
    bool FetchHeaders(const std::vector<std::size_t>& indices,
                      std::vector<RequestHeader>& headers) override;
    bool Delete(const std::vector<std::size_t>& indices) override;
    Whole FetchWhole(std::size_t index, std::size_t maxBytes, std::string& text) override;

private:
    std::vector<uint32_t> UidsAt(const std::vector<std::size_t>& indices) const;

    CImapClient& m_client;
    std::vector<uint32_t> m_uids; // of the last List
};
