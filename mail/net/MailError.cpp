#include "mail/net/MailError.h"

#include <cerrno>
#include <cstring>

namespace {

std::string WithDetail(std::string text, const std::string& detail) {
    if (!detail.empty())
        text += " (" + detail + ")";
    return text;
}

const char* JapaneseSystemText(int systemError) {
    switch (systemError) {
    case ENOSPC:
        return "ディスクの空きがありません";
    case EDQUOT:
        return "ディスクの使用量が上限に達しています";
    case EACCES:
    case EPERM:
        return "アクセスが許可されていません";
    case EROFS:
        return "読み取り専用のファイルシステムです";
    case EISDIR:
        return "同じ名前のフォルダがあります";
    case ENOTDIR:
        return "フォルダではないものがパスの途中にあります";
    case ENOENT:
        return "ファイルまたはフォルダがありません";
    case ENAMETOOLONG:
        return "パスが長すぎます";
    case EMFILE:
    case ENFILE:
        return "開いているファイルが多すぎます";
    case ENOMEM:
        return "メモリが足りません";
    case EIO:
        return "入出力エラーが起きました";
    case ENETUNREACH:
        return "ネットワークに到達できません";
    case EHOSTUNREACH:
        return "ホストに到達できません";
    case ECONNRESET:
        return "接続がリセットされました";
    case EPIPE:
        return "接続が切れました";
    case ETIMEDOUT:
        return "時間切れになりました";
    default:
        return nullptr;
    }
}

} // namespace

std::string DescribeSystemError(int systemError) {
    if (systemError == 0)
        return {};
    const std::string system = std::strerror(systemError);
    const char* japanese = JapaneseSystemText(systemError);
    return japanese ? std::string(japanese) + " (" + system + ")" : system;
}

bool IsTlsError(MailErrorCode code) {
    switch (code) {
    case MailErrorCode::TlsFailed:
    case MailErrorCode::CertificateUntrusted:
    case MailErrorCode::CertificateExpired:
    case MailErrorCode::CertificateNameMismatch:
    case MailErrorCode::StartTlsNotOffered:
    case MailErrorCode::StartTlsRefused:
    case MailErrorCode::PasswordNeedsTls:
    case MailErrorCode::TokenNeedsTls:
        return true;
    default:
        return false;
    }
}

std::string DescribeMailError(const MailError& error) {
    const std::string system = DescribeSystemError(error.systemError);
    switch (error.code) {
    case MailErrorCode::None:
        return {};
    case MailErrorCode::InvalidArgument:
        return WithDetail("設定が正しくありません", error.detail);
    case MailErrorCode::NameNotFound:
        return WithDetail("ホスト名が見つかりません", error.detail);
    case MailErrorCode::Refused:
        return WithDetail("接続が拒否されました", error.detail);
    case MailErrorCode::ConnectTimeout:
        return WithDetail("接続がタイムアウトしました", error.detail);
    case MailErrorCode::Unreachable:
        return WithDetail("接続できません", system.empty() ? error.detail : system);
    case MailErrorCode::NoAnswer:
        return "サーバから制限時間内に応答がありません";
    case MailErrorCode::Closed:
        return "サーバが接続を切断しました";
    case MailErrorCode::SendFailed:
        return WithDetail("送信に失敗しました", system);
    case MailErrorCode::ReceiveFailed:
        return WithDetail("受信に失敗しました", system);
    case MailErrorCode::ReplyTooLong:
        return "サーバの応答が長すぎます";
    case MailErrorCode::Cancelled:
        return "中止しました";
    case MailErrorCode::TlsFailed:
        return WithDetail("TLS接続に失敗しました", error.detail);
    case MailErrorCode::CertificateUntrusted:
        return WithDetail("証明書が信頼できません", error.detail);
    case MailErrorCode::CertificateExpired:
        return WithDetail("証明書の有効期限が切れています", error.detail);
    case MailErrorCode::CertificateNameMismatch:
        return WithDetail("証明書のホスト名が一致しません", error.detail);
    case MailErrorCode::StartTlsNotOffered:
        return "サーバがSTARTTLSに対応していません";
    case MailErrorCode::StartTlsRefused:
        return WithDetail("サーバがSTARTTLSを拒否しました", error.detail);
    case MailErrorCode::PasswordNeedsTls:
        return WithDetail(
            "サーバがSSL/TLSにもSTLS/STARTTLSにも対応していないため、パスワードを送りません",
            error.detail);
    case MailErrorCode::TokenNeedsTls:
        return WithDetail(
            "サーバがSSL/TLSにもSTLS/STARTTLSにも対応していないため、アクセストークンを送りません",
            error.detail);
    case MailErrorCode::LoginRefused:
        return WithDetail("ログインが拒否されました", error.detail);
    case MailErrorCode::CommandRefused:
        return WithDetail("サーバがコマンドを拒否しました", error.detail);
    case MailErrorCode::ProtocolError:
        return WithDetail("サーバの応答が正しくありません", error.detail);
    case MailErrorCode::NotOffered:
        return WithDetail("サーバが対応していません", error.detail);
    case MailErrorCode::NoCredentials:
        return "ユーザ名またはパスワードが設定されていません";
    case MailErrorCode::TooLarge:
        return WithDetail("メールがサーバの受け付ける大きさを超えています", error.detail);
    case MailErrorCode::SignInNeeded:
        return WithDetail("サインインし直してください (メール設定の「サインイン…」または "
                          "kestrovamail --sign-in)",
                          error.detail);
    case MailErrorCode::AuthorizationFailed:
        return WithDetail("認可サーバが要求を拒否しました", error.detail);
    case MailErrorCode::FileNotWritten:
        return WithDetail("ファイルに書き込めません",
                          system.empty() ? error.detail : error.detail + ": " + system);
    case MailErrorCode::KeyringLocked:
        return "キーリングがロックされています（ロックを解除するか、MAIL.SECRET_STORE=file に"
               "戻してください: kestrovamail --move-secrets file）";
    case MailErrorCode::KeyringUnreachable:
        return WithDetail("キーリングに接続できません（MAIL.SECRET_STORE=keyring）", error.detail);
    }
    return {};
}
