#pragma once
// The SASL mechanisms that carry an OAuth 2.0 bearer token (RFC 6750) instead of a password:
// OAUTHBEARER (RFC 7628) and XOAUTH2, the older form Google and Microsoft still offer. The
// POP3, IMAP and SMTP clients share what is the same in all three: which mechanism to take
// from those a server offers, the client's response, the reply to a refusal's error challenge
// and what a report shows of that challenge.
//
// Responses are returned as raw bytes; each protocol base64-encodes them itself.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

enum class BearerMechanism {
    OAuthBearer, // RFC 7628: a GS2 header, then key=value pairs ended by 0x01
    XOAuth2,     // "user=<name>" 0x01 "auth=Bearer <token>" 0x01 0x01
};

namespace sasl {

// OAUTHBEARER where the server offers it, XOAUTH2 where that is the only one; none when it
// offers neither. offers(name) says whether the server lists the mechanism name.
std::optional<BearerMechanism> ChooseBearer(const std::function<bool(std::string_view)>& offers);
std::string_view Name(BearerMechanism mechanism);

// A token goes on a command line: only the characters of RFC 6750's b64token, not empty.
bool UsableToken(std::string_view token);
// The client's first (and only) response, before base64. OAUTHBEARER's optional host and
// port (RFC 7628 section 3.1) are left out: no provider asks for them.
std::string InitialResponse(BearerMechanism mechanism, std::string_view user,
                            std::string_view token);
// A refused token is answered with an error challenge (a JSON object, base64) that the client
// must answer before the server says no: an empty response for XOAUTH2, a single 0x01 byte
// for OAUTHBEARER (RFC 7628 section 3.2.3). Raw, before base64.
std::string_view ErrorChallengeReply(BearerMechanism mechanism);
// What an error report shows of a challenge (its base64 text): the decoded JSON with control
// bytes and anything past 200 bytes dropped, e.g. {"status":"invalid_token"}. Empty when the
// challenge is not base64. The challenge names no secret; the server's JSON stays as it came
// for the code that reads its status.
std::string DescribeChallenge(std::string_view base64);

} // namespace sasl
