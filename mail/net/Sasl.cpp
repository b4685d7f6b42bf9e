// OAUTHBEARER (RFC 7628) and XOAUTH2 responses; the GS2 header of RFC 5801 section 4.
#include "mail/net/Sasl.h"

#include <openssl/evp.h>

#include <vector>

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
    if (base64.empty() || base64.size() % 4 != 0 || base64.size() > 64 * 1024)
        return {};
    // Padding: at most two "=", at the end only.
    const std::size_t padding = base64.size() - base64.find_last_not_of('=') - 1;
    if (padding > 2 || base64.find('=') < base64.size() - padding)
        return {};
    for (char c : base64.substr(0, base64.size() - padding)) {
        if (!IsB64TokenChar(c))
            return {};
    }
    std::vector<unsigned char> decoded(base64.size() / 4 * 3 + 1);
    const int length =
        EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(base64.data()),
                        static_cast<int>(base64.size()));
    if (length < 0)
        return {};
    // EVP_DecodeBlock counts the bytes the padding stands for.
    const std::size_t size = static_cast<std::size_t>(length) - padding;
    std::string text;
    for (std::size_t i = 0; i < size && text.size() < kMaxDescribedBytes; ++i) {
        const unsigned char c = decoded[i];
        if (c >= 0x20 && c != 0x7f)
            text += static_cast<char>(c);
    }
    return text;
}

} // namespace sasl
