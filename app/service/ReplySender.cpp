#include "app/service/ReplySender.h"

#include "app/service/MailClients.h"
#include "app/service/ReplyTexts.h"
#include "mail/mime/MimeFormat.h"
#include "mail/mime/MimeMessage.h"
#include "mail/net/CancelSignal.h"
#include "mail/smtp/SmtpSession.h"
#include "mail/text/CodePageService.h"
#include "capture/JpegReader.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr const char* kMailerName = "KestrovaMail";

// File lines of the port 25 path.
constexpr const char* kConnectError = "ERROR : SMTPサーバへの接続に失敗しました。";
constexpr const char* kSendError = "ERROR : メールの返信に失敗しました";

std::string Server(const std::string& host, int port) {
    return host + ":" + std::to_string(port);
}

// The configured path failed before it could be used: nobody took the connection on its port.
bool NotReached(MailErrorCode code) {
    return code == MailErrorCode::Refused || code == MailErrorCode::ConnectTimeout ||
           code == MailErrorCode::Unreachable;
}

bool AllSent(const std::vector<bool>& sent) {
    return std::find(sent.begin(), sent.end(), false) == sent.end();
}

// What a smaller copy is encoded with: the program's default JPEG quality.
constexpr int kSmallerQuality = 50;
// Room for the headers, the text part and the MIME boundaries besides the pictures.
constexpr std::uint64_t kMessageOverhead = 8192;

// The message's size with these pictures: base64 (4 bytes for 3) in lines of 76 plus CR LF.
std::uint64_t MessageSize(const ReplyContent& content) {
    std::uint64_t size = kMessageOverhead;
    for (const MailPicture& picture : content.pictures) {
        const std::uint64_t encoded = (picture.jpeg ? picture.jpeg->size() + 2 : 0) / 3 * 4;
        size += encoded + encoded / 76 * 2;
    }
    return size;
}

} // namespace

std::string ReplyDateText(const LocalTime& time) {
    return JapaneseDateText(time);
}

std::string ReplyBodyText(const LocalTime& time, MailLanguage language) {
    return ReplyTextsFor(language).pictureLine(time) + "\r\n";
}

ReplyContent FitToSize(const ReplyContent& content, std::uint64_t sizeLimit,
                       MailLanguage language) {
    if (sizeLimit == 0 || MessageSize(content) <= sizeLimit)
        return content;
    ReplyContent fitted = content;
    bool smaller = false;
    while (MessageSize(fitted) > sizeLimit) {
        const auto largest = std::ranges::max_element(fitted.pictures, {}, [](const MailPicture& p) {
            return p.jpeg ? p.jpeg->size() : 0;
        });
        if (largest == fitted.pictures.end() || !largest->jpeg)
            break;
        const std::optional<CaptureFrame> half = DecodeJpeg(*largest->jpeg, 2);
        std::optional<std::string> jpeg;
        if (half && half->width() >= 16 && half->height() >= 16)
            jpeg = EncodeJpeg(*half, kSmallerQuality);
        if (!jpeg || jpeg->size() >= largest->jpeg->size())
            break; // as small as it gets: the server says what it thinks of it
        largest->jpeg = std::make_shared<const std::string>(std::move(*jpeg));
        smaller = true;
    }
    if (smaller)
        fitted.notes.push_back(ReplyTextsFor(language).madeSmaller(sizeLimit));
    return fitted;
}

CReplySender::CReplySender(IServiceLog& log, const IClock& clock,
                           std::shared_ptr<CCodePageService> codePages, uint16_t helloPort)
    : m_log(log), m_clock(clock), m_codePages(std::move(codePages)), m_helloPort(helloPort) {}

CReplySender::~CReplySender() = default;

bool CReplySender::Cancelled() const {
    return m_cancel && m_cancel->IsCancelled();
}

std::unique_ptr<CMimeMessage> CReplySender::Compose(const MailSettings& settings,
                                                    const std::string& address,
                                                    const ReplyContent& content,
                                                    const std::vector<std::string>& requestIds) const {
    auto message = std::make_unique<CMimeMessage>(m_codePages);
    message->SetPriorityLevel(3);
    message->AddToRecipient(address);
    message->SetSenderAddress(settings.senderAddress);
    message->SetSenderDisplayName(settings.senderName);
    message->SetSubjectText(content.subject.empty() ? ReplyTextsFor(settings.language).subject
                                                    : content.subject);
    message->AddHeaderField("X-Mailer", {kMailerName});
    if (mime::IsSafeAddress(settings.senderAddress) && !settings.senderAddress.empty())
        message->AddHeaderField("Reply-To", {settings.senderAddress});
    if (content.ownMail)
        message->AddHeaderField("Auto-Submitted", {"auto-generated"}); // RFC 3834
    else if (m_autoReply)
        message->AddHeaderField("Auto-Submitted", {"auto-replied"});
    // Message-IDs as the requests gave them; one that is not a plain token is left out.
    std::vector<std::string> references;
    for (const std::string& id : requestIds) {
        if (id.size() > 2 && id.front() == '<' && id.back() == '>' &&
            id.find_first_of(" \t\r\n") == std::string::npos)
            references.push_back(id);
    }
    if (!references.empty()) {
        message->AddHeaderField("In-Reply-To", {references.back()});
        message->AddHeaderField("References", references);
    }
    std::string body = content.pictures.empty() || content.ownMail
                           ? std::string()
                           : ReplyBodyText(m_clock.LocalNow(), settings.language);
    for (const std::string& note : content.notes)
        body += note + "\r\n";
    message->AddTextPart(body, 1);
    for (const MailPicture& picture : content.pictures)
        message->AddBytesAttachment(picture.fileName, picture.jpeg);
    // What the composer refused (an unsafe sender address) makes the session's Send fail.
    return message;
}

