#include "app/ReplySender.h"

#include "app/MailClients.h"
#include "mail/CancelSignal.h"
#include "mail/CodePageService.h"
#include "mail/MimeMessage.h"
#include "mail/SmtpAuthClient.h"
#include "mail/SmtpConnection.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr const char* kSubject = "キャプチャ画像";
constexpr const char* kMailerName = "KestrovaMail";
constexpr const char* kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};

constexpr const char* kWinsockError = "winsock2 ERROR";
constexpr const char* kConnectError = "ERROR : SMTPサーバへの接続に失敗しました。";
constexpr const char* kSendError = "ERROR : メールの返信に失敗しました";
constexpr const char* kComposeError = "メール返信失敗";

} // namespace

std::string ReplyDateText(const LocalTime& time) {
    const char* weekday = (time.weekday >= 0 && time.weekday <= 6) ? kWeekdays[time.weekday] : "";
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%d年%d月%d日(%s)%02d時%02d分%02d秒", time.year,
                  time.month, time.day, weekday, time.hour, time.minute, time.second);
    return buffer;
}

std::string ReplyBodyText(const LocalTime& time) {
    return ReplyDateText(time) + "現在の画像です。\r\n";
}

CReplySender::CReplySender(const MailSettings& settings, IServiceLog& log, const IClock& clock,
                           std::shared_ptr<CCodePageService> codePages, uint16_t helloPort)
    : m_settings(settings), m_log(log), m_clock(clock), m_codePages(std::move(codePages)),
      m_helloPort(helloPort) {}

std::vector<bool> CReplySender::SendReplies(const std::vector<std::string>& replyList,
                                            const std::string& picturePath) {
    // The SMTP settings and the log-in as they stand when the reply starts.
    return SendReplies(MailSettings(m_settings), replyList, picturePath);
}

std::vector<bool> CReplySender::SendReplies(const MailSettings& settings,
                                            const std::vector<std::string>& replyList,
                                            const std::string& picturePath) {
    std::vector<bool> sent(replyList.size(), false);
    m_failure = {};
    m_helloFailure = {};
    m_firstPathTells = false;
    m_helloDelivered = false;

    bool goOn = true;
    try {
        goOn = SendThroughAuthClient(settings, replyList, picturePath, sent);
    } catch (...) {
        // Whatever went wrong with the first client, the second path may still deliver.
    }
    const bool allSent = std::find(sent.begin(), sent.end(), false) == sent.end();
    if (allSent)
        m_failure = {};
    if (!goOn || Cancelled() || allSent)
        return sent;
    try {
        SendThroughHelloConnection(settings, replyList, picturePath, sent);
    } catch (...) {
        m_log.WriteLogFile(kComposeError);
    }
    if (std::find(sent.begin(), sent.end(), false) == sent.end())
        m_failure = {};
    else if (!m_firstPathTells || !m_failure.cause || m_helloDelivered)
        m_failure = m_helloFailure;
    return sent;
}

std::string CReplySender::Server(const std::string& host, int port) {
    return host + ":" + std::to_string(port);
}

bool CReplySender::Cancelled() const {
    return m_cancel && m_cancel->IsCancelled();
}

bool CReplySender::SendThroughAuthClient(const MailSettings& settings,
                                         const std::vector<std::string>& replyList,
                                         const std::string& picturePath, std::vector<bool>& sent) {
    const std::string body = ReplyBodyText(m_clock.LocalNow());

    m_failure = {{}, Server(settings.smtpServer, settings.smtpPort), SmtpLogInName(settings)};
    CSmtpAuthClient client;
    if (client.ErrorCode() != CSmtpAuthClient::kNoError) {
        m_log.AddLog(kWinsockError);
        return false;
    }
    // A port the settings cannot mean (port 0 would silently pick the "mail" service).
    if (settings.smtpPort < 1 || settings.smtpPort > 65535) {
        m_failure.cause = {MailErrorCode::InvalidArgument, 0, "SMTP_PORT"};
        m_firstPathTells = true;
        return true;
    }
    ConfigureSmtpClient(client, settings, m_cancel);
    client.SetFromName(settings.senderName);
    client.SetFromAddress(settings.senderAddress);
    client.SetReplyAddress(settings.senderAddress);
    client.SetSubjectLine(kSubject);
    for (const std::string& address : replyList)
        client.AddToAddress(address);
    client.SetPriorityValue(3);
    client.SetMailerName(kMailerName);
    client.SetBodyText(body);
    client.AttachFile(picturePath);

    const std::vector<bool> delivered = client.DeliverSeparately();
    for (std::size_t i = 0; i < replyList.size() && i < delivered.size(); ++i) {
        if (delivered[i]) {
            sent[i] = true;
            m_log.AddLog("送信完了<" + replyList[i] + ">\r\n");
        }
    }
    // A server that offers no log-in (or a client given none) was never the way these mails
    // would go: then the port 25 path's cause is the one to tell.
    const int code = client.ErrorCode();
    m_failure.cause = client.LastMailError();
    m_firstPathTells = code != CSmtpAuthClient::kUndefinedLogin &&
                       code != CSmtpAuthClient::kUndefinedPassword &&
                       !(code == CSmtpAuthClient::kAuthLoginRefused &&
                         m_failure.cause.code == MailErrorCode::CommandRefused);
    return true;
}

void CReplySender::SendThroughHelloConnection(const MailSettings& settings,
                                              const std::vector<std::string>& replyList,
                                              const std::string& picturePath,
                                              std::vector<bool>& sent) {
    CSmtpConnection connection(m_helloPort);
    connection.SetCancelSignal(m_cancel);
    const std::string body = ReplyBodyText(m_clock.LocalNow());

    m_helloFailure = {{}, Server(settings.smtpServer, m_helloPort), {}};
    if (!connection.Open(settings.smtpServer, kConnectTimeoutMs)) {
        m_helloFailure.cause = connection.LastMailError();
        m_log.WriteLogFile(kConnectError);
        return;
    }

    bool failed = false;
    try {
        for (std::size_t i = 0; i < replyList.size(); ++i) {
            if (sent[i])
                continue;
            CMimeMessage message(m_codePages);
            message.SetPriorityLevel(1);
            message.AddToRecipient(replyList[i]);
            message.SetSenderAddress(settings.senderAddress);
            message.SetSenderDisplayName(settings.senderName);
            message.AddFileAttachment(picturePath);
            message.AddTextPart(body, 1); // before the attachment
            message.SetSubjectText(kSubject);

            if (connection.Send(message) || connection.Send(message)) {
                sent[i] = true;
                m_helloDelivered = true;
                m_log.AddLog("送信完了<" + replyList[i] + ">");
            } else {
                failed = true;
            }
        }
        if (failed) {
            m_helloFailure.cause = connection.LastMailError();
            m_log.WriteLogFile(kSendError);
        }
    } catch (...) {
        m_log.WriteLogFile(kComposeError);
    }
    if (connection.IsOpen())
        connection.Close();
}
