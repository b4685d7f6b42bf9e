#include "app/runtime/CommandLine.h"
#include "app/report/ScreenText.h"

#include <QCoreApplication>
#include <optional>

namespace {

using Mode = CommandLine::Mode;

// What is wrong with the command line, in the user's language once a translation is installed.
template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("CommandLine", text, {std::string_view(arguments)...});
}

// Sets the mode once; a second, different mode is an error.
void SetMode(CommandLine& line, Mode mode, const std::string& option) {
    if (line.mode != Mode::Window && line.mode != mode && line.error.empty())
        line.error =
            Tr(QT_TRANSLATE_NOOP("CommandLine", "%1 はほかに指定したコマンドと一緒には使えません"),
               option);
    line.mode = mode;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> attached;
        if (option.starts_with("--")) {
            if (const std::size_t equals = option.find('='); equals != std::string::npos) {
                attached = option.substr(equals + 1);
                option.resize(equals);
            }
        }
        // The value of an option that takes one: after "=" or as the next argument.
        auto value = [&]() -> std::optional<std::string> {
            if (attached)
                return attached;
            if (i + 1 < arguments.size())
                return arguments[++i];
            line.error = Tr(QT_TRANSLATE_NOOP("CommandLine", "%1 には値が必要です"), option);
            return std::nullopt;
        };
        auto noValue = [&] {
            if (attached)
                line.error = Tr(QT_TRANSLATE_NOOP("CommandLine", "%1 は値を取りません"), option);
        };

        if (option == "startup") {
            ++line.startupArguments; // exact, letter case included
        } else if (option == "--help" || option == "-h") {
            noValue();
            SetMode(line, Mode::Help, option);
        } else if (option == "--version") {
            noValue();
            SetMode(line, Mode::Version, option);
        } else if (option == "--headless") {
            noValue();
            SetMode(line, Mode::Headless, option);
        } else if (option == "--check-once") {
            noValue();
            SetMode(line, Mode::CheckOnce, option);
        } else if (option == "--show-settings") {
            noValue();
            SetMode(line, Mode::ShowSettings, option);
        } else if (option == "--sign-in") {
            noValue();
            SetMode(line, Mode::SignIn, option);
        } else if (option == "--device-code") {
            noValue();
            line.deviceCode = true;
        } else if (option == "--test-pattern") {
            noValue();
            line.testPattern = true;
        } else if (option == "--trace") {
            noValue();
            line.trace = true;
        } else if (option == "--device") {
            if (auto v = value()) {
                line.device = *v;
                if (line.device.empty())
                    line.error = Tr(QT_TRANSLATE_NOOP(
                        "CommandLine", "--device にはデバイス名か /dev/video* のパスが必要です"));
            }
        } else if (option == "--set") {
            if (auto v = value()) {
                line.assignments.push_back(*v);
                SetMode(line, Mode::SetSettings, option);
            }
        } else if (option == "--set-password") {
            if (auto v = value()) {
                line.passwordAccount = *v;
                SetMode(line, Mode::SetPassword, option);
                if (*v != "pop3" && *v != "smtp" && *v != "oauth-client")
                    line.error = Tr(QT_TRANSLATE_NOOP(
                        "CommandLine",
                        "--set-password には pop3、smtp か oauth-client を指定します"));
            }
        } else if (option == "--set-up") {
            if (auto v = value()) {
                line.setUpAddress = *v;
                SetMode(line, Mode::SetUp, option);
            }
        } else if (option == "--dry-run") {
            noValue();
            line.dryRun = true;
        } else if (option == "--accept-other-domain") {
            noValue();
            line.acceptOtherDomain = true;
        } else {
            line.error =
                Tr(QT_TRANSLATE_NOOP("CommandLine",
                                     "不明なオプション \"%1\"（一覧は kestrovamail --help）"),
                   arguments[i]);
        }
    }
    const bool runs = line.mode == Mode::Window || line.mode == Mode::Headless ||
                      line.mode == Mode::CheckOnce;
    if (line.error.empty() && !line.device.empty() && !runs)
        line.error = Tr(QT_TRANSLATE_NOOP(
            "CommandLine",
            "--device はウィンドウ、--headless、--check-once のカメラを選ぶオプションです"));
    if (line.error.empty() && line.trace && !runs)
        line.error = Tr(QT_TRANSLATE_NOOP(
            "CommandLine",
            "--trace はウィンドウ、--headless、--check-once のメールのやりとりを表示するオプションです"));
    if (line.error.empty() && line.dryRun && line.mode != Mode::SetUp)
        line.error = Tr(QT_TRANSLATE_NOOP("CommandLine", "--dry-run は --set-up と使うオプションです"));
    if (line.error.empty() && line.acceptOtherDomain && line.mode != Mode::SetUp)
        line.error = Tr(QT_TRANSLATE_NOOP("CommandLine",
                                          "--accept-other-domain は --set-up と使うオプションです"));
    if (line.error.empty() && line.deviceCode && line.mode != Mode::SignIn)
        line.error = Tr(QT_TRANSLATE_NOOP("CommandLine", "--device-code は --sign-in と使います"));
    return line;
}

