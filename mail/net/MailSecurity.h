#pragma once
// How one mail connection is protected: the choice stored in the settings, and the mode the
// connection then uses.

#include "base/SecurityChoice.h"

#include <optional>
#include <string_view>

// What a connection does: stay in clear, upgrade after the greeting (STLS for POP3, STARTTLS
// for SMTP and IMAP), speak TLS from the first byte, or upgrade where the server offers it (the
// certificate verified, and no password sent when the offered upgrade fails).
enum class TlsMode { None, StartTls, Implicit, WhenOffered };

// The mode for a choice at a port: ByPort gives Implicit on 995, 465 and 993, StartTls on 587,
// WhenOffered elsewhere.
TlsMode EffectiveTlsMode(SecurityChoice choice, int port);

// The words of setup.ini: "none", "starttls", "tls" (ByPort has none: the key is left out).
const char* SecurityKeyword(SecurityChoice choice);
// The choice a stored word names (exactly as written above, any letter case); nullopt otherwise.
std::optional<SecurityChoice> ParseSecurityKeyword(std::string_view word);
