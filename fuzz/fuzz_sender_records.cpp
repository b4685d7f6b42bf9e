// Feeds arbitrary bytes to the parsers of the sender check: the DKIM-Signature field, the key
// record, Authentication-Results, and a whole message through the verifier (with a key look-up
// that answers with the same bytes), none of which may crash, loop or read out of bounds.

#include "mail/dkim/AuthenticationResults.h"
#include "mail/dkim/DkimRecords.h"
#include "mail/dkim/DkimVerifier.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    if (const auto signature = dkim::ParseSignature(input)) {
        // What was read is a signature the verifier can use.
        if (signature->domain.empty() || signature->selector.empty() || signature->signature.empty())
            std::abort();
    }
    dkim::ParseKeyRecord(input);
    if (const auto field = authres::Parse(input)) {
        // The lenient look at the id finds what the whole reading found.
        if (field->authservId.empty() || authres::AuthservIdOf(input) != field->authservId)
            std::abort();
    }
    authres::TrustedDmarcPass({input}, "mx.example.jp", "example.jp");

    const dkim::KeyLookup lookup = [input](const std::string&) {
        return dkim::KeyAnswer{dkim::KeyAnswer::Status::Found, {std::string(input)}};
    };
    for (const dkim::SignatureResult& result : dkim::VerifyMessage(input, lookup, 0)) {
        if (result.outcome == dkim::Outcome::DnsFailed)
            std::abort(); // the look-up always answered
    }
    return 0;
}
