#pragma once
// How one mail connection is protected: the choice stored in the settings, the mode the
// connection then uses, and whether a log-in's secret may be sent on it.

#include "base/SecurityChoice.h"
#include "mail/net/MailError.h"

#include <optional>
#include <string_view>

// What a connection does: stay in clear, upgrade after the greeting (STLS for POP3, STARTTLS
// for SMTP and IMAP), speak TLS from the first byte, or upgrade where the server offers it (the
// certificate verified, and no password sent when the offered upgrade fails).
enum class TlsMode { None, StartTls, Implicit, WhenOffered };

// The mode for a choice at a port: ByPort gives Implicit on 995, 465 and 993, StartTls on 587,
// WhenOffered elsewhere.
TlsMode EffectiveTlsMode(SecurityChoice choice, int port);

// What a log-in gives away to whoever reads the connection. A password covers what is made of
// it (an APOP digest, a PLAIN or LOGIN response): each lets a listener log in or guess offline.
enum class LogInSecret { Password, Token };

// True when host names this machine by its address (127.0.0.0/8, ::1, as written in the
// settings, not a name a resolver answered) and the connection went to a loopback address:
// nothing sent on it crosses a network.
bool ServerOnThisMachine(std::string_view host, bool peerIsLoopback);

// Why secret must not be sent on a connection without verified TLS, or None when it may: a
// password where the user chose no protection (TlsMode::None) or the server is on this
// machine; a bearer token only to this machine, whatever was chosen (it opens the whole
// mailbox, and nothing in the settings asks for it in clear). Where the port left the choice
// (WhenOffered) and the server offered no upgrade, nothing goes: someone on the path may have
// removed the offer. PasswordNeedsTls or TokenNeedsTls otherwise.
MailErrorCode ClearTextRefusal(TlsMode mode, LogInSecret secret, bool serverOnThisMachine);

// The words of setup.ini: "none", "starttls", "tls" (ByPort has none: the key is left out).
const char* SecurityKeyword(SecurityChoice choice);
// The choice a stored word names (exactly as written above, any letter case); nullopt otherwise.
std::optional<SecurityChoice> ParseSecurityKeyword(std::string_view word);
