#include "mail/Pop3Client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kListEnd = "\r\n.\r\n"; // RFC 1939 section 3: multi-line replies

// Readiness is polled in slices of this length, so the inactivity limit is checked often.
constexpr int kPollSliceMs = 250;
// Announced sizes only size the first buffer; a server cannot make us reserve more up front.
constexpr size_t kMaxInitialCapacity = 16u << 20;
// A reply that never ends must not take all memory; real messages stay far below this.
constexpr size_t kMaxReplyBytes = size_t(1) << 30;
// Of an oversized reply, lastServerReply keeps only the beginning.
constexpr size_t kOversizeReplyKept = 1000;

constexpr size_t kStatusLineCapacity = 1000;
constexpr size_t kStatReplyCapacity = 100;
constexpr size_t kListingBytesPerMessage = 14;
constexpr size_t kListingExtra = 100;
constexpr size_t kMessageExtra = 100;
constexpr size_t kStatusGrowBy = 4096;
constexpr size_t kMessageGrowBy = 32000;

bool IsBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsWithOkNoCase(std::string_view text) {
    return text.size() >= 3 && text[0] == '+' && (text[1] == 'O' || text[1] == 'o') &&
           (text[2] == 'K' || text[2] == 'k');
}

// Reads a decimal number at pos after leading white space; pos moves past it. Values too
// large for max are clamped to max. False when no digit follows.
bool ReadNumber(std::string_view text, size_t& pos, uint64_t max, uint64_t& value) {
    while (pos < text.size() && (IsBlankOrTab(text[pos]) || text[pos] == '\r' ||
                                 text[pos] == '\n' || text[pos] == '\v' || text[pos] == '\f'))
        ++pos;
    if (pos >= text.size() || !IsDigit(text[pos]))
        return false;
    value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        value = std::min<uint64_t>(max, value * 10 + static_cast<uint64_t>(text[pos] - '0'));
        ++pos;
    }
    return true;
}

size_t ListingCapacity(int count) {
    size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    return std::min(kMaxInitialCapacity, n * kListingBytesPerMessage + kListingExtra);
}

} // namespace

CPop3Client::~CPop3Client() {
    if (m_connected)
        LogOut();
    m_socket.CloseSocket();
}

bool CPop3Client::LogIn(const std::string& host, const std::string& user,
                        const std::string& password, int port) {
    // The credentials go into command lines: refuse what does not fit one or would end it.
    for (const std::string* credential : {&user, &password}) {
        if (credential->size() > kMaxCredentialLength ||
            credential->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            Fail(WSAEINVAL);
            return false;
        }
    }
    if (!m_socket.Create()) {
        Fail(m_socket.LastError());
        return false;
    }
    if (!m_socket.ConnectTo(host, port)) {
        Fail(m_socket.LastError());
        return false;
    }
    m_connected = true;

    bool ok = AwaitStatusLine() && SendCommand("USER " + user + "\r\n") && AwaitStatusLine() &&
              SendCommand("PASS " + password + "\r\n") && AwaitStatusLine();
    if (!ok) {
        // Report why the log-in failed, not how the QUIT after it went.
        const int error = m_lastError;
        std::string reply = m_lastServerReply;
        LogOut();
        m_lastError = error;
        m_lastServerReply = std::move(reply);
    }
    return ok;
}

bool CPop3Client::LogOut() {
    bool ok = false;
    if (m_connected) {
        SendCommand("QUIT\r\n");
        ok = AwaitStatusLine();
        m_connected = false;
        m_sizesFetched = false;
        m_statusFetched = false;
        m_idsFetched = false;
    }
    m_socket.CloseSocket();
    return ok;
}

bool CPop3Client::SendNoop() {
    return SendCommand("NOOP\r\n") && AwaitStatusLine();
}

bool CPop3Client::UndoDeletions() {
    return SendCommand("RSET\r\n") && AwaitStatusLine();
}

bool CPop3Client::QueryStatus(int& count, int64_t& totalSize) {
    return SendCommand("STAT\r\n") && ParseStatusReply(count, totalSize);
}

bool CPop3Client::EnsureStatus() {
    if (!m_statusFetched) {
        int count = 0;
        int64_t total = 0;
        if (!QueryStatus(count, total))
            return false;
        m_statusFetched = true;
    }
    return true;
}

