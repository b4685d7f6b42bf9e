#include "app/MailClients.h"

#include "mail/ImapClient.h"
#include "mail/MailSecurity.h"
#include "mail/Pop3Client.h"

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
    if (!user.empty() && !password.empty())
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
