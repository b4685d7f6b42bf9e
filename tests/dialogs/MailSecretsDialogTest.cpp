// The mail settings dialog's secret store on 詳細: the line says where the secrets are, and the
// button moves them to the other store at once, all or nothing: without a keyring nothing
// changes and the box says why; with one (gnome-keyring in a private session) the passwords go
// there and back, setup.ini holding none while the keyring has them, and OK keeps the move.
// A program of its own: libsecret keeps one connection a process.

#include "app/settings/Keyring.h"
#include "app/settings/SettingsStore.h"
#include "dialogs/MailSetupDialog.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/KeyringPeer.h"
#include "tests/support/TempDir.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <cstdlib>
#include <optional>

using Dlg = CMailSetupDialog;

namespace {

const QString kFileLine =
    QStringLiteral("パスワードの保存先: setup.ini（難読化のみ、暗号化ではありません）");
const QString kKeyringLine = QStringLiteral("パスワードの保存先: キーリング");

QString ShownStore(QWidget* dialog) {
    return Control<QLabel>(dialog, Dlg::kIdSecretStore)->text();
}

QString MoveButton(QWidget* dialog) {
    return Control<QPushButton>(dialog, Dlg::kIdMoveSecrets)->text();
}

} // namespace

class MailSecretsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void withoutAKeyringNothingMovesAndTheBoxSaysWhy();
    void theButtonMovesThePasswordsThereAndBack();

private:
    // A setup in the files, with both passwords, into loaded as the program reads it back.
    bool SetUpInTheFiles(Settings& loaded);
    std::string SetupIni() const { return TempDir::ReadFile(m_home->path() / "setup.ini"); }

    std::unique_ptr<TempDir> m_home;
    MessageCapture m_sink;
};

void MailSecretsDialogTest::init() {
    m_home = std::make_unique<TempDir>();
    m_home->UseAsProgramFolder();
}

void MailSecretsDialogTest::cleanup() {
    m_home.reset();
}

bool MailSecretsDialogTest::SetUpInTheFiles(Settings& loaded) {
    Settings settings;
    settings.mail.secretStore = SecretStore::File;
    settings.mail.pop3Pass = "pw-pop3";
    settings.mail.smtpPass = "pw-smtp";
    return SaveSettings(settings, m_home->folder(), m_sink) &&
           LoadSettings(loaded, m_home->folder(), m_sink).empty() &&
           loaded.mail.secretStore == SecretStore::File;
}

void MailSecretsDialogTest::withoutAKeyringNothingMovesAndTheBoxSaysWhy() {
    const char* oldBus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::optional<std::string> restore = oldBus ? std::optional(oldBus) : std::nullopt;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrovamail-bus", 1);
    Settings settings;
    QVERIFY(SetUpInTheFiles(settings));
    const std::string before = SetupIni();
    Dlg dialog(settings.mail);
    QCOMPARE(dialog.FieldOf("MAIL.SECRET_STORE"), Control<QWidget>(&dialog, Dlg::kIdMoveSecrets));
    MessageRecorder messages;
    const int result = ExecWith(dialog, [&] {
        QCOMPARE(ShownStore(&dialog), kFileLine);
        QCOMPARE(MoveButton(&dialog), QStringLiteral("キーリングへ移す"));
        Click(&dialog, Dlg::kIdMoveSecrets);
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts[0].startsWith(
                     QStringLiteral("キーリングへ移せません。何も移していません。\n理由: ")),
                 qPrintable(messages.texts[0]));
        QCOMPARE(messages.kinds[0], MessageKind::Exclamation);
        QCOMPARE(ShownStore(&dialog), kFileLine);
        QCOMPARE(MoveButton(&dialog), QStringLiteral("キーリングへ移す"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdPop3Pass)->text(), QStringLiteral("pw-pop3"));
        Click(&dialog, kIdOk);
    });
    if (restore)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", restore->c_str(), 1);
    else
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(SetupIni(), before);
    QCOMPARE(settings.mail.secretStore, SecretStore::File);
    QCOMPARE(settings.mail.pop3Pass, std::string("pw-pop3"));
}

void MailSecretsDialogTest::theButtonMovesThePasswordsThereAndBack() {
    std::unique_ptr<KeyringPeer> peer;
    try {
        peer = std::make_unique<KeyringPeer>();
    } catch (const std::exception& e) {
        QSKIP(e.what());
    }
    Settings settings;
    QVERIFY(SetUpInTheFiles(settings));
    const auto inKeyring = [&](SecretName name) {
        std::string value;
        keyring::Read(m_home->folder(), name, value);
        return value;
    };
    struct Move {
        QString moveButton; // before the click
        QString message;
        QString line; // after the click
        bool passwordsInFile;
    };
    const Move moves[] = {
        {QStringLiteral("キーリングへ移す"),
         QStringLiteral("POP3_PASS, SMTP_PASS をキーリングへ移しました。"), kKeyringLine, false},
        {QStringLiteral("ファイルへ移す"),
         QStringLiteral(
             "POP3_PASS, SMTP_PASS をファイルへ移しました（難読化のみ、暗号化ではありません）。"),
         kFileLine, true},
        {QStringLiteral("キーリングへ移す"),
         QStringLiteral("POP3_PASS, SMTP_PASS をキーリングへ移しました。"), kKeyringLine, false},
    };
    Dlg dialog(settings.mail);
    MessageRecorder messages;
    const int result = ExecWith(dialog, [&] {
        // A password typed before the move stays typed; the other shows what the store holds.
        Retype(&dialog, Dlg::kIdSmtpPass, QStringLiteral("typed-smtp"));
        for (const Move& move : moves) {
            messages.Clear();
            QCOMPARE(MoveButton(&dialog), move.moveButton);
            Click(&dialog, Dlg::kIdMoveSecrets);
            QCOMPARE(messages.texts, QStringList{move.message});
            QCOMPARE(ShownStore(&dialog), move.line);
            QCOMPARE(SetupIni().find("POP3_PASS") != std::string::npos, move.passwordsInFile);
            QCOMPARE(inKeyring(SecretName::Pop3Password),
                     std::string(move.passwordsInFile ? "" : "pw-pop3"));
            QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdPop3Pass)->text(),
                     QStringLiteral("pw-pop3"));
            QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdSmtpPass)->text(),
                     QStringLiteral("typed-smtp"));
        }
        Click(&dialog, kIdOk);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    // OK, and the save after it, keep the secrets where the last move took them.
    QCOMPARE(settings.mail.secretStore, SecretStore::Keyring);
    QVERIFY(SaveSettings(settings, m_home->folder(), m_sink));
    QVERIFY(SetupIni().find("PASS") == std::string::npos);
    QCOMPARE(inKeyring(SecretName::Pop3Password), std::string("pw-pop3"));
    QCOMPARE(inKeyring(SecretName::SmtpPassword), std::string("typed-smtp"));
}

QTEST_MAIN(MailSecretsDialogTest)
#include "MailSecretsDialogTest.moc"
