#include "app/service/RequestMailbox.h"

#include "mail/imap/ImapClient.h"
#include "mail/pop3/Pop3Client.h"
#include "mail/pop3/Pop3Message.h"

#include <unordered_map>

namespace {

std::vector<int> MessageNumbers(const std::vector<std::size_t>& indices) {
    std::vector<int> numbers;
    numbers.reserve(indices.size());
    for (std::size_t index : indices)
        numbers.push_back(static_cast<int>(index) + 1);
    return numbers;
}

RequestHeader HeaderOf(const CPop3Message& message) {
    RequestHeader header;
    header.present = true;
    header.subject = message.SubjectField();
    header.from = message.FromField();
    header.autoSubmitted = message.HeaderField("Auto-Submitted");
    header.precedence = message.HeaderField("Precedence");
    header.listId = message.HeaderField("List-Id");
    header.returnPath = message.HeaderField("Return-Path");
    header.messageId = message.HeaderField("Message-ID");
    return header;
}

} // namespace

bool CPop3RequestMailbox::List(std::vector<MailboxEntry>& entries) {
    // RFC 2449: what the server offers decides between TOP and RETR and whether commands go
    // out in batches; LIST (and UIDL) then need no STAT before them.
    if (!m_client.QueryCapabilities() || !m_client.FetchListings())
        return false;
    const std::vector<uint32_t>& sizes = m_client.MessageSizes();
    const std::vector<std::string>& ids = m_client.MessageIds();
    const bool haveIds = m_client.IdsFetched() && ids.size() == sizes.size();
    entries.clear();
    entries.reserve(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i)
        entries.push_back({haveIds ? ids[i] : std::string(), sizes[i]});
    return true;
}

bool CPop3RequestMailbox::FetchHeaders(const std::vector<std::size_t>& indices,
                                       std::vector<RequestHeader>& headers) {
    std::vector<CPop3Message> messages;
    const bool ok = m_client.FetchHeaders(MessageNumbers(indices), messages);
    headers.clear();
    headers.reserve(messages.size());
    for (const CPop3Message& message : messages)
        headers.push_back(HeaderOf(message));
    return ok;
}

bool CPop3RequestMailbox::Delete(const std::vector<std::size_t>& indices) {
    return m_client.MarkDeleted(MessageNumbers(indices));
}

IRequestMailbox::Whole CPop3RequestMailbox::FetchWhole(std::size_t index, std::size_t maxBytes,
                                                       std::string& text) {
    // LIST gave the size; RETR of a larger message is never sent.
    const std::vector<uint32_t>& sizes = m_client.MessageSizes();
    if (index >= sizes.size())
        return Whole::Gone;
    if (sizes[index] > maxBytes)
        return Whole::TooLarge;
    CPop3Message message;
    if (!m_client.FetchMessage(static_cast<int>(index) + 1, message))
        return Whole::Failed;
    if (message.Text().size() > maxBytes)
        return Whole::TooLarge; // more than LIST said
    text = message.Text();
    return Whole::Fetched;
}

bool CImapRequestMailbox::List(std::vector<MailboxEntry>& entries) {
    if (!m_client.SearchUids(m_uids))
        return false;
    // A UID names the same message only as long as the mailbox keeps its UIDVALIDITY.
    const uint32_t validity = m_client.UidValidity();
    entries.clear();
    entries.reserve(m_uids.size());
    for (uint32_t uid : m_uids)
        entries.push_back(
            {validity ? std::to_string(validity) + "." + std::to_string(uid) : std::string(), 0});
    return true;
}

std::vector<uint32_t> CImapRequestMailbox::UidsAt(const std::vector<std::size_t>& indices) const {
    std::vector<uint32_t> uids;
    uids.reserve(indices.size());
    for (std::size_t index : indices)
        uids.push_back(m_uids.at(index));
    return uids;
}

bool CImapRequestMailbox::FetchHeaders(const std::vector<std::size_t>& indices,
                                       std::vector<RequestHeader>& headers) {
    std::vector<CImapClient::Header> fetched;
    const bool ok = m_client.FetchHeaders(UidsAt(indices), fetched);
    std::unordered_map<uint32_t, const std::string*> byUid;
    for (const CImapClient::Header& header : fetched)
        byUid.emplace(header.uid, &header.text);
    headers.assign(indices.size(), {});
    CPop3Message message;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const auto found = byUid.find(m_uids.at(indices[i]));
        if (found == byUid.end())
            continue;
        message.SetText(*found->second);
        headers[i] = HeaderOf(message);
    }
    return ok;
}

bool CImapRequestMailbox::Delete(const std::vector<std::size_t>& indices) {
    return m_client.Delete(UidsAt(indices));
}

IRequestMailbox::Whole CImapRequestMailbox::FetchWhole(std::size_t index, std::size_t maxBytes,
                                                       std::string& text) {
    if (index >= m_uids.size())
        return Whole::Gone;
    std::string fetched;
    bool found = false;
    // One byte beyond the bound tells a larger message without reading it.
    if (!m_client.FetchWhole(m_uids[index], maxBytes + 1, fetched, found))
        return Whole::Failed;
    if (!found)
        return Whole::Gone;
    if (fetched.size() > maxBytes)
        return Whole::TooLarge;
    text = std::move(fetched);
    return Whole::Fetched;
}
