#include "app/service/SnapshotMail.h"

#include "app/service/MailClients.h"
#include "app/service/ReplySender.h"
#include "mail/mime/MailAddress.h"
#include "mail/pop3/Pop3Client.h"

#include <algorithm>

namespace {

// The snapshot dialog tells its outcome in one box; the sender's lines are not shown.
class SilentLog final : public IServiceLog {
public:
    void AddLog(const std::string&) override {}
    void WriteLogFile(const std::string&) override {}
};

} // namespace

SnapshotMailOutcome SendSnapshotMail(const MailSettings& settings,
                                     const std::vector<std::string>& listed,
                                     const JpegPicture& picture, const LocalTime& now,
                                     std::shared_ptr<CCodePageService> codePages,
                                     uint16_t helloPort, const CCancelSignal* cancel) {
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
    MailError tokenError;
    if (!LogInPop3(pop3, settings, cancel, tokenError))
        return outcome;

    const bool havePicture = picture.jpeg && !picture.jpeg->empty();
    std::vector<bool> sent(addresses.size(), false);
    SilentLog log;
    const FixedClock clock(now);
    CReplySender sender(log, clock, std::move(codePages), helloPort);
    sender.SetCancelSignal(cancel);
    sender.SetAutoReply(false); // the user sends it
    if (havePicture)
        sent = sender.SendReplies(settings, addresses, picture);
    pop3.LogOut(); // its failure is not shown

    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (sent[i])
            ++outcome.sent;
        else
            outcome.unsent.push_back(addresses[i]);
    }
    // Without a single address nothing was delivered: that is a failed send.
    if (havePicture && !addresses.empty() && !sender.Connected())
        outcome.result = SnapshotMailResult::SmtpConnectFailed;
    else
        outcome.result = !addresses.empty() && outcome.unsent.empty()
                             ? SnapshotMailResult::Sent
                             : SnapshotMailResult::SendFailed;
    return outcome;
}
