#include "mail/pop3/Pop3Client.h"

#include "mail/text/AsciiCase.h"
#include "mail/text/ContentEncoders.h"
#include "mail/net/MailConnection.h"
#include "mail/net/Sasl.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <openssl/evp.h>
#include <stdexcept>

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kListEnd = "\r\n.\r\n"; // RFC 1939 section 3: multi-line replies

// Announced sizes only size the first buffer; a server cannot make us reserve more up front.
constexpr size_t kMaxInitialCapacity = 16u << 20;
// A reply that never ends must not take all memory; real messages stay far below this.
constexpr size_t kMaxReplyBytes = size_t(1) << 30;

constexpr size_t kStatusLineCapacity = 1000;
constexpr size_t kListingBytesPerMessage = 14;
constexpr size_t kListingExtra = 100;
constexpr size_t kMessageExtra = 100;

bool IsBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsWithOkNoCase(std::string_view text) {
    return text.size() >= 3 && text[0] == '+' && ascii::EqualNoCase(text.substr(1, 2), "OK");
}

// The commands that answer in several lines (RFC 1939, RFC 2449 for CAPA); all others answer
// with one status line. LIST and UIDL with a message number answer in one line.
struct Pop3Command {
    std::string_view verb;
    bool multiLine;             // without an argument
    bool multiLineWithArgument; // with one
    bool messageData;           // the listing is a message's text (shortened in the transcript)
};
constexpr Pop3Command kMultiLineCommands[] = {
    {"CAPA", true, true, false}, {"LIST", true, false, false}, {"UIDL", true, false, false},
    {"RETR", true, true, true},  {"TOP", true, true, true},
};

// How the reply to a command line ends, and whether it carries a message.
struct ReplyShape {
    bool multiLine = false;
    bool messageData = false;
};
ReplyShape ReplyShapeOf(std::string_view commandLine) {
    const std::size_t verbEnd = commandLine.find_first_of(" \r");
    const std::string_view verb = commandLine.substr(0, verbEnd);
    const bool argument = verbEnd != std::string_view::npos && commandLine[verbEnd] == ' ';
    for (const Pop3Command& command : kMultiLineCommands) {
        if (ascii::EqualNoCase(verb, command.verb))
            return {argument ? command.multiLineWithArgument : command.multiLine,
                    command.messageData};
    }
    return {};
}

// The first line of a reply that did not complete, as the failure's detail.
std::string NumberedLine(const char* verb, int n, const char* tail = "") {
    std::string line = verb;
    line += ' ';
    line += std::to_string(n);
    line += tail;
    line += kLineEnd;
    return line;
}

std::string FirstLine(std::string_view text) {
    return std::string(text.substr(0, text.find_first_of("\r\n")));
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

// The second word of every line "n word ..." of a LIST or UIDL listing (RFC 1939 sections 5
// and 7), in order, after the status line and up to the line that begins with '.'. Lines
// without a second word give none.
std::vector<std::string_view> ListingSecondWords(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    std::vector<std::string_view> words;
    const size_t lf = text.find('\n');
    size_t pos = lf == std::string_view::npos ? text.size() : lf + 1;
    while (pos < text.size() && text[pos] != '.') {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t numberStart = line.find_first_not_of(kBlanks);
        const size_t numberEnd = line.find_first_of(kBlanks, numberStart);
        const size_t wordStart = line.find_first_not_of(kBlanks, numberEnd);
        if (numberStart == std::string_view::npos || wordStart == std::string_view::npos)
            continue;
        const size_t wordEnd = line.find_first_of(kBlanks, wordStart);
        words.push_back(line.substr(wordStart, wordEnd == std::string_view::npos
                                                   ? std::string_view::npos
                                                   : wordEnd - wordStart));
    }
    return words;
}

// The APOP digest (RFC 1939 section 7): MD5 over the greeting's time stamp and the password,
// in lower-case hex.
std::string ApopDigest(std::string_view stamp, std::string_view password) {
    const std::string input = std::string(stamp) + std::string(password);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest, &length, EVP_md5(), nullptr) != 1)
        return {};
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

// The time stamp "<...>" of a greeting, or empty when it has none.
std::string_view GreetingStamp(std::string_view greeting) {
    const size_t open = greeting.find('<');
    const size_t close = open == std::string_view::npos ? open : greeting.find('>', open);
    if (close == std::string_view::npos)
        return {};
    return greeting.substr(open, close - open + 1);
}

