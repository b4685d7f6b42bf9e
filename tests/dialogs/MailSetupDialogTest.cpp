// The mail settings dialog, driven page by page: every field to its setup.ini key and back (the
// protection choices with their by-port rule too), only the chosen methods' fields shown and
// checked, the address list with its limit and deletion, Cancel after add, the connection tests
// against scripted servers and an empty port, 自動設定 against DNS and web servers on loopback,
// and サインイン… against the test authorization server.

#include "dialogs/MailSetupDialog.h"

#include "app/discovery/AccountDiscovery.h"
#include "app/settings/IniFile.h"
#include "app/service/MailWorker.h"
#include "app/signin/OAuthTokens.h"
#include "app/settings/SettingsStore.h"
#include "app/settings/SettingsTable.h"
#include "mail/net/DnsResolver.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/OAuthPeer.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <set>
#include <thread>

using Dlg = CMailSetupDialog;

// One server's protection combo: the stored choice, what the user picks (empty: the combo is
// left alone) and the port typed after it, what the combo then shows, and the choice taken.
struct ProtectionCase {
    SecurityChoice stored;
    QString pick;
    QString port;
    QString shown;
    SecurityChoice taken;
};
Q_DECLARE_METATYPE(ProtectionCase)

// Stands in for the browser that サインイン… opens: it follows the authorization server's
// redirect (it approves at once) back to the dialog's loopback listener.
class BrowserStandIn : public QObject {
    Q_OBJECT
public:
    explicit BrowserStandIn(std::string caFile) : m_caFile(std::move(caFile)) {}
    ~BrowserStandIn() override {
        if (m_visit.joinable())
            m_visit.join();
    }
    bool opened() const { return m_visit.joinable(); }

public slots:
    void open(const QUrl& url) {
        m_visit = std::thread(CommandOutput,
                              std::vector<std::string>{
                                  "curl", "-sL", "-o", "/dev/null", "--max-time", "30", "--cacert",
                                  m_caFile, url.toString(QUrl::FullyEncoded).toStdString()});
    }

private:
    std::string m_caFile;
    std::thread m_visit;
};

class MailSetupDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void okTakesEveryControlOver();
    void everyMailSettingHasItsField();
    void laterMailFieldsRoundTrip_data();
    void laterMailFieldsRoundTrip();
    void nonIntegerPortIsRefused();
    void okChecksTheChosenMethodsFields_data();
    void okChecksTheChosenMethodsFields();
    void eleventhAddressIsRefused();
    void deletesExactlyTheSelectedRows();
    void cancelAfterAddKeepsTheAddress();
    void connectionTestSucceeds();
    void connectionTestFails_data();
    void connectionTestFails();
    void smtpTestReportsAFailedConnection();
    void receiveTestUsesTheChosenProtocol();
    void connectionTestOnTheWorkerShowsProgressAndCancels();
    void chosenMethodShowsOnlyItsFields_data();
    void chosenMethodShowsOnlyItsFields();
    void autoSetupFillsTheFields_data();
    void autoSetupFillsTheFields();
    void signInOpensTheBrowserAndSaysHowItEnded_data();
    void signInOpensTheBrowserAndSaysHowItEnded();

private:
    std::unique_ptr<TempDir> m_home;
};

namespace {

std::vector<std::string> Addresses(int count) {
    std::vector<std::string> addresses;
    for (int i = 1; i <= count; ++i)
        addresses.push_back("user" + std::to_string(i) + "@example.jp");
    return addresses;
}

// Picks the entry of the combo box with that id as a user would, on its page, with the arrow
// keys; an entry already shown is picked by stepping away and back.
void Choose(QWidget* dialog, int id, const QString& text) {
    auto* box = Control<QComboBox>(dialog, id);
    ShowPageOf(dialog, box);
    const int target = box->findText(text);
    QVERIFY2(target >= 0, qPrintable(text));
    if (box->currentIndex() == target)
        QTest::keyClick(box, target > 0 ? Qt::Key_Up : Qt::Key_Down);
    while (box->currentIndex() < target)
        QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > target)
        QTest::keyClick(box, Qt::Key_Up);
}

// "id=text": a control and what it holds, for tables.
QString At(int id, const QString& text) {
    return QString::number(id) + u'=' + text;
}

// Enters value into the control with that id: picks it, ticks the box ("on"), or types it.
void Enter(QWidget* dialog, int id, const QString& value) {
    if (Control<QComboBox>(dialog, id))
        Choose(dialog, id, value);
    else if (Control<QCheckBox>(dialog, id))
        Toggle(dialog, id);
    else
        Retype(dialog, id, value);
}

// Whether the control with that id shows on its page.
bool ShownOnItsPage(QWidget* dialog, int id) {
    QWidget* control = dialog->findChild<QWidget*>(ControlName(id));
    ShowPageOf(dialog, control);
    return control->isVisible();
}

