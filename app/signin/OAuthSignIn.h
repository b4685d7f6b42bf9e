#pragma once
// Signing in to the mail provider with OAuth 2.0, once, for the refresh token that the mail
// check uses from then on (OAuthTokens.h). No user interface: the settings dialog drives it
// from a worker thread, `kestrovamail --sign-in` from a terminal.
//
// - In a browser: the authorization code grant (RFC 6749 section 4.1) with PKCE (RFC 7636,
//   S256; the verifier from the system's random source). Start() opens a listener on a free
//   port of 127.0.0.1 and gives the address to open; the provider sends the browser back to
//   http://127.0.0.1:<port>/ (RFC 8252 section 7.3; "localhost" for Microsoft, which registers
//   that name: then the port is held on ::1 too), where Wait() takes the one redirect. When the
//   browser runs on another device, the user pastes the address it ended at instead
//   (Complete()). The `state` must be the one sent: any other is refused and nothing is
//   exchanged.
// - On another device (RFC 8628): COAuthDeviceSignIn gives a code and an address for the user
//   and polls the token endpoint at the interval the provider asks for (5 s more after each
//   slow_down) until the user approves, refuses, or the code expires.
//
// Both end by saving the refresh token (oauthstore, mode 0600). Every wait is bounded and ends
// at once on the cancel signal. No code, verifier, token or client secret appears in an error
// text: details name a setting, the provider's error code ("access_denied") or "state".

#include "base/Settings.h"
#include "mail/net/MailConnection.h"
#include "mail/net/MailError.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

class CCancelSignal;

namespace oauthsignin {

enum class Grant { Browser, DeviceCode };

// The setting, missing or unusable, that keeps mail from signing in this way
// ("MAIL.AUTH_METHOD", "MAIL.OAUTH_PROVIDER", "MAIL.OAUTH_CLIENT_ID", "MAIL.OAUTH_TOKEN_URL",
// "MAIL.OAUTH_AUTH_URL", "MAIL.OAUTH_DEVICE_URL"; the endpoints must be https); empty when
// nothing does.
std::string SettingToFix(const MailSettings& mail, Grant grant);

// How long a browser sign-in waits for the redirect by default.
inline constexpr std::chrono::minutes kBrowserLimit{5};

} // namespace oauthsignin

// One sign-in in a browser. Start, then either Wait or Complete (one at a time: cancel a Wait
// before calling Complete); a second Start begins afresh.
class COAuthBrowserSignIn {
public:
    // folder: the program folder (ending in "/"), where the refresh token is saved.
    COAuthBrowserSignIn(MailSettings mail, std::string folder);

    // Listens for the redirect and makes the address to open in the browser (with client_id,
    // scope, redirect_uri, state and the code challenge). Empty with error set when a setting
    // is missing (InvalidArgument, detail: its name) or no socket could listen.
    std::string Start(MailError& error);
    // Where the provider sends the browser back: "http://127.0.0.1:<port>/" (or localhost).
    const std::string& RedirectUri() const { return m_redirectUri; }

    // Waits for the browser's redirect, answers it with a short page, exchanges the code and
    // saves the refresh token. Requests for other paths (a favicon), or without any of code,
    // state and error, get 404, and those without this sign-in's state 400; the wait goes on.
    // The first redirect with the state ends it. None on success; NoAnswer when nothing came
    // within limit; Cancelled.
    MailError Wait(const CCancelSignal* cancel,
                   std::chrono::milliseconds limit = oauthsignin::kBrowserLimit);

    // True when text (blanks around it aside) begins with the redirect address, so it may be
    // what the browser ended at.
    bool IsRedirectAddress(std::string_view text) const;
    // The address the browser ended at, pasted by the user: the same checks as a redirect,
    // then the exchange and the save.
    MailError Complete(std::string_view address, const CCancelSignal* cancel);

private:
    MailError Finish(std::string_view query, const CCancelSignal* cancel);
    // One request on the listener: true when it ended the wait (result set).
    bool Serve(CMailConnection& connection, const CCancelSignal* cancel, MailError& result);

    MailSettings m_mail;
    std::string m_folder;
    CLoopbackListener m_listener;
    std::string m_redirectUri;
    std::string m_redirectHost; // "127.0.0.1:<port>" or "localhost:<port>"
    std::string m_state;
    std::string m_verifier;
};

// What the user is to do on another device.
struct DeviceCodePrompt {
    std::string userCode;
    std::string verificationUri;
    std::string verificationUriComplete; // the address with the code in it; empty when none
    std::chrono::seconds expiresIn{0};
};

// One sign-in with the device authorization grant.
class COAuthDeviceSignIn {
public:
    COAuthDeviceSignIn(MailSettings mail, std::string folder);

    // Asks the device endpoint for a code. nullopt with error set when a setting is missing,
    // the endpoint refused (AuthorizationFailed, detail: its error code) or its reply is
    // unusable.
    std::optional<DeviceCodePrompt> Start(const CCancelSignal* cancel, MailError& error);
    // Polls until the user approved (the refresh token saved: None), refused
    // (AuthorizationFailed "access_denied"), the code expired ("expired_token"), or cancel.
    MailError Wait(const CCancelSignal* cancel);

private:
    MailSettings m_mail;
    std::string m_folder;
    std::string m_deviceCode;
    std::chrono::seconds m_interval{5};
    std::chrono::steady_clock::time_point m_expiry{};
};
