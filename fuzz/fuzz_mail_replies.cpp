// Reads a stream of server replies from a loopback peer with CMailConnection::ReadReply, the
// one reply reader of the POP3 client and the SMTP session, and parses the SMTP ones.
//
// Input: byte 0 is the size of the pieces the peer sends the stream in (0: all at once), so
// that an end of reply falls across reads; byte 1 picks the rule of each read, two bits per
// read, over and over (0 status line, 1 multi-line, 2 and 3 SMTP); byte 2 sets the byte limit
// (256 to 4,336) and the size hint; the rest is the stream. The peer ends the stream after the
// last byte, so reading goes on until a read fails.
//
// Checked: every reply returned is the next piece of the stream and ends where its rule
// first finds an end (looked for afresh over the whole reply, not in the reader's steps);
// a read that fails at the end of the stream holds exactly the bytes that were left, and
// they hold no end; a reply too long really had no end within the limit; the SMTP parser
// keeps one entry per line and its extension lookups agree with each other.

#include "fuzz/FuzzCheck.h"
#include "fuzz/LoopbackPeer.h"
#include "mail/net/MailConnection.h"
#include "mail/smtp/SmtpReply.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kHeaderBytes = 3;
// Pieces sent one by one with a pause in between; whatever is left after these goes at once,
// so that an input of small pieces still runs in a few milliseconds.
constexpr int kMaxPieces = 16;
constexpr auto kPieceGap = 100us;
// Of a reply that fails for its length the reader keeps this much (for the error text).
constexpr std::size_t kOversizeReplyKept = 1000;

// The peer: sends stream in pieces of pieceSize bytes (0: at once), ends it, and waits for
// the client to close.
void Serve(std::string stream, std::size_t pieceSize) {
    const int listener = fuzzpeer::Listener::Instance().fd();
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0)
        return;
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::string_view rest = stream;
    bool sent = true;
    for (int piece = 0; sent && !rest.empty(); ++piece) {
        const bool whole = pieceSize == 0 || piece == kMaxPieces - 1;
        const std::size_t length = whole ? rest.size() : std::min(pieceSize, rest.size());
        if (piece > 0)
            std::this_thread::sleep_for(kPieceGap);
        for (std::string_view part = rest.substr(0, length); sent && !part.empty();) {
            const ssize_t n = ::send(fd, part.data(), part.size(), MSG_NOSIGNAL);
            sent = n > 0;
            if (sent)
                part.remove_prefix(static_cast<std::size_t>(n));
        }
        rest.remove_prefix(length);
    }
    ::shutdown(fd, SHUT_WR);
    char sink[256];
    for (pollfd q{fd, POLLIN, 0}; ::poll(&q, 1, 5000) > 0;) {
        if (::recv(fd, sink, sizeof sink, 0) <= 0)
            break;
    }
    ::close(fd);
}

// Where each rule ends a reply at the start of text, found the plain way: npos for none.
std::size_t StatusLineEnd(std::string_view text) {
    const std::size_t at = text.find("\r\n");
    return at == std::string_view::npos ? at : at + 2;
}

std::size_t MultiLineEnd(std::string_view text) {
    if (!text.empty() && text.front() == '-')
        return StatusLineEnd(text);
    const std::size_t at = text.find("\r\n.\r\n");
    return at == std::string_view::npos ? at : at + 5;
}

std::size_t SmtpEnd(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t lf; (lf = text.find('\n', start)) != std::string_view::npos; start = lf + 1) {
        const std::string_view line = text.substr(start, lf - start);
        const bool continued = line.size() >= 4 && line[3] == '-';
        if (!continued)
            return lf + 1;
    }
    return std::string_view::npos;
}

struct Rule {
    std::size_t (*read)(std::string_view, std::size_t);
    std::size_t (*plainEnd)(std::string_view);
};

constexpr Rule kRules[4] = {{replyend::Pop3StatusLine, StatusLineEnd},
                            {replyend::Pop3MultiLine, MultiLineEnd},
                            {replyend::SmtpReply, SmtpEnd},
                            {replyend::SmtpReply, SmtpEnd}};