// What the control with that id shows: a combo box's entry, a line edit's text, "on" for a
// ticked box.
QString Shown(QWidget* dialog, int id) {
    QWidget* control = dialog->findChild<QWidget*>(ControlName(id));
    if (auto* box = qobject_cast<QComboBox*>(control))
        return box->currentText();
    if (auto* check = qobject_cast<QCheckBox*>(control))
        return check->isChecked() ? QStringLiteral("on") : QString();
    return qobject_cast<QLineEdit*>(control)->text();
}

} // namespace

void MailSetupDialogTest::init() {
    m_home = std::make_unique<TempDir>();
    m_home->UseAsProgramFolder();
}

// Every field of every page, typed (ticked, picked) on its page, reaches its setup.ini key and
// comes back from the file into its control. Passwords and the client secret are typed before
// OAuth 2.0 hides them, POP3's fields before IMAP hides them.
void MailSetupDialogTest::okTakesEveryControlOver() {
    struct Field {
        const char* key;
        int id;
        QString value;     // typed, picked, or "on" for a box to tick
        const char* saved; // as written to setup.ini; nullptr: enciphered
    };
    const Field fields[] = {
        {"SENDER_NAME", Dlg::kIdSenderName, "監視カメラ", "監視カメラ"},
        {"SENDER_ADDRESS", Dlg::kIdSenderAddress, "camera@example.jp", "camera@example.jp"},
        {"POP3_ID", Dlg::kIdPop3Id, "kestrova", "kestrova"},
        {"POP3_PASS", Dlg::kIdPop3Pass, "p%ss", nullptr},
        {"SMTP_PASS", Dlg::kIdSmtpPass, "smtp-secret", nullptr},
        {"AUTH_METHOD", Dlg::kIdAuthMethod, "OAuth 2.0", "oauth2"},
        {"OAUTH_PROVIDER", Dlg::kIdOAuthProvider, "Microsoft", "microsoft"},
        {"OAUTH_CLIENT_ID", Dlg::kIdOAuthClientId, "client-1", "client-1"},
        {"OAUTH_CLIENT_SECRET", Dlg::kIdOAuthClientSecret, "client-secret", nullptr},
        {"SMTP_SERVER", Dlg::kIdSmtpServer, "smtp.example.jp", "smtp.example.jp"},
        {"SMTP_PORT", Dlg::kIdSmtpPort, "465", "465"},
        {"SMTP_SECURITY", Dlg::kIdSmtpSecurity, "STARTTLS", "starttls"},
        {"SMTP_ID", Dlg::kIdSmtpId, "sender@example.jp", "sender@example.jp"},
        {"POP3_SERVER", Dlg::kIdPop3Server, "pop.example.jp", "pop.example.jp"},
        {"POP3_PORT", Dlg::kIdPop3Port, "1110", "1110"},
        {"POP3_SECURITY", Dlg::kIdPop3Security, "SSL/TLS", "tls"},
        {"APOP", Dlg::kIdApop, "on", "on"},
        {"RECEIVE_PROTOCOL", Dlg::kIdReceiveProtocol, "IMAP", "imap"},
        {"IMAP_SERVER", Dlg::kIdImapServer, "imap.example.jp", "imap.example.jp"},
        {"IMAP_PORT", Dlg::kIdImapPort, "1143", "1143"},
        {"IMAP_SECURITY", Dlg::kIdImapSecurity, "なし", "none"},
        {"CHECK_STRING", Dlg::kIdCheckString, "snap", "snap"},
        {"SENDER_CHECK", Dlg::kIdSenderCheck, "on", "dkim"},
        {"IMAGE_ROTATION", Dlg::kIdImageRotation, "on", "on"},
        {"CA_FILE", Dlg::kIdCaFile, "/home/太郎/ca.pem", "/home/太郎/ca.pem"},
        {"TRUSTED_AUTHSERV_ID", Dlg::kIdTrustedAuthservId, "mx.example.jp", "mx.example.jp"},
        {"OAUTH_AUTH_URL", Dlg::kIdOAuthAuthUrl, "https://a.example/auth",
         "https://a.example/auth"},
        {"OAUTH_TOKEN_URL", Dlg::kIdOAuthTokenUrl, "https://a.example/t", "https://a.example/t"},
        {"OAUTH_DEVICE_URL", Dlg::kIdOAuthDeviceUrl, "https://a.example/d", "https://a.example/d"},
        {"OAUTH_SCOPE", Dlg::kIdOAuthScope, "mail offline", "mail offline"},
    };
    Settings settings;
    Dlg dialog(settings.mail);
    const int result = ExecWith(dialog, [&] {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Kestrova - メール設定"));
        for (auto [id, text] : {std::pair{Dlg::kIdPop3Port, "110"},
                                {Dlg::kIdSmtpPort, "25"},
                                {Dlg::kIdCheckString, "cap"}})
            QCOMPARE(Shown(&dialog, id), QString::fromUtf8(text));
        for (int id : {Dlg::kIdPop3Pass, Dlg::kIdSmtpPass, Dlg::kIdOAuthClientSecret})
            QCOMPARE(Control<QLineEdit>(&dialog, id)->echoMode(), QLineEdit::Password);
        for (const Field& field : fields) {
            QCOMPARE(dialog.FieldOf(std::string("MAIL.") + field.key),
                     Control<QWidget>(&dialog, field.id));
            Enter(&dialog, field.id, field.value);
        }
        Click(&dialog, kIdOk);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    MessageCapture sink;
    QVERIFY(SaveSettings(settings, m_home->folder(), sink));
    IniFile ini(m_home->folder() + kSetupIniName);
    QVERIFY(ini.Load());
    for (const Field& field : fields) {
        const std::string saved = ini.ReadString("MAIL", field.key, "");
        QVERIFY2(field.saved ? saved == field.saved : !saved.empty() && saved != ToStd(field.value),
                 qPrintable(QStringLiteral("%1=%2").arg(field.key, ToQt(saved))));
    }

    Settings loaded;
    QVERIFY(LoadSettings(loaded, m_home->folder(), sink).empty());
    QCOMPARE(loaded.mail, settings.mail);
    Dlg reopened(loaded.mail);
    ExecWith(reopened, [&] {
        for (const Field& field : fields)
            QVERIFY2(Shown(&reopened, field.id) == field.value, field.key);
    });
}

// Every setting the table gives a field of this dialog has one control, and no other setting
// has any: a field brought up for a setting's name (the sign-in's) is always there.
void MailSetupDialogTest::everyMailSettingHasItsField() {
    Settings settings;
    Dlg dialog(settings.mail);
    std::set<QWidget*> controls;
    for (const SettingRow& row : SettingRows()) {
        QWidget* field = dialog.FieldOf(SettingName(row));
        QVERIFY2((field != nullptr) == (row.dialog == SettingDialog::Mail), row.key);
        if (field)
            QVERIFY2(controls.insert(field).second, row.key);
    }
    QVERIFY(!controls.empty());
}

void MailSetupDialogTest::laterMailFieldsRoundTrip_data() {
    QTest::addColumn<ProtectionCase>("smtp");
    QTest::addColumn<ProtectionCase>("pop3");
    QTest::addColumn<ProtectionCase>("imap");
    const auto byPort = SecurityChoice::ByPort;
    QTest::newRow("untouched follows the port")
        << ProtectionCase{byPort, "", "587", "STARTTLS", byPort}
        << ProtectionCase{byPort, "", "995", "SSL/TLS", byPort}
        << ProtectionCase{byPort, "", "993", "SSL/TLS", byPort};
    QTest::newRow("untouched takes an offered upgrade")
        << ProtectionCase{byPort, "", "25", "STARTTLS（提供時）", byPort}
        << ProtectionCase{byPort, "", "110", "STARTTLS（提供時）", byPort}
        << ProtectionCase{byPort, "", "143", "STARTTLS（提供時）", byPort};
    // "なし" is what port 110 shows: picking it still makes it the user's choice.
    QTest::newRow("picked stays picked")
        << ProtectionCase{byPort, "SSL/TLS", "587", "SSL/TLS", SecurityChoice::Tls}
        << ProtectionCase{byPort, "なし", "995", "なし", SecurityChoice::None}
        << ProtectionCase{byPort, "STARTTLS", "993", "STARTTLS", SecurityChoice::StartTls};
    QTest::newRow("stored choice ignores the port")
        << ProtectionCase{SecurityChoice::StartTls, "", "465", "STARTTLS", SecurityChoice::StartTls}
        << ProtectionCase{SecurityChoice::Tls, "", "110", "SSL/TLS", SecurityChoice::Tls}
        << ProtectionCase{SecurityChoice::None, "", "993", "なし", SecurityChoice::None};
    QTest::newRow("offered upgrade hands the choice back to the port")
        << ProtectionCase{SecurityChoice::Tls, "STARTTLS（提供時）", "2525", "STARTTLS（提供時）",
                          byPort}
        << ProtectionCase{SecurityChoice::None, "STARTTLS（提供時）", "995", "SSL/TLS", byPort}
        << ProtectionCase{SecurityChoice::StartTls, "STARTTLS（提供時）", "143",
                          "STARTTLS（提供時）", byPort};
}

void MailSetupDialogTest::laterMailFieldsRoundTrip() {
    QFETCH(ProtectionCase, smtp);
    QFETCH(ProtectionCase, pop3);
    QFETCH(ProtectionCase, imap);
    struct Side {
        const ProtectionCase& c;
        int securityId;
        int portId;
        SecurityChoice MailSettings::*field;
        QString protocol; // the receive method that shows this server
    };
    const Side sides[] = {
        {smtp, Dlg::kIdSmtpSecurity, Dlg::kIdSmtpPort, &MailSettings::smtpSecurity, {}},
        {pop3, Dlg::kIdPop3Security, Dlg::kIdPop3Port, &MailSettings::pop3Security, "POP3"},
        {imap, Dlg::kIdImapSecurity, Dlg::kIdImapPort, &MailSettings::imapSecurity, "IMAP"}};
    const QString caFile = QStringLiteral("/home/太郎/証明書/ca.pem");
    MailSettings settings;
    settings.imapServer = "imap.example.jp";
    for (const Side& side : sides)
        settings.*side.field = side.c.stored;
    Dlg dialog(settings);
    const int result = ExecWith(dialog, [&] {
        for (const Side& side : sides) {
            if (!side.protocol.isEmpty())
                Choose(&dialog, Dlg::kIdReceiveProtocol, side.protocol);
            if (!side.c.pick.isEmpty())
                Choose(&dialog, side.securityId, side.c.pick);
            Retype(&dialog, side.portId, side.c.port);
            QCOMPARE(Shown(&dialog, side.securityId), side.c.shown);
        }
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdSmtpPass)->echoMode(), QLineEdit::Password);
        Retype(&dialog, Dlg::kIdSmtpId, QStringLiteral("camera@example.jp"));
        Retype(&dialog, Dlg::kIdSmtpPass, QStringLiteral("p%ss"));
        Retype(&dialog, Dlg::kIdCaFile, caFile);
        Click(&dialog, kIdOk);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    for (const Side& side : sides)
        QCOMPARE(settings.*side.field, side.c.taken);
    QCOMPARE(settings.smtpId, std::string("camera@example.jp"));
    QCOMPARE(settings.smtpPass, std::string("p%ss"));
    QCOMPARE(settings.caFile, ToStd(caFile));

    // And back: reopened, the dialog shows what it took.
    ExecWith(dialog, [&] {
        for (const Side& side : sides)
            QCOMPARE(Shown(&dialog, side.securityId), side.c.shown);
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdSmtpId)->text(),
                 QStringLiteral("camera@example.jp"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdSmtpPass)->text(), QStringLiteral("p%ss"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdCaFile)->text(), caFile);
    });
}