bool CPop3Client::FetchSizeList() {
    if (!EnsureStatus())
        return false;
    m_sizesFetched = SendCommand("LIST\r\n") && ParseSizeListing();
    return m_sizesFetched;
}

bool CPop3Client::FetchIdList() {
    if (!EnsureStatus())
        return false;
    m_idsFetched = SendCommand("UIDL\r\n") && ParseIdListing();
    return m_idsFetched;
}

bool CPop3Client::MessageSize(int n, uint32_t& size) {
    bool ok = true;
    if (!m_sizesFetched)
        ok = FetchSizeList();
    if (n < 1)
        throw std::out_of_range("POP3 message number out of range");
    size = m_messageSizes.at(static_cast<size_t>(n) - 1);
    return ok;
}

bool CPop3Client::MessageId(int n, std::string& id) {
    bool ok = true;
    if (!m_idsFetched)
        ok = FetchIdList();
    if (n < 1)
        throw std::out_of_range("POP3 message number out of range");
    id = m_messageIds.at(static_cast<size_t>(n) - 1);
    return ok;
}

bool CPop3Client::FetchMessage(int n, CPop3Message& message) {
    return FetchText("RETR", "", n, message);
}

bool CPop3Client::FetchHeaderOnly(int n, CPop3Message& message) {
    return FetchText("TOP", " 0", n, message);
}

bool CPop3Client::FetchText(const char* verb, const char* tail, int n, CPop3Message& message) {
    uint32_t size = 0;
    if (!MessageSize(n, size))
        return false;
    return SendNumbered(verb, n, tail) && TakeMessageText(size, message);
}

bool CPop3Client::MarkDeleted(int n) {
    if (!m_sizesFetched)
        FetchSizeList();
    return SendNumbered("DELE", n) && AwaitStatusLine();
}

bool CPop3Client::SendCommand(std::string_view line) {
    if (!m_socket.SendBytes(line.data(), line.size())) {
        Fail(m_socket.LastError());
        return false;
    }
    return true;
}

bool CPop3Client::SendNumbered(const char* verb, int n, const char* tail) {
    std::string line = verb;
    line += ' ';
    line += std::to_string(n);
    line += tail;
    line += kLineEnd;
    return SendCommand(line);
}

bool CPop3Client::AwaitStatusLine() {
    std::string reply;
    return AwaitReply(reply, kStatusLineCapacity, kLineEnd, kStatusGrowBy);
}

bool CPop3Client::ParseStatusReply(int& count, int64_t& totalSize) {
    std::string reply;
    if (!AwaitReply(reply, kStatReplyCapacity, kLineEnd, kStatusGrowBy))
        return false;
    // STAT alone wants the indicator in capitals, as RFC 1939 writes it.
    const std::string_view line(reply);
    uint64_t messages = 0;
    uint64_t octets = 0;
    size_t pos = line.find_first_of(" \t");
    bool ok = line.rfind("+OK", 0) == 0 && pos != std::string_view::npos &&
              ReadNumber(line, pos, uint64_t(INT_MAX) + 1, messages) && messages <= INT_MAX;
    if (ok) {
        pos = line.find_first_of(" \t", pos);
        ok = pos != std::string_view::npos && ReadNumber(line, pos, INT64_MAX, octets);
    }
    if (!ok) {
        Fail(WSAEPROTONOSUPPORT);
        m_lastServerReply = reply;
        return false;
    }
    m_messageCount = static_cast<int>(messages);
    count = m_messageCount;
    totalSize = static_cast<int64_t>(octets);
    return true;
}

bool CPop3Client::ParseSizeListing() {
    std::string reply;
    m_messageSizes.clear();
    if (!AwaitReply(reply, ListingCapacity(m_messageCount), kListEnd, kStatusGrowBy))
        return false;
    // The count is the server's claim; the listing itself bounds how many sizes it holds
    // (every one takes a blank and a digit at least).
    m_messageSizes.reserve(
        std::min(static_cast<size_t>(std::max(m_messageCount, 0)), reply.size() / 2));
    // Every "n size" line yields its size, in listing order; a '.' ends the listing.
    const std::string_view text(reply);
    size_t lf = text.find('\n');
    size_t pos = lf == std::string_view::npos ? text.size() : lf + 1;
    while (pos < text.size() && text[pos] != '.') {
        if (!IsBlankOrTab(text[pos])) {
            ++pos;
            continue;
        }
        uint64_t size = 0;
        if (ReadNumber(text, pos, UINT32_MAX, size))
            m_messageSizes.push_back(static_cast<uint32_t>(size));
        else
            ++pos;
    }
    return true;
}