void CheckSmtpParse(std::string_view text) {
    const SmtpReply reply = ParseSmtpReply(text);
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
                              (!text.empty() && text.back() != '\n' ? 1 : 0);
    FUZZ_CHECK(reply.lines.size() == lines);
    FUZZ_CHECK(reply.code >= 0 && reply.code <= 999);
    if (reply.code != 0)
        FUZZ_CHECK(text.substr(0, 3) == std::to_string(1000 + reply.code).substr(1));
    (void)reply.Text();
    // The keyword of the second line, as a server would name an extension, and a few fixed ones.
    std::string own;
    if (reply.lines.size() > 1)
        own = reply.lines[1].substr(0, reply.lines[1].find_first_of(" ="));
    for (std::string_view keyword : {std::string_view(own), std::string_view("AUTH"),
                                     std::string_view("starttls"), std::string_view("SIZE")}) {
        const bool listed = reply.HasExtension(keyword);
        const std::string parameters = reply.ExtensionParameters(keyword);
        FUZZ_CHECK(listed || parameters.empty());
        if (!parameters.empty()) {
            const bool fromALine =
                std::any_of(reply.lines.begin() + 1, reply.lines.end(), [&](const std::string& l) {
                    return l.size() > parameters.size() &&
                           l.compare(l.size() - parameters.size(), parameters.size(), parameters) ==
                               0;
                });
            FUZZ_CHECK(fromALine);
        }
    }
    if (reply.lines.size() > 1 && !own.empty())
        FUZZ_CHECK(reply.HasExtension(own));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes)
        return 0;
    const std::size_t pieceSize = data[0];
    const unsigned ruleBits = data[1];
    const std::size_t maxBytes = 256 + std::size_t{data[2]} * 16;
    const std::size_t capacityHint = (data[2] % 3) * maxBytes / 2;
    const std::string_view stream(reinterpret_cast<const char*>(data) + kHeaderBytes,
                                  size - kHeaderBytes);

    std::thread peer(Serve, std::string(stream), pieceSize);
    {
        CMailConnection connection;
        if (connection.Connect("127.0.0.1", fuzzpeer::Listener::Instance().port(), 2s)) {
            const ReplyLimits limits{50ms, 2s, maxBytes, capacityHint};
            std::size_t taken = 0; // bytes of the stream returned as replies so far
            std::string reply;
            for (unsigned read = 0;; ++read) {
                const Rule& rule = kRules[(ruleBits >> (2 * (read % 4))) & 3];
                const std::string_view rest = stream.substr(taken);
                if (connection.ReadReply(rule.read, limits, reply)) {
                    FUZZ_CHECK(!reply.empty() && reply.size() <= rest.size());
                    FUZZ_CHECK(rest.substr(0, reply.size()) == reply);
                    FUZZ_CHECK(rule.plainEnd(reply) == reply.size());
                    FUZZ_CHECK(reply.size() <= maxBytes);
                    FUZZ_CHECK(connection.Error().code == MailErrorCode::None);
                    if (rule.read == replyend::SmtpReply)
                        CheckSmtpParse(reply);
                    taken += reply.size();
                    continue;
                }
                // Bytes that came after the failed reply stay unread: stop here.
                const MailErrorCode code = connection.Error().code;
                FUZZ_CHECK(rest.substr(0, reply.size()) == reply);
                if (code == MailErrorCode::Closed) {
                    FUZZ_CHECK(reply == rest);
                    FUZZ_CHECK(rule.plainEnd(rest) == std::string_view::npos);
                } else if (code == MailErrorCode::ReplyTooLong) {
                    FUZZ_CHECK(reply.size() <= kOversizeReplyKept);
                    FUZZ_CHECK(reply.size() == kOversizeReplyKept || reply.size() > maxBytes);
                    FUZZ_CHECK(rest.size() > maxBytes);
                    // No reply ends within the bound.
                    FUZZ_CHECK(rule.plainEnd(rest.substr(0, maxBytes)) == std::string_view::npos);
                } else {
                    // Only a peer slowed down past the inactivity limit gets here.
                    FUZZ_CHECK(code == MailErrorCode::NoAnswer);
                }
                CheckSmtpParse(reply);
                break;
            }
        }
    }
    peer.join();
    return 0;
}