void MailSetupDialogTest::nonIntegerPortIsRefused() {
    MailSettings settings;
    Dlg dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        Retype(&dialog, Dlg::kIdSmtpServer, QStringLiteral("changed.example.jp"));
        Retype(&dialog, Dlg::kIdPop3Port, QStringLiteral("11O")); // letter O
        Click(&dialog, kIdOk);
        QVERIFY(dialog.isVisible());
        QCOMPARE(messages.texts, QStringList{QStringLiteral("Please enter an integer.")});
        QCOMPARE(dialog.focusWidget(), Control<QLineEdit>(&dialog, Dlg::kIdPop3Port));
        // The add button takes over too, and is refused the same way.
        Retype(&dialog, Dlg::kIdNewAddress, QStringLiteral("a@example.jp"));
        Click(&dialog, Dlg::kIdAdd);
        QCOMPARE(messages.texts.size(), 2);
        QVERIFY(Rows(&dialog, Dlg::kIdAddressList).isEmpty());
    });
    QCOMPARE(settings.smtpServer, std::string());
    QCOMPARE(settings.pop3Port, 110);
    QVERIFY(settings.sendAddresses.empty());
}

// OK checks the fields of the chosen receive and log-in methods; a refused field's page comes
// up with the focus on the field, and nothing is taken over.
void MailSetupDialogTest::okChecksTheChosenMethodsFields_data() {
    QTest::addColumn<QStringList>("entered"); // id=value, in order
    QTest::addColumn<QString>("message");     // empty: OK closes the dialog
    QTest::addColumn<int>("focus");
    const QString imap = At(Dlg::kIdReceiveProtocol, "IMAP");
    const QString oauth = At(Dlg::kIdAuthMethod, "OAuth 2.0");
    const QString https = QStringLiteral("https:// で始まるURLを入力してください。");
    QTest::newRow("no IMAP server")
        << QStringList{imap, At(Dlg::kIdImapServer, " "), At(Dlg::kIdImapPort, "143")}
        << "IMAPサーバを入力してください。" << Dlg::kIdImapServer;
    QTest::newRow("IMAP port beyond 65535")
        << QStringList{imap, At(Dlg::kIdImapServer, "imap.example.jp"),
                       At(Dlg::kIdImapPort, "65536")}
        << "Please enter an integer between 1 and 65535." << Dlg::kIdImapPort;
    QTest::newRow("IMAP port unused while POP3 is chosen")
        << QStringList{imap, At(Dlg::kIdImapServer, ""), At(Dlg::kIdImapPort, "0"),
                       At(Dlg::kIdReceiveProtocol, "POP3")}
        << QString() << 0;
    QTest::newRow("no client id") << QStringList{oauth, At(Dlg::kIdOAuthClientId, "")}
                                  << "OAuth 2.0のクライアントIDを入力してください。"
                                  << Dlg::kIdOAuthClientId;
    QTest::newRow("own OAuth provider without endpoints")
        << QStringList{oauth, At(Dlg::kIdOAuthProvider, "その他（詳細で設定）"),
                       At(Dlg::kIdOAuthClientId, "client-1")}
        << https << Dlg::kIdOAuthAuthUrl;
    QTest::newRow("plain HTTP token endpoint")
        << QStringList{oauth, At(Dlg::kIdOAuthClientId, "client-1"),
                       At(Dlg::kIdOAuthTokenUrl, "http://127.0.0.1/token")}
        << https << Dlg::kIdOAuthTokenUrl;
}

