#pragma once
// Sends the reply picture of one check cycle to every requester, as one message: first through
// the authenticating SMTP client on the configured port, and when that cannot deliver, through
// the MIME composer over a plain HELO connection on port 25.

#include "base/Clock.h"
#include "app/ServiceInterfaces.h"
#include "base/Settings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

    // Mails picturePath to every address of replyList (at least one; addresses as they stood in
    // the request mails, code page 932). 1 when a server accepted the reply, 0 when it did not.
    // Never throws. The picture file is left alone.
    int SendReply(const std::vector<std::string>& replyList, const std::string& picturePath);

private:
    enum class FirstPath { Delivered, Failed, Abandoned };
    FirstPath SendThroughAuthClient(const MailSettings& settings,
                                    const std::vector<std::string>& replyList,
                                    const std::string& picturePath);
    int SendThroughHelloConnection(const MailSettings& settings,
                                   const std::vector<std::string>& replyList,
                                   const std::string& picturePath);
    void LogDelivered(const std::vector<std::string>& replyList, const char* suffix);

    const MailSettings& m_settings;
    IServiceLog& m_log;
    const IClock& m_clock;
    std::shared_ptr<CCodePageService> m_codePages;
    uint16_t m_helloPort;
};
