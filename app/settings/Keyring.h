#pragma once
// The desktop's keyring (the Secret Service, over libsecret) as a store for the program's
// secrets: the mail passwords, the OAuth client secret, the refresh token and the cameras'
// passwords. Each secret is one
// item of the schema "com.zentrivo.kestrovamail.Secret" with the attributes "folder" (the
// program folder, so that two setups on one account keep apart) and "name" (the setting it
// stands for).
//
// Nothing here asks the user: a locked keyring is reported as such, never unlocked through a
// prompt that a headless box could wait on for ever. Every call is bounded in time; a keyring
// that does not answer within it counts as unreachable.

#include <string>
#include <string_view>

enum class SecretName { Pop3Password, SmtpPassword, OAuthClientSecret, RefreshToken };

// The name a secret goes by in the keyring and in the program's messages: POP3_PASS, SMTP_PASS,
// OAUTH_CLIENT_SECRET, oauth-token.
const char* SecretNameText(SecretName name);

enum class KeyringStatus {
    Ok,
    Missing,    // the keyring answers but holds no such secret (a read)
    Locked,     // the collection or the item is locked
    Unreachable // no Secret Service on the session bus, or it did not answer in time
};

namespace keyring {

// True when a Secret Service answers on the session bus (whether or not it is locked).
bool Reachable();

// The secret of name for the program folder folder. value is left empty unless Ok.
KeyringStatus Read(const std::string& folder, SecretName name, std::string& value);

// Stores value (UTF-8) as the secret of name; an empty value removes the item.
KeyringStatus Write(const std::string& folder, SecretName name, std::string_view value);

// The same for a secret named by text: a camera's password ("CAMERA2.PASSWORD").
KeyringStatus Read(const std::string& folder, const std::string& name, std::string& value);
KeyringStatus Write(const std::string& folder, const std::string& name, std::string_view value);

} // namespace keyring
