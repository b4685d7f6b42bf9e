// What the buttons of the mail settings dialog run: the connection tests, 自動設定 and
// サインイン… on the mail worker under a progress box that cancels, the CA file chooser, and
// the move of the secrets to the other store.

#include "app/discovery/AccountDiscovery.h"
#include "app/report/ScreenText.h"
#include "app/runtime/MoveSecrets.h"
#include "app/service/ConnectionTest.h"
#include "app/settings/SettingsStore.h"
#include "app/signin/OAuthSignIn.h"
#include "base/ProgramFolder.h"
#include "dialogs/BusyCursor.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/MailSetupDialog.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/WorkerProgress.h"
#include "mail/net/MailError.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <memory>

namespace {

// What the dialog says of each store: where the secrets are, the button that moves them there,
// and how a move there ended.
struct StoreTexts {
    const char* line;
    const char* moveThere;
    const char* moved;   // %1: the secrets moved
    const char* nothing; // there was no secret to move
    const char* refused; // followed by the reason
};
constexpr StoreTexts kFileTexts = {
    QT_TRANSLATE_NOOP("CMailSetupDialog",
                      "パスワードの保存先: setup.ini（難読化のみ、暗号化ではありません）"),
    QT_TRANSLATE_NOOP("CMailSetupDialog", "ファイルへ移す"),
    QT_TRANSLATE_NOOP("CMailSetupDialog",
                      "%1 をファイルへ移しました（難読化のみ、暗号化ではありません）。"),
    QT_TRANSLATE_NOOP("CMailSetupDialog",
                      "移すパスワードはありません。これからはファイルに保存します。"),
    QT_TRANSLATE_NOOP("CMailSetupDialog", "ファイルへ移せません。何も移していません。"),
};
constexpr StoreTexts kKeyringTexts = {
    QT_TRANSLATE_NOOP("CMailSetupDialog", "パスワードの保存先: キーリング"),
    QT_TRANSLATE_NOOP("CMailSetupDialog", "キーリングへ移す"),
    QT_TRANSLATE_NOOP("CMailSetupDialog", "%1 をキーリングへ移しました。"),
    QT_TRANSLATE_NOOP("CMailSetupDialog",
                      "移すパスワードはありません。これからはキーリングに保存します。"),
    QT_TRANSLATE_NOOP("CMailSetupDialog", "キーリングへ移せません。何も移していません。"),
};

const StoreTexts& TextsOf(SecretStore store) {
    return store == SecretStore::Keyring ? kKeyringTexts : kFileTexts;
}

SecretStore OtherStore(SecretStore store) {
    return store == SecretStore::Keyring ? SecretStore::File : SecretStore::Keyring;
}

} // namespace

void CMailSetupDialog::TestConnection() {
    if (!TakeOver())
        return;
    // The log-out is part of the test: the outcome is shown once the server has been left.
    const MailSettings copy = m_settings;
    const bool imap = copy.receiveProtocol == ReceiveProtocol::Imap;
    const auto result = RunWithProgress<ConnectionTestResult>(
        this, m_worker,
        imap ? tr("IMAPサーバに接続しています…") : tr("POP3サーバに接続しています…"),
        [copy, imap](const CCancelSignal* cancel) {
            return imap ? TestImapConnection(copy, cancel) : TestPop3Connection(copy, cancel);
        });
    if (result) // nothing to say after the user cancelled
        ShowMessageBox(this, ScreenText(ToQt(result->message)));
}

void CMailSetupDialog::TestSmtp() {
    if (!TakeOver())
        return;
    // Up to AUTH and QUIT; no mail is sent.
    const MailSettings copy = m_settings;
    const auto result = RunWithProgress<ConnectionTestResult>(
        this, m_worker, tr("SMTPサーバに接続しています…"),
        [copy](const CCancelSignal* cancel) { return TestSmtpConnection(copy, cancel); });
    if (result)
        ShowMessageBox(this, ScreenText(ToQt(result->message)));
}

CMailSetupDialog::~CMailSetupDialog() = default;

CMailWorker* CMailSetupDialog::LongWorker() {
    if (m_worker)
        return m_worker;
    if (!m_ownWorker)
        m_ownWorker = std::make_unique<CMailWorker>();
    return m_ownWorker.get();
}

void CMailSetupDialog::AutoSetup() {
    if (!TakeOver())
        return;
    const std::string address = ToStd(m_senderAddress->text().trimmed());
    if (address.empty()) {
        ShowMessageBox(this, tr("メールアドレスを入力してください。"), MessageKind::Exclamation);
        Reveal(m_senderAddress);
        return;
    }
    DiscoveryOptions options;
    options.caFile = m_settings.caFile;
    options.online = m_settings.discoveryOnline;
    // Each source passed over shows under the address while the search goes on.
    options.progress = [this](const std::string& line) {
        QMetaObject::invokeMethod(
            this, [this, text = ToQt(line)] { ShowSetupSource(text); }, Qt::QueuedConnection);
    };
    const auto result = RunWithProgress<DiscoveryResult>(
        this, LongWorker(), tr("%1 のサーバを探しています…").arg(ToQt(address)),
        [address, options](const CCancelSignal* cancel) {
            return DiscoverAccount(address, options, cancel);
        });
    if (!result)
        return; // cancelled: nothing has changed
    // The lines of the sources passed over come first: the box lists them, the line under the
    // address only says what counts.
    const std::vector<std::string> lines = DescribeDiscovery(*result);
    QStringList all;
    for (const std::string& line : lines)
        all << ToQt(line);
    const QStringList outcome = all.mid(qsizetype(result->skipped.size()));
    ShowSetupSource(outcome.join(u'\n'));
    if (!result->account) {
        ShowMessageBox(this, all.join(u'\n'), MessageKind::Exclamation);
        return;
    }
    // Servers outside the address's domain that only DNS named: the user decides, and the
    // safe answer (Cancel) leaves the fields as they were.
    if (!result->account->otherDomainHosts.empty() &&
        !ShowMessageBox(this, outcome.join(u'\n') + u'\n' + tr("このサーバーを使いますか？"),
                        MessageKind::OkCancel)) {
        ShowSetupSource(QString());
        return;
    }
    // The servers, the log-in names and the log-in method; passwords and the rest stay.
    ApplyDiscovered(*result->account, m_settings);
    ShowFields();
}

