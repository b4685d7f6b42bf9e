#include "app/report/FaultNotices.h"

#include <cstddef>
#include <iterator>

namespace {

struct AreaTexts {
    const char* name; // in the short state
    const char* over;
};

constexpr AreaTexts kAreaTexts[] = {
    {"POP3サーバ", CFaultNotices::kPop3Over},
    {"SMTPサーバ", CFaultNotices::kSmtpOver},
    {"写真", CFaultNotices::kPictureOver},
    {"設定ファイル", CFaultNotices::kSettingsOver},
    {"IMAPサーバ", CFaultNotices::kImapOver},
    {"判定記録", CFaultNotices::kJudgedOver},
    {"DNS", CFaultNotices::kDnsOver},
    {"サインイン", CFaultNotices::kSignInOver},
    {"キーリング", CFaultNotices::kKeyringOver},
};
static_assert(std::size(kAreaTexts) == static_cast<std::size_t>(CFaultNotices::Area::Keyring) + 1);

constexpr const char* kLeftOnServer = "（依頼はサーバーに残します）";

std::size_t Index(CFaultNotices::Area area) {
    return static_cast<std::size_t>(area);
}

// The cause as the line shows it: the host a connection failure names is in the line already.
std::string CauseText(const ServerFault& fault, const char* protocol) {
    MailError cause = fault.cause;
    if (!fault.server.empty() && fault.server.rfind(cause.detail + ":", 0) == 0)
        cause.detail.clear();
    if (!cause)
        return "サーバが受け付けませんでした";
    return DescribeServerCause(cause, protocol);
}

bool IsRefusal(MailErrorCode code) {
    return code == MailErrorCode::LoginRefused || code == MailErrorCode::CommandRefused ||
           code == MailErrorCode::StartTlsRefused;
}

// "-ERR [AUTH] Authentication failed." gives "-ERR [AUTH]"; "535 5.7.8 Bad ..." gives "535".
std::string ReplyCode(const std::string& reply) {
    const std::size_t end = reply.find(' ');
    std::string code = reply.substr(0, end);
    if (end != std::string::npos && reply.compare(end + 1, 1, "[") == 0)
        code += " " + reply.substr(end + 1, reply.find(']', end) - end);
    return code;
}

std::string LoginLine(const char* protocol, const ServerFault& fault) {
    return std::string("ERROR : ") + protocol + "サーバ " + fault.server + " にアカウント " +
           fault.account + " でログインできません: " + CauseText(fault, protocol);
}

} // namespace

std::string DescribeServerCause(const MailError& cause, const char* protocol) {
    std::string text = DescribeMailError(cause);
    const bool password = cause.code == MailErrorCode::PasswordNeedsTls;
    if (!password && cause.code != MailErrorCode::TokenNeedsTls)
        return text;
    // Said to someone who may be tempted to allow clear text: the offer may have been there.
    text += "（サーバが対応しているはずなら、経路の途中で対応が取り除かれたおそれがあります）";
    text += password ? "。暗号化せずに送ってよいサーバなら次を設定してください: "
                     : "。SSL/TLSで接続するには次を設定してください: ";
    return text + "MAIL." + protocol + "_SECURITY=" + (password ? "none" : "tls");
}

void CFaultNotices::Fail(Area area, const std::string& key, const std::vector<std::string>& lines) {
    {
        std::lock_guard lock(m_mutex);
        // An empty key still marks the cause as shown.
        const std::string cause = key.empty() ? std::string(" ") : key;
        std::string& shown = m_shown[Index(area)];
        if (shown == cause)
            return;
        shown = cause;
    }
    for (const std::string& line : lines)
        m_log.AddLog(line);
}

void CFaultNotices::Clear(Area area) {
    {
        std::lock_guard lock(m_mutex);
        std::string& shown = m_shown[Index(area)];
        if (shown.empty())
            return;
        shown.clear();
    }
    m_log.AddLog(kAreaTexts[Index(area)].over);
}

