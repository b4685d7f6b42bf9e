#include "app/signin/OAuthTokens.h"

#include "app/settings/PasswordCipher.h"
#include "base/AtomicFile.h"
#include "base/PrivateFile.h"
#include "mail/net/Sasl.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
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

std::string LoadRefreshToken(const std::string& folder) {
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

bool SaveRefreshToken(const std::string& folder, std::string_view refreshToken) {
    return ReplaceFileContents(folder + kFileName, EncipherSecret(refreshToken) + "\n", nullptr,
                               {.ownerOnly = true});
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
    std::string refreshToken = oauthstore::LoadRefreshToken(folder);
    if (!m_unsaved.empty() && refreshToken == m_replaced) {
        refreshToken = m_unsaved;
        if (oauthstore::SaveRefreshToken(folder, m_unsaved))
            m_unsaved.clear();
    } else {
        m_unsaved.clear();
    }
    if (refreshToken.empty()) {
        error = {MailErrorCode::SignInNeeded, 0, {}};
        return {};
    }
    const std::optional<TokenReply> reply = RequestTokens(
        mail, {{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}}, cancel, error);
    if (!reply)
        return {};
    // A server that rotates refresh tokens sends a new one; the old one may stop working.
    if (!reply->refreshToken.empty() && reply->refreshToken != refreshToken) {
        const bool saved = oauthstore::SaveRefreshToken(folder, reply->refreshToken);
        m_replaced = saved ? std::string() : oauthstore::LoadRefreshToken(folder);
        m_unsaved = saved ? std::string() : reply->refreshToken;
    }
    m_token = reply->accessToken;
    m_expiry = now + reply->expiresIn;
    return m_token;
}
