#include "app/runtime/CommandLineOptions.h"

#include <QtGlobal>

namespace {

using Mode = CommandLine::Mode;

// The commands that run the camera and the mail check.
constexpr ModeSet kRunning{Mode::Window, Mode::Headless, Mode::CheckOnce};

// The accounts whose secret --set-password stores.
constexpr std::string_view kPasswordAccounts[] = {"pop3", "smtp", "oauth-client", "camera:NAME"};

// The stores --move-secrets moves the secrets to.
constexpr std::string_view kSecretStores[] = {"keyring", "file"};

// Each description is wrapped by hand, in Japanese here and in every translation, so that
// --help reads well on an 80-column terminal; --help indents its lines.
constexpr OptionRow kOptions[] = {
    {.name = "--headless",
     .help = QT_TRANSLATE_NOOP(
         "CommandLine", "画面なし（X サーバー不要）のサービスとして動きます。カメラとメールの\n"
                        "確認はウィンドウのときと同じで、起動時と 1 分ごとに確認します。ログは\n"
                        "標準エラー（UTF-8）と、有効なときは log.txt に出ます。SIGTERM/SIGINT\n"
                        "で終了し、SIGHUP で setup.ini と device.ini を読み直します。"),
     .mode = Mode::Headless},
    {.name = "--check-once",
     .help = QT_TRANSLATE_NOOP("CommandLine",
                               "画面なしでメールを 1 回確認して終了します（終了コードは下記）。"),
     .mode = Mode::CheckOnce},
    {.name = "--device",
     .argument = OptionArgument::Device,
     .placeholder = "NAME|PATH",
     .help = QT_TRANSLATE_NOOP("CommandLine",
                               "このカメラ（表示名か /dev/video* のパス）を尋ねずに使います。\n"
                               "ウィンドウ、--headless、--check-once で使えます。カメラがなくても\n"
                               "メールは確認し、依頼はサーバーに残します。"),
     .goesWith = kRunning,
     .misplaced = QT_TRANSLATE_NOOP(
         "CommandLine",
         "--device はウィンドウ、--headless、--check-once のカメラを選ぶオプションです"),
     .badValue =
         QT_TRANSLATE_NOOP("CommandLine", "--device にはデバイス名か /dev/video* のパスが必要です"),
     .store = [](CommandLine& line, std::string value) { line.device = std::move(value); }},
    {.name = "--trace",
     .help = QT_TRANSLATE_NOOP(
         "CommandLine", "メールサーバーとやりとりした行をすべて標準エラーに書きます。行ごとに\n"
                        "時刻、プロトコル、サーバーが付き、パスワードとログインの情報は隠し、\n"
                        "メールは最初の行と大きさだけにします。ウィンドウ、--headless、\n"
                        "--check-once で使えます。"),
     .goesWith = kRunning,
     .misplaced = QT_TRANSLATE_NOOP("CommandLine", "--trace はウィンドウ、--headless、--check-once "
                                                   "のメールのやりとりを表示するオプションです"),
     .store = [](CommandLine& line, std::string) { line.trace = true; }},
    {.name = "--test-pattern",
     .help = QT_TRANSLATE_NOOP(
         "CommandLine", "GStreamer のテストパターンを 2 台のカメラとして出します。カメラなしで\n"
                        "試すためのものです: テストパターンは生のフレームを、テストパターン\n"
                        "(JPEG) は多くのカメラと同じく JPEG の画像を送ります。"),
     .store = [](CommandLine& line, std::string) { line.testPattern = true; }},
    {.name = "--show-settings",
     .help = QT_TRANSLATE_NOOP(
         "CommandLine",
         "すべての設定を SECTION.KEY=VALUE の形で表示します（パスワードは隠します）。"),
     .mode = Mode::ShowSettings},
    {.name = "--set",
     .argument = OptionArgument::Setting,
     .placeholder = "SECTION.KEY=VALUE",
     .help = QT_TRANSLATE_NOOP("CommandLine",
                               "設定ダイアログと同じ確認をして設定を 1 つ変えます。例:\n"
                               "--set MAIL.POP3_SERVER=pop.example.com。何度でも指定できます。"),
     .mode = Mode::SetSettings,
     .store = [](CommandLine& line,
                 std::string value) { line.assignments.push_back(std::move(value)); }},
    {.name = "--set-password",
     .argument = OptionArgument::Word,
     .words = kPasswordAccounts,
     .help = QT_TRANSLATE_NOOP(
         "CommandLine", "POP3 か SMTP のパスワード（oauth-client: OAuth のクライアント\n"
                        "シークレット、camera:NAME: その名前のカメラのパスワード）を標準入力\n"
                        "から読み、MAIL.SECRET_STORE の保存先（キーリングか、setup.ini と\n"
                        "device.ini に難読化して）に保存します。"),
     .mode = Mode::SetPassword,
     .badValue = QT_TRANSLATE_NOOP(
         "CommandLine", "--set-password には pop3、smtp、oauth-client か camera:NAME を指定します"),
     .store = [](CommandLine& line,
                 std::string value) { line.passwordAccount = std::move(value); }},
    {.name = "--move-secrets",
     .argument = OptionArgument::Word,
     .words = kSecretStores,
     .help = QT_TRANSLATE_NOOP(
         "CommandLine", "パスワード（カメラのものも）、クライアントシークレットとリフレッシュ\n"
                        "トークンをすべてデスクトップのキーリング（keyring）か、setup.ini、\n"
                        "device.ini と oauth-token.dat（file: 本人だけが読める難読化で、暗号化\n"
                        "ではありません）に移し、MAIL.SECRET_STORE を変えます。移せないときは\n"
                        "何も移しません。"),
     .mode = Mode::MoveSecrets,
     .badValue = QT_TRANSLATE_NOOP("CommandLine",
                                   "--move-secrets には keyring か file を指定します"),
     .store = [](CommandLine& line, std::string value) { line.secretStore = std::move(value); }},
    {.name = "--remove-camera",
     .argument = OptionArgument::Camera,
     .placeholder = "NAME",
     .help = QT_TRANSLATE_NOOP(
         "CommandLine", "その名前（CAMERAn.NAME）のカメラを設定から外します。後のカメラの\n"
                        "番号は 1 つずつ詰まります。最後の 1 台は外せません。カメラを足すには\n"
                        "--set CAMERAn.KEY=VALUE で次の番号のカメラを設定します。"),
     .mode = Mode::RemoveCamera,
     .store = [](CommandLine& line, std::string value) { line.camera = std::move(value); }},
    {.name = "--sign-in",
     .help = QT_TRANSLATE_NOOP(
         "CommandLine", "MAIL.AUTH_METHOD=oauth2 のとき、メールのプロバイダーに OAuth 2.0 で\n"
                        "サインインします。ブラウザーで開くアドレスを表示し（画面があれば\n"
                        "ブラウザーを開きます）、ブラウザーが戻るのを待ちます。ブラウザーが別の\n"
                        "機器にあるときは、最後に開いたページのアドレスを貼り付けます。"),
     .mode = Mode::SignIn},
    {.name = "--device-code",
     .help = QT_TRANSLATE_NOOP(
         "CommandLine", "--sign-in で、別の機器のブラウザーに入力するコードを表示し、サインイン\n"
                        "が終わるまで待ちます（Microsoft など、許しているプロバイダーのみ）。"),
     .goesWith = {Mode::SignIn},
     .misplaced = QT_TRANSLATE_NOOP("CommandLine", "--device-code は --sign-in と使います"),
     .store = [](CommandLine& line, std::string) { line.deviceCode = true; }},
    {.name = "--set-up",
     .argument = OptionArgument::Address,
     .placeholder = "ADDRESS",
     .help = QT_TRANSLATE_NOOP(
         "CommandLine", "メールアドレスからサーバーを探し（ドメインの設定ファイル、共有の\n"
                        "プロバイダー データベース（ドメインと MX のドメイン）、プログラムの\n"
                        "プロバイダー表、DNS の SRV レコード、imap. などの推測の順）、調べた\n"
                        "ことを順に、見つけたものとその出どころを表示して設定に書き込みます。\n"
                        "--dry-run では表示だけします。SRV がアドレスのドメインの外のサーバーを\n"
                        "指すときは、--accept-other-domain を付けたときだけ書き込みます。"),
     .mode = Mode::SetUp,
     .store = [](CommandLine& line, std::string value) { line.setUpAddress = std::move(value); }},
    {.name = "--dry-run",
     .goesWith = {Mode::SetUp},
     .misplaced = QT_TRANSLATE_NOOP("CommandLine", "--dry-run は --set-up と使うオプションです"),
     .store = [](CommandLine& line, std::string) { line.dryRun = true; }},
    {.name = "--accept-other-domain",
     .goesWith = {Mode::SetUp},
     .misplaced = QT_TRANSLATE_NOOP("CommandLine",
                                    "--accept-other-domain は --set-up と使うオプションです"),
     .store = [](CommandLine& line, std::string) { line.acceptOtherDomain = true; }},
    {.name = "--help",
     .alias = "-h",
     .help = QT_TRANSLATE_NOOP("CommandLine", "このヘルプを表示します。"),
     .mode = Mode::Help},
    {.name = "--version",
     .help = QT_TRANSLATE_NOOP("CommandLine", "バージョンを表示します。"),
     .mode = Mode::Version},
    {.name = "startup",
     .help = QT_TRANSLATE_NOOP("CommandLine",
                               "（自動起動のエントリから）設定された起動までの秒数を待ちます。"),
     .store = [](CommandLine& line, std::string) { ++line.startupArguments; }},
};

} // namespace

std::span<const OptionRow> CommandLineOptions() {
    return kOptions;
}

std::string OptionUsage(const OptionRow& row) {
    std::string usage;
    if (!row.alias.empty())
        (usage += row.alias) += ", ";
    usage += row.name;
    if (row.argument == OptionArgument::Word) {
        for (std::size_t i = 0; i < row.words.size(); ++i)
            (usage += i == 0 ? " " : "|") += row.words[i];
    } else if (!row.placeholder.empty()) {
        (usage += " ") += row.placeholder;
    }
    // A switch without a line of its own is shown with the one command it goes with.
    if (row.mode != CommandLine::Mode::Window) {
        for (const OptionRow& companion : kOptions)
            if (companion.help == nullptr && companion.goesWith.IsOnly(row.mode))
                ((usage += " [") += companion.name) += "]";
    }
    return usage;
}
