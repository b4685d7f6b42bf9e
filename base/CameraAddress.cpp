#include "base/CameraAddress.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// %XX as its byte; a "%" not followed by two hexadecimal digits stays as it is.
std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Where the authority of a URL begins and ends; npos when text is no scheme://... URL.
struct Authority {
    std::size_t begin = std::string::npos;
    std::size_t end = std::string::npos;
};
Authority FindAuthority(std::string_view text) {
    const std::size_t separator = text.find("://");
    if (separator == std::string_view::npos || separator == 0)
        return {};
    for (std::size_t i = 0; i < separator; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return {};
    }
    const std::size_t begin = separator + 3;
    const std::size_t end = std::min(text.find_first_of("/?#", begin), text.size());
    return {begin, end};
}

// A query parameter whose value is a secret.
bool SecretParameter(std::string_view name) {
    const std::string lower = Lower(name);
    constexpr std::array<std::string_view, 6> kWords = {"pass", "pwd",    "token",
                                                        "key",  "secret", "auth"};
    return std::ranges::any_of(
        kWords, [&](std::string_view word) { return lower.find(word) != std::string::npos; });
}

} // namespace

CameraAddressParts SplitCameraAddress(const std::string& address) {
    CameraAddressParts parts{address, {}, {}, false};
    const Authority authority = FindAuthority(address);
    if (authority.begin == std::string::npos)
        return parts;
    const std::string_view inside =
        std::string_view(address).substr(authority.begin, authority.end - authority.begin);
    const std::size_t at = inside.rfind('@');
    if (at == std::string_view::npos)
        return parts;
    const std::string_view userInfo = inside.substr(0, at);
    const std::size_t colon = userInfo.find(':');
    parts.hadUser = true;
    parts.user = PercentDecoded(userInfo.substr(0, colon));
    if (colon != std::string_view::npos)
        parts.password = PercentDecoded(userInfo.substr(colon + 1));
    parts.address = address.substr(0, authority.begin) + address.substr(authority.begin + at + 1);
    return parts;
}

std::string ShownCameraAddress(const std::string& address) {
    std::string shown = SplitCameraAddress(address).address;
    const std::size_t query = shown.find('?');
    if (query == std::string::npos)
        return shown;
    const std::size_t fragment = std::min(shown.find('#', query), shown.size());
    std::string out = shown.substr(0, query + 1);
    std::size_t start = query + 1;
    while (start <= fragment) {
        std::size_t end = std::min(shown.find('&', start), fragment);
        const std::string_view parameter = std::string_view(shown).substr(start, end - start);
        const std::size_t equals = parameter.find('=');
        if (equals != std::string_view::npos && SecretParameter(parameter.substr(0, equals)))
            out += std::string(parameter.substr(0, equals + 1)) + "****";
        else
            out += parameter;
        if (end < fragment)
            out += '&';
        start = end + 1;
    }
    return out + shown.substr(fragment);
}

bool CameraAddressFitsType(CameraType type, const std::string& address) {
    if (address.empty() || type == CameraType::Usb)
        return true;
    const std::string lower = Lower(address.substr(0, std::min<std::size_t>(address.size(), 8)));
    if (type == CameraType::Rtsp)
        return lower.starts_with("rtsp://") || lower.starts_with("rtsps://");
    return lower.starts_with("http://") || lower.starts_with("https://");
}
