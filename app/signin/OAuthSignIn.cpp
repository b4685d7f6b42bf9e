#include "app/signin/OAuthSignIn.h"

#include "mail/net/Https.h"
#include "app/signin/OAuthTokens.h"
#include "app/report/ScreenText.h"
#include "mail/text/AsciiCase.h"
#include "mail/net/CancelSignal.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <map>
#include <openssl/rand.h>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kDeviceGrant = "urn:ietf:params:oauth:grant-type:device_code";

// A request of the browser: its head only (a redirect has no body), bounded in size and time
// so that a client that connects and says nothing holds the wait for seconds, not minutes.
const ReplyLimits kRequestLimits{std::chrono::seconds(10), std::chrono::seconds(15), 16 * 1024};
constexpr std::chrono::seconds kPageSendLimit{5};
// RFC 8628 section 3.5: five seconds more after each slow_down.
constexpr std::chrono::seconds kSlowDownStep{5};

template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("OAuthSignIn", text, {std::string_view(arguments)...});
}

// Text of count random bytes from the system's generator, base64url without padding (the
// characters RFC 7636 section 4.1 allows in a verifier); empty when the generator failed.
std::string RandomText(int count) {
    QByteArray bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), count) != 1)
        return {};
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)
        .toStdString();
}

// RFC 7636 section 4.2: BASE64URL(SHA256(verifier)).
std::string S256Challenge(const std::string& verifier) {
    return QCryptographicHash::hash(QByteArray::fromStdString(verifier), QCryptographicHash::Sha256)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)
        .toStdString();
}

// True for a text of visible ASCII (no blank) of 1 to limit bytes: what may be shown on a
// terminal or put into a form without surprises.
bool VisibleAscii(std::string_view text, std::size_t limit) {
    return !text.empty() && text.size() <= limit &&
           std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = ascii::ToLower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The fields of a query (application/x-www-form-urlencoded). nullopt for a broken escape or a
// field given twice: two states or two codes leave no single one to check.
std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query) {
    std::map<std::string, std::string> fields;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue;
        std::string decoded[2];
        const std::size_t equals = pair.find('=');
        const std::string_view parts[2] = {pair.substr(0, equals), equals == std::string_view::npos
                                                                       ? std::string_view()
                                                                       : pair.substr(equals + 1)};
        for (int k = 0; k < 2; ++k) {
            for (std::size_t i = 0; i < parts[k].size(); ++i) {
                const char c = parts[k][i];
                if (c == '+') {
                    decoded[k] += ' ';
                } else if (c != '%') {
                    decoded[k] += c;
                } else {
                    const int high = i + 2 < parts[k].size() ? HexValue(parts[k][i + 1]) : -1;
                    const int low = high >= 0 ? HexValue(parts[k][i + 2]) : -1;
                    if (low < 0)
                        return std::nullopt;
                    decoded[k] += static_cast<char>(high * 16 + low);
                    i += 2;
                }
            }
        }
        if (!fields.emplace(std::move(decoded[0]), std::move(decoded[1])).second)
            return std::nullopt;
    }
    return fields;
}

// The end of an HTTP request's head (RFC 9112 section 2.1): the empty line.
std::size_t RequestHeadEnd(std::string_view buffered, std::size_t searchFrom) {
    const std::size_t at = buffered.find("\r\n\r\n", searchFrom > 3 ? searchFrom - 3 : 0);
    return at == std::string_view::npos ? at : at + 4;
}

// The value of header name in head, blanks around it removed; empty when it is missing.
std::string HeaderValue(std::string_view head, std::string_view name) {
    std::size_t at = head.find("\r\n");
    while (at != std::string_view::npos && at + 2 < head.size()) {
        const std::size_t start = at + 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string_view line = head.substr(start, end - start);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            ascii::StartsWithNoCase(line, name)) {
            std::string_view value = line.substr(name.size() + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                value.remove_suffix(1);
            return std::string(value);
        }
        at = end;
    }
    return {};
}

