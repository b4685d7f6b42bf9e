// What the authorization server and a refusing mail server say about tokens: the token
// endpoint's JSON reply (ParseTokenReply), a SASL error challenge as a report shows it
// (sasl::DescribeChallenge), and the POP3 client's token log-in against a loopback server
// whose replies (greeting, CAPA, the AUTH challenge, the final answer; NUL-separated) come
// from the fuzzer. The first byte picks which. Checks that a parsed reply holds only what may
// go on a command line, that a described challenge holds no control byte and stays short, and
// that no error text of a refused log-in carries the token unless the server said it.

#include "app/signin/OAuthTokens.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/LoopbackPeer.h"
#include "mail/pop3/Pop3Client.h"
#include "mail/net/Sasl.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kToken = "ya29.fuzz-token-that-must-not-show";

std::string_view ReplyTerminator(std::string_view command) {
    return command.substr(0, 4) == "CAPA" ? "\r\n.\r\n" : "\r\n";
}

std::vector<std::string> SplitReplies(std::string_view input) {
    std::vector<std::string> replies;
    for (;;) {
        const std::size_t nul = input.find('\0');
        replies.emplace_back(input.substr(0, nul));
        if (nul == std::string_view::npos)
            return replies;
        input.remove_prefix(nul + 1);
    }
}

void ReadTokenReply(std::string_view json) {
    const std::optional<TokenReply> reply = ParseTokenReply(json);
    if (!reply)
        return;
    if (!reply->error.empty()) {
        FUZZ_CHECK(reply->error.size() <= 64);
        for (char c : reply->error)
            FUZZ_CHECK(c >= 0x20 && c <= 0x7e);
        return;
    }
    FUZZ_CHECK(sasl::UsableToken(reply->accessToken));
    for (char c : reply->refreshToken)
        FUZZ_CHECK(c > 0x20 && c <= 0x7e);
    FUZZ_CHECK(reply->expiresIn.count() >= 0);
}

void Challenge(std::string_view base64) {
    const std::string shown = sasl::DescribeChallenge(base64);
    FUZZ_CHECK(shown.size() <= 200);
    for (unsigned char c : shown)
        FUZZ_CHECK(c >= 0x20 && c != 0x7f);
}

void Pop3TokenLogIn(std::string_view replies) {
    fuzzpeer::Session peer =
        fuzzpeer::Session::PerCommand(SplitReplies(replies), "-ERR", &ReplyTerminator);
    CPop3Client client;
    client.SetSecurity(TlsMode::None); // a TLS handshake would wait on the scripted peer
    client.SetAccessToken(std::string(kToken));
    if (client.LogIn("127.0.0.1", "user@example.com", "", fuzzpeer::Listener::Instance().port()))
        client.LogOut();
    // Not even a server that repeats the token after the AUTH command gets it into the error
    // report (a greeting or CAPA reply cannot know it; their words stay as they came).
    const std::vector<std::string> lines = SplitReplies(replies);
    bool knownBeforeAuth = false;
    for (std::size_t i = 0; i < lines.size() && i < 2; ++i)
        knownBeforeAuth |= lines[i].find(kToken) != std::string::npos;
    if (!knownBeforeAuth)
        FUZZ_CHECK(client.LastMailError().detail.find(kToken) == std::string::npos);
    FUZZ_CHECK(!client.IsConnected());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0:
        ReadTokenReply(input);
        break;
    case 1:
        Challenge(input);
        break;
    default:
        Pop3TokenLogIn(input);
        break;
    }
    return 0;
}
