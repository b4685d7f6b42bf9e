#pragma once
// Sends the reply picture of one check cycle to every requester, one mail to each, addressed to
// that requester alone (no requester learns another's address): first through the
// authenticating SMTP client on the configured port, all in one session; the mails it could not
// deliver go through the MIME composer over a plain HELO connection on port 25.

#include "app/FaultNotices.h"
#include "app/ServiceInterfaces.h"
#include "base/Clock.h"
#include "base/Settings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCancelSignal;
class CCodePageService;

// "2026年12月6日(日)15時47分44秒": year, month and day without leading zeros, the weekday
// name, then hours, minutes and seconds with two digits each.
std::string ReplyDateText(const LocalTime& time);
// "<date text>現在の画像です。\r\n"
std::string ReplyBodyText(const LocalTime& time);

class CReplySender {
public:
    static constexpr uint16_t kHelloPort = 25;
    static constexpr int kConnectTimeoutMs = 10000;

    // settings are read when SendReply starts. codePages is the main window's code-page service
    // for the composer (null: the composer makes its own). helloPort exists for tests only: the
    // program always delivers the fallback path on port 25.
    CReplySender(const MailSettings& settings, IServiceLog& log, const IClock& clock,
                 std::shared_ptr<CCodePageService> codePages = nullptr,
                 uint16_t helloPort = kHelloPort);

    // The signal that cancels every wait of both SMTP paths; null for none. It must outlive
    // the sender.
    void SetCancelSignal(const CCancelSignal* cancel) { m_cancel = cancel; }

    // Mails picturePath to each address of replyList (distinct addresses, as the request mails
    // gave them), one mail per address. The result holds, for each address in order, whether a
    // server accepted its mail; "送信完了<address>" is logged for those alone. The failure
    // lines of the port 25 path go to the log file only: what the user sees is the cause
    // (LastFailure), which the check cycle says once. Never throws. The picture file is left
    // alone.
    std::vector<bool> SendReplies(const std::vector<std::string>& replyList,
                                  const std::string& picturePath);
    // The same with the settings a check cycle copied when it began (the live record may
    // change on the user-interface thread meanwhile).
    std::vector<bool> SendReplies(const MailSettings& settings,
                                  const std::vector<std::string>& replyList,
                                  const std::string& picturePath);

    // Why the last SendReplies left an address unanswered: the cause of the path that tells
    // the user most (the configured server's, unless it offers no log-in or the port 25 path
    // is the one that delivers). Code None when every mail went out.
    const ServerFault& LastFailure() const { return m_failure; }

private:
    // Marks in sent the addresses the authenticating client delivered; false when the reply is
    // to be abandoned altogether.
    bool SendThroughAuthClient(const MailSettings& settings,
                               const std::vector<std::string>& replyList,
                               const std::string& picturePath, std::vector<bool>& sent);
    // Sends to the addresses not yet marked in sent, over one HELO connection.
    void SendThroughHelloConnection(const MailSettings& settings,
                                    const std::vector<std::string>& replyList,
                                    const std::string& picturePath, std::vector<bool>& sent);
    bool Cancelled() const;
    static std::string Server(const std::string& host, int port);

    const MailSettings& m_settings;
    IServiceLog& m_log;
    const IClock& m_clock;
    std::shared_ptr<CCodePageService> m_codePages;
    uint16_t m_helloPort;
    const CCancelSignal* m_cancel = nullptr;
    ServerFault m_failure;
    bool m_firstPathTells = false; // its cause is not just that it could not log in
    ServerFault m_helloFailure;
    bool m_helloDelivered = false; // the port 25 path works: its cause is the one to tell
};