std::string HtmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The short page the browser shows after the redirect. The address it was asked for holds the
// code: the page loads nothing and sends no referrer.
std::string PageResponse(int status, const std::string& heading, const std::string& text) {
    const std::string body =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>KestrovaMail</title></head>"
        "<body style=\"font-family:sans-serif;margin:3em\"><h1>" +
        HtmlEscaped(heading) + "</h1><p>" + HtmlEscaped(text) + "</p></body></html>\n";
    const char* reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Bad Request";
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) +
           "\r\nCache-Control: no-store\r\nReferrer-Policy: no-referrer\r\n"
           "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'\r\n"
           "Connection: close\r\n\r\n" +
           body;
}

// RequestTokens for a sign-in: invalid_grant here is a refused code, not a refresh token to
// replace, so it is said as the refusal it is.
std::optional<TokenReply> ExchangeForTokens(const MailSettings& mail, FormFields fields,
                                            const CCancelSignal* cancel, MailError& error) {
    std::optional<TokenReply> reply = RequestTokens(mail, std::move(fields), cancel, error);
    if (!reply && error.code == MailErrorCode::SignInNeeded)
        error.code = MailErrorCode::AuthorizationFailed;
    return reply;
}

MailError SaveRefreshToken(const MailSettings& mail, const std::string& folder,
                           const TokenReply& reply) {
    // Without a refresh token the mail check could not run past the first hour.
    if (reply.refreshToken.empty())
        return {MailErrorCode::AuthorizationFailed, 0, "refresh_token"};
    return oauthstore::Save(mail, folder, reply.refreshToken);
}

} // namespace

namespace oauthsignin {

std::string SettingToFix(const MailSettings& mail, Grant grant) {
    if (!mail.oauth2)
        return "MAIL.AUTH_METHOD";
    if (mail.oauthProvider != "google" && mail.oauthProvider != "microsoft" &&
        mail.oauthProvider != "custom")
        return "MAIL.OAUTH_PROVIDER";
    if (!VisibleAscii(mail.oauthClientId, 1024))
        return "MAIL.OAUTH_CLIENT_ID";
    const OAuthEndpoints endpoints = EndpointsFor(mail);
    const auto usable = [](const std::string& url) {
        return url.starts_with("https://") && VisibleAscii(url, 2048);
    };
    if (!usable(endpoints.tokenUrl))
        return "MAIL.OAUTH_TOKEN_URL";
    if (grant == Grant::Browser && !usable(endpoints.authUrl))
        return "MAIL.OAUTH_AUTH_URL";
    if (grant == Grant::DeviceCode && !usable(endpoints.deviceUrl))
        return "MAIL.OAUTH_DEVICE_URL";
    return {};
}

} // namespace oauthsignin

COAuthBrowserSignIn::COAuthBrowserSignIn(MailSettings mail, std::string folder)
    : m_mail(std::move(mail)), m_folder(std::move(folder)) {}

