#include "app/SnapshotMail.h"

#include "app/MailClients.h"
#include "app/ReplySender.h"
#include "mail/MailAddress.h"
#include "mail/MimeMessage.h"
#include "mail/Pop3Client.h"
#include "mail/SmtpConnection.h"

#include <algorithm>
#include <exception>

namespace {

constexpr int kSmtpOpenTimeoutMs = 10000;

SnapshotMailOutcome SendEach(const MailSettings& settings,
                             const std::vector<std::string>& addresses,
                             const std::string& picturePath, const LocalTime& now,
                             const std::shared_ptr<CCodePageService>& codePages, uint16_t smtpPort,
                             const CCancelSignal* cancel) {
    SnapshotMailOutcome outcome;
    CSmtpConnection connection(smtpPort);
    connection.SetCancelSignal(cancel);
    if (!connection.Open(settings.smtpServer, kSmtpOpenTimeoutMs)) {
        outcome.result = SnapshotMailResult::SmtpConnectFailed;
        return outcome;
    }
    for (const std::string& address : addresses) {
        bool delivered = false;
        try {
            CMimeMessage message(codePages);
            message.SetPriorityLevel(1);
            message.AddToRecipient(address, {}, 0);
            message.SetSenderAddress(settings.senderAddress);
            message.SetSenderDisplayName(settings.senderName, 0);
            // The setters' results are not examined: what went wrong shows up as a failed Send.
            message.AddFileAttachment(picturePath, {}, 0, 0);
            message.AddTextPart(ReplyDateText(now) + "現在の画像です。", 1, 0);
            message.SetSubjectText("キャプチャ画像", 0);
            delivered = connection.Send(message) || connection.Send(message);
        } catch (const std::exception&) {
            delivered = false; // for example out of memory while composing
        }
        if (delivered)
            ++outcome.sent;
        else
            outcome.unsent.push_back(address);
    }
    if (connection.IsOpen())
        connection.Close();
    // Without a single address nothing was delivered: that is a failed send.
    outcome.result = !addresses.empty() && outcome.unsent.empty() ? SnapshotMailResult::Sent
                                                                  : SnapshotMailResult::SendFailed;
    return outcome;
}

} // namespace

SnapshotMailOutcome SendSnapshotMail(const MailSettings& settings,
                                     const std::vector<std::string>& listed,
                                     const std::string& picturePath, const LocalTime& now,
                                     std::shared_ptr<CCodePageService> codePages,
                                     uint16_t smtpPort, const CCancelSignal* cancel) {
    // One mail per address, addressed to it alone; an address listed twice gets one mail.
    std::vector<std::string> addresses;
    for (const std::string& address : listed) {
        if (std::none_of(addresses.begin(), addresses.end(), [&](const std::string& seen) {
                return mailbox::SameAddress(seen, address);
            }))
            addresses.push_back(address);
    }
    SnapshotMailOutcome outcome;
    CPop3Client pop3;
    ConfigurePop3Client(pop3, settings, cancel);
    if (pop3.LogIn(settings.pop3Server, settings.pop3Id, settings.pop3Pass, settings.pop3Port)) {
        outcome = SendEach(settings, addresses, picturePath, now, codePages, smtpPort, cancel);
        pop3.LogOut(); // its failure is not shown
    }
    return outcome;
}
