#include "app/service/MailClients.h"

#include "base/ProgramFolder.h"
#include "mail/imap/ImapClient.h"
#include "mail/net/MailSecurity.h"
#include "mail/pop3/Pop3Client.h"

#include <functional>
#include <sys/stat.h>

namespace {

thread_local CTokenSource* t_tokenSource = nullptr;

// Runs logIn with the account's credential: as it is for a password; with tokens, with the
// worker's access token, and once more with a fresh one when the server refuses it (an
// expired or revoked token the clock did not foresee). No further round: a fresh token that
// is refused too is the server's answer.
bool WithAccessToken(const MailSettings& settings, const CCancelSignal* cancel,
                     MailError& tokenError, const std::function<bool(const std::string&)>& logIn,
                     const std::function<MailErrorCode()>& refusal) {
    tokenError = {};
    if (!settings.oauth2)
        return logIn({});
    CTokenSource ownSource; // off a worker (a dialog's test without one): for this call
    CTokenSource& tokens = CTokenSource::OfThisThread() ? *CTokenSource::OfThisThread() : ownSource;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::string token = tokens.AccessToken(settings, cancel, tokenError);
        if (token.empty())
            return false;
        if (logIn(token))
            return true;
        if (refusal() != MailErrorCode::LoginRefused)
            return false;
        tokens.ForgetAccessToken();
    }
    return false;
}

// Everything an access token is bound to: where it was issued and the servers it goes to.
std::string AccountKey(const MailSettings& s) {
    return s.oauthProvider + "\n" + EndpointsFor(s).tokenUrl + "\n" + s.oauthClientId + "\n" +
           s.pop3Server + ":" + std::to_string(s.pop3Port) + "\n" + s.imapServer + ":" +
           std::to_string(s.imapPort) + "\n" + s.smtpServer + ":" + std::to_string(s.smtpPort) +
           "\n" + s.pop3Id + "\n" + s.smtpId;
}

} // namespace

CTokenSource::CTokenSource(std::string folder) : m_folder(std::move(folder)) {}

void CTokenSource::SetFolder(std::string folder) {
    m_folder = std::move(folder);
    m_tokens.ForgetAccessToken();
}

std::string CTokenSource::Folder() const {
    return m_folder.empty() ? ProgramFolder() : m_folder;
}

std::string CTokenSource::SignInStamp(const MailSettings& settings) const {
    if (settings.secretStore == SecretStore::Keyring) {
        MailError ignored;
        const oauthstore::SignIn stored = oauthstore::Load(settings, Folder(), ignored);
        return "keyring/" + std::to_string(std::hash<std::string>{}(
                                stored.refreshToken + "\n" + stored.tokenUrl + "\n" + stored.clientId));
    }
    struct stat info {};
    if (::stat((Folder() + oauthstore::kFileName).c_str(), &info) != 0)
        return "none";
    // A new sign-in replaces the file whole (a new inode).
    return std::to_string(info.st_ino) + "/" + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec) + "/" + std::to_string(info.st_size);
}

std::string CTokenSource::AccessToken(const MailSettings& settings, const CCancelSignal* cancel,
                                      MailError& error) {
    error = {};
    // An access token speaks for the account it was issued for: other servers, another
    // provider or client get none of it.
    const std::string account = AccountKey(settings);
    if (account != m_account) {
        m_tokens.ForgetAccessToken();
        m_account = account;
    }
    const std::string stamp = SignInStamp(settings);
    if (stamp != m_stamp) { // another sign-in: nothing of the old one is used
        m_tokens.ForgetAccessToken();
        m_refused = false;
        m_stamp = stamp;
    }
    if (m_refused) {
        error = {MailErrorCode::SignInNeeded, 0, {}};
        return {};
    }
    std::string token = m_tokens.AccessToken(settings, Folder(), cancel, error);
    m_stamp = SignInStamp(settings); // a refresh token the server rotated is the same sign-in
    m_refused = error.code == MailErrorCode::SignInNeeded;
    return token;
}

CTokenSource* CTokenSource::OfThisThread() {
    return t_tokenSource;
}

void CTokenSource::BindToThisThread(CTokenSource* source) {
    t_tokenSource = source;
}

