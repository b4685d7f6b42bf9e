#include "app/runtime/CommandLine.h"

#include "app/report/ScreenText.h"
#include "app/runtime/CommandLineOptions.h"

#include <QCoreApplication>
#include <algorithm>
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

const OptionRow* FindOption(std::string_view option) {
    for (const OptionRow& row : CommandLineOptions())
        if (option == row.name || (!row.alias.empty() && option == row.alias))
            return &row;
    return nullptr;
}

bool AcceptsValue(const OptionRow& row, std::string_view value) {
    switch (row.argument) {
    case OptionArgument::Device:
        return !value.empty();
    case OptionArgument::Word:
        return std::ranges::any_of(row.words, [&](std::string_view word) {
            // "camera:NAME": the prefix and a name of at least one character.
            const std::size_t colon = word.find(':');
            if (colon == std::string_view::npos)
                return value == word;
            return value.size() > colon + 1 && value.starts_with(word.substr(0, colon + 1));
        });
    default:
        return true;
    }
}

// The help's first part, before the options.
const char* const kHelpHead =
    QT_TRANSLATE_NOOP("CommandLine", R"(使い方: kestrovamail [オプション]...
メールに答えるカメラ: 件名がチェック文字列（"cap"）のメールに、カメラの新しい写真を付けて
返信します。オプションなしではメインウィンドウを開きます。)");

// The help's last part, after the options.
const char* const kHelpTail = QT_TRANSLATE_NOOP("CommandLine", R"(終了コード:
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
  oauth-token.dat        --sign-in で得たリフレッシュトークン（MAIL.SECRET_STORE=file のとき。
                         難読化だけで暗号化ではなく、本人だけが読み書きできるファイルです）。
                         同じフォルダにあります。
  ~/.config/autostart/KestrovaMail.desktop
                         自動起動のエントリ（ログイン時の起動を選んだとき）。

例:
  $ kestrovamail --set-up you@example.com
  $ kestrovamail --set MAIL.POP3_SERVER=pop.example.com --set MAIL.POP3_ID=me
  $ kestrovamail --set-password pop3 < password.txt
  $ kestrovamail --set CAMERA2.TYPE=rtsp --set CAMERA2.ADDRESS=rtsp://192.0.2.10/live
  $ kestrovamail --set CAMERA2.NAME=garden --set CAMERA2.USER=admin
  $ kestrovamail --set-password camera:garden < camera-password.txt
  $ kestrovamail --set MAIL.AUTH_METHOD=oauth2 --set MAIL.OAUTH_PROVIDER=microsoft
  $ kestrovamail --sign-in --device-code
  $ systemctl --user enable --now kestrovamail
  $ kestrovamail --check-once --device /dev/video0)");

// An option's lines in --help: its usage in a column of its own, then its text indented beside
// it, or below it when the usage is too wide.
std::string OptionHelp(const OptionRow& row) {
    constexpr std::size_t kIndent = 2, kTextColumn = 25;
    std::string out(kIndent, ' ');
    out += OptionUsage(row);
    if (out.size() + 2 <= kTextColumn)
        out.resize(kTextColumn, ' ');
    else
        (out += '\n').append(kTextColumn, ' ');
    const std::string text = QCoreApplication::translate("CommandLine", row.help).toStdString();
    for (const char c : text) {
        out += c;
        if (c == '\n')
            out.append(kTextColumn, ' ');
    }
    return out + '\n';
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    const std::span<const OptionRow> options = CommandLineOptions();
    std::vector<bool> given(options.size());
    for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> attached;
        if (option.starts_with("--")) {
            if (const std::size_t equals = option.find('='); equals != std::string::npos) {
                attached = option.substr(equals + 1);
                option.resize(equals);
            }
        }
        const OptionRow* row = FindOption(option);
        if (row == nullptr) {
            line.error =
                Tr(QT_TRANSLATE_NOOP("CommandLine",
                                     "不明なオプション \"%1\"（一覧は kestrovamail --help）"),
                   arguments[i]);
            break;
        }
        // The value of an option that takes one: after "=" or as the next argument.
        std::string value;
        if (row->argument == OptionArgument::None) {
            if (attached) {
                line.error = Tr(QT_TRANSLATE_NOOP("CommandLine", "%1 は値を取りません"), option);
                break;
            }
        } else if (attached) {
            value = std::move(*attached);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            line.error = Tr(QT_TRANSLATE_NOOP("CommandLine", "%1 には値が必要です"), option);
            break;
        }
        given[static_cast<std::size_t>(row - options.data())] = true;
        if (row->badValue != nullptr && !AcceptsValue(*row, value))
            line.error = Tr(row->badValue);
        if (row->store != nullptr)
            row->store(line, std::move(value));
        if (row->mode != Mode::Window)
            SetMode(line, row->mode, option);
    }
    // An option for some commands only, given with another.
    for (std::size_t r = 0; r < options.size() && line.error.empty(); ++r)
        if (given[r] && options[r].misplaced != nullptr && !options[r].goesWith.Has(line.mode))
            line.error = Tr(options[r].misplaced);
    return line;
}

std::string HelpText() {
    // Written in Japanese like the rest of the user interface; the English text (the one the
    // manual page is made from, by help2man) is its translation.
    std::string text = QCoreApplication::translate("CommandLine", kHelpHead).toStdString() + "\n\n";
    for (const OptionRow& row : CommandLineOptions())
        if (row.help != nullptr)
            text += OptionHelp(row);
    return text + "\n" + QCoreApplication::translate("CommandLine", kHelpTail).toStdString() + "\n";
}

std::string VersionText() {
    return "kestrovamail " KM_VERSION "\n";
}
