#pragma once
// The mail settings as the clients take them: one place that says which security, CA file,
// APOP choice and log-in each client gets, for the check cycle, the reply and the dialog's
// connection tests alike.

#include "base/Settings.h"

#include <string>

class CCancelSignal;
class CImapClient;
class CPop3Client;
class CSmtpAuthClient;

// Security (chosen, or by the port), CA file, APOP and the cancel signal for the next LogIn.
void ConfigurePop3Client(CPop3Client& client, const MailSettings& settings,
                         const CCancelSignal* cancel);
// Security (chosen, or by the port: TLS on 993), CA file and the cancel signal for the next
// LogIn; the IMAP log-in is the POP3 one.
void ConfigureImapClient(CImapClient& client, const MailSettings& settings,
                         const CCancelSignal* cancel);
// Server and port, security, CA file, cancel signal and the log-in: the SMTP log-in when one
// is set, else the POP3 log-in (as the settings of earlier versions expect).
void ConfigureSmtpClient(CSmtpAuthClient& client, const MailSettings& settings,
                         const CCancelSignal* cancel);
// The account the SMTP client logs in with: the SMTP log-in when one is set, else the POP3 one.
const std::string& SmtpLogInName(const MailSettings& settings);
