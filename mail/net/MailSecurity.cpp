#include "mail/net/MailSecurity.h"

#include "mail/text/AsciiCase.h"

#include <algorithm>
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
