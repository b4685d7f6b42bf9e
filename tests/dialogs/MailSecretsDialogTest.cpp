// The mail settings dialog's secret store on 詳細, moved with its button at once, all or
// nothing: without a keyring nothing changes and the box says why; with one (gnome-keyring in a
// private session) the passwords go there, setup.ini keeps none, and OK keeps the move; a
// record read while the keyring was locked gets its secrets back when they move to the files.
// A program of its own: libsecret keeps one connection a process.

#include "app/settings/Keyring.h"
#include "app/settings/SettingsStore.h"
#include "dialogs/MailSetupDialog.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/KeyringPeer.h"
#include "tests/support/TempDir.h"

#include <QLabel>
#include <QtTest>

using Dlg = CMailSetupDialog;

class MailSecretsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void withoutAKeyringNothingMovesAndTheBoxSaysWhy();
    void theButtonMovesThePasswordsToTheKeyring();
};

namespace {

// A setup in the files with both passwords, as the program reads it back.
Settings SetUpInTheFiles(const TempDir& home) {
    Settings settings;
    settings.mail.pop3Pass = "pw-pop3";
    settings.mail.smtpPass = "pw-smtp";
    MessageCapture sink;
    SaveSettings(settings, home.folder(), sink);
    Settings loaded;
    LoadSettings(loaded, home.folder(), sink);
    return loaded;
}

std::string SetupIni(const TempDir& home) {
    return TempDir::ReadFile(home.path() / "setup.ini");
}

// The line that says where the secrets are, and the button's text.
QStringList StoreShown(QWidget* dialog) {
    return {Control<QLabel>(dialog, Dlg::kIdSecretStore)->text(),
            Control<QPushButton>(dialog, Dlg::kIdMoveSecrets)->text()};
}

const QStringList kInTheFiles = {
    QStringLiteral("パスワードの保存先: setup.ini（難読化のみ、暗号化ではありません）"),
    QStringLiteral("キーリングへ移す")};

} // namespace

void MailSecretsDialogTest::withoutAKeyringNothingMovesAndTheBoxSaysWhy() {
    TempDir home;
    home.UseAsProgramFolder();
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrovamail-bus");
    Settings settings = SetUpInTheFiles(home);
    const std::string before = SetupIni(home);
    Dlg dialog(settings.mail);
    QCOMPARE(dialog.FieldOf("MAIL.SECRET_STORE"), Control<QWidget>(&dialog, Dlg::kIdMoveSecrets));
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        QCOMPARE(StoreShown(&dialog), kInTheFiles);
        Click(&dialog, Dlg::kIdMoveSecrets);
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts[0].startsWith(
                     QStringLiteral("キーリングへ移せません。何も移していません。\n理由: ")),
                 qPrintable(messages.texts[0]));
        QCOMPARE(StoreShown(&dialog), kInTheFiles);
        Click(&dialog, kIdOk);
    });
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QCOMPARE(SetupIni(home), before);
    QCOMPARE(settings.mail.secretStore, SecretStore::File);
    QCOMPARE(settings.mail.pop3Pass, std::string("pw-pop3"));
}

// A password typed before the move stays typed, and OK saves it to the keyring.
void MailSecretsDialogTest::theButtonMovesThePasswordsToTheKeyring() {
    std::unique_ptr<KeyringPeer> peer;
    try {
        peer = std::make_unique<KeyringPeer>();
    } catch (const std::exception& e) {
        QSKIP(e.what());
    }
    TempDir home;
    home.UseAsProgramFolder();
    Settings settings = SetUpInTheFiles(home);
    QCOMPARE(settings.mail.secretStore, SecretStore::File);
    const auto inKeyring = [&](SecretName name) {
        std::string value;
        keyring::Read(home.folder(), name, value);
        return value;
    };
    Dlg dialog(settings.mail);
    MessageRecorder messages;
    const int result = ExecWith(dialog, [&] {
        Retype(&dialog, Dlg::kIdSmtpPass, QStringLiteral("typed-smtp"));
        Click(&dialog, Dlg::kIdMoveSecrets);
        QCOMPARE(messages.texts,
                 QStringList{QStringLiteral("POP3_PASS, SMTP_PASS をキーリングへ移しました。")});
        QCOMPARE(StoreShown(&dialog), (QStringList{QStringLiteral("パスワードの保存先: キーリング"),
                                                   QStringLiteral("ファイルへ移す")}));
        QVERIFY(SetupIni(home).find("PASS") == std::string::npos);
        QCOMPARE(inKeyring(SecretName::Pop3Password), std::string("pw-pop3"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdPop3Pass)->text(), QStringLiteral("pw-pop3"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdSmtpPass)->text(),
                 QStringLiteral("typed-smtp"));
        Click(&dialog, kIdOk);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    MessageCapture sink;
    QVERIFY(SaveSettings(settings, home.folder(), sink));
    QVERIFY(SetupIni(home).find("PASS") == std::string::npos);
    QCOMPARE(inKeyring(SecretName::SmtpPassword), std::string("typed-smtp"));

    // Read while the keyring was locked, the record holds no secret; moved back to the files,
    // they are fetched from there, and OK does not take them for removed.
    settings.mail.pop3Pass.clear();
    settings.mail.smtpPass.clear();
    settings.mail.secretsUnread = true;
    Dlg unread(settings.mail);
    messages.Clear();
    ExecWith(unread, [&] {
        Click(&unread, Dlg::kIdMoveSecrets);
        QCOMPARE(messages.texts.size(), 1);
        QCOMPARE(StoreShown(&unread), kInTheFiles);
        QCOMPARE(Control<QLineEdit>(&unread, Dlg::kIdPop3Pass)->text(), QStringLiteral("pw-pop3"));
        Click(&unread, kIdOk);
    });
    QVERIFY(SaveSettings(settings, home.folder(), sink));
    Settings loaded;
    LoadSettings(loaded, home.folder(), sink);
    QCOMPARE(loaded.mail.secretStore, SecretStore::File);
    QCOMPARE(loaded.mail.pop3Pass, std::string("pw-pop3"));
    QCOMPARE(loaded.mail.smtpPass, std::string("typed-smtp"));
}

QTEST_MAIN(MailSecretsDialogTest)
#include "MailSecretsDialogTest.moc"
