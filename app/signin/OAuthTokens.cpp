#include "app/signin/OAuthTokens.h"

#include "app/settings/Keyring.h"
#include "app/settings/PasswordCipher.h"
#include "base/AtomicFile.h"
#include "base/PrivateFile.h"
#include "mail/net/Sasl.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace {

constexpr std::chrono::seconds kRefreshAhead{60};
// Longest token accepted from an endpoint: far above what providers issue, far below a line
// limit of the mail protocols.
constexpr std::size_t kMaxTokenBytes = 8192;

struct Preset {
    const char* name;
    OAuthEndpoints endpoints;
};

const Preset kPresets[] = {
    {"google",
     {"https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token", "",
      "https://mail.google.com/"}},
    {"microsoft",
     {"https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
      "https://login.microsoftonline.com/common/oauth2/v2.0/token",
      "https://login.microsoftonline.com/common/oauth2/v2.0/devicecode",
      "offline_access https://outlook.office.com/IMAP.AccessAsUser.All "
      "https://outlook.office.com/POP.AccessAsUser.All https://outlook.office.com/SMTP.Send"}},
};

std::string Text(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString().toStdString();
}

} // namespace

OAuthEndpoints EndpointsFor(const MailSettings& mail) {
    OAuthEndpoints endpoints;
    for (const Preset& preset : kPresets) {
        if (mail.oauthProvider == preset.name)
            endpoints = preset.endpoints;
    }
    for (auto [field, value] : {std::pair{&OAuthEndpoints::authUrl, &mail.oauthAuthUrl},
                                std::pair{&OAuthEndpoints::tokenUrl, &mail.oauthTokenUrl},
                                std::pair{&OAuthEndpoints::deviceUrl, &mail.oauthDeviceUrl},
                                std::pair{&OAuthEndpoints::scope, &mail.oauthScope}}) {
        if (!value->empty())
            endpoints.*field = *value;
    }
    return endpoints;
}

std::optional<TokenReply> ParseTokenReply(std::string_view json) {
    QJsonParseError problem{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &problem);
    if (problem.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    TokenReply reply;
    reply.error = Text(object, "error");
    if (!reply.error.empty()) {
        // An error code is shown to the user: RFC 6749 allows only printable ASCII in it.
        for (char c : reply.error) {
            if (c < 0x20 || c > 0x7e)
                return std::nullopt;
        }
        if (reply.error.size() > 64)
            reply.error.resize(64);
        return reply;
    }
    reply.accessToken = Text(object, "access_token");
    reply.refreshToken = Text(object, "refresh_token");
    if (reply.accessToken.size() > kMaxTokenBytes || !sasl::UsableToken(reply.accessToken) ||
        reply.refreshToken.size() > kMaxTokenBytes)
        return std::nullopt;
    for (char c : reply.refreshToken) {
        if (c <= 0x20 || c > 0x7e)
            return std::nullopt;
    }
    const QJsonValue expires = object.value(QLatin1String("expires_in"));
    // Some servers send the number as a string.
    const double seconds = expires.isString() ? expires.toString().toDouble() : expires.toDouble(-1);
    if (seconds >= 0 && seconds < 1e8)
        reply.expiresIn = std::chrono::seconds(static_cast<long long>(seconds));
    return reply;
}

namespace oauthstore {

namespace {

// The stored form: the token, then its endpoint and client on lines of their own (a token
// holds no line break; an unbound one is the token alone, as earlier versions wrote it).
std::string Joined(const SignIn& signIn) {
    if (signIn.tokenUrl.empty())
        return signIn.refreshToken;
    return signIn.refreshToken + "\n" + signIn.tokenUrl + "\n" + signIn.clientId;
}

SignIn Split(const std::string& text) {
    SignIn signIn;
    std::istringstream lines(text);
    std::getline(lines, signIn.refreshToken);
    std::getline(lines, signIn.tokenUrl);
    std::getline(lines, signIn.clientId);
    return signIn;
}

MailError KeyringError(KeyringStatus status) {
    if (status == KeyringStatus::Locked)
        return {MailErrorCode::KeyringLocked, 0, {}};
    if (status == KeyringStatus::Unreachable)
        return {MailErrorCode::KeyringUnreachable, 0, SecretNameText(SecretName::RefreshToken)};
    return {};
}

std::string LoadFile(const std::string& folder) {
    // The user's own file only: a token behind a link, or one another user left, would sign
    // the mail check in to their account.
    const FileDescriptor fd = OpenForReading(folder + kFileName);
    std::string hex;
    char buffer[4096];
    while (fd) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        hex.append(buffer, static_cast<std::size_t>(n));
        if (hex.size() > 4 * kMaxTokenBytes) // enciphered and in hex: twice the token and more
            return {};
    }
    while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r'))
        hex.pop_back();
    return hex.empty() ? std::string() : DecipherSecret(hex);
}

bool SaveFile(const std::string& folder, const std::string& text) {
    return ReplaceFileContents(folder + kFileName, EncipherSecret(text) + "\n", nullptr,
                               {.ownerOnly = true});
}

} // namespace

SignIn Load(const MailSettings& mail, const std::string& folder, MailError& error) {
    error = {};
    if (mail.secretStore == SecretStore::File)
        return Split(LoadFile(folder));
    std::string text;
    const KeyringStatus status = keyring::Read(folder, SecretName::RefreshToken, text);
    error = KeyringError(status);
    return Split(text);
}

MailError Save(const MailSettings& mail, const std::string& folder,
               std::string_view refreshToken) {
    return SaveSignIn(mail, folder,
                      {std::string(refreshToken), EndpointsFor(mail).tokenUrl, mail.oauthClientId});
}

MailError SaveSignIn(const MailSettings& mail, const std::string& folder, const SignIn& signIn) {
    const std::string text = signIn.refreshToken.empty() ? std::string() : Joined(signIn);
    if (mail.secretStore == SecretStore::Keyring)
        return KeyringError(keyring::Write(folder, SecretName::RefreshToken, text));
    if (text.empty()) {
        std::error_code ignored;
        std::filesystem::remove(folder + kFileName, ignored);
        return {};
    }
    if (!SaveFile(folder, text))
        return {MailErrorCode::FileNotWritten, 0, folder + kFileName};
    return {};
}

bool BelongsTo(const SignIn& signIn, const MailSettings& mail) {
    return signIn.tokenUrl.empty() ||
           (signIn.tokenUrl == EndpointsFor(mail).tokenUrl && signIn.clientId == mail.oauthClientId);
}

std::string LoadRefreshToken(const std::string& folder) {
    return Split(LoadFile(folder)).refreshToken;
}

bool SaveRefreshToken(const std::string& folder, std::string_view refreshToken) {
    return SaveFile(folder, std::string(refreshToken));
}

} // namespace oauthstore