void CMailSetupDialog::SignIn() {
    if (!TakeOver())
        return;
    const MailSettings copy = m_settings;
    // A setting the sign-in cannot do without is named before the browser opens.
    const std::string missing = oauthsignin::SettingToFix(copy, oauthsignin::Grant::Browser);
    if (!missing.empty()) {
        ShowMessageBox(
            this, tr("サインインの前にこの欄を正しく入力してください（%1）。").arg(ToQt(missing)),
            MessageKind::Exclamation);
        if (QWidget* field = FieldOf(missing))
            Reveal(field);
        return;
    }
    // The sign-in outlives a cancelled box until the worker has let go of it.
    auto signIn = std::make_shared<COAuthBrowserSignIn>(copy, ProgramFolder());
    MailError error;
    const std::string address = signIn->Start(error);
    if (!address.empty()) {
        const QUrl url(ToQt(address), QUrl::StrictMode);
        if (!QDesktopServices::openUrl(url))
            ShowMessageBox(this,
                           tr("ブラウザを開けませんでした。次のアドレスを開いてください。\n%1")
                               .arg(ToQt(address)));
        const auto result = RunWithProgress<MailError>(
            this, LongWorker(), tr("ブラウザでサインインしてください…"),
            [signIn](const CCancelSignal* cancel) { return signIn->Wait(cancel); });
        if (!result)
            return; // cancelled
        error = *result;
    }
    if (error) {
        ShowMessageBox(this,
                       tr("サインインできませんでした。") + u'\n' +
                           ScreenText(ToQt("理由: " + DescribeMailError(error))),
                       MessageKind::Exclamation);
        return;
    }
    ShowMessageBox(this, tr("サインインしました。"));
}

void CMailSetupDialog::BrowseCaFile() {
    const QString current = m_caFile->text();
    QFileDialog chooser(this, tr("CA証明書ファイル"),
                        current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath(),
                        tr("証明書ファイル(*.pem *.crt *.cer);;全て(*.*)"));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    if (!current.isEmpty())
        chooser.selectFile(current);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    // Only the control changes; the field follows when the dialog takes the controls over.
    m_caFile->setText(chooser.selectedFiles().constFirst());
}

void CMailSetupDialog::ShowSecretStore() {
    m_secretStore->setText(tr(TextsOf(m_settings.secretStore).line));
    m_moveSecrets->setText(tr(TextsOf(OtherStore(m_settings.secretStore)).moveThere));
}

void CMailSetupDialog::MoveSecretsToOtherStore() {
    const SecretStore to = OtherStore(m_settings.secretStore);
    const StoreTexts& texts = TextsOf(to);
    const std::string folder = ProgramFolder();
    SecretsMove move;
    {
        BusyCursor busy; // a keyring that does not answer is given up within its time limit
        move = MoveSecrets(folder, to);
    }
    if (!move.done) {
        ShowMessageBox(this, tr(texts.refused) + u'\n' + ScreenText(ToQt("理由: " + move.problem)),
                       MessageKind::Exclamation);
        return;
    }
    m_settings.secretStore = to;
    // The record already holds what moved, or what was typed since, which OK saves to the new
    // store. Only secrets the keyring would not give when the settings were read are fetched
    // from where they stand now, so that OK does not take them for removed.
    if (m_settings.secretsUnread) {
        struct : IMessageSink {
            void ShowMessage(const std::string&) override {}
        } quiet;
        ::Settings stored;
        LoadSettings(stored, folder, quiet);
        const std::pair<std::string MailSettings::*, QLineEdit*> secrets[] = {
            {&MailSettings::pop3Pass, m_pop3Pass},
            {&MailSettings::smtpPass, m_smtpPass},
            {&MailSettings::oauthClientSecret, m_oauthClientSecret}};
        for (const auto& [field, edit] : secrets) {
            if (!(m_settings.*field).empty())
                continue;
            m_settings.*field = stored.mail.*field;
            if (edit->text().isEmpty())
                edit->setText(ToQt(stored.mail.*field));
        }
        m_settings.secretsUnread = stored.mail.secretsUnread;
    }
    ShowSecretStore();
    QStringList names;
    for (const std::string& name : move.moved)
        names << ToQt(name);
    ShowMessageBox(this, names.isEmpty() ? tr(texts.nothing)
                                         : tr(texts.moved).arg(names.join(QStringLiteral(", "))));
}