void MailSetupDialogTest::okChecksTheChosenMethodsFields() {
    QFETCH(QStringList, entered);
    QFETCH(QString, message);
    QFETCH(int, focus);
    MailSettings settings;
    Dlg dialog(settings);
    MessageRecorder messages;
    const int result = ExecWith(dialog, [&] {
        for (const QString& entry : entered)
            Enter(&dialog, entry.section(u'=', 0, 0).toInt(), entry.section(u'=', 1));
        Click(&dialog, kIdOk);
        if (message.isEmpty())
            return;
        QCOMPARE(messages.texts, QStringList{message});
        QCOMPARE(dialog.focusWidget(), Control<QLineEdit>(&dialog, focus));
        QVERIFY(dialog.focusWidget()->isVisible());
    });
    QCOMPARE(result, int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
    if (message.isEmpty())
        QCOMPARE(settings.imapPort, 0); // kept as typed, unused
    else
        QVERIFY(settings.receiveProtocol == ReceiveProtocol::Pop3 && !settings.oauth2);
}

void MailSetupDialogTest::eleventhAddressIsRefused() {
    MailSettings settings;
    settings.sendAddresses = Addresses(9);
    Dlg dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList).size(), 9);
        Retype(&dialog, Dlg::kIdNewAddress, QStringLiteral("tenth@example.jp"));
        Click(&dialog, Dlg::kIdAdd);
        QVERIFY(messages.texts.isEmpty());
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList).last(), QStringLiteral("tenth@example.jp"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdNewAddress)->text(), QString());

        Retype(&dialog, Dlg::kIdSmtpServer, QStringLiteral("taken.example.jp"));
        Retype(&dialog, Dlg::kIdNewAddress, QStringLiteral("eleventh@example.jp"));
        Click(&dialog, Dlg::kIdAdd);
        QCOMPARE(messages.texts, QStringList{QStringLiteral("これ以上登録できません")});
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList).size(), 10);
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdNewAddress)->text(),
                 QStringLiteral("eleventh@example.jp"));
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(settings.sendAddresses.size(), size_t(10));
    QCOMPARE(settings.sendAddresses.back(), std::string("tenth@example.jp"));
    QCOMPARE(settings.smtpServer, std::string("taken.example.jp")); // taken over by "追加"
}