std::string COAuthBrowserSignIn::Start(MailError& error) {
    m_listener.Close();
    m_state.clear();
    m_verifier.clear();
    if (const std::string setting = oauthsignin::SettingToFix(m_mail, oauthsignin::Grant::Browser);
        !setting.empty()) {
        error = {MailErrorCode::InvalidArgument, 0, setting};
        return {};
    }
    const std::string state = RandomText(16);
    const std::string verifier = RandomText(32); // 43 characters, as RFC 7636 asks at least
    if (state.empty() || verifier.empty()) {
        error = {MailErrorCode::InvalidArgument, 0, "RAND_bytes"};
        return {};
    }
    // Microsoft's desktop registrations name the loopback "localhost", which the browser may
    // look for on ::1 first: the port is held on both addresses, or another user of the
    // machine could listen on the one left free and be sent the code.
    const bool localhost = m_mail.oauthProvider == "microsoft";
    if (!m_listener.Listen(error, localhost ? CLoopbackListener::Addresses::BothLoopback
                                            : CLoopbackListener::Addresses::Ipv4))
        return {};
    m_state = state;
    m_verifier = verifier;
    const char* host = localhost ? "localhost" : "127.0.0.1";
    m_redirectHost = std::string(host) + ":" + std::to_string(m_listener.port());
    m_redirectUri = "http://" + m_redirectHost + "/";

    const OAuthEndpoints endpoints = EndpointsFor(m_mail);
    FormFields fields = {{"response_type", "code"},
                         {"client_id", m_mail.oauthClientId},
                         {"redirect_uri", m_redirectUri},
                         {"state", m_state},
                         {"code_challenge", S256Challenge(m_verifier)},
                         {"code_challenge_method", "S256"}};
    if (!endpoints.scope.empty())
        fields.emplace_back("scope", endpoints.scope);
    // Google issues a refresh token only for offline access, and again only with consent.
    if (m_mail.oauthProvider == "google") {
        fields.emplace_back("access_type", "offline");
        fields.emplace_back("prompt", "consent");
    }
    // The provider offers the mailbox's account first.
    if (m_mail.pop3Id.find('@') != std::string::npos)
        fields.emplace_back("login_hint", m_mail.pop3Id);
    const char joiner = endpoints.authUrl.find('?') == std::string::npos ? '?' : '&';
    return endpoints.authUrl + joiner + https::EncodeForm(fields);
}

MailError COAuthBrowserSignIn::Wait(const CCancelSignal* cancel, std::chrono::milliseconds limit) {
    if (!m_listener.IsListening())
        return {MailErrorCode::InvalidArgument, 0, "Start"};
    const auto deadline = Clock::now() + limit;
    CMailConnection connection;
    connection.SetCancelSignal(cancel);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return {MailErrorCode::NoAnswer, 0, {}};
        if (!connection.Accept(m_listener, left))
            return connection.Error();
        MailError result;
        if (Serve(connection, cancel, result)) {
            m_listener.Close();
            return result;
        }
    }
}

bool COAuthBrowserSignIn::Serve(CMailConnection& connection, const CCancelSignal* cancel,
                                MailError& result) {
    std::string head;
    if (!connection.ReadReply(RequestHeadEnd, kRequestLimits, head)) {
        connection.Close(); // a client that said nothing whole: the next one may
        return false;
    }
    // "GET /?code=...&state=... HTTP/1.1"
    const std::string_view line = std::string_view(head).substr(0, head.find("\r\n"));
    const std::size_t space = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    const std::string_view target =
        space < lastSpace ? line.substr(space + 1, lastSpace - space - 1) : std::string_view();
    const std::string host = HeaderValue(head, "Host");
    const std::string port = ":" + std::to_string(m_listener.port());
    const bool ours =
        line.starts_with("GET ") && (target == "/" || target.starts_with("/?")) &&
        (host == "127.0.0.1" + port || host == "localhost" + port || host == "[::1]" + port);
    const std::string_view query = target.size() > 2 ? target.substr(2) : std::string_view();
    const auto fields = ParseQuery(query);
    const bool redirect =
        ours && fields &&
        (fields->contains("state") || fields->contains("code") || fields->contains("error"));
    if (!redirect) {
        connection.Send(
            PageResponse(404, Tr(QT_TRANSLATE_NOOP("OAuthSignIn", "見つかりません")),
                         Tr(QT_TRANSLATE_NOOP("OAuthSignIn", "このアドレスには何もありません。"))),
            kPageSendLimit);
        connection.Close();
        return false;
    }
    // Only the provider's redirect carries this sign-in's state. Anything else (a web page
    // trying loopback ports, a stale tab) is refused and the wait goes on: it must not be
    // able to end the sign-in.
    if (const auto state = fields->find("state");
        state == fields->end() || state->second != m_state) {
        connection.Send(
            PageResponse(400, Tr(QT_TRANSLATE_NOOP("OAuthSignIn", "サインインできませんでした")),
                         ScreenText(DescribeMailError({MailErrorCode::ProtocolError, 0, "state"}))),
            kPageSendLimit);
        connection.Close();
        return false;
    }
    result = Finish(query, cancel);
    const std::string page =
        result
            ? PageResponse(400, Tr(QT_TRANSLATE_NOOP("OAuthSignIn", "サインインできませんでした")),
                           ScreenText(DescribeMailError(result)))
            : PageResponse(
                  200, Tr(QT_TRANSLATE_NOOP("OAuthSignIn", "サインインしました")),
                  Tr(QT_TRANSLATE_NOOP("OAuthSignIn",
                                       "このページを閉じて KestrovaMail に戻ってください。")));
    connection.Send(page, kPageSendLimit);
    connection.Close();
    return true;
}