// The text after the status line of a multi-line reply, as received: no dot-unstuffing.
std::string BodyOf(std::string reply) {
    const size_t lf = reply.find('\n');
    reply.erase(0, lf == std::string::npos ? reply.size() : lf + 1);
    return reply;
}

size_t ListingCapacity(int count) {
    size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    return std::min(kMaxInitialCapacity, n * kListingBytesPerMessage + kListingExtra);
}

} // namespace

CPop3Client::~CPop3Client() {
    if (m_connected)
        LogOut();
    m_connection.Close();
}

MailError CPop3Client::LastMailError() const {
    MailError error = m_mailError;
    m_connection.MaskSecrets(error.detail);
    return error;
}

bool CPop3Client::Fail(MailErrorCode code, std::string detail) {
    m_mailError = {code, 0, std::move(detail)};
    return false;
}

bool CPop3Client::FailFromConnection(std::string_view text) {
    m_mailError = m_connection.Error();
    if (m_mailError.detail.empty())
        m_mailError.detail = FirstLine(text);
    return false;
}

bool CPop3Client::LogIn(const std::string& host, const std::string& user,
                        const std::string& password, int port) {
    m_mailError = {};
    // The credentials go into command lines: refuse what does not fit one or would end it.
    for (const std::string* credential : {&user, &password}) {
        if (credential->size() > kMaxCredentialLength ||
            credential->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            return Fail(MailErrorCode::InvalidArgument);
    }
    const std::chrono::milliseconds connectLimit(kConnectTimeoutMs);
    m_connection.SetTraceProtocol("pop3");
    if (!m_connection.Connect(host, port, connectLimit))
        return FailFromConnection();
    if (m_tlsMode == TlsMode::Implicit && !m_connection.StartTls({true, m_caFile}, connectLimit)) {
        FailFromConnection();
        m_connection.Close();
        return false;
    }
    m_connected = true;

    std::string greeting;
    bool ok = AwaitStatusLine(&greeting);
    // CAPA first, so that a server's STLS is seen before anything of the log-in is sent.
    if (ok && m_tlsMode != TlsMode::Implicit)
        ok = QueryCapabilities();
    const bool upgrade = m_tlsMode == TlsMode::StartTls ||
                         (m_tlsMode == TlsMode::WhenOffered && m_capabilities.stls);
    if (ok && upgrade) {
        ok = UpgradeWithStls();
        if (!ok && !m_connection.IsOpen()) {
            m_connected = false; // the handshake failed: no QUIT into a broken session
            return false;
        }
    }
    ok = ok && Authenticate(greeting, user, password);
    if (!ok) {
        // Report why the log-in failed, not how the QUIT after it went.
        MailError cause = m_mailError;
        LogOut();
        m_mailError = std::move(cause);
    }
    return ok;
}

// RFC 2595 section 4: STLS only when CAPA lists it; a password never goes out in clear when
// TLS was asked for.
bool CPop3Client::UpgradeWithStls() {
    if (!m_capabilities.stls)
        return Fail(MailErrorCode::StartTlsNotOffered);
    if (!SendCommand("STLS\r\n"))
        return false;
    if (!AwaitStatusLine()) {
        if (Refused())
            m_mailError.code = MailErrorCode::StartTlsRefused;
        return false;
    }
    if (!m_connection.StartTls({true, m_caFile}, std::chrono::milliseconds(kConnectTimeoutMs))) {
        FailFromConnection();
        m_connection.Close();
        return false;
    }
    m_capabilities = {}; // what was said in clear is forgotten (RFC 2595 section 4)
    return true;
}

bool CPop3Client::Authenticate(const std::string& greeting, const std::string& user,
                               const std::string& password) {
    // Nothing of the log-in goes before it is known that it may go.
    const LogInSecret secret = m_accessToken.empty() ? LogInSecret::Password : LogInSecret::Token;
    if (const MailErrorCode refusal = m_connection.LogInRefusal(m_tlsMode, secret);
        refusal != MailErrorCode::None)
        return Fail(refusal);
    if (secret == LogInSecret::Token)
        return AuthenticateWithToken(user);
    const std::string_view stamp = GreetingStamp(greeting);
    const uint32_t usualTimeoutMs = m_replyTimeoutMs;
    m_replyTimeoutMs = std::max(usualTimeoutMs, kLogInReplyTimeoutMs);
    const bool apop = m_useApop && !stamp.empty();
    // With APOP ticked the password never goes in clear: a server without a time stamp gets
    // USER/PASS only inside TLS.
    if (m_useApop && !apop && !m_connection.IsTls())
        return Fail(MailErrorCode::NotOffered, "APOP");
    bool ok;
    if (apop) {
        const std::string apopUser = "APOP " + user + " ";
        const std::string digest = ApopDigest(stamp, password);
        m_connection.SetLogInSecrets({password, digest});
        ok = SendCommand(apopUser + digest + "\r\n", TraceShape::SecretAfter(apopUser.size())) &&
             AwaitStatusLine();
    } else {
        constexpr std::string_view kPass = "PASS ";
        m_connection.SetLogInSecrets({password});
        ok = SendCommand("USER " + user + "\r\n") && AwaitStatusLine() &&
             SendCommand(std::string(kPass) + password + "\r\n",
                         TraceShape::SecretAfter(kPass.size())) &&
             AwaitStatusLine();
    }
    m_replyTimeoutMs = usualTimeoutMs;
    if (!ok && Refused())
        m_mailError.code = MailErrorCode::LoginRefused;
    if (ok)
        m_connection.ForgetLogInSecrets();
    return ok;
}

// RFC 5034: AUTH with the initial response where the command stays within 255 octets, else
// after the server's empty "+" challenge (a token rarely fits).
bool CPop3Client::AuthenticateWithToken(const std::string& user) {
    if (!QueryCapabilities())
        return false;
    const std::optional<BearerMechanism> mechanism =
        sasl::ChooseBearer([this](std::string_view name) {
            std::string_view listed = m_capabilities.sasl;
            while (!listed.empty()) {
                const std::size_t blank = listed.find(' ');
                if (ascii::EqualNoCase(listed.substr(0, blank), name))
                    return true;
                listed = blank == std::string_view::npos ? "" : listed.substr(blank + 1);
            }
            return false;
        });
    if (!mechanism)
        return Fail(MailErrorCode::NotOffered, "SASL OAUTHBEARER XOAUTH2");
    if (!sasl::UsableToken(m_accessToken) || user.find('\x01') != std::string::npos)
        return Fail(MailErrorCode::InvalidArgument);
    const std::string response = encoders::EncodeBase64Block(
        sasl::InitialResponse(*mechanism, user, m_accessToken), encoders::Base64Flag::NoLineBreaks);
    const std::string command = "AUTH " + std::string(sasl::Name(*mechanism));
    constexpr std::size_t kMaxCommandLength = 255;
    m_connection.SetLogInSecrets({m_accessToken, response});

    const uint32_t usualTimeoutMs = m_replyTimeoutMs;
    m_replyTimeoutMs = std::max(usualTimeoutMs, kLogInReplyTimeoutMs);
    std::string reply;
    // A "+" line is a challenge: AwaitStatusLine takes it for a refusal and keeps the line.
    auto challenged = [&] { return !AwaitStatusLine(&reply) && Refused() && reply.rfind('+', 0) == 0; };
    bool sent;
    if (command.size() + 1 + response.size() + 2 <= kMaxCommandLength) {
        sent = SendCommand(command + " " + response + "\r\n",
                           TraceShape::SecretAfter(command.size() + 1));
    } else {
        sent = SendCommand(command + "\r\n") && challenged() &&
               SendCommand(response + "\r\n", TraceShape::SecretAfter(0));
    }
    bool ok = sent && AwaitStatusLine(&reply);
    if (sent && !ok && Refused() && reply.rfind("+ ", 0) == 0) {
        // A refused token: the server explains in a JSON challenge and waits for the
        // mechanism's answer before it says no (RFC 7628 section 3.2.3).
        const std::string explanation = sasl::DescribeChallenge(std::string_view(reply).substr(2));
        const std::string answer = encoders::EncodeBase64Block(
            sasl::ErrorChallengeReply(*mechanism), encoders::Base64Flag::NoLineBreaks);
        if (SendCommand(answer + "\r\n") && !AwaitStatusLine(&reply) && Refused() &&
            !explanation.empty())
            m_mailError.detail += " " + explanation;
    }
    m_replyTimeoutMs = usualTimeoutMs;
    if (!ok && !m_mailError)
        Fail(MailErrorCode::ProtocolError, reply); // "+OK" where a challenge belongs
    else if (!ok && Refused())
        m_mailError.code = MailErrorCode::LoginRefused;
    if (ok)
        m_connection.ForgetLogInSecrets();
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
    m_connection.Close();
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
    const std::string command = NumberedLine(verb, n, tail);
    return SendCommand(command) && TakeMessageText(command, size, message);
}

bool CPop3Client::MarkDeleted(int n) {
    if (!m_sizesFetched)
        FetchSizeList();
    return SendCommand(NumberedLine("DELE", n)) && AwaitStatusLine();
}

bool CPop3Client::QueryCapabilities() {
    m_capabilities = {};
    std::string listing;
    constexpr std::string_view kCapa = "CAPA\r\n";
    if (!SendCommand(kCapa))
        return false;
    if (!AwaitReply(listing, kCapa, 0))
        return Refused(); // refused: RFC 1939 only
    // One capability per line, its name first (RFC 2449 section 5).
    for (size_t pos = listing.find("\r\n"); pos != std::string::npos && pos < listing.size();) {
        const size_t start = pos + 2;
        pos = listing.find("\r\n", start);
        std::string_view line(listing.data() + start,
                              (pos == std::string::npos ? listing.size() : pos) - start);
        line = line.substr(0, line.find(' '));
        m_capabilities.top |= ascii::EqualNoCase(line, "TOP");
        m_capabilities.uidl |= ascii::EqualNoCase(line, "UIDL");
        m_capabilities.pipelining |= ascii::EqualNoCase(line, "PIPELINING");
        m_capabilities.stls |= ascii::EqualNoCase(line, "STLS");
        if (ascii::EqualNoCase(line, "SASL")) {
            const size_t end = pos == std::string::npos ? listing.size() : pos;
            const size_t first = listing.find_first_not_of(' ', start + line.size());
            if (first < end)
                m_capabilities.sasl = listing.substr(first, end - first);
        }
    }
    return true;
}

bool CPop3Client::RunBatched(const std::vector<std::string>& commands,
                             const std::function<bool(std::size_t, bool, std::string&)>& onReply) {
    const std::size_t batch = m_capabilities.pipelining ? kPipelineBatch : 1;
    for (std::size_t first = 0; first < commands.size(); first += batch) {
        const std::size_t end = std::min(commands.size(), first + batch);
        std::string bytes;
        for (std::size_t i = first; i < end; ++i)
            bytes += commands[i];
        if (!SendCommand(bytes))
            return false;
        for (std::size_t i = first; i < end; ++i) {
            std::string reply;
            const bool ok = AwaitReply(reply, commands[i], kStatusLineCapacity);
            // A refused command leaves the connection usable; anything else does not.
            if (!ok && !Refused())
                return false;
            if (!onReply(i, ok, reply))
                return false;
        }
    }
    return true;
}

bool CPop3Client::FetchListings() {
    m_sizesFetched = m_idsFetched = false;
    m_messageSizes.clear();
    m_messageIds.clear();
    std::vector<std::string> commands = {"LIST\r\n"};
    if (m_capabilities.uidl)
        commands.push_back("UIDL\r\n");
    bool listed = false;
    const bool ok = RunBatched(commands, [&](std::size_t i, bool good, std::string& reply) {
        if (i == 0) {
            listed = good && ParseSizeText(reply);
            m_sizesFetched = listed;
            m_messageCount = static_cast<int>(m_messageSizes.size());
            m_statusFetched = listed;
        } else {
            m_idsFetched = good && ParseIdText(reply);
        }
        return true;
    });
    return ok && listed;
}

bool CPop3Client::FetchHeaders(const std::vector<int>& numbers,
                               std::vector<CPop3Message>& headers) {
    headers.assign(numbers.size(), CPop3Message());
    std::vector<std::size_t> whole; // messages to fetch with RETR after all
    if (m_capabilities.top) {
        std::vector<std::string> commands;
        for (int n : numbers)
            commands.push_back("TOP " + std::to_string(n) + " 0\r\n");
        const bool ok = RunBatched(commands, [&](std::size_t i, bool good, std::string& reply) {
                                       if (!good)
                                           whole.push_back(i);
                                       else
                                           headers[i].SetText(BodyOf(std::move(reply)));
                                       return true;
                                   });
        if (!ok)
            return false;
    } else {
        for (std::size_t i = 0; i < numbers.size(); ++i)
            whole.push_back(i);
    }
    for (std::size_t i : whole) {
        if (!FetchMessage(numbers[i], headers[i]))
            return false;
    }
    return true;
}

bool CPop3Client::MarkDeleted(const std::vector<int>& numbers) {
    std::vector<std::string> commands;
    for (int n : numbers)
        commands.push_back("DELE " + std::to_string(n) + "\r\n");
    return RunBatched(commands, [](std::size_t, bool good, std::string&) { return good; });
}

bool CPop3Client::SendCommand(std::string_view line, TraceShape shape) {
    return m_connection.Send(line, std::chrono::milliseconds(kSendTimeoutMs), shape) ||
           FailFromConnection();
}

bool CPop3Client::AwaitStatusLine(std::string* text) {
    std::string reply;
    const bool ok = AwaitReply(reply, {}, kStatusLineCapacity);
    if (text)
        *text = std::move(reply);
    return ok;
}

bool CPop3Client::ParseStatusReply(int& count, int64_t& totalSize) {
    std::string reply;
    if (!AwaitReply(reply, {}, kStatusLineCapacity))
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
    if (!ok)
        return Fail(MailErrorCode::ProtocolError, reply);
    m_messageCount = static_cast<int>(messages);
    count = m_messageCount;
    totalSize = static_cast<int64_t>(octets);
    return true;
}

bool CPop3Client::ParseSizeListing() {
    std::string reply;
    m_messageSizes.clear();
    if (!AwaitReply(reply, "LIST\r\n", ListingCapacity(m_messageCount)))
        return false;
    return ParseSizeText(reply);
}

bool CPop3Client::ParseSizeText(const std::string& reply) {
    m_messageSizes.clear();
    // The count is the server's claim; the listing itself bounds how many sizes it holds
    // (every one takes a blank and a digit at least).
    m_messageSizes.reserve(
        std::min(static_cast<size_t>(std::max(m_messageCount, 0)), reply.size() / 2));
    // A line's own words only: blanks after the size must not reach the next line's number.
    for (std::string_view word : ListingSecondWords(reply)) {
        size_t pos = 0;
        uint64_t size = 0;
        if (ReadNumber(word, pos, UINT32_MAX, size) && pos == word.size())
            m_messageSizes.push_back(static_cast<uint32_t>(size));
    }
    return true;
}

bool CPop3Client::ParseIdListing() {
    std::string reply;
    m_messageIds.clear();
    if (!AwaitReply(reply, "UIDL\r\n", ListingCapacity(m_messageCount)))
        return false;
    return ParseIdText(reply);
}

bool CPop3Client::ParseIdText(const std::string& reply) {
    m_messageIds.clear();
    for (std::string_view id : ListingSecondWords(reply))
        m_messageIds.emplace_back(id);
    return true;
}

bool CPop3Client::TakeMessageText(std::string_view command, uint32_t announcedSize,
                                  CPop3Message& message) {
    std::string reply;
    size_t capacity = std::min(kMaxInitialCapacity, size_t(announcedSize) + kMessageExtra);
    if (!AwaitReply(reply, command, capacity))
        return false;
    message.SetText(BodyOf(std::move(reply)));
    return true;
}

bool CPop3Client::AwaitReply(std::string& text, std::string_view command,
                             size_t capacityHint) {
    const ReplyShape shape = ReplyShapeOf(command);
    const std::chrono::milliseconds inactivity(m_replyTimeoutMs);
    const ReplyLimits limits{
        inactivity,
        inactivity * (shape.multiLine ? kListingReplyLimitFactor : kStatusReplyLimitFactor),
        kMaxReplyBytes, capacityHint, shape.messageData};
    if (!m_connection.ReadReply(shape.multiLine ? replyend::Pop3MultiLine
                                                : replyend::Pop3StatusLine,
                                limits, text))
        return FailFromConnection(text);
    for (std::string_view end : {kListEnd, kLineEnd}) {
        if (text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(),
                                                      end.data(), end.size()) == 0) {
            text.resize(text.size() - end.size());
            break;
        }
    }
    if (!StartsWithOkNoCase(text))
        return Fail(MailErrorCode::CommandRefused, text);
    return true;
}