void MailSetupDialogTest::deletesExactlyTheSelectedRows() {
    MailSettings settings;
    settings.sendAddresses = {"a@x.jp", "b@x.jp", "c@x.jp", "d@x.jp", "e@x.jp"};
    Dlg dialog(settings);
    ExecWith(dialog, [&] {
        ShowPageOf(&dialog, Control<QTableWidget>(&dialog, Dlg::kIdAddressList));
        auto* list = Control<QTableWidget>(&dialog, Dlg::kIdAddressList);
        auto clickRow = [&](int row, Qt::KeyboardModifiers modifiers) {
            const QRect rect = list->visualItemRect(list->item(row, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
        };
        clickRow(0, {});
        clickRow(2, Qt::ControlModifier);
        clickRow(3, Qt::ControlModifier);
        Click(&dialog, Dlg::kIdDelete);
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList), (QStringList{"b@x.jp", "e@x.jp"}));
        Click(&dialog, kIdOk);
    });
    QCOMPARE(settings.sendAddresses, (std::vector<std::string>{"b@x.jp", "e@x.jp"}));

    // Reopening shows the shortened list; deleting with nothing selected does nothing.
    ExecWith(dialog, [&] {
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList), (QStringList{"b@x.jp", "e@x.jp"}));
        Control<QTableWidget>(&dialog, Dlg::kIdAddressList)->clearSelection();
        Click(&dialog, Dlg::kIdDelete);
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList).size(), 2);
    });
    QCOMPARE(settings.sendAddresses.size(), size_t(2));
}

