#include "app/MailClients.h"

#include "mail/ImapClient.h"
#include "mail/Pop3Client.h"
#include "mail/SmtpAuthClient.h"

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

void ConfigureSmtpClient(CSmtpAuthClient& client, const MailSettings& settings,
                         const CCancelSignal* cancel) {
    client.SetServerEndpoint(settings.smtpServer, static_cast<uint16_t>(settings.smtpPort));
    client.SetSecurity(EffectiveTlsMode(settings.smtpSecurity, settings.smtpPort));
    client.SetCaFile(settings.caFile);
    client.SetCancelSignal(cancel);
    const std::string& user = SmtpLogInName(settings);
    const std::string& password = settings.smtpId.empty() ? settings.pop3Pass : settings.smtpPass;
    // Without a log-in the client fails before the mail transaction and the HELO path takes
    // over, as it always has.
    if (!user.empty())
        client.SetAuthUser(user);
    if (!password.empty())
        client.SetAuthPassword(password);
}

const std::string& SmtpLogInName(const MailSettings& settings) {
    return settings.smtpId.empty() ? settings.pop3Id : settings.smtpId;
}