bool COAuthBrowserSignIn::IsRedirectAddress(std::string_view text) const {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    if (ascii::StartsWithNoCase(text, "http://"))
        text.remove_prefix(7);
    return !m_redirectHost.empty() && text.starts_with(m_redirectHost + "/");
}

MailError COAuthBrowserSignIn::Complete(std::string_view address, const CCancelSignal* cancel) {
    const std::string_view blanks = " \t\r\n";
    address.remove_prefix(std::min(address.size(), address.find_first_not_of(blanks)));
    address = address.substr(0, address.find_last_not_of(blanks) + 1);
    if (!IsRedirectAddress(address))
        return {MailErrorCode::ProtocolError, 0, "redirect_uri"};
    std::string_view rest =
        address.substr(address.find(m_redirectHost) + m_redirectHost.size() + 1);
    rest = rest.substr(0, rest.find('#'));
    m_listener.Close();
    if (!rest.starts_with('?'))
        return {MailErrorCode::ProtocolError, 0, "code"};
    return Finish(rest.substr(1), cancel);
}

MailError COAuthBrowserSignIn::Finish(std::string_view query, const CCancelSignal* cancel) {
    // One code per sign-in: whatever comes of this one, another needs a new Start.
    const std::string state = std::exchange(m_state, {});
    const std::string verifier = std::exchange(m_verifier, {});
    const auto fields = ParseQuery(query);
    // RFC 6749 section 10.12: a redirect without our state may be someone else's code, sent to
    // sign this program in to their account.
    if (state.empty() || !fields || !fields->contains("state") || fields->at("state") != state)
        return {MailErrorCode::ProtocolError, 0, "state"};
    if (const auto refusal = fields->find("error"); refusal != fields->end())
        return {MailErrorCode::AuthorizationFailed, 0,
                VisibleAscii(refusal->second, 64) ? refusal->second : "error"};
    const auto code = fields->find("code");
    if (code == fields->end() || code->second.empty())
        return {MailErrorCode::ProtocolError, 0, "code"};
    MailError error;
    const std::optional<TokenReply> reply = ExchangeForTokens(m_mail,
                                                              {{"grant_type", "authorization_code"},
                                                               {"code", code->second},
                                                               {"redirect_uri", m_redirectUri},
                                                               {"code_verifier", verifier}},
                                                              cancel, error);
    return reply ? SaveRefreshToken(m_mail, m_folder, *reply) : error;
}

COAuthDeviceSignIn::COAuthDeviceSignIn(MailSettings mail, std::string folder)
    : m_mail(std::move(mail)), m_folder(std::move(folder)) {}

