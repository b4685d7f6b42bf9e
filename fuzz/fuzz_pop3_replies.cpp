// Drives the real POP3 client through a mailbox visit against a loopback server whose replies
// come from the fuzzer: greeting, CAPA, USER, PASS, NOOP, STAT, LIST, RETR, UIDL, TOP, DELE, RSET,
// QUIT. The input is the replies in order, separated by NUL bytes. Checks that every reader
// (status line, STAT, LIST, UIDL, message text) copes with any reply, and that the lists it
// fills stay consistent with what was received.

#include "fuzz/FuzzCheck.h"
#include "fuzz/LoopbackPeer.h"
#include "mail/pop3/Pop3Client.h"
#include "mail/pop3/Pop3Message.h"
#include "mail/text/HeaderDecoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Messages looked at per visit; the count itself comes from the fuzzer.
constexpr int kMaxMessages = 3;

std::string_view ReplyTerminator(std::string_view command) {
    for (std::string_view verb : {"CAPA", "LIST", "UIDL", "RETR", "TOP"}) {
        if (command.substr(0, verb.size()) == verb)
            return "\r\n.\r\n";
    }
    return "\r\n";
}

std::vector<std::string> SplitReplies(std::string_view input) {
    std::vector<std::string> replies;
    for (;;) {
        size_t nul = input.find('\0');
        replies.emplace_back(input.substr(0, nul));
        if (nul == std::string_view::npos)
            return replies;
        input.remove_prefix(nul + 1);
    }
}

void VisitMailbox(CPop3Client& client) {
    if (!client.SendNoop())
        return;
    int count = 0;
    int64_t total = 0;
    if (!client.QueryStatus(count, total))
        return;
    FUZZ_CHECK(count >= 0 && total >= 0 && client.MessageCount() == count);
    CPop3Message message;
    for (int n = 1; n <= std::min(count, kMaxMessages); ++n) {
        uint32_t size = 0;
        if (!client.MessageSize(n, size) || !client.FetchMessage(n, message))
            return;
        FUZZ_CHECK(client.SizesFetched());
        mime::DecodeHeaderValue(message.SubjectField());
        message.FromField();
        message.ReplyAddressField();
        message.Clear();
        std::string id;
        if (client.MessageId(n, id))
            FUZZ_CHECK(id.find_first_of(" \t\r\n") == std::string::npos);
        if (client.FetchHeaderOnly(n, message))
            message.HeaderSection();
        if (!client.MarkDeleted(n))
            return;
    }
    client.UndoDeletions();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    fuzzpeer::Session peer =
        fuzzpeer::Session::PerCommand(SplitReplies(input), "+OK", &ReplyTerminator);
    CPop3Client client;
    if (!client.LogIn("127.0.0.1", "user", "secret", fuzzpeer::Listener::Instance().port()))
        return 0;
    try {
        VisitMailbox(client);
    } catch (const std::out_of_range&) {
        // A message number the server's listing did not cover; the mail check catches this.
    }
    client.LogOut();
    FUZZ_CHECK(!client.IsConnected());
    return 0;
}