void MailSetupDialogTest::cancelAfterAddKeepsTheAddress() {
    MailSettings settings;
    Dlg dialog(settings);
    const int result = ExecWith(dialog, [&] {
        Retype(&dialog, Dlg::kIdNewAddress, QStringLiteral("new@example.jp"));
        Click(&dialog, Dlg::kIdAdd);
        Click(&dialog, Dlg::kIdAdd); // empty text: added as typed
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(settings.sendAddresses, (std::vector<std::string>{"new@example.jp", ""}));
    QVERIFY(std::filesystem::is_empty(m_home->path())); // nothing written to setup.ini
}

void MailSetupDialogTest::connectionTestSucceeds() {
    // APOP ticked: the greeting's time stamp makes it the log-in.
    ScriptedServer server({"S: +OK ready <1.2@peer.test>", "C: CAPA", "S: -ERR",
                           "C: *", "S: +OK logged in", "C: QUIT", "S: +OK bye"});
    MailSettings settings;
    Dlg dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        Retype(&dialog, Dlg::kIdPop3Server, QStringLiteral("127.0.0.1"));
        Retype(&dialog, Dlg::kIdPop3Port, QString::number(server.port()));
        Toggle(&dialog, Dlg::kIdApop);
        Retype(&dialog, Dlg::kIdPop3Id, QStringLiteral("kestrova"));
        Retype(&dialog, Dlg::kIdPop3Pass, QStringLiteral("secret"));
        Click(&dialog, Dlg::kIdConnectTest);
        QCOMPARE(messages.texts, QStringList{QStringLiteral("POP3サーバの接続に成功しました。")});
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(server.Received().at(1).rfind("APOP kestrova ", 0), size_t(0));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // The test took the controls over, and Cancel does not undo that.
    QCOMPARE(settings.pop3Server, std::string("127.0.0.1"));
    QCOMPARE(settings.pop3Port, int(server.port()));
    QVERIFY(settings.apop);
}

void MailSetupDialogTest::connectionTestFails_data() {
    QTest::addColumn<QStringList>("script");
    QTest::newRow("wrong password") << QStringList{"S: +OK ready","C: CAPA", "S: -ERR",
                                                   "C: USER kestrova",
                                                   "S: +OK",
                                                   "C: PASS secret",
                                                   "S: -ERR authentication failed",
                                                   "C: QUIT",
                                                   "S: +OK"};
    QTest::newRow("refused greeting") << QStringList{"S: -ERR go away", "CLOSE"};
    QTest::newRow("closed at once") << QStringList{"CLOSE"};
    QTest::newRow("never greets") << QStringList{"SILENT"}; // the client's 2 s time-out
    QTest::newRow("nobody listening") << QStringList{};
}

void MailSetupDialogTest::connectionTestFails() {
    QFETCH(QStringList, script);
    std::vector<std::string> steps;
    for (const QString& s : script)
        steps.push_back(s.toStdString());
    std::unique_ptr<ScriptedServer> server;
    int port = 0;
    if (steps.empty()) {
        port = UnusedLoopbackPort();
    } else {
        server = std::make_unique<ScriptedServer>(steps);
        port = server->port();
    }
    MailSettings settings;
    settings.pop3Server = "127.0.0.1";
    settings.pop3Port = port;
    settings.pop3Id = "kestrova";
    settings.pop3Pass = "secret";
    Dlg dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        Click(&dialog, Dlg::kIdConnectTest);
        QCOMPARE(messages.texts.size(), 1);
        // A line with the cause may follow.
        QVERIFY2(messages.texts[0].startsWith(QStringLiteral("POP3サーバの接続に失敗しました。")),
                 qPrintable(messages.texts[0]));
    });
}

void MailSetupDialogTest::smtpTestReportsAFailedConnection() {
    MailSettings settings;
    settings.smtpServer = "127.0.0.1";
    Dlg dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        Retype(&dialog, Dlg::kIdSmtpPort, QString::number(UnusedLoopbackPort()));
        Click(&dialog, Dlg::kIdSmtpTest);
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts[0].startsWith(QStringLiteral("SMTPサーバの接続に失敗しました")),
                 qPrintable(messages.texts[0]));
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(settings.smtpPort != 25); // the test took the controls over
}

// The receive test follows 受信方式: with IMAP chosen it reaches the IMAP server, not POP3's.
void MailSetupDialogTest::receiveTestUsesTheChosenProtocol() {
    MailSettings settings;
    settings.pop3Server = settings.imapServer = "127.0.0.1";
    settings.pop3Port = settings.imapPort = UnusedLoopbackPort();
    Dlg dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        Choose(&dialog, Dlg::kIdReceiveProtocol, QStringLiteral("IMAP"));
        Click(&dialog, Dlg::kIdConnectTest);
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts[0].startsWith(QStringLiteral("IMAPサーバの接続に失敗しました。")),
                 qPrintable(messages.texts[0]));
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(settings.receiveProtocol, ReceiveProtocol::Imap); // the test took the choice over
}

QTEST_MAIN(MailSetupDialogTest)
// With the program's worker the test runs there: a progress box shows while a silent server is
// awaited, and its キャンセル ends the wait at once, with no outcome box.
void MailSetupDialogTest::connectionTestOnTheWorkerShowsProgressAndCancels() {
    LoopbackListener silent; // the connection stands; the greeting never comes
    MailSettings settings;
    settings.pop3Server = "127.0.0.1";
    settings.pop3Port = silent.port();
    settings.pop3Id = "kestrova";
    settings.pop3Pass = "secret";
    CMailWorker worker;
    Dlg dialog(settings);
    dialog.SetMailWorker(&worker);
    MessageRecorder messages;
    QElapsedTimer sinceCancel;
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (progress && silent.HasPendingConnection() && !sinceCancel.isValid()) {
            sinceCancel.start();
            progress->cancel();
        }
    });
    canceller.start(20);
    ExecWith(dialog, [&] {
        Click(&dialog, Dlg::kIdConnectTest);
        Click(&dialog, kIdCancel);
    });
    QVERIFY(sinceCancel.isValid());
    QVERIFY(messages.texts.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(worker.Idle(), 100);
}