std::optional<DeviceCodePrompt> COAuthDeviceSignIn::Start(const CCancelSignal* cancel,
                                                          MailError& error) {
    m_deviceCode.clear();
    if (const std::string setting =
            oauthsignin::SettingToFix(m_mail, oauthsignin::Grant::DeviceCode);
        !setting.empty()) {
        error = {MailErrorCode::InvalidArgument, 0, setting};
        return std::nullopt;
    }
    const OAuthEndpoints endpoints = EndpointsFor(m_mail);
    FormFields fields = {{"client_id", m_mail.oauthClientId}};
    if (!endpoints.scope.empty())
        fields.emplace_back("scope", endpoints.scope);
    if (!m_mail.oauthClientSecret.empty())
        fields.emplace_back("client_secret", m_mail.oauthClientSecret);
    const HttpReply http = https::PostForm(endpoints.deviceUrl, fields, m_mail.caFile, cancel);
    if (http.error) {
        error = http.error;
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(http.body));
    const QJsonObject object = document.object();
    const auto text = [&object](const char* key) {
        return object.value(QLatin1String(key)).toString().toStdString();
    };
    const std::string refusal = text("error");
    if (!refusal.empty() || http.status != 200) {
        error = {MailErrorCode::AuthorizationFailed, 0,
                 VisibleAscii(refusal, 64) ? refusal : "HTTP " + std::to_string(http.status)};
        return std::nullopt;
    }
    DeviceCodePrompt prompt;
    prompt.userCode = text("user_code");
    prompt.verificationUri = text("verification_uri");
    if (prompt.verificationUri.empty())
        prompt.verificationUri = text("verification_url"); // the name of an earlier draft
    prompt.verificationUriComplete = text("verification_uri_complete");
    const std::string deviceCode = text("device_code");
    // What is shown goes to a terminal or a dialog: no control bytes, no other scheme.
    const auto address = [](const std::string& url) {
        return url.starts_with("https://") && VisibleAscii(url, 2048);
    };
    if (!VisibleAscii(deviceCode, 4096) || !VisibleAscii(prompt.userCode, 64) ||
        !address(prompt.verificationUri) ||
        (!prompt.verificationUriComplete.empty() && !address(prompt.verificationUriComplete))) {
        error = {MailErrorCode::ProtocolError, 0, "HTTP " + std::to_string(http.status)};
        return std::nullopt;
    }
    // RFC 8628 section 3.2: 5 s when the interval is not given; expires_in is required, a
    // quarter of an hour stands in for a missing one.
    const double interval = object.value(QLatin1String("interval")).toDouble(5);
    const double expiresIn = object.value(QLatin1String("expires_in")).toDouble(900);
    m_interval = std::chrono::seconds(static_cast<long long>(std::clamp(interval, 1.0, 300.0)));
    prompt.expiresIn =
        std::chrono::seconds(static_cast<long long>(std::clamp(expiresIn, 1.0, 86400.0)));
    m_expiry = Clock::now() + prompt.expiresIn;
    m_deviceCode = deviceCode;
    return prompt;
}

MailError COAuthDeviceSignIn::Wait(const CCancelSignal* cancel) {
    if (m_deviceCode.empty())
        return {MailErrorCode::InvalidArgument, 0, "Start"};
    for (;;) {
        if (cancel && !cancel->Pause(m_interval))
            return {MailErrorCode::Cancelled, 0, {}};
        if (!cancel)
            std::this_thread::sleep_for(m_interval);
        if (Clock::now() >= m_expiry)
            return {MailErrorCode::AuthorizationFailed, 0, "expired_token"};
        MailError error;
        const std::optional<TokenReply> reply = ExchangeForTokens(
            m_mail, {{"grant_type", kDeviceGrant}, {"device_code", m_deviceCode}}, cancel, error);
        if (reply) {
            m_deviceCode.clear();
            return SaveRefreshToken(m_mail, m_folder, *reply);
        }
        // RFC 8628 section 3.5: pending goes on at the same pace, slow_down at a slower one.
        if (error.code == MailErrorCode::AuthorizationFailed &&
            error.detail == "authorization_pending")
            continue;
        if (error.code == MailErrorCode::AuthorizationFailed && error.detail == "slow_down") {
            m_interval += kSlowDownStep;
            continue;
        }
        m_deviceCode.clear();
        return error;
    }
}
