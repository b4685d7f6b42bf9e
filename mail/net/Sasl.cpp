// OAUTHBEARER (RFC 7628) and XOAUTH2 responses; the GS2 header of RFC 5801 section 4.
#include "mail/net/Sasl.h"

#include "mail/text/ContentEncoders.h"

namespace {

constexpr std::size_t kMaxDescribedBytes = 200;

bool IsB64TokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~' || c == '+' || c == '/';
}

// The GS2 header's "a=" names the user; ',' and '=' in it are written =2C and =3D.
std::string Gs2Name(std::string_view user) {
    std::string name;
    for (char c : user) {
        if (c == ',')
            name += "=2C";
        else if (c == '=')
            name += "=3D";
        else
            name += c;
    }
    return name;
}

} // namespace

namespace sasl {

std::optional<BearerMechanism>
ChooseBearer(const std::function<bool(std::string_view)>& offers) {
    if (offers("OAUTHBEARER"))
        return BearerMechanism::OAuthBearer;
    if (offers("XOAUTH2"))
        return BearerMechanism::XOAuth2;
    return std::nullopt;
}

std::string_view Name(BearerMechanism mechanism) {
    return mechanism == BearerMechanism::OAuthBearer ? "OAUTHBEARER" : "XOAUTH2";
}

bool UsableToken(std::string_view token) {
    std::size_t end = token.size();
    while (end > 0 && token[end - 1] == '=')
        --end;
    if (end == 0)
        return false;
    for (std::size_t i = 0; i < end; ++i) {
        if (!IsB64TokenChar(token[i]))
            return false;
    }
    return true;
}

std::string InitialResponse(BearerMechanism mechanism, std::string_view user,
                            std::string_view token) {
    const std::string bearer = "auth=Bearer " + std::string(token) + '\x01';
    if (mechanism == BearerMechanism::XOAuth2)
        return "user=" + std::string(user) + '\x01' + bearer + '\x01';
    return "n,a=" + Gs2Name(user) + ",\x01" + bearer + '\x01';
}

std::string_view ErrorChallengeReply(BearerMechanism mechanism) {
    return mechanism == BearerMechanism::XOAuth2 ? std::string_view()
                                                 : std::string_view("\x01", 1);
}

std::string DescribeChallenge(std::string_view base64) {
    while (!base64.empty() && (base64.back() == ' ' || base64.back() == '\r' ||
                               base64.back() == '\n'))
        base64.remove_suffix(1);
    if (base64.empty() || base64.size() > 64 * 1024)
        return {};
    const auto decoded = encoders::DecodeBase64(base64);
    if (!decoded)
        return {};
    std::string text;
    for (std::size_t i = 0; i < decoded->size() && text.size() < kMaxDescribedBytes; ++i) {
        const auto c = static_cast<unsigned char>((*decoded)[i]);
        if (c >= 0x20 && c != 0x7f)
            text += static_cast<char>(c);
    }
    return text;
}

} // namespace sasl
