#include "app/report/ScreenText.h"

#include <QCoreApplication>
#include <algorithm>
#include <iterator>
#include <ostream>
#include <vector>

namespace {

// The phrases of the core that reach the screen: connection test outcomes, the causes of
// mail errors, the error state of the title and tray, a password too long, the camera's and
// the start's messages.
constexpr const char* kPhrases[] = {
    // connection tests
    QT_TRANSLATE_NOOP("ScreenText", "POP3サーバの接続に成功しました。"),
    QT_TRANSLATE_NOOP("ScreenText", "POP3サーバの接続に失敗しました。"),
    QT_TRANSLATE_NOOP("ScreenText", "IMAPサーバの接続に成功しました。"),
    QT_TRANSLATE_NOOP("ScreenText", "IMAPサーバの接続に失敗しました。"),
    QT_TRANSLATE_NOOP("ScreenText", "SMTPサーバの接続に成功しました。"),
    QT_TRANSLATE_NOOP("ScreenText", "SMTPサーバの接続に失敗しました。"),
    QT_TRANSLATE_NOOP("ScreenText", "理由: "),
    // causes of mail errors
    QT_TRANSLATE_NOOP("ScreenText", "設定が正しくありません"),
    QT_TRANSLATE_NOOP("ScreenText", "ホスト名が見つかりません"),
    QT_TRANSLATE_NOOP("ScreenText", "接続が拒否されました"),
    QT_TRANSLATE_NOOP("ScreenText", "接続がタイムアウトしました"),
    QT_TRANSLATE_NOOP("ScreenText", "接続できません"),
    QT_TRANSLATE_NOOP("ScreenText", "サーバから制限時間内に応答がありません"),
    QT_TRANSLATE_NOOP("ScreenText", "サーバが接続を切断しました"),
    QT_TRANSLATE_NOOP("ScreenText", "送信に失敗しました"),
    QT_TRANSLATE_NOOP("ScreenText", "受信に失敗しました"),
    QT_TRANSLATE_NOOP("ScreenText", "サーバの応答が長すぎます"),
    QT_TRANSLATE_NOOP("ScreenText", "中止しました"),
    QT_TRANSLATE_NOOP("ScreenText", "TLS接続に失敗しました"),
    QT_TRANSLATE_NOOP("ScreenText", "証明書が信頼できません"),
    QT_TRANSLATE_NOOP("ScreenText", "証明書の有効期限が切れています"),
    QT_TRANSLATE_NOOP("ScreenText", "証明書のホスト名が一致しません"),
    QT_TRANSLATE_NOOP("ScreenText", "サーバがSTARTTLSに対応していません"),
    QT_TRANSLATE_NOOP("ScreenText", "サーバがSTARTTLSを拒否しました"),
    QT_TRANSLATE_NOOP(
        "ScreenText",
        "サーバがSSL/TLSにもSTLS/STARTTLSにも対応していないため、パスワードを送りません"),
    QT_TRANSLATE_NOOP(
        "ScreenText",
        "サーバがSSL/TLSにもSTLS/STARTTLSにも対応していないため、アクセストークンを送りません"),
    QT_TRANSLATE_NOOP(
        "ScreenText",
        "（サーバが対応しているはずなら、経路の途中で対応が取り除かれたおそれがあります）"),
    QT_TRANSLATE_NOOP("ScreenText", "。暗号化せずに送ってよいサーバなら次を設定してください: "),
    QT_TRANSLATE_NOOP("ScreenText", "。SSL/TLSで接続するには次を設定してください: "),
    QT_TRANSLATE_NOOP("ScreenText", "ログインが拒否されました"),
    QT_TRANSLATE_NOOP("ScreenText", "サーバがコマンドを拒否しました"),
    QT_TRANSLATE_NOOP("ScreenText", "サーバの応答が正しくありません"),
    QT_TRANSLATE_NOOP("ScreenText", "サーバが対応していません"),
    QT_TRANSLATE_NOOP("ScreenText", "ユーザ名またはパスワードが設定されていません"),
    QT_TRANSLATE_NOOP("ScreenText", "メールがサーバの受け付ける大きさを超えています"),
    QT_TRANSLATE_NOOP("ScreenText", "ディスクの空きがありません"),
    QT_TRANSLATE_NOOP("ScreenText", "ディスクの使用量が上限に達しています"),
    QT_TRANSLATE_NOOP("ScreenText", "アクセスが許可されていません"),
    QT_TRANSLATE_NOOP("ScreenText", "読み取り専用のファイルシステムです"),
    QT_TRANSLATE_NOOP("ScreenText", "同じ名前のフォルダがあります"),
    QT_TRANSLATE_NOOP("ScreenText", "フォルダではないものがパスの途中にあります"),
    QT_TRANSLATE_NOOP("ScreenText", "ファイルまたはフォルダがありません"),
    QT_TRANSLATE_NOOP("ScreenText", "パスが長すぎます"),
    QT_TRANSLATE_NOOP("ScreenText", "開いているファイルが多すぎます"),
    QT_TRANSLATE_NOOP("ScreenText", "メモリが足りません"),
    QT_TRANSLATE_NOOP("ScreenText", "入出力エラーが起きました"),
    QT_TRANSLATE_NOOP("ScreenText", "ネットワークに到達できません"),
    QT_TRANSLATE_NOOP("ScreenText", "ホストに到達できません"),
    QT_TRANSLATE_NOOP("ScreenText", "接続がリセットされました"),
    QT_TRANSLATE_NOOP("ScreenText", "接続が切れました"),
    QT_TRANSLATE_NOOP("ScreenText", "時間切れになりました"),
    QT_TRANSLATE_NOOP("ScreenText", "サインインし直してください (メール設定の「サインイン…」または "
                                    "kestrovamail --sign-in)"),
    QT_TRANSLATE_NOOP("ScreenText", "認可サーバが要求を拒否しました"),
    QT_TRANSLATE_NOOP("ScreenText", "ファイルに書き込めません"),
    // the error state in the title and the tray tooltip
    QT_TRANSLATE_NOOP("ScreenText", "エラー: "),
    QT_TRANSLATE_NOOP("ScreenText", "POP3サーバ"),
    QT_TRANSLATE_NOOP("ScreenText", "SMTPサーバ"),
    QT_TRANSLATE_NOOP("ScreenText", "IMAPサーバ"),
    QT_TRANSLATE_NOOP("ScreenText", "DNS"),
    QT_TRANSLATE_NOOP("ScreenText", "写真"),
    QT_TRANSLATE_NOOP("ScreenText", "設定ファイル"),
    QT_TRANSLATE_NOOP("ScreenText", "判定記録"),
    QT_TRANSLATE_NOOP("ScreenText", "サインイン"),
    QT_TRANSLATE_NOOP("ScreenText", "・"),
    // settings
    QT_TRANSLATE_NOOP("ScreenText", "パスワードが長すぎます。"),
    QT_TRANSLATE_NOOP("ScreenText", "バイトまでにしてください。"),
    // the test pattern as a camera, and its one control
    QT_TRANSLATE_NOOP("ScreenText", "テストパターン"),
    QT_TRANSLATE_NOOP("ScreenText", "パターン"),
    // camera and start
    QT_TRANSLATE_NOOP("ScreenText", "映像入力デバイスが見つかりませんでした"),
    QT_TRANSLATE_NOOP("ScreenText", "指定の映像入力デバイスが見つかりませんでした: "),
    QT_TRANSLATE_NOOP("ScreenText", "ERROR 001:初期化に失敗しました。"),
    // the lines of the activity log: failures, their causes and the notices that they are over
    QT_TRANSLATE_NOOP("ScreenText", "ERROR : "),
    QT_TRANSLATE_NOOP("ScreenText", "注意: "),
    QT_TRANSLATE_NOOP("ScreenText", " にアカウント "),
    QT_TRANSLATE_NOOP("ScreenText", " でログインできません: "),
    QT_TRANSLATE_NOOP("ScreenText", " に接続できません: "),
    QT_TRANSLATE_NOOP("ScreenText", " とのやり取りに失敗しました: "),
    QT_TRANSLATE_NOOP("ScreenText", " で返信を送れません: "),
    QT_TRANSLATE_NOOP("ScreenText", "サーバが受け付けませんでした"),
    QT_TRANSLATE_NOOP("ScreenText", "（依頼はサーバーに残します）"),
    QT_TRANSLATE_NOOP("ScreenText", "カメラがないため、写真の依頼に答えられません"),
    QT_TRANSLATE_NOOP("ScreenText", "カメラから写真を取り込めないため、写真の依頼に答えられません"),
    QT_TRANSLATE_NOOP("ScreenText", "返信の写真をフォルダ "),
    QT_TRANSLATE_NOOP("ScreenText", " に書き込めません: "),
    QT_TRANSLATE_NOOP("ScreenText", "JPEGファイルを作れませんでした"),
    QT_TRANSLATE_NOOP("ScreenText", "POP3サーバに再び接続できました"),
    QT_TRANSLATE_NOOP("ScreenText", "SMTPサーバで再び返信を送れました"),
    QT_TRANSLATE_NOOP("ScreenText", "返信の写真を再び用意できました"),
    QT_TRANSLATE_NOOP("ScreenText", "設定ファイルを再び保存できました"),
    QT_TRANSLATE_NOOP("ScreenText", "判定済みメールの記録を再び保存できました"),
    QT_TRANSLATE_NOOP("ScreenText", "判定済みメールの記録 "),
    QT_TRANSLATE_NOOP("ScreenText", "（この実行の間は覚えておきます）"),
    QT_TRANSLATE_NOOP("ScreenText", "IMAPサーバに再び接続できました"),
    QT_TRANSLATE_NOOP("ScreenText", "DNSが再び応答しました"),
    QT_TRANSLATE_NOOP("ScreenText", "アクセストークンを再び得られました"),
    QT_TRANSLATE_NOOP("ScreenText", "キーリングから再びパスワードを読めました"),
    QT_TRANSLATE_NOOP("ScreenText", "キーリングがロックされています（ロックを解除するか、MAIL.SECRET_STORE=file に"
                                    "戻してください: kestrovamail --move-secrets file）"),
    QT_TRANSLATE_NOOP("ScreenText", "キーリングに接続できません（MAIL.SECRET_STORE=keyring）"),
    QT_TRANSLATE_NOOP("ScreenText", "メールのパスワードを読めません: "),
    QT_TRANSLATE_NOOP("ScreenText", "サインインを読めません: "),
    QT_TRANSLATE_NOOP("ScreenText", " をキーリングに保存できません: "),
    QT_TRANSLATE_NOOP("ScreenText", "今の保存先のキーリングを読めません: "),
    QT_TRANSLATE_NOOP("ScreenText", "アカウント "),
    QT_TRANSLATE_NOOP("ScreenText", " のサインインが必要です: "),
    QT_TRANSLATE_NOOP("ScreenText", "認可サーバ "),
    QT_TRANSLATE_NOOP("ScreenText", " からアクセストークンを得られません: "),
    QT_TRANSLATE_NOOP("ScreenText", "DNSが応答しないため、差出人の署名の鍵を確かめられません"
                                    "（依頼はサーバーに残し、次のチェックで再確認します）"),
    QT_TRANSLATE_NOOP("ScreenText", "POP3サーバーが設定されていません"),
    QT_TRANSLATE_NOOP("ScreenText", "IMAPサーバーが設定されていません"),
    QT_TRANSLATE_NOOP("ScreenText", "POP3のユーザーIDが設定されていません"),
    QT_TRANSLATE_NOOP("ScreenText", "POP3のパスワードが設定されていません"),
    QT_TRANSLATE_NOOP("ScreenText", "メールチェック完了"),
    QT_TRANSLATE_NOOP("ScreenText", "SMTPサーバへの接続に失敗しました。"),
    QT_TRANSLATE_NOOP("ScreenText", "メールの返信に失敗しました"),
    QT_TRANSLATE_NOOP("ScreenText", "送信完了"),
    QT_TRANSLATE_NOOP("ScreenText", "差出人を確認できないため答えません: "),
    QT_TRANSLATE_NOOP("ScreenText", "差出人を確認できません（次のチェックで再確認）: "),
    QT_TRANSLATE_NOOP(
        "ScreenText",
        "差出人の確認: 相手のプロバイダがDKIM署名をしない場合は、メール設定で"
        "「差出人をDKIM署名で確認する」を外すか、信頼する認証サーバーIDを設定してください"),
    QT_TRANSLATE_NOOP("ScreenText", "プログラムが送ったメールには返信しません: "),
    QT_TRANSLATE_NOOP("ScreenText", "（ポート25では送りません: "),
    QT_TRANSLATE_NOOP("ScreenText", "設定ファイル "),
    QT_TRANSLATE_NOOP("ScreenText", " を読み込めません: "),
    QT_TRANSLATE_NOOP("ScreenText", "（このファイルの設定は既定値で動きます）"),
    QT_TRANSLATE_NOOP("ScreenText", "ログファイルエラー"),
    QT_TRANSLATE_NOOP("ScreenText", "KestrovaMailを開始しました。"),
    QT_TRANSLATE_NOOP("ScreenText", "setup.ini と device.ini を読み込み直しました。"),
    QT_TRANSLATE_NOOP(
        "ScreenText",
        "メールのアカウントの設定が足りないため、メールを確認しません。メールアドレスから設定するには、"
        "メール設定の「自動設定」か kestrovamail --set-up アドレス を使います"),
    QT_TRANSLATE_NOOP(
        "ScreenText",
        "許可アドレスが空のため、だれからの依頼にも写真を返信します。依頼できる人を限るには、"
        "メール設定の許可アドレスに加えてください（kestrovamail --set "
        "MAIL.SEND_ADDRESS1=アドレス）"),
    QT_TRANSLATE_NOOP(
        "ScreenText",
        "映像入力デバイスがありません。メールの確認は続けますが、写真の依頼には答えず、"
        "依頼はサーバーに残します。カメラがつながると使い始めます。"),
    QT_TRANSLATE_NOOP("ScreenText", "映像入力デバイス「"),
    QT_TRANSLATE_NOOP("ScreenText", "」が使えなくなりました（"),
    QT_TRANSLATE_NOOP("ScreenText", "）。戻るまで写真の依頼には答えず、依頼はサーバーに残します。"),
    QT_TRANSLATE_NOOP("ScreenText", "」で撮影を再開しました。"),
    QT_TRANSLATE_NOOP("ScreenText", "」で撮影を始めました。"),
    QT_TRANSLATE_NOOP("ScreenText", " は読み切れない値のため、ファイルの値をそのまま残します。"),
    QT_TRANSLATE_NOOP("ScreenText", " は他のユーザーも読める状態でした。"
                                    "パスワードを含むため、本人だけが読めるようにしました"),
    QT_TRANSLATE_NOOP("ScreenText", "は usb、rtsp、mjpeg、snapshot のどれでもないため usb とします"),
    QT_TRANSLATE_NOOP("ScreenText",
                      "のユーザー名とパスワードは、次の保存で USER とパスワードの保存先に移します"),
    QT_TRANSLATE_NOOP("ScreenText",
                      "は TYPE に合わないアドレス（rtsp は rtsp:// か rtsps://、mjpeg と snapshot は "
                      "http:// か https://）のため使いません: "),
    QT_TRANSLATE_NOOP("ScreenText", "は名前に使えない文字（改行、制御文字、「,」「;」）を含むか "
                                    "32 文字を超えるため使いません"),
    QT_TRANSLATE_NOOP("ScreenText", "は前のカメラと同じ名前のため使いません: "),
    QT_TRANSLATE_NOOP("ScreenText", "カメラのパスワードを読めません: "),
    QT_TRANSLATE_NOOP("ScreenText", "返信の上限（1時間に"),
    QT_TRANSLATE_NOOP("ScreenText", "通）に達したため、"),
    QT_TRANSLATE_NOOP("ScreenText", " の依頼にはしばらく返信しません"),
    // why a request is not answered
    QT_TRANSLATE_NOOP("ScreenText", "自動送信のメールです"),
    QT_TRANSLATE_NOOP("ScreenText", "一斉配信のメールです"),
    QT_TRANSLATE_NOOP("ScreenText", "メーリングリストのメールです"),
    QT_TRANSLATE_NOOP("ScreenText", "差出人のないメールです"),
    QT_TRANSLATE_NOOP("ScreenText", "配送システムからのメールです"),
    QT_TRANSLATE_NOOP("ScreenText", "署名がありません"),
    QT_TRANSLATE_NOOP("ScreenText", "署名が一致しません"),
    QT_TRANSLATE_NOOP("ScreenText", "鍵が見つかりません"),
    QT_TRANSLATE_NOOP("ScreenText", "鍵が取り消されています"),
    QT_TRANSLATE_NOOP("ScreenText", "鍵が短すぎます"),
    QT_TRANSLATE_NOOP("ScreenText", "鍵が使えません"),
    QT_TRANSLATE_NOOP("ScreenText", "署名の期限が切れています"),
    QT_TRANSLATE_NOOP("ScreenText", "本文の一部しか署名されていません"),
    QT_TRANSLATE_NOOP("ScreenText", "署名が差出人を含みません"),
    QT_TRANSLATE_NOOP("ScreenText", "署名が件名を含みません"),
    QT_TRANSLATE_NOOP("ScreenText", "鍵が試験用です"),
    QT_TRANSLATE_NOOP("ScreenText", "DNSが応答しません"),
    QT_TRANSLATE_NOOP("ScreenText", "署名のドメインが差出人と異なります"),
    QT_TRANSLATE_NOOP("ScreenText", "メールの形式が正しくありません"),
    QT_TRANSLATE_NOOP("ScreenText", "差出人の欄が正しくありません"),
    QT_TRANSLATE_NOOP("ScreenText", "件名の欄が正しくありません"),
    QT_TRANSLATE_NOOP("ScreenText", "メールが大きすぎます"),
    QT_TRANSLATE_NOOP("ScreenText", "メールがなくなりました"),
    QT_TRANSLATE_NOOP("ScreenText", "サーバがメールを受け取った可能性があります"),
    QT_TRANSLATE_NOOP("ScreenText", "TLSで保護できなかった経路の代わりにはしません"),
    QT_TRANSLATE_NOOP("ScreenText", "ポート25のサーバ: "),
    QT_TRANSLATE_NOOP("ScreenText", " の ["),
    // brackets around a reason, once the phrases around them are replaced
    QT_TRANSLATE_NOOP("ScreenText", "（"),
    QT_TRANSLATE_NOOP("ScreenText", "）"),
};

struct Replacement {
    QString phrase;
    QString translation;
};

// The translated phrases, longest first, so that a phrase inside a longer one
// ("POP3サーバ" in "POP3サーバの接続に…") does not cut it up.
std::vector<Replacement> Replacements() {
    std::vector<Replacement> replacements;
    for (const char* phrase : kPhrases) {
        const QString translation = QCoreApplication::translate("ScreenText", phrase);
        const QString source = QString::fromUtf8(phrase);
        if (translation != source)
            replacements.push_back({source, translation});
    }
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement& a, const Replacement& b) {
                  return a.phrase.size() > b.phrase.size();
              });
    return replacements;
}

} // namespace

QString ScreenText(const QString& text) {
    QString shown = text;
    for (const Replacement& r : Replacements())
        shown.replace(r.phrase, r.translation);
    return shown;
}

std::string ScreenText(std::string_view text) {
    return ScreenText(QString::fromUtf8(text.data(), qsizetype(text.size()))).toStdString();
}

std::string TranslatedText(const char* context, const char* text,
                           std::initializer_list<std::string_view> arguments) {
    const std::string translated = QCoreApplication::translate(context, text).toStdString();
    std::string out;
    for (std::size_t i = 0; i < translated.size(); ++i) {
        const char next = i + 1 < translated.size() ? translated[i + 1] : '\0';
        const std::size_t n = next >= '1' && next <= '9' ? static_cast<std::size_t>(next - '0') : 0;
        if (translated[i] == '%' && n >= 1 && n <= arguments.size()) {
            out += *(arguments.begin() + (n - 1));
            ++i;
        } else {
            out += translated[i];
        }
    }
    return out;
}

void CStreamSink::ShowMessage(const std::string& text) { m_out << ScreenText(text) << "\n"; }