bool LogInPop3(CPop3Client& client, const MailSettings& settings, const CCancelSignal* cancel,
               MailError& tokenError) {
    ConfigurePop3Client(client, settings, cancel);
    return WithAccessToken(
        settings, cancel, tokenError,
        [&](const std::string& token) {
            client.SetAccessToken(token);
            return client.LogIn(settings.pop3Server, settings.pop3Id,
                                token.empty() ? settings.pop3Pass : std::string(),
                                settings.pop3Port);
        },
        [&] { return client.LastMailError().code; });
}

bool LogInImap(CImapClient& client, const MailSettings& settings, const CCancelSignal* cancel,
               MailError& tokenError) {
    ConfigureImapClient(client, settings, cancel);
    return WithAccessToken(
        settings, cancel, tokenError,
        [&](const std::string& token) {
            client.SetAccessToken(token);
            return client.LogIn(settings.imapServer, settings.pop3Id,
                                token.empty() ? settings.pop3Pass : std::string(),
                                settings.imapPort);
        },
        [&] { return client.LastMailError().code; });
}

bool OpenSmtpSession(CSmtpSession& session, const std::string& host, int port,
                     SmtpPolicy policy, const MailSettings& settings,
                     const CCancelSignal* cancel, MailError& tokenError) {
    if (!policy.logIn || !settings.oauth2) {
        tokenError = {};
        return session.Open(host, port, policy);
    }
    return WithAccessToken(
        settings, cancel, tokenError,
        [&](const std::string& token) {
            policy.logIn->accessToken = token;
            return session.Open(host, port, policy);
        },
        [&] { return session.Error().code; });
}

void ConfigurePop3Client(CPop3Client& client, const MailSettings& settings,
                         const CCancelSignal* cancel) {
    client.SetSecurity(EffectiveTlsMode(settings.pop3Security, settings.pop3Port));
    client.SetCaFile(settings.caFile);
    client.SetUseApop(settings.apop);
    client.SetCancelSignal(cancel);
}

void ConfigureImapClient(CImapClient& client, const MailSettings& settings,
                         const CCancelSignal* cancel) {
    client.SetSecurity(EffectiveTlsMode(settings.imapSecurity, settings.imapPort));
    client.SetCaFile(settings.caFile);
    client.SetCancelSignal(cancel);
}

const std::string& SmtpLogInName(const MailSettings& settings) {
    return settings.smtpId.empty() ? settings.pop3Id : settings.smtpId;
}

bool SmtpAsksForTls(const MailSettings& settings) {
    const TlsMode mode = EffectiveTlsMode(settings.smtpSecurity, settings.smtpPort);
    return mode == TlsMode::Implicit || mode == TlsMode::StartTls;
}

SmtpPolicy ConfiguredSmtpPolicy(const MailSettings& settings) {
    SmtpPolicy policy;
    switch (EffectiveTlsMode(settings.smtpSecurity, settings.smtpPort)) {
    case TlsMode::Implicit:
        policy.tls = SmtpTls::Implicit;
        break;
    case TlsMode::StartTls:
        policy.tls = SmtpTls::Required;
        break;
    case TlsMode::WhenOffered:
        policy.tls = SmtpTls::WhenOffered;
        break;
    case TlsMode::None:
        policy.tls = SmtpTls::Clear;
        break;
    }
    policy.caFile = settings.caFile;
    const std::string& user = SmtpLogInName(settings);
    const std::string& password = settings.smtpId.empty() ? settings.pop3Pass : settings.smtpPass;
    if (!user.empty() && settings.oauth2)
        policy.logIn = SmtpCredentials{user, {}}; // the token comes at the open
    else if (!user.empty() && !password.empty())
        policy.logIn = SmtpCredentials{user, password};
    policy.logInIfOffered = settings.smtpId.empty();
    return policy;
}

SmtpPolicy PortTwentyFivePolicy(const MailSettings& settings) {
    SmtpPolicy policy;
    policy.tls = SmtpAsksForTls(settings) ? SmtpTls::Required : SmtpTls::Opportunistic;
    policy.caFile = settings.caFile;
    policy.heloFallback = true;
    return policy;
}