bool CPop3Client::ParseIdListing() {
    std::string reply;
    m_messageIds.clear();
    if (!AwaitReply(reply, ListingCapacity(m_messageCount), kListEnd, kStatusGrowBy))
        return false;
    // Lines "n unique-id" up to a line that begins with '.'; the unique-id is the second word.
    const std::string_view text(reply);
    size_t lf = text.find('\n');
    size_t pos = lf == std::string_view::npos ? text.size() : lf + 1;
    while (pos < text.size() && text[pos] != '.') {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        size_t numberStart = line.find_first_not_of(" \t\r");
        if (numberStart == std::string_view::npos)
            continue;
        size_t numberEnd = line.find_first_of(" \t\r", numberStart);
        size_t idStart = line.find_first_not_of(" \t\r", numberEnd);
        if (numberEnd == std::string_view::npos || idStart == std::string_view::npos)
            continue;
        size_t idEnd = line.find_first_of(" \t\r", idStart);
        m_messageIds.emplace_back(line.substr(
            idStart, idEnd == std::string_view::npos ? std::string_view::npos : idEnd - idStart));
    }
    return true;
}

bool CPop3Client::TakeMessageText(uint32_t announcedSize, CPop3Message& message) {
    std::string reply;
    size_t capacity = std::min(kMaxInitialCapacity, size_t(announcedSize) + kMessageExtra);
    if (!AwaitReply(reply, capacity, kListEnd, kMessageGrowBy))
        return false;
    if (!StartsWithOkNoCase(reply)) {
        Fail(WSAEPROTONOSUPPORT);
        m_lastServerReply = reply;
        return false;
    }
    // The message follows the status line as received: no dot-unstuffing.
    size_t lf = reply.find('\n');
    reply.erase(0, lf == std::string::npos ? reply.size() : lf + 1);
    message.SetText(std::move(reply));
    return true;
}

bool CPop3Client::AwaitReply(std::string& text, size_t initialCapacity, std::string_view terminator,
                             size_t growBy) {
    text.clear();
    text.resize(std::max<size_t>(initialCapacity, terminator.size() + 1));
    size_t received = 0;
    bool peerClosed = false;
    auto lastActivity = Clock::now();
    const auto limit = std::chrono::milliseconds(m_replyTimeoutMs);

    auto failWith = [&](int error) {
        text.resize(received);
        Fail(error);
        m_lastServerReply = text;
        return false;
    };

    for (;;) {
        const auto idle = Clock::now() - lastActivity;
        if (idle > limit)
            return failWith(WSAETIMEDOUT);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - idle);
        const int waitMs = static_cast<int>(std::min<int64_t>(kPollSliceMs, left.count() + 1));

        if (peerClosed) {
            // Nothing more can come; the reply ends in the inactivity time-out.
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
            continue;
        }
        bool readable = false;
        if (!m_socket.HasData(readable, waitMs))
            return failWith(m_socket.LastError());
        if (!readable)
            continue;

        if (text.size() - received < std::max<size_t>(growBy, 1) / 2 + 1) {
            if (text.size() >= kMaxReplyBytes) {
                received = std::min(received, kOversizeReplyKept);
                return failWith(EMSGSIZE);
            }
            text.resize(std::min(kMaxReplyBytes, std::max(text.size() * 2, text.size() + growBy)));
        }
        ssize_t n = m_socket.ReceiveBytes(text.data() + received, text.size() - received);
        if (n < 0 && m_socket.LastError() == EAGAIN)
            continue;
        if (n < 0)
            return failWith(m_socket.LastError());
        if (n == 0) {
            peerClosed = true;
            continue;
        }
        // Only the newly received bytes, and the few before them, can complete the terminator.
        const size_t searchFrom =
            received >= terminator.size() - 1 ? received - (terminator.size() - 1) : 0;
        received += static_cast<size_t>(n);
        lastActivity = Clock::now();
        if (std::string_view(text.data() + searchFrom, received - searchFrom).find(terminator) !=
            std::string_view::npos)
            break;
    }

    text.resize(received - terminator.size());
    if (!StartsWithOkNoCase(text)) {
        Fail(WSAEPROTONOSUPPORT);
        m_lastServerReply = text;
        return false;
    }
    return true;
}
