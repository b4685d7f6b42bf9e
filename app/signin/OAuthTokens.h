#pragma once
// OAuth 2.0 for the mail log-ins: the providers' endpoints, the token endpoint's replies, the
// refresh token's file and the access token kept in memory.
//
// - Presets for Google and Microsoft carry their public endpoints and mail scopes; "custom"
//   (and any OAUTH_*_URL that is set) takes the settings' own.
// - The refresh token lives in the store MAIL.SECRET_STORE names: the desktop's keyring, or
//   oauth-token.dat in the program folder (mode 0600, obscured as the passwords in setup.ini
//   are: protected by the file's permissions, not enciphered). It is kept with the token
//   endpoint and client id it was issued for, and never sent to another.
// - Access tokens live in memory only (COAuthTokens) and are refreshed a minute before they
//   expire, and once more when a server refuses one (ForgetAccessToken).
//
// No token or secret appears in an error text: details name the authorization server's error
// code ("invalid_grant") at most.

#include "mail/net/Https.h"
#include "base/Settings.h"
#include "mail/net/MailError.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

class CCancelSignal;

struct OAuthEndpoints {
    std::string authUrl;
    std::string tokenUrl;
    std::string deviceUrl; // empty: the provider does not allow the device grant for mail
    std::string scope;
};

// The endpoints the settings name: the provider's preset, with every OAUTH_*_URL and
// OAUTH_SCOPE that is set in its place.
OAuthEndpoints EndpointsFor(const MailSettings& mail);

// What a token endpoint said (RFC 6749 sections 5.1 and 5.2, RFC 8628 section 3.5).
struct TokenReply {
    std::string accessToken;
    std::string refreshToken; // empty when the endpoint issued none (a refresh keeps the old)
    std::chrono::seconds expiresIn{3600};
    std::string error; // "invalid_grant", "authorization_pending", ...; empty on success
};

// Reads a token endpoint's JSON reply; nullopt when it is not a JSON object, or a success
// without an access token, or a token that could not go on a command line.
std::optional<TokenReply> ParseTokenReply(std::string_view json);

namespace oauthstore {
constexpr const char* kFileName = "oauth-token.dat";

// What a sign-in leaves: the refresh token and the token endpoint and client it was issued
// for (both empty in a file of earlier versions: such a token is bound at its next refresh).
struct SignIn {
    std::string refreshToken;
    std::string tokenUrl;
    std::string clientId;
};

// The sign-in kept for folder in mail's secret store; an empty one with error set when the
// keyring is locked or out of reach (a missing sign-in is no error).
SignIn Load(const MailSettings& mail, const std::string& folder, MailError& error);
// Keeps refreshToken for folder, bound to mail's token endpoint and client. The file is
// replaced whole, mode 0600 from its first byte. error set when it could not be kept.
MailError Save(const MailSettings& mail, const std::string& folder, std::string_view refreshToken);
// Keeps signIn as it stands (its binding too) in mail's secret store; an empty one removes
// what the store holds.
MailError SaveSignIn(const MailSettings& mail, const std::string& folder, const SignIn& signIn);
// True when signIn may be used with mail: issued by its token endpoint to its client, or
// unbound (earlier versions).
bool BelongsTo(const SignIn& signIn, const MailSettings& mail);

// The file store alone, for a setup without a keyring: the refresh token in folder's
// oauth-token.dat; empty when there is none.
std::string LoadRefreshToken(const std::string& folder);
// Writes an unbound refresh token to folder's oauth-token.dat (as earlier versions did).
bool SaveRefreshToken(const std::string& folder, std::string_view refreshToken);
} // namespace oauthstore

// Asks the token endpoint; the reply's parse, or a MailError: SignInNeeded for invalid_grant,
// AuthorizationFailed (detail: the error code) for another refusal, the transport's cause when
// no reply came.
// client_id (and client_secret where set) are added to fields.
std::optional<TokenReply> RequestTokens(const MailSettings& mail, FormFields fields,
                                        const CCancelSignal* cancel, MailError& error);

// The access token of the signed-in account, kept in memory on the mail worker.
class COAuthTokens {
public:
    // A token that is good for at least a minute more: the one in memory, else one fresh from
    // the refresh token in folder. Empty with error set when none could be had.
    std::string AccessToken(const MailSettings& mail, const std::string& folder,
                            const CCancelSignal* cancel, MailError& error);
    // A server refused the token: the next AccessToken asks for a new one.
    void ForgetAccessToken() { m_token.clear(); }

private:
    std::string m_token;
    std::chrono::steady_clock::time_point m_expiry{};
    // A rotated refresh token the file could not take (a full disk): used from memory, and
    // written again at the next refresh, so that the sign-in is not lost with the old one;
    // dropped when the file no longer holds m_replaced (a new sign-in wrote it).
    std::string m_unsaved;
    std::string m_replaced;
};