// 受信方式 shows only its own server; 認証方式 only the fields of its log-in (the user name serves
// both).
void MailSetupDialogTest::chosenMethodShowsOnlyItsFields_data() {
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QList<int>>("shown");
    QTest::addColumn<QList<int>>("hidden");
    const QList<int> password{Dlg::kIdPop3Pass, Dlg::kIdSmtpPass};
    const QList<int> oauth{Dlg::kIdOAuthProvider, Dlg::kIdOAuthClientId, Dlg::kIdOAuthClientSecret,
                           Dlg::kIdSignIn};
    QTest::newRow("POP3") << Dlg::kIdReceiveProtocol << "POP3"
                          << QList<int>{Dlg::kIdPop3Server, Dlg::kIdApop, Dlg::kIdSmtpServer}
                          << QList<int>{Dlg::kIdImapServer};
    QTest::newRow("IMAP") << Dlg::kIdReceiveProtocol << "IMAP"
                          << QList<int>{Dlg::kIdImapServer, Dlg::kIdSmtpServer}
                          << QList<int>{Dlg::kIdPop3Server, Dlg::kIdApop};
    QTest::newRow("password") << Dlg::kIdAuthMethod << "パスワード"
                              << password + QList<int>{Dlg::kIdPop3Id} << oauth;
    QTest::newRow("OAuth 2.0") << Dlg::kIdAuthMethod << "OAuth 2.0"
                               << oauth + QList<int>{Dlg::kIdPop3Id} << password;
}

void MailSetupDialogTest::chosenMethodShowsOnlyItsFields() {
    QFETCH(int, method);
    QFETCH(QString, entry);
    QFETCH(QList<int>, shown);
    QFETCH(QList<int>, hidden);
    MailSettings settings;
    settings.oauth2 = entry == QStringLiteral("パスワード"); // the pick, not the stored one, counts
    Dlg dialog(settings);
    ExecWith(dialog, [&] {
        Choose(&dialog, method, entry);
        for (int id : shown)
            QVERIFY2(ShownOnItsPage(&dialog, id), qPrintable(ControlName(id)));
        for (int id : hidden)
            QVERIFY2(!ShownOnItsPage(&dialog, id), qPrintable(ControlName(id)));
    });
}

// 自動設定 against a DNS server and a web server on loopback, with the CA file the user set on
// 詳細: the provider's configuration file, a domain whose mail Google handles (MX), a domain
// nothing is known of (a message, nothing changed), and SRV servers in another domain (asked:
// refused, nothing changed).
void MailSetupDialogTest::autoSetupFillsTheFields_data() {
    QTest::addColumn<QString>("zone");
    QTest::addColumn<bool>("serveFile");
    QTest::addColumn<QStringList>("shown"); // id=text of controls after 自動設定
    QTest::addColumn<QString>("source");    // the start of the line under the address
    QTest::addColumn<int>("boxes");         // message boxes shown (each answered Cancel)
    QTest::newRow("configuration file") << "autoconfig.example.test A 127.0.0.1\n"
                                        << true
                                        << QStringList{At(Dlg::kIdReceiveProtocol, "IMAP"),
                                                       At(Dlg::kIdImapServer, "imap.example.test"),
                                                       At(Dlg::kIdImapPort, "993"),
                                                       At(Dlg::kIdImapSecurity, "SSL/TLS"),
                                                       At(Dlg::kIdSmtpServer, "smtp.example.test"),
                                                       At(Dlg::kIdSmtpPort, "465"),
                                                       At(Dlg::kIdSmtpSecurity, "SSL/TLS"),
                                                       At(Dlg::kIdPop3Id, "me"),
                                                       At(Dlg::kIdAuthMethod, "パスワード")}
                                        << "見つけた場所: https://autoconfig.example.test:" << 0;
    QTest::newRow("mail handled by Google")
        << "example.test MX 1 aspmx.l.google.com\n"
        << false << QStringList{At(Dlg::kIdReceiveProtocol, "IMAP"),
                                At(Dlg::kIdImapServer, "imap.gmail.com"),
                                At(Dlg::kIdSmtpServer, "smtp.gmail.com"),
                                At(Dlg::kIdPop3Id, "me@example.test"),
                                At(Dlg::kIdAuthMethod, "OAuth 2.0"),
                                At(Dlg::kIdOAuthProvider, "Google")}
        << "見つけた場所: MX" << 0;
    QTest::newRow("nothing found")
        << QString() << false
        << QStringList{At(Dlg::kIdReceiveProtocol, "POP3"), At(Dlg::kIdImapServer, ""),
                       At(Dlg::kIdSmtpServer, ""), At(Dlg::kIdPop3Id, "")}
        << "このアドレスのサーバーは見つかりませんでした" << 1;
    QTest::newRow("servers in another domain refused")
        << "_imaps._tcp.example.test SRV 0 0 993 imap.elsewhere.test\n"
           "_submissions._tcp.example.test SRV 0 0 465 smtp.elsewhere.test\n"
        << false
        << QStringList{At(Dlg::kIdImapServer, ""), At(Dlg::kIdSmtpServer, ""),
                       At(Dlg::kIdPop3Id, "")}
        << QString() << 1;
}

