#pragma once
// What keeps requests from being answered, said in the log once when it starts and once when it
// is over, not at every check: a POP3 server that cannot be reached or refuses the log-in, an
// SMTP server that does not take the reply, a reply picture that cannot be made, a settings
// file or the judged-message record that cannot be written, DNS that does not answer the sender
// check's key look-ups, an OAuth 2.0 account without a usable sign-in. While a cause lasts, State() gives the short text the window
// title and the tray tooltip carry.
//
// The lines name the cause in the program's Japanese: the server (host:port), the account of a
// refused log-in with the server's own reply, the system's reason for a file.

#include "app/report/ServiceLog.h"
#include "capture/GrabFailure.h"
#include "mail/net/MailError.h"

#include <array>
#include <mutex>
#include <string>
#include <vector>

class CFaultNotices {
public:
    enum class Area { Pop3, Smtp, Picture, Settings, Imap, Judged, Dns, SignIn, Keyring };

    // Lines when a cause is over.
    static constexpr const char* kPop3Over = "POP3サーバに再び接続できました";
    static constexpr const char* kSmtpOver = "SMTPサーバで再び返信を送れました";
    static constexpr const char* kPictureOver = "返信の写真を再び用意できました";
    static constexpr const char* kSettingsOver = "設定ファイルを再び保存できました";
    static constexpr const char* kImapOver = "IMAPサーバに再び接続できました";
    static constexpr const char* kJudgedOver = "判定済みメールの記録を再び保存できました";
    static constexpr const char* kDnsOver = "DNSが再び応答しました";
    static constexpr const char* kSignInOver = "アクセストークンを再び得られました";
    static constexpr const char* kKeyringOver = "キーリングから再びパスワードを読めました";

    explicit CFaultNotices(IServiceLog& log) : m_log(log) {}

    // The cause of area is now key (lines say it): the lines are logged unless key is the cause
    // already shown for area.
    void Fail(Area area, const std::string& key, const std::vector<std::string>& lines);
    void Fail(Area area, const std::string& key, const std::string& line) {
        Fail(area, key, std::vector<std::string>{line});
    }
    // area works again: its "over" line when a cause was shown.
    void Clear(Area area);

    // "エラー: POP3サーバ・写真" while any cause lasts; empty when none does. Any thread.
    std::string State() const;

private:
    static constexpr std::size_t kAreas = static_cast<std::size_t>(Area::Keyring) + 1;

    IServiceLog& m_log;
    mutable std::mutex m_mutex;
    std::array<std::string, kAreas> m_shown; // the key of each area's cause; empty: none
};

// What went wrong with one mail server: the cause, the server as "host:port" and the account
// that logged in (named only for a refused log-in).
struct ServerFault {
    MailError cause;
    std::string server;
    std::string account;
};

// DescribeMailError, and for a log-in withheld for want of TLS the setting that decides it,
// for protocol "POP3", "IMAP" or "SMTP": "... パスワードを送りません（...）。暗号化せずに送ってよい
// サーバなら次を設定してください: MAIL.POP3_SECURITY=none" (a token: "...=tls").
std::string DescribeServerCause(const MailError& cause, const char* protocol);

// The line and the key (what makes two failures the same cause) of each area.
//   POP3, before the log-in stands:
//     "ERROR : POP3サーバ pop.example.com:995 に接続できません: 接続が拒否されました"
//     "ERROR : POP3サーバ pop.example.com:995 にアカウント camera でログインできません:
//      ログインが拒否されました (-ERR [AUTH] Authentication failed.)"
//   POP3, after it: "ERROR : POP3サーバ ... とのやり取りに失敗しました: ..."
//   SMTP: "ERROR : SMTPサーバ smtp.example.com:465 で返信を送れません: ..." (or the log-in line)
std::string Pop3FaultLine(const ServerFault& fault, bool loggingIn);
// The same for the IMAP server ("ERROR : IMAPサーバ imap.example.com:993 に接続できません: ...").
std::string ImapFaultLine(const ServerFault& fault, bool loggingIn);
std::string SmtpFaultLine(const ServerFault& fault);
// Server replies often end in a session id or a time: a refusal is the same cause as long as
// its reply code (and an RFC 2449 response code in brackets) is.
std::string ServerFaultKey(const ServerFault& fault, bool loggingIn);

// "ERROR : カメラがないため、写真の依頼に答えられません（依頼はサーバーに残します）", or
// the line of a camera that gave no usable picture.
std::string PictureFaultLine(const GrabFailure& failure);
std::string PictureFaultKey(const GrabFailure& failure);
// An OAuth 2.0 account whose access token could not be had, for account (POP3_ID):
//   "ERROR : アカウント camera@example.com のサインインが必要です: サインインし直してください
//    (メール設定の「サインイン…」または kestrovamail --sign-in)（依頼はサーバーに残します）"
//   "ERROR : 認可サーバ oauth2.example.com からアクセストークンを得られません: ..."
// The key of a needed sign-in is signInStamp (CTokenSource::Stamp): the same refused sign-in is
// said once, a new one that is refused too is said again.
std::string SignInFaultLine(const MailError& cause, const std::string& account,
                            const std::string& tokenUrl);
std::string SignInFaultKey(const MailError& cause, const std::string& signInStamp);
// "ERROR : 判定済みメールの記録 <path> に書き込めません: <the system's reason>（この実行の間は
// 覚えておきます）"
std::string JudgedFaultLine(const std::string& path, int systemError);
std::string JudgedFaultKey(const std::string& path, int systemError);
