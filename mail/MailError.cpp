#include "mail/MailError.h"

#include <cstring>

namespace {

std::string WithDetail(std::string text, const std::string& detail) {
    if (!detail.empty())
        text += " (" + detail + ")";
    return text;
}

} // namespace

bool IsTlsError(MailErrorCode code) {
    switch (code) {
    case MailErrorCode::TlsFailed:
    case MailErrorCode::CertificateUntrusted:
    case MailErrorCode::CertificateExpired:
    case MailErrorCode::CertificateNameMismatch:
    case MailErrorCode::StartTlsNotOffered:
    case MailErrorCode::StartTlsRefused:
        return true;
    default:
        return false;
    }
}

std::string DescribeMailError(const MailError& error) {
    const std::string system = error.systemError ? std::strerror(error.systemError) : "";
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
    case MailErrorCode::LoginRefused:
        return WithDetail("ログインが拒否されました", error.detail);
    case MailErrorCode::CommandRefused:
        return WithDetail("サーバがコマンドを拒否しました", error.detail);
    case MailErrorCode::ProtocolError:
        return WithDetail("サーバの応答が正しくありません", error.detail);
    }
    return {};
}