bool CReplySender::SendOver(CSmtpSession& session, const MailSettings& settings,
                            const std::vector<std::string>& replyList,
                            const std::vector<ReplyContent>& contents,
                            const std::vector<std::vector<std::string>>& requestIds,
                            std::vector<bool>& sent) {
    for (std::size_t i = 0; i < replyList.size() && session.IsOpen() && !Cancelled(); ++i) {
        if (sent[i])
            continue;
        const std::unique_ptr<CMimeMessage> message =
            Compose(settings, replyList[i], FitToSize(contents[i], session.SizeLimit(), settings.language),
                    i < requestIds.size() ? requestIds[i] : std::vector<std::string>());
        // A refusal (a server that says "try later") gets one more attempt; a mail the server
        // may have taken never does.
        bool taken = session.Send(*message, {replyList[i]});
        if (!taken && session.IsOpen() && !session.MayHaveDelivered() && !Cancelled())
            taken = session.Send(*message, {replyList[i]});
        if (taken) {
            sent[i] = true;
            m_log.AddLog("送信完了<" + replyList[i] + ">");
        }
    }
    const bool whole = AllSent(sent);
    session.Quit();
    return whole;
}

std::vector<bool> CReplySender::SendReplies(const MailSettings& settings,
                                            const std::vector<std::string>& replyList,
                                            const MailPicture& picture,
                                            const std::vector<std::vector<std::string>>& requestIds) {
    return SendReplies(settings, replyList,
                       std::vector<ReplyContent>(replyList.size(), ReplyContent{{picture}, {}}),
                       requestIds);
}

std::vector<bool> CReplySender::SendReplies(const MailSettings& settings,
                                            const std::vector<std::string>& replyList,
                                            const std::vector<ReplyContent>& contents,
                                            const std::vector<std::vector<std::string>>& requestIds) {
    std::vector<bool> sent(replyList.size(), false);
    m_failure = {{}, Server(settings.smtpServer, settings.smtpPort), SmtpLogInName(settings)};
    m_refusal.clear();
    m_tokenFailure = {};
    m_connected = false;
    if (replyList.empty())
        return sent;
    if (contents.size() != replyList.size()) {
        m_failure.cause = {MailErrorCode::InvalidArgument, 0, "contents"};
        return sent;
    }
    // A port the settings cannot mean.
    if (settings.smtpPort < 1 || settings.smtpPort > 65535) {
        m_failure.cause = {MailErrorCode::InvalidArgument, 0, "SMTP_PORT"};
        return sent;
    }

    // The configured path. Whether port 25 may be tried after it, and whether its cause is the
    // one to tell (not when it merely had no log-in to offer).
    bool portTwentyFive = false;
    bool configuredTells = true;
    const SmtpPolicy policy = ConfiguredSmtpPolicy(settings);
    CSmtpSession session;
    session.SetCancelSignal(m_cancel);
    if (!policy.logIn) {
        m_failure.cause = {MailErrorCode::NoCredentials, 0, {}};
        portTwentyFive = true;
        configuredTells = false;
    } else if (!OpenSmtpSession(session, settings.smtpServer, settings.smtpPort, policy, settings,
                                m_cancel, m_tokenFailure)) {
        // Without a token nothing was connected, and port 25 is no way around a sign-in.
        m_failure.cause = m_tokenFailure ? m_tokenFailure : session.Error();
        portTwentyFive = !m_tokenFailure && NotReached(session.Error().code);
        m_connected = !m_tokenFailure && !portTwentyFive;
    } else if (!session.LoggedIn()) {
        // The server offers no log-in, and the program has none of its own for it.
        m_connected = true;
        session.Quit();
        m_failure.cause = {MailErrorCode::NotOffered, 0, "AUTH"};
        portTwentyFive = true;
        configuredTells = false;
    } else {
        m_connected = true;
        if (SendOver(session, settings, replyList, contents, requestIds, sent))
            m_failure = {};
        else
            m_failure.cause = session.Error();
    }
    if (AllSent(sent) || Cancelled())
        return sent;
    if (!portTwentyFive) {
        m_log.WriteLogFile(kSendError);
        // Said where a user might expect the second path: after a TLS failure, or a mail the
        // server may hold already.
        if (session.MayHaveDelivered())
            m_refusal = "サーバがメールを受け取った可能性があります";
        else if (IsTlsError(m_failure.cause.code))
            m_refusal = "TLSで保護できなかった経路の代わりにはしません";
        return sent;
    }

    ServerFault helloFailure{{}, Server(settings.smtpServer, m_helloPort), {}};
    CSmtpSession hello;
    hello.SetCancelSignal(m_cancel);
    bool helloDelivered = false;
    if (!hello.Open(settings.smtpServer, m_helloPort, PortTwentyFivePolicy(settings))) {
        helloFailure.cause = hello.Error();
        m_log.WriteLogFile(kConnectError);
    } else {
        m_connected = true;
        const std::vector<bool> before = sent;
        if (!SendOver(hello, settings, replyList, contents, requestIds, sent)) {
            helloFailure.cause = hello.Error();
            m_log.WriteLogFile(kSendError);
        }
        helloDelivered = sent != before;
    }
    if (AllSent(sent))
        m_failure = {};
    else if (!configuredTells || helloDelivered)
        m_failure = helloFailure;
    else if (IsTlsError(helloFailure.cause.code))
        m_refusal = "ポート25のサーバ: " + DescribeMailError(helloFailure.cause);
    return sent;
}
