#include "dialogs/CoreText.h"

#include <QCoreApplication>
#include <algorithm>
#include <iterator>
#include <vector>

namespace {

// The phrases of the core that reach the screen: connection test outcomes, the causes of
// mail errors, the error state of the title and tray, a password too long, the camera's and
// the start's messages.
constexpr const char* kPhrases[] = {
    // connection tests
    QT_TRANSLATE_NOOP("CoreText", "POP3サーバの接続に成功しました。"),
    QT_TRANSLATE_NOOP("CoreText", "POP3サーバの接続に失敗しました。"),
    QT_TRANSLATE_NOOP("CoreText", "IMAPサーバの接続に成功しました。"),
    QT_TRANSLATE_NOOP("CoreText", "IMAPサーバの接続に失敗しました。"),
    QT_TRANSLATE_NOOP("CoreText", "SMTPサーバの接続に成功しました。"),
    QT_TRANSLATE_NOOP("CoreText", "SMTPサーバの接続に失敗しました。"),
    QT_TRANSLATE_NOOP("CoreText", "理由: "),
    // causes of mail errors
    QT_TRANSLATE_NOOP("CoreText", "設定が正しくありません"),
    QT_TRANSLATE_NOOP("CoreText", "ホスト名が見つかりません"),
    QT_TRANSLATE_NOOP("CoreText", "接続が拒否されました"),
    QT_TRANSLATE_NOOP("CoreText", "接続がタイムアウトしました"),
    QT_TRANSLATE_NOOP("CoreText", "接続できません"),
    QT_TRANSLATE_NOOP("CoreText", "サーバから制限時間内に応答がありません"),
    QT_TRANSLATE_NOOP("CoreText", "サーバが接続を切断しました"),
    QT_TRANSLATE_NOOP("CoreText", "送信に失敗しました"),
    QT_TRANSLATE_NOOP("CoreText", "受信に失敗しました"),
    QT_TRANSLATE_NOOP("CoreText", "サーバの応答が長すぎます"),
    QT_TRANSLATE_NOOP("CoreText", "中止しました"),
    QT_TRANSLATE_NOOP("CoreText", "TLS接続に失敗しました"),
    QT_TRANSLATE_NOOP("CoreText", "証明書が信頼できません"),
    QT_TRANSLATE_NOOP("CoreText", "証明書の有効期限が切れています"),
    QT_TRANSLATE_NOOP("CoreText", "証明書のホスト名が一致しません"),
    QT_TRANSLATE_NOOP("CoreText", "サーバがSTARTTLSに対応していません"),
    QT_TRANSLATE_NOOP("CoreText", "サーバがSTARTTLSを拒否しました"),
    QT_TRANSLATE_NOOP("CoreText", "ログインが拒否されました"),
    QT_TRANSLATE_NOOP("CoreText", "サーバがコマンドを拒否しました"),
    QT_TRANSLATE_NOOP("CoreText", "サーバの応答が正しくありません"),
    QT_TRANSLATE_NOOP("CoreText", "サーバが対応していません"),
    QT_TRANSLATE_NOOP("CoreText", "ユーザ名またはパスワードが設定されていません"),
    QT_TRANSLATE_NOOP("CoreText", "メールがサーバの受け付ける大きさを超えています"),
    QT_TRANSLATE_NOOP("CoreText", "ディスクの空きがありません"),
    QT_TRANSLATE_NOOP("CoreText", "ディスクの使用量が上限に達しています"),
    QT_TRANSLATE_NOOP("CoreText", "アクセスが許可されていません"),
    QT_TRANSLATE_NOOP("CoreText", "読み取り専用のファイルシステムです"),
    QT_TRANSLATE_NOOP("CoreText", "同じ名前のフォルダがあります"),
    QT_TRANSLATE_NOOP("CoreText", "フォルダではないものがパスの途中にあります"),
    QT_TRANSLATE_NOOP("CoreText", "ファイルまたはフォルダがありません"),
    QT_TRANSLATE_NOOP("CoreText", "パスが長すぎます"),
    QT_TRANSLATE_NOOP("CoreText", "開いているファイルが多すぎます"),
    QT_TRANSLATE_NOOP("CoreText", "メモリが足りません"),
    QT_TRANSLATE_NOOP("CoreText", "入出力エラーが起きました"),
    QT_TRANSLATE_NOOP("CoreText", "ネットワークに到達できません"),
    QT_TRANSLATE_NOOP("CoreText", "ホストに到達できません"),
    QT_TRANSLATE_NOOP("CoreText", "接続がリセットされました"),
    QT_TRANSLATE_NOOP("CoreText", "接続が切れました"),
    QT_TRANSLATE_NOOP("CoreText", "時間切れになりました"),
    // the error state in the title and the tray tooltip
    QT_TRANSLATE_NOOP("CoreText", "エラー: "),
    QT_TRANSLATE_NOOP("CoreText", "POP3サーバ"),
    QT_TRANSLATE_NOOP("CoreText", "SMTPサーバ"),
    QT_TRANSLATE_NOOP("CoreText", "IMAPサーバ"),
    QT_TRANSLATE_NOOP("CoreText", "DNS"),
    QT_TRANSLATE_NOOP("CoreText", "写真"),
    QT_TRANSLATE_NOOP("CoreText", "設定ファイル"),
    QT_TRANSLATE_NOOP("CoreText", "判定記録"),
    QT_TRANSLATE_NOOP("CoreText", "・"),
    // settings
    QT_TRANSLATE_NOOP("CoreText", "パスワードが長すぎます。"),
    QT_TRANSLATE_NOOP("CoreText", "バイトまでにしてください。"),
    // the test pattern as a camera, and its one control
    QT_TRANSLATE_NOOP("CoreText", "テストパターン"),
    QT_TRANSLATE_NOOP("CoreText", "パターン"),
    // camera and start
    QT_TRANSLATE_NOOP("CoreText", "映像入力デバイスが見つかりませんでした"),
    QT_TRANSLATE_NOOP("CoreText", "指定の映像入力デバイスが見つかりませんでした: "),
    QT_TRANSLATE_NOOP("CoreText", "ERROR 001:初期化に失敗しました。"),
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
        const QString translation = QCoreApplication::translate("CoreText", phrase);
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

QString CoreText(const QString& text) {
    QString shown = text;
    for (const Replacement& r : Replacements())
        shown.replace(r.phrase, r.translation);
    return shown;
}
