#pragma once
// Moves every secret of the program folder (the passwords, the OAuth client secret, the refresh
// token and the cameras' passwords) between setup.ini, device.ini and oauth-token.dat and the
// desktop's keyring, and sets
// MAIL.SECRET_STORE to match: `kestrovamail --move-secrets keyring|file`, and the mail
// settings dialog's button. All or nothing: the secrets are written to the new store first, the
// setting changes once they all stand there, and only then does the old store forget them.

#include "base/Settings.h"

#include <iosfwd>
#include <string>
#include <vector>

struct SecretsMove {
    bool done = false;
    // POP3_PASS, SMTP_PASS, OAUTH_CLIENT_SECRET, CAMERA1.PASSWORD ..., oauth-token
    std::vector<std::string> moved;
    std::string problem;            // why nothing was moved (UTF-8, the program's Japanese)
};

SecretsMove MoveSecrets(const std::string& folder, SecretStore to);

namespace secretscli {
// store: "keyring" or "file". Says on out what was moved; exit status 0, or 1 with the reason
// on err when the target store cannot be reached (nothing is moved then).
int MoveSecrets(const std::string& folder, const std::string& store, std::ostream& out,
                std::ostream& err);
} // namespace secretscli
