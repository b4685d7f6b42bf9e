#pragma once
// The mail settings as the clients take them: one place that says which security, CA file,
// APOP choice and log-in each client gets, for the check cycle, the replies, the snapshot mail
// and the dialog's connection tests alike.

#include "base/Settings.h"
#include "mail/SmtpSession.h"

#include <string>

class CCancelSignal;
class CImapClient;
class CPop3Client;

// Security (chosen, or by the port), CA file, APOP and the cancel signal for the next LogIn.
void ConfigurePop3Client(CPop3Client& client, const MailSettings& settings,
                         const CCancelSignal* cancel);
// Security (chosen, or by the port: TLS on 993), CA file and the cancel signal for the next
// LogIn; the IMAP log-in is the POP3 one.
void ConfigureImapClient(CImapClient& client, const MailSettings& settings,
                         const CCancelSignal* cancel);

// The account the SMTP session logs in with: the SMTP log-in when one is set, else the POP3 one
// (as the settings of earlier versions expect).
const std::string& SmtpLogInName(const MailSettings& settings);
// The configured SMTP server and port: TLS as chosen or by the port (STARTTLS, verified,
// wherever the server offers it when nothing is chosen), and the log-in. A log-in borrowed from
// the mailbox is skipped by a server that offers none; an SMTP log-in of its own is required.
SmtpPolicy ConfiguredSmtpPolicy(const MailSettings& settings);
// The port 25 path, which sends no password: STARTTLS with a verified certificate when the
// configured path asks for TLS (by setting or by port), else opportunistic STARTTLS.
SmtpPolicy PortTwentyFivePolicy(const MailSettings& settings);
// True when the configured path asks for TLS (from the first byte or STARTTLS required).
bool SmtpAsksForTls(const MailSettings& settings);
