// Splits arbitrary bytes into IMAP responses with the end rule the client reads them by, and
// parses each, as the IMAP client does with whatever a server sends. Checks that the rule
// stays inside the buffer and finds the same end however the bytes arrive, that the parser and
// the helpers cope with any response, and that every quoted string the client would send
// parses back to its text.

#include "fuzz/FuzzCheck.h"
#include "mail/imap/ImapResponse.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The end of the response at the start of buffered, checked against the same buffer arriving
// in two pieces: the rule must find the end the first piece held, or else the same end when
// told where the second piece begins.
std::size_t CheckedEnd(std::string_view buffered, std::size_t split) {
    const std::size_t end = replyend::ImapResponse(buffered, 0);
    FUZZ_CHECK(end == npos || (end >= 2 && end <= buffered.size()));
    FUZZ_CHECK(end == npos || buffered.substr(end - 2, 2) == "\r\n");
    const std::size_t firstEnd = replyend::ImapResponse(buffered.substr(0, split), 0);
    if (firstEnd != npos) {
        FUZZ_CHECK(firstEnd == end);
    } else {
        const std::size_t resumed = replyend::ImapResponse(buffered, split);
        FUZZ_CHECK(resumed == end);
        FUZZ_CHECK(resumed == npos || resumed > split);
    }
    return end;
}

// Quoted(text), when it gives a value, must come back as the same text through a FETCH.
void CheckQuoted(std::string_view text) {
    const std::optional<std::string> quoted = imap::Quoted(text);
    bool quotable = true;
    for (char c : text)
        quotable = quotable && c != '\r' && c != '\n' && c != '\0' &&
                   static_cast<unsigned char>(c) <= 0x7F;
    FUZZ_CHECK(quoted.has_value() == quotable);
    if (!quoted)
        return;
    const std::optional<imap::Response> fetch =
        imap::ParseResponse("* 1 FETCH (UID 1 BODY[] " + *quoted + ")\r\n");
    FUZZ_CHECK(fetch.has_value());
    const std::optional<imap::FetchedHeader> header = imap::HeaderOfFetch(*fetch);
    FUZZ_CHECK(header && header->uid == 1 && header->header == text);
}

void CheckResponse(std::string_view bytes) {
    const std::optional<imap::Response> response = imap::ParseResponse(bytes);
    // The final CR LF is optional: without it the response reads the same.
    if (bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n" &&
        replyend::ImapResponse(bytes, 0) == bytes.size())
        FUZZ_CHECK(imap::ParseResponse(bytes.substr(0, bytes.size() - 2)) == response);
    if (!response)
        return;
    FUZZ_CHECK(response->status.empty() || response->status == "OK" || response->status == "NO" ||
               response->status == "BAD" || response->status == "BYE" ||
               response->status == "PREAUTH");
    FUZZ_CHECK((response->kind == imap::Response::Kind::Tagged) == !response->tag.empty());
    for (const std::string& capability : imap::Capabilities(*response)) {
        FUZZ_CHECK(!capability.empty());
        for (char c : capability)
            FUZZ_CHECK(c < 'a' || c > 'z');
    }
    imap::SearchNumbers(*response);
    imap::UidValidity(*response);
    if (const std::optional<imap::FetchedHeader> header = imap::HeaderOfFetch(*response))
        FUZZ_CHECK(header->uid != 0 && header->header.size() <= bytes.size());
    CheckQuoted(response->text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view rest = input;
    // Where the second piece begins moves with the input, so that every split gets tried.
    std::size_t splitSeed = size == 0 ? 0 : static_cast<unsigned char>(input[0]) * 257u + size;
    while (!rest.empty()) {
        const std::size_t end = CheckedEnd(rest, splitSeed % (rest.size() + 1));
        splitSeed = splitSeed * 31 + 7;
        CheckResponse(rest.substr(0, end)); // an unfinished response is parsed too
        if (end == npos)
            break;
        CheckQuoted(rest.substr(0, end - 2));
        rest.remove_prefix(end);
    }
    return 0;
}