std::string CFaultNotices::State() const {
    std::lock_guard lock(m_mutex);
    std::string names;
    for (std::size_t i = 0; i < kAreas; ++i) {
        if (m_shown[i].empty())
            continue;
        names += names.empty() ? "" : "・";
        names += kAreaTexts[i].name;
    }
    return names.empty() ? names : "エラー: " + names;
}

namespace {

std::string MailboxFaultLine(const char* protocol, const ServerFault& fault, bool loggingIn) {
    if (fault.cause.code == MailErrorCode::LoginRefused)
        return LoginLine(protocol, fault);
    return std::string("ERROR : ") + protocol + "サーバ " + fault.server +
           (loggingIn ? " に接続できません: " : " とのやり取りに失敗しました: ") +
           CauseText(fault, protocol);
}

} // namespace

std::string Pop3FaultLine(const ServerFault& fault, bool loggingIn) {
    return MailboxFaultLine("POP3", fault, loggingIn);
}

std::string ImapFaultLine(const ServerFault& fault, bool loggingIn) {
    return MailboxFaultLine("IMAP", fault, loggingIn);
}

std::string SmtpFaultLine(const ServerFault& fault) {
    if (fault.cause.code == MailErrorCode::LoginRefused)
        return LoginLine("SMTP", fault);
    return "ERROR : SMTPサーバ " + fault.server +
           " で返信を送れません: " + CauseText(fault, "SMTP");
}

std::string ServerFaultKey(const ServerFault& fault, bool loggingIn) {
    const MailError& cause = fault.cause;
    std::string key = std::to_string(static_cast<int>(cause.code)) + "/" +
                      std::to_string(cause.systemError) + (loggingIn ? "/in/" : "/on/") +
                      fault.server + "/" + fault.account + "/";
    return key + (IsRefusal(cause.code) ? ReplyCode(cause.detail) : cause.detail);
}

std::string PictureFaultLine(const GrabFailure& failure) {
    switch (failure.kind) {
    case GrabFailure::Kind::NoCamera:
        return std::string("ERROR : カメラがないため、写真の依頼に答えられません") + kLeftOnServer;
    default:
        return std::string("ERROR : カメラから写真を取り込めないため、写真の依頼に答えられません") +
               kLeftOnServer;
    }
}

std::string PictureFaultKey(const GrabFailure& failure) {
    return std::to_string(static_cast<int>(failure.kind));
}

std::string SignInFaultLine(const MailError& cause, const std::string& account,
                            const std::string& tokenUrl) {
    if (cause.code == MailErrorCode::SignInNeeded)
        return "ERROR : アカウント " + account + " のサインインが必要です: " +
               DescribeMailError({cause.code, 0, {}}) + kLeftOnServer;
    // The endpoint's host alone: a user part or a query may hold what is not ours to show.
    const std::size_t scheme = tokenUrl.find("://");
    const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    std::string host = tokenUrl.substr(start, tokenUrl.find_first_of("/?#", start) - start);
    if (const std::size_t at = host.rfind('@'); at != std::string::npos)
        host.erase(0, at + 1);
    return "ERROR : 認可サーバ " + host + " からアクセストークンを得られません: " +
           DescribeMailError(cause) + kLeftOnServer;
}

std::string SignInFaultKey(const MailError& cause, const std::string& signInStamp) {
    if (cause.code == MailErrorCode::SignInNeeded)
        return "signin/" + signInStamp;
    return std::to_string(static_cast<int>(cause.code)) + "/" +
           std::to_string(cause.systemError) + "/" + cause.detail;
}

std::string JudgedFaultLine(const std::string& path, int systemError) {
    return "ERROR : 判定済みメールの記録 " + path + " に書き込めません: " +
           DescribeSystemError(systemError) + "（この実行の間は覚えておきます）";
}

std::string JudgedFaultKey(const std::string& path, int systemError) {
    return std::to_string(systemError) + "/" + path;
}