std::string HelpText() {
    // Written in Japanese like the rest of the user interface; the English text (the one the
    // manual page is made from, by help2man) is its translation.
    return QCoreApplication::translate("CommandLine", R"(使い方: kestrovamail [オプション]...
メールに答えるカメラ: 件名がチェック文字列（"cap"）のメールに、カメラの新しい写真を付けて
返信します。オプションなしではメインウィンドウを開きます。

  --headless             画面なし（X サーバー不要）のサービスとして動きます。カメラとメールの
                         確認はウィンドウのときと同じで、起動時と 1 分ごとに確認します。ログは
                         標準エラー（UTF-8）と、有効なときは log.txt に出ます。SIGTERM/SIGINT
                         で終了し、SIGHUP で setup.ini と device.ini を読み直します。
  --check-once           画面なしでメールを 1 回確認して終了します（終了コードは下記）。
  --device NAME|PATH     このカメラ（表示名か /dev/video* のパス）を尋ねずに使います。
                         ウィンドウ、--headless、--check-once で使えます。カメラがなくても
                         メールは確認し、依頼はサーバーに残します。
  --trace                メールサーバーとやりとりした行をすべて標準エラーに書きます。行ごとに
                         時刻、プロトコル、サーバーが付き、パスワードとログインの情報は隠し、
                         メールは最初の行と大きさだけにします。ウィンドウ、--headless、
                         --check-once で使えます。
  --test-pattern         GStreamer のテストパターンを 2 台のカメラとして出します。カメラなしで
                         試すためのものです: テストパターンは生のフレームを、テストパターン
                         (JPEG) は多くのカメラと同じく JPEG の画像を送ります。
  --show-settings        すべての設定を SECTION.KEY=VALUE の形で表示します（パスワードは隠します）。
  --set SECTION.KEY=VALUE
                         設定ダイアログと同じ確認をして設定を 1 つ変えます。例:
                         --set MAIL.POP3_SERVER=pop.example.com。何度でも指定できます。
  --set-password pop3|smtp|oauth-client
                         POP3 か SMTP のパスワード（oauth-client: OAuth のクライアント
                         シークレット）を標準入力から読み、メール設定ダイアログと同じく暗号化
                         して保存します。
  --sign-in              MAIL.AUTH_METHOD=oauth2 のとき、メールのプロバイダーに OAuth 2.0 で
                         サインインします。ブラウザーで開くアドレスを表示し（画面があれば
                         ブラウザーを開きます）、ブラウザーが戻るのを待ちます。ブラウザーが別の
                         機器にあるときは、最後に開いたページのアドレスを貼り付けます。
  --device-code          --sign-in で、別の機器のブラウザーに入力するコードを表示し、サインイン
                         が終わるまで待ちます（Microsoft など、許しているプロバイダーのみ）。
  --set-up ADDRESS [--dry-run] [--accept-other-domain]
                         メールアドレスからサーバーを探し（ドメインの設定ファイル、共有の
                         プロバイダー データベース（ドメインと MX のドメイン）、プログラムの
                         プロバイダー表、DNS の SRV レコード、imap. などの推測の順）、調べた
                         ことを順に、見つけたものとその出どころを表示して設定に書き込みます。
                         --dry-run では表示だけします。SRV がアドレスのドメインの外のサーバーを
                         指すときは、--accept-other-domain を付けたときだけ書き込みます。
  -h, --help             このヘルプを表示します。
  --version              バージョンを表示します。
  startup                （自動起動のエントリから）設定された起動までの秒数を待ちます。

終了コード:
  0   成功（--check-once: 確認が終わった。--sign-in: サインインした）
  1   --check-once: 確認が終わらなかった。--sign-in: サインインできなかった（理由は
      標準エラーに出ます）。--set-up: 使えるサーバーが見つからなかったか、ほかのドメインの
      サーバーしか見つからず --accept-other-domain がなかった（何も書き込みません）
  2   コマンドラインの誤り。--check-once、--sign-in: 設定が足りない
  3   --check-once: 確認は終わったが、カメラがないため依頼がサーバーに残った

環境変数:
  KESTROVAMAIL_HOME      setup.ini、device.ini、log.txt と写真を置くフォルダ。
  KESTROVAMAIL_TEST_PATTERN
                         1 のとき、--test-pattern と同じくテストパターンを出します。
  KESTROVAMAIL_DNS_SERVER
                         address:port。MAIL.SENDER_CHECK=dkim のとき、DKIM の鍵をシステムの
                         リゾルバーではなくこの DNS サーバーに尋ねます。--set-up の名前も
                         すべてこのサーバーに尋ねます。
  KESTROVAMAIL_ISPDB_URL --set-up と自動設定が尋ねるプロバイダー データベースのアドレス
                         （ドメインを後ろに付けます。既定は
                         https://autoconfig.thunderbird.net/v1.1/）。
  LANGUAGE, LC_ALL, LC_MESSAGES, LANG
                         ウィンドウ、ダイアログとこれらのメッセージの言語: 日本語のロケールでは
                         日本語、それ以外では英語。log.txt と返信メールはいつも日本語です。

ファイル:
  setup.ini, device.ini  設定。$KESTROVAMAIL_HOME、なければプログラムと同じフォルダ、なければ
                         （インストール時）~/.local/share/KestrovaMail/ にあります。
  log.txt                動作ログ（有効なとき）。同じフォルダにあります。
  oauth-token.dat        --sign-in で得たリフレッシュトークン（暗号化、本人のみ読み書き可）。
                         同じフォルダにあります。
  ~/.config/autostart/KestrovaMail.desktop
                         自動起動のエントリ（ログイン時の起動を選んだとき）。

例:
  $ kestrovamail --set-up you@example.com
  $ kestrovamail --set MAIL.POP3_SERVER=pop.example.com --set MAIL.POP3_ID=me
  $ kestrovamail --set-password pop3 < password.txt
  $ kestrovamail --set MAIL.AUTH_METHOD=oauth2 --set MAIL.OAUTH_PROVIDER=microsoft
  $ kestrovamail --sign-in --device-code
  $ systemctl --user enable --now kestrovamail
  $ kestrovamail --check-once --device /dev/video0
)")
        .toStdString();
}

std::string VersionText() {
    return "kestrovamail " KM_VERSION "\n";
}