void MailSetupDialogTest::autoSetupFillsTheFields() {
    QFETCH(QString, zone);
    QFETCH(bool, serveFile);
    QFETCH(QStringList, shown);
    QFETCH(QString, source);
    QFETCH(int, boxes);
    const TestCertificates& certs = TestCertificates::Shared();
    TempDir servers;
    TempDir::WriteFile(servers.path() / "zone.txt", zone.toStdString());
    std::filesystem::create_directories(servers.path() / "www" / "mail");
    if (serveFile)
        TempDir::WriteFile(servers.path() / "www/mail/config-v1.1.xml", R"(<?xml version="1.0"?>
<clientConfig version="1.1"><emailProvider id="example.test">
<incomingServer type="imap"><hostname>imap.example.test</hostname><port>993</port>
<socketType>SSL</socketType><username>%EMAILLOCALPART%</username></incomingServer>
<outgoingServer type="smtp"><hostname>smtp.example.test</hostname><port>465</port>
<socketType>SSL</socketType><username>%EMAILLOCALPART%</username></outgoingServer>
</emailProvider></clientConfig>
)");
    PeerProcess dns({SystemPython(), TestSourceDir() + "/peers/dns_peer.py",
                     (servers.path() / "zone.txt").string()});
    PeerProcess web({SystemPython(), TestSourceDir() + "/peers/https_peer.py",
                     (servers.path() / "www").string(), certs.webCert().string(),
                     certs.webKey().string()});
    qputenv(CDnsResolver::kServerVariable, "127.0.0.1:" + QByteArray::number(dns.port()));
    qputenv(kHttpsPortVariable, QByteArray::number(web.port()));
    qputenv(kDatabaseUrlVariable,
            "https://ispdb.example.test:" + QByteArray::number(web.port()) + "/v1.1/");

    MailSettings settings;
    settings.caFile = certs.caFile().string();
    Dlg dialog(settings); // before the program has a worker: on the dialog's own
    MessageRecorder messages;
    messages.answers = {false};
    ExecWith(dialog, [&] {
        Retype(&dialog, Dlg::kIdSenderAddress, QStringLiteral("me@example.test"));
        Click(&dialog, Dlg::kIdAutoSetup);
        for (const QString& expected : shown) {
            const int id = expected.section(u'=', 0, 0).toInt();
            QCOMPARE(At(id, Shown(&dialog, id)), expected);
        }
        auto* line = Control<QLabel>(&dialog, Dlg::kIdSetupSource);
        QCOMPARE(line->isVisible(), !source.isEmpty());
        QVERIFY2(line->text().remove(QChar(0x200B)).startsWith(source), qPrintable(line->text()));
        QCOMPARE(messages.texts.size(), boxes);
    });
    qunsetenv(CDnsResolver::kServerVariable);
    qunsetenv(kHttpsPortVariable);
    qunsetenv(kDatabaseUrlVariable);
}

// サインイン… against the test authorization server, the test standing in for the browser the
// dialog opens: a sign-in that is approved, and one that cannot start without a client id (the
// browser is not opened).
void MailSetupDialogTest::signInOpensTheBrowserAndSaysHowItEnded_data() {
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<QString>("message");
    QTest::newRow("approved") << "kestrova-test"
                              << "サインインしました。";
    QTest::newRow("no client id") << ""
                                  << "サインインの前にこの欄を正しく入力してください";
}

void MailSetupDialogTest::signInOpensTheBrowserAndSaysHowItEnded() {
    QFETCH(QString, clientId);
    QFETCH(QString, message);
    OAuthPeer auth;
    const std::string caFile = TestCertificates::Shared().caFile().string();
    BrowserStandIn browser(caFile);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    MailSettings settings;
    settings.oauth2 = true;
    settings.oauthProvider = "custom";
    settings.oauthAuthUrl = auth.Url("/authorize");
    settings.oauthTokenUrl = auth.Url("/token");
    settings.oauthScope = "mail";
    settings.caFile = caFile;
    CMailWorker worker;
    Dlg dialog(settings);
    dialog.SetMailWorker(&worker);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        Retype(&dialog, Dlg::kIdOAuthClientId, clientId);
        Click(&dialog, Dlg::kIdSignIn);
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts[0].startsWith(message), qPrintable(messages.texts[0]));
    });
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(browser.opened(), !clientId.isEmpty());
    QCOMPARE(oauthstore::LoadRefreshToken(m_home->folder()).empty(), clientId.isEmpty());
}

#include "MailSetupDialogTest.moc"