std::optional<TokenReply> RequestTokens(const MailSettings& mail, FormFields fields,
                                        const CCancelSignal* cancel, MailError& error) {
    fields.emplace_back("client_id", mail.oauthClientId);
    if (!mail.oauthClientSecret.empty())
        fields.emplace_back("client_secret", mail.oauthClientSecret);
    const HttpReply http =
        https::PostForm(EndpointsFor(mail).tokenUrl, fields, mail.caFile, cancel);
    if (http.error) {
        error = http.error;
        return std::nullopt;
    }
    std::optional<TokenReply> reply = ParseTokenReply(http.body);
    if (!reply) {
        error = {MailErrorCode::ProtocolError, 0, "HTTP " + std::to_string(http.status)};
        return std::nullopt;
    }
    if (reply->error == "invalid_grant") {
        error = {MailErrorCode::SignInNeeded, 0, reply->error};
        return std::nullopt;
    }
    if (!reply->error.empty() || http.status != 200) {
        error = {MailErrorCode::AuthorizationFailed, 0,
                 reply->error.empty() ? "HTTP " + std::to_string(http.status) : reply->error};
        return std::nullopt;
    }
    return reply;
}

std::string COAuthTokens::AccessToken(const MailSettings& mail, const std::string& folder,
                                      const CCancelSignal* cancel, MailError& error) {
    const auto now = std::chrono::steady_clock::now();
    if (!m_token.empty() && now + kRefreshAhead < m_expiry)
        return m_token;
    m_token.clear();
    oauthstore::SignIn stored = oauthstore::Load(mail, folder, error);
    if (error)
        return {};
    if (!m_unsaved.empty() && stored.refreshToken == m_replaced) {
        stored.refreshToken = m_unsaved;
        if (!oauthstore::Save(mail, folder, m_unsaved))
            m_unsaved.clear();
    } else {
        m_unsaved.clear();
    }
    // A token issued by another endpoint, or to another client, goes nowhere: the settings
    // changed since the sign-in, and only a new one may speak for them.
    if (stored.refreshToken.empty() || !oauthstore::BelongsTo(stored, mail)) {
        error = {MailErrorCode::SignInNeeded, 0, {}};
        return {};
    }
    const std::optional<TokenReply> reply =
        RequestTokens(mail, {{"grant_type", "refresh_token"}, {"refresh_token", stored.refreshToken}},
                      cancel, error);
    if (!reply)
        return {};
    // A server that rotates refresh tokens sends a new one; the old one may stop working. A
    // token of earlier versions is bound to the endpoint that has just taken it.
    const bool rotated = !reply->refreshToken.empty() && reply->refreshToken != stored.refreshToken;
    if (rotated || stored.tokenUrl.empty()) {
        const std::string& keep = rotated ? reply->refreshToken : stored.refreshToken;
        const bool saved = !oauthstore::Save(mail, folder, keep);
        MailError ignored;
        m_replaced = saved ? std::string() : oauthstore::Load(mail, folder, ignored).refreshToken;
        m_unsaved = saved || !rotated ? std::string() : keep;
    }
    m_token = reply->accessToken;
    m_expiry = now + reply->expiresIn;
    return m_token;
}
