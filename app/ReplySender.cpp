#include "app/ReplySender.h"

#include "app/MailClients.h"
#include "mail/CodePageService.h"
#include "mail/JisHeaderEncoder.h"
#include "mail/MimeMessage.h"
#include "mail/SmtpAuthClient.h"
#include "mail/SmtpConnection.h"
#include "mail/TextCodec.h"

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

// A UTF-8 text as the ISO-2022-JP encoded word the authenticating client puts in its header.
std::string EncodedWord(const std::string& utf8) {
    return CJisHeaderEncoder::MakeEncodedWord(
        CJisHeaderEncoder::ShiftJisToJis(text::Utf8ToSjis(utf8)));
}

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

int CReplySender::SendReply(const std::vector<std::string>& replyList,
                            const std::string& picturePath) {
    // The SMTP settings and the log-in as they stand when the reply starts.
    const MailSettings settings = m_settings;

    FirstPath first = FirstPath::Failed;
    try {
        first = SendThroughAuthClient(settings, replyList, picturePath);
    } catch (...) {
        // Whatever went wrong with the first client, the second path may still deliver.
        first = FirstPath::Failed;
    }
    if (first == FirstPath::Delivered)
        return 1;
    if (first == FirstPath::Abandoned)
        return 0;
    try {
        return SendThroughHelloConnection(settings, replyList, picturePath);
    } catch (...) {
        m_log.AddLog(kComposeError);
        return 0;
    }
}

CReplySender::FirstPath
CReplySender::SendThroughAuthClient(const MailSettings& settings,
                                    const std::vector<std::string>& replyList,
                                    const std::string& picturePath) {
    const std::string body = ReplyBodyText(m_clock.LocalNow());

    CSmtpAuthClient client;
    if (client.ErrorCode() != CSmtpAuthClient::kNoError) {
        m_log.AddLog(kWinsockError);
        return FirstPath::Abandoned;
    }
    // A port the settings cannot mean (port 0 would silently pick the "mail" service).
    if (settings.smtpPort < 1 || settings.smtpPort > 65535)
        return FirstPath::Failed;
    ConfigureSmtpClient(client, settings, nullptr);
    // An empty name stays empty: an encoded word without text is no display name, and readers
    // would show "=?ISO-2022-JP?B??=" as one.
    if (!settings.senderName.empty())
        client.SetFromName(EncodedWord(settings.senderName));
    client.SetFromAddress(settings.senderAddress);
    client.SetReplyAddress(settings.senderAddress);
    client.SetSubjectLine(EncodedWord(kSubject));
    for (const std::string& address : replyList)
        client.AddToAddress(address);
    client.SetPriorityValue(3);
    client.SetMailerName(kMailerName);
    client.SetBodyText(body);
    client.AttachFile(picturePath);

    if (!client.Deliver())
        return FirstPath::Failed;
    LogDelivered(replyList, "\r\n");
    return FirstPath::Delivered;
}

int CReplySender::SendThroughHelloConnection(const MailSettings& settings,
                                             const std::vector<std::string>& replyList,
                                             const std::string& picturePath) {
    CSmtpConnection connection(m_helloPort);
    const std::string body = ReplyBodyText(m_clock.LocalNow());

    if (!connection.Open(settings.smtpServer, kConnectTimeoutMs)) {
        m_log.WriteLogFile(kConnectError);
        return 0;
    }

    int result = 0;
    try {
        CMimeMessage message(m_codePages);
        message.SetPriorityLevel(1);
        for (const std::string& address : replyList)
            message.AddToRecipient(address);
        message.SetSenderAddress(settings.senderAddress);
        message.SetSenderDisplayName(settings.senderName);
        message.AddFileAttachment(picturePath);
        message.AddTextPart(body, 1); // before the attachment
        message.SetSubjectText(kSubject);

        if (connection.Send(message) || connection.Send(message)) {
            LogDelivered(replyList, "");
            result = 1;
        } else {
            m_log.AddLog(kSendError);
        }
    } catch (...) {
        m_log.AddLog(kComposeError);
        result = 0;
    }
    if (connection.IsOpen())
        connection.Close();
    return result;
}

void CReplySender::LogDelivered(const std::vector<std::string>& replyList, const char* suffix) {
    for (const std::string& address : replyList)
        m_log.AddLog("送信完了<" + text::SjisToUtf8(address) + ">" + suffix);
}
