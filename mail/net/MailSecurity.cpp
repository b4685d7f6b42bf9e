#include "mail/net/MailSecurity.h"

#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <string>

TlsMode EffectiveTlsMode(SecurityChoice choice, int port) {
    switch (choice) {
    case SecurityChoice::None:
        return TlsMode::None;
    case SecurityChoice::StartTls:
        return TlsMode::StartTls;
    case SecurityChoice::Tls:
        return TlsMode::Implicit;
    case SecurityChoice::ByPort:
        break;
    }
    // The ports registered for mail over TLS (RFC 8314), and submission with STARTTLS.
    if (port == 995 || port == 465 || port == 993)
        return TlsMode::Implicit;
    if (port == 587)
        return TlsMode::StartTls;
    return TlsMode::WhenOffered;
}

bool ServerOnThisMachine(std::string_view host, bool peerIsLoopback) {
    if (!peerIsLoopback)
        return false;
    const std::string text(host);
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return ::inet_pton(AF_INET6, text.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

MailErrorCode ClearTextRefusal(TlsMode mode, LogInSecret secret, bool serverOnThisMachine) {
    if (serverOnThisMachine)
        return MailErrorCode::None;
    if (secret == LogInSecret::Token)
        return MailErrorCode::TokenNeedsTls;
    return mode == TlsMode::None ? MailErrorCode::None : MailErrorCode::PasswordNeedsTls;
}

const char* SecurityKeyword(SecurityChoice choice) {
    switch (choice) {
    case SecurityChoice::None:
        return "none";
    case SecurityChoice::StartTls:
        return "starttls";
    case SecurityChoice::Tls:
        return "tls";
    case SecurityChoice::ByPort:
        break;
    }
    return "";
}

std::optional<SecurityChoice> ParseSecurityKeyword(std::string_view word) {
    const std::string lower = ascii::Lower(word);
    for (SecurityChoice c : {SecurityChoice::None, SecurityChoice::StartTls, SecurityChoice::Tls})
        if (lower == SecurityKeyword(c))
            return c;
    return std::nullopt;
}
