#pragma once
// Mails a picture to a list of addresses, one mail to each, addressed to that address alone (no
// requester learns another's address): the replies of a check cycle and the snapshot mail. One
// message layout (the MIME composer) and one SMTP session type serve both paths:
//
// - the configured server and port, with TLS as set (or by the port) and the log-in;
// - port 25 without a log-in, only when the configured path could not reach or use the server
//   at all: no connection on its port, or a server that offers no log-in while the program has
//   no SMTP log-in of its own. Never after a TLS or certificate failure, a refused log-in or
//   command, or a mail the server may already have taken; and when the configured path asks
//   for TLS, port 25 must give STARTTLS with a verified certificate.

#include "app/report/FaultNotices.h"
#include "app/camera/ServiceInterfaces.h"
#include "base/Clock.h"
#include "base/Settings.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CCancelSignal;
class CCodePageService;
class CMimeMessage;
class CSmtpSession;
struct SmtpPolicy;

// "2026年12月6日(日)15時47分44秒": year, month and day without leading zeros, the weekday
// name, then hours, minutes and seconds with two digits each.
std::string ReplyDateText(const LocalTime& time);
// "<date text>現在の画像です。\r\n", or its English in English mails.
std::string ReplyBodyText(const LocalTime& time, MailLanguage language = MailLanguage::Japanese);

// The picture a mail carries: the JPEG bytes, straight from the grab, and the name they travel
// under.
using MailPicture = JpegPicture;

// What one reply carries: a picture of each camera that gave one, and the lines the body adds
// after the date line (a camera without a picture, names no camera has, a picture made smaller).
struct ReplyContent {
    std::vector<MailPicture> pictures;
    std::vector<std::string> notes;
    std::string subject{}; // empty: the reply's subject
    // Set for the mails the program sends on its own (alerts, scheduled pictures): the body is
    // the notes alone, and the mail is marked "Auto-Submitted: auto-generated".
    bool ownMail = false;
};

// Pictures as a server whose SIZE limit is sizeLimit (0: none) takes them: while the message
// would be larger, the largest picture is made half as wide and high (never dropped); a note
// says so. The content as it stands when it fits already or nothing can be made smaller.
ReplyContent FitToSize(const ReplyContent& content, std::uint64_t sizeLimit,
                       MailLanguage language = MailLanguage::Japanese);

class CReplySender {
public:
    static constexpr uint16_t kHelloPort = 25;

    // codePages: the program's code-page service for the composer (null: it makes its own).
    // helloPort exists for tests only: the program always uses port 25 for the second path.
    CReplySender(IServiceLog& log, const IClock& clock,
                 std::shared_ptr<CCodePageService> codePages = nullptr,
                 uint16_t helloPort = kHelloPort);
    ~CReplySender();

    // The signal that cancels every wait of both paths; null for none. It must outlive the
    // sender.
    void SetCancelSignal(const CCancelSignal* cancel) { m_cancel = cancel; }

    // Mails picture to each address of replyList (distinct addresses), one mail per address.
    // The result holds, for each address in order, whether a server accepted its mail;
    // "送信完了<address>" is logged for those alone. What the user sees of a failure is its
    // cause (LastFailure), which the caller says once.
    // requestIds: for each address, the Message-IDs of its requests (In-Reply-To the last,
    // References all), so that the reply shows under the request in the requester's mail app;
    // may be empty.
    std::vector<bool> SendReplies(const MailSettings& settings,
                                  const std::vector<std::string>& replyList,
                                  const MailPicture& picture,
                                  const std::vector<std::vector<std::string>>& requestIds = {});
    // The same with each address's own content (contents[i] for replyList[i]).
    std::vector<bool> SendReplies(const MailSettings& settings,
                                  const std::vector<std::string>& replyList,
                                  const std::vector<ReplyContent>& contents,
                                  const std::vector<std::vector<std::string>>& requestIds = {});
    // Replies carry "Auto-Submitted: auto-replied" (RFC 3834), so that another program's
    // responder does not answer them; a mail the user sends by hand does not.
    void SetAutoReply(bool autoReply) { m_autoReply = autoReply; }

    // Why the last SendReplies left an address unanswered: the cause of the path that tells
    // the user most. Code None when every mail went out.
    const ServerFault& LastFailure() const { return m_failure; }
    // Set when the configured path could not log in for want of an access token (no sign-in,
    // the refresh refused, the authorization server out of reach): then nothing was sent on
    // any path, and LastFailure's cause is this one.
    const MailError& TokenFailure() const { return m_tokenFailure; }
    // Why the port 25 path did not deliver where a user might have expected it to (after a TLS
    // failure of the configured path, a mail the server may hold already, or a port 25 server
    // that cannot give the TLS the configured path asked for); empty otherwise.
    const std::string& PortTwentyFiveRefusal() const { return m_refusal; }
    // True when at least one SMTP server could be connected to in the last SendReplies.
    bool Connected() const { return m_connected; }

private:
    // The mails of the addresses not yet marked in sent, over one session; each refused one
    // is tried once more. False when the session could not be opened.
    bool SendOver(CSmtpSession& session, const MailSettings& settings,
                  const std::vector<std::string>& replyList,
                  const std::vector<ReplyContent>& contents,
                  const std::vector<std::vector<std::string>>& requestIds,
                  std::vector<bool>& sent);
    std::unique_ptr<CMimeMessage> Compose(const MailSettings& settings, const std::string& address,
                                          const ReplyContent& content,
                                          const std::vector<std::string>& requestIds) const;
    bool Cancelled() const;

    IServiceLog& m_log;
    const IClock& m_clock;
    std::shared_ptr<CCodePageService> m_codePages;
    uint16_t m_helloPort;
    const CCancelSignal* m_cancel = nullptr;
    ServerFault m_failure;
    MailError m_tokenFailure;
    std::string m_refusal;
    bool m_connected = false;
    bool m_autoReply = true;
};
