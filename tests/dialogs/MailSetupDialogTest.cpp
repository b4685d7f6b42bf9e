// The mail settings dialog: taking the controls over (the protection choices with their
// by-port rule too), the address list with its limit and deletion, Cancel after add, and the
// connection tests against scripted servers and an empty port.

#include "dialogs/MailSetupDialog.h"

#include "app/AccountDiscovery.h"
#include "app/IniFile.h"
#include "app/MailWorker.h"
#include "app/OAuthTokens.h"
#include "app/SettingsStore.h"
#include "app/UiLanguage.h"
#include "mail/DnsResolver.h"
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
#include <regex>
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
// redirect (which approves at once) back to the dialog's loopback listener, with the code
// replaced by consent when it is not "code=" (a refused consent).
class BrowserStandIn : public QObject {
    Q_OBJECT
public:
    BrowserStandIn(std::string caFile, std::string consent)
        : m_caFile(std::move(caFile)), m_consent(std::move(consent)) {}
    ~BrowserStandIn() override {
        if (m_visit.joinable())
            m_visit.join();
    }
    bool opened() const { return m_visit.joinable(); }

public slots:
    void open(const QUrl& url) {
        m_visit = std::thread([this, address = url.toString(QUrl::FullyEncoded).toStdString()] {
            std::string back =
                CommandOutput({"curl", "-s", "-o", "/dev/null", "-w", "%{redirect_url}",
                               "--max-time", "10", "--cacert", m_caFile, address});
            if (m_consent != "code=")
                back = std::regex_replace(back, std::regex("code=[^&]*"), m_consent);
            CommandOutput({"curl", "-s", "-o", "/dev/null", "--max-time", "30", back});
        });
    }

private:
    std::string m_caFile;
    std::string m_consent;
    std::thread m_visit;
};

class MailSetupDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void okTakesEveryControlOver();
    void laterMailFieldsRoundTrip_data();
    void laterMailFieldsRoundTrip();
    void nonIntegerPortIsRefused();
    void imapFieldsAreCheckedWhenChosen_data();
    void imapFieldsAreCheckedWhenChosen();
    void eleventhAddressIsRefused();
    void deletesExactlyTheSelectedRows();
    void cancelAfterAddKeepsTheAddress();
    void connectionTestSucceeds();
    void connectionTestFails_data();
    void connectionTestFails();
    void smtpTestReportsAFailedConnection();
    void receiveTestUsesTheChosenProtocol();
    void connectionTestOnTheWorkerShowsProgressAndCancels();
    void everyFieldKeepsItsKeyAcrossPages();
    void receiveMethodShowsOnlyItsServer_data();
    void receiveMethodShowsOnlyItsServer();
    void authMethodShowsOnlyItsFields_data();
    void authMethodShowsOnlyItsFields();
    void okRefusesAnIncompleteOAuth_data();
    void okRefusesAnIncompleteOAuth();
    void autoSetupFillsTheFields_data();
    void autoSetupFillsTheFields();
    void signInOpensTheBrowserAndSaysHowItEnded_data();
    void signInOpensTheBrowserAndSaysHowItEnded();
    void pagesFitASmallScreen_data();
    void pagesFitASmallScreen();

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

// Brings up the page that holds the control with that id, as a user would: a click on the
// page's row in the list.
void OpenPageOf(QWidget* dialog, int id) {
    auto* control = dialog->findChild<QWidget*>(ControlName(id));
    auto* pages = dialog->findChild<QStackedWidget*>();
    auto* list = Control<QListWidget>(dialog, Dlg::kIdPageList);
    for (int page = 0; page < pages->count(); ++page) {
        if (pages->widget(page)->isAncestorOf(control)) {
            const QRect row = list->visualItemRect(list->item(page));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        }
    }
}

// What the user does to the control with that id, on its page: retype a line edit, tick a box,
// press a button, or pick the entry of a combo box with the arrow keys (an entry already shown
// is picked by stepping away and back).
void Type(QWidget* dialog, int id, const QString& text) {
    OpenPageOf(dialog, id);
    QVERIFY(Control<QLineEdit>(dialog, id)->isVisible());
    Retype(dialog, id, text);
}
void Tick(QWidget* dialog, int id) {
    OpenPageOf(dialog, id);
    QVERIFY(Control<QCheckBox>(dialog, id)->isVisible());
    Toggle(dialog, id);
}
void Press(QWidget* dialog, int id) {
    OpenPageOf(dialog, id);
    QVERIFY(Control<QPushButton>(dialog, id)->isVisible());
    Click(dialog, id);
}
void Pick(QWidget* dialog, int id, const QString& text) {
    OpenPageOf(dialog, id);
    auto* box = Control<QComboBox>(dialog, id);
    QVERIFY(box->isVisible());
    const int target = box->findText(text);
    QVERIFY2(target >= 0, qPrintable(text));
    if (box->currentIndex() == target)
        QTest::keyClick(box, target > 0 ? Qt::Key_Up : Qt::Key_Down);
    while (box->currentIndex() < target)
        QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > target)
        QTest::keyClick(box, Qt::Key_Up);
}

// Whether the control with that id shows on its page.
bool ShownOnItsPage(QWidget* dialog, int id) {
    OpenPageOf(dialog, id);
    return dialog->findChild<QWidget*>(ControlName(id))->isVisible();
}

QString Shown(QWidget* dialog, int id) {
    return Control<QComboBox>(dialog, id)->currentText();
}

} // namespace

void MailSetupDialogTest::init() {
    m_home = std::make_unique<TempDir>();
    m_home->UseAsProgramFolder();
}

void MailSetupDialogTest::okTakesEveryControlOver() {
    MailSettings settings;
    Dlg dialog(settings);
    const int result = ExecWith(dialog, [&] {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Kestrova - メール設定"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdPop3Port)->text(), QStringLiteral("110"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdSmtpPort)->text(), QStringLiteral("25"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdCheckString)->text(), QStringLiteral("cap"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdPop3Pass)->echoMode(), QLineEdit::Password);
        Type(&dialog, Dlg::kIdSmtpServer, QStringLiteral("smtp.example.jp"));
        Type(&dialog, Dlg::kIdSmtpPort, QStringLiteral("587"));
        Type(&dialog, Dlg::kIdPop3Server, QStringLiteral("pop.example.jp"));
        Type(&dialog, Dlg::kIdPop3Port, QStringLiteral("1110"));
        Tick(&dialog, Dlg::kIdApop);
        Type(&dialog, Dlg::kIdPop3Id, QStringLiteral("kestrova"));
        Type(&dialog, Dlg::kIdPop3Pass, QStringLiteral("p%ss"));
        Pick(&dialog, Dlg::kIdReceiveProtocol, QStringLiteral("IMAP"));
        Type(&dialog, Dlg::kIdImapServer, QStringLiteral("imap.example.jp"));
        Type(&dialog, Dlg::kIdImapPort, QStringLiteral("993"));
        Type(&dialog, Dlg::kIdSenderName, QStringLiteral("監視カメラ"));
        Type(&dialog, Dlg::kIdSenderAddress, QStringLiteral("camera@example.jp"));
        Tick(&dialog, Dlg::kIdImageRotation);
        Type(&dialog, Dlg::kIdCheckString, QStringLiteral("snap"));
        Click(&dialog, kIdOk);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(settings.smtpServer, std::string("smtp.example.jp"));
    QCOMPARE(settings.smtpPort, 587);
    QCOMPARE(settings.pop3Server, std::string("pop.example.jp"));
    QCOMPARE(settings.pop3Port, 1110);
    QVERIFY(settings.apop);
    QCOMPARE(settings.pop3Id, std::string("kestrova"));
    QCOMPARE(settings.pop3Pass, std::string("p%ss"));
    QCOMPARE(settings.receiveProtocol, ReceiveProtocol::Imap);
    QCOMPARE(settings.imapServer, std::string("imap.example.jp"));
    QCOMPARE(settings.imapPort, 993);
    QCOMPARE(settings.senderName, std::string("監視カメラ"));
    QCOMPARE(settings.senderAddress, std::string("camera@example.jp"));
    QVERIFY(settings.imageRotation);
    QCOMPARE(settings.checkString, std::string("snap"));
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
                Pick(&dialog, Dlg::kIdReceiveProtocol, side.protocol);
            if (!side.c.pick.isEmpty())
                Pick(&dialog, side.securityId, side.c.pick);
            Type(&dialog, side.portId, side.c.port);
            QCOMPARE(Shown(&dialog, side.securityId), side.c.shown);
        }
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdSmtpPass)->echoMode(), QLineEdit::Password);
        Type(&dialog, Dlg::kIdSmtpId, QStringLiteral("camera@example.jp"));
        Type(&dialog, Dlg::kIdSmtpPass, QStringLiteral("p%ss"));
        Type(&dialog, Dlg::kIdCaFile, caFile);
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
        Type(&dialog, Dlg::kIdSmtpServer, QStringLiteral("changed.example.jp"));
        Type(&dialog, Dlg::kIdPop3Port, QStringLiteral("11O")); // letter O
        Click(&dialog, kIdOk);
        QVERIFY(dialog.isVisible());
        QCOMPARE(messages.texts, QStringList{QStringLiteral("Please enter an integer.")});
        QCOMPARE(dialog.focusWidget(), Control<QLineEdit>(&dialog, Dlg::kIdPop3Port));
        // The add button takes over too, and is refused the same way.
        Type(&dialog, Dlg::kIdNewAddress, QStringLiteral("a@example.jp"));
        Press(&dialog, Dlg::kIdAdd);
        QCOMPARE(messages.texts.size(), 2);
        QVERIFY(Rows(&dialog, Dlg::kIdAddressList).isEmpty());
    });
    QCOMPARE(settings.smtpServer, std::string());
    QCOMPARE(settings.pop3Port, 110);
    QVERIFY(settings.sendAddresses.empty());
}

void MailSetupDialogTest::imapFieldsAreCheckedWhenChosen_data() {
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("message"); // empty: OK closes the dialog
    QTest::addColumn<int>("focus");
    QTest::newRow("no server") << "IMAP" << " " << "143"
                               << QStringLiteral("IMAPサーバを入力してください。")
                               << Dlg::kIdImapServer;
    QTest::newRow("port beyond 65535")
        << "IMAP" << "imap.example.jp" << "65536"
        << QStringLiteral("Please enter an integer between 1 and 65535.") << Dlg::kIdImapPort;
    QTest::newRow("unused while POP3 is chosen") << "POP3" << "" << "0" << QString() << 0;
}

void MailSetupDialogTest::imapFieldsAreCheckedWhenChosen() {
    QFETCH(QString, protocol);
    QFETCH(QString, server);
    QFETCH(QString, port);
    QFETCH(QString, message);
    QFETCH(int, focus);
    MailSettings settings;
    Dlg dialog(settings);
    MessageRecorder messages;
    const int result = ExecWith(dialog, [&] {
        Pick(&dialog, Dlg::kIdReceiveProtocol, QStringLiteral("IMAP"));
        Type(&dialog, Dlg::kIdImapServer, server);
        Type(&dialog, Dlg::kIdImapPort, port);
        Pick(&dialog, Dlg::kIdReceiveProtocol, protocol);
        Click(&dialog, kIdOk);
        if (message.isEmpty())
            return;
        QCOMPARE(messages.texts, QStringList{message});
        QCOMPARE(dialog.focusWidget(), Control<QLineEdit>(&dialog, focus));
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(result, int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
    if (message.isEmpty())
        QCOMPARE(settings.imapPort, 0); // kept as typed, unused
    else
        QCOMPARE(settings.receiveProtocol, ReceiveProtocol::Pop3); // nothing taken over
}

void MailSetupDialogTest::eleventhAddressIsRefused() {
    MailSettings settings;
    settings.sendAddresses = Addresses(9);
    Dlg dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList).size(), 9);
        Type(&dialog, Dlg::kIdNewAddress, QStringLiteral("tenth@example.jp"));
        Press(&dialog, Dlg::kIdAdd);
        QVERIFY(messages.texts.isEmpty());
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList).last(), QStringLiteral("tenth@example.jp"));
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdNewAddress)->text(), QString());

        Type(&dialog, Dlg::kIdSmtpServer, QStringLiteral("taken.example.jp"));
        Type(&dialog, Dlg::kIdNewAddress, QStringLiteral("eleventh@example.jp"));
        Press(&dialog, Dlg::kIdAdd);
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
        OpenPageOf(&dialog, Dlg::kIdAddressList);
        auto* list = Control<QTableWidget>(&dialog, Dlg::kIdAddressList);
        auto clickRow = [&](int row, Qt::KeyboardModifiers modifiers) {
            const QRect rect = list->visualItemRect(list->item(row, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
        };
        clickRow(0, {});
        clickRow(2, Qt::ControlModifier);
        clickRow(3, Qt::ControlModifier);
        Press(&dialog, Dlg::kIdDelete);
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList), (QStringList{"b@x.jp", "e@x.jp"}));
        Click(&dialog, kIdOk);
    });
    QCOMPARE(settings.sendAddresses, (std::vector<std::string>{"b@x.jp", "e@x.jp"}));

    // Reopening shows the shortened list; deleting with nothing selected does nothing.
    ExecWith(dialog, [&] {
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList), (QStringList{"b@x.jp", "e@x.jp"}));
        Control<QTableWidget>(&dialog, Dlg::kIdAddressList)->clearSelection();
        Press(&dialog, Dlg::kIdDelete);
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList).size(), 2);
    });
    QCOMPARE(settings.sendAddresses.size(), size_t(2));
}

void MailSetupDialogTest::cancelAfterAddKeepsTheAddress() {
    MailSettings settings;
    Dlg dialog(settings);
    const int result = ExecWith(dialog, [&] {
        Type(&dialog, Dlg::kIdNewAddress, QStringLiteral("new@example.jp"));
        Press(&dialog, Dlg::kIdAdd);
        Press(&dialog, Dlg::kIdAdd); // empty text: added as typed
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
        Type(&dialog, Dlg::kIdPop3Server, QStringLiteral("127.0.0.1"));
        Type(&dialog, Dlg::kIdPop3Port, QString::number(server.port()));
        Tick(&dialog, Dlg::kIdApop);
        Type(&dialog, Dlg::kIdPop3Id, QStringLiteral("kestrova"));
        Type(&dialog, Dlg::kIdPop3Pass, QStringLiteral("secret"));
        Press(&dialog, Dlg::kIdConnectTest);
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
        Press(&dialog, Dlg::kIdConnectTest);
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
        Type(&dialog, Dlg::kIdSmtpPort, QString::number(UnusedLoopbackPort()));
        Press(&dialog, Dlg::kIdSmtpTest);
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
        Pick(&dialog, Dlg::kIdReceiveProtocol, QStringLiteral("IMAP"));
        Press(&dialog, Dlg::kIdConnectTest);
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
        Press(&dialog, Dlg::kIdConnectTest);
        Click(&dialog, kIdCancel);
    });
    QVERIFY(sinceCancel.isValid());
    QVERIFY(messages.texts.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(worker.Idle(), 100);
}

#include "MailSetupDialogTest.moc"

// Every field of every page, typed (ticked, picked) after wandering through the pages, reaches
// its setup.ini key and comes back from the file into its control. Passwords and the client
// secret are typed before OAuth 2.0 hides them, POP3's fields before IMAP is chosen.
void MailSetupDialogTest::everyFieldKeepsItsKeyAcrossPages() {
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
    auto list = [&] { return Control<QListWidget>(&dialog, Dlg::kIdPageList); };
    const int result = ExecWith(dialog, [&] {
        for (const Field& field : fields) {
            if (Control<QComboBox>(&dialog, field.id))
                Pick(&dialog, field.id, field.value);
            else if (Control<QCheckBox>(&dialog, field.id))
                Tick(&dialog, field.id);
            else
                Type(&dialog, field.id, field.value);
        }
        for (int page = list()->count() - 1; page >= 0; --page)
            list()->setCurrentRow(page);
        Click(&dialog, kIdOk);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    MessageCapture sink;
    QVERIFY(SaveSettings(settings, m_home->folder(), sink));
    IniFile ini(m_home->folder() + kSetupIniName);
    QVERIFY(ini.Load());
    for (const Field& field : fields) {
        const std::string saved = ini.ReadString("MAIL", field.key, "");
        if (field.saved)
            QVERIFY2(saved == field.saved,
                     qPrintable(QStringLiteral("%1=%2").arg(field.key, ToQt(saved))));
        else
            QVERIFY2(!saved.empty() && saved != ToStd(field.value), field.key);
    }

    Settings loaded;
    QVERIFY(LoadSettings(loaded, m_home->folder(), sink).empty());
    QCOMPARE(loaded.mail, settings.mail);
    Dlg reopened(loaded.mail);
    ExecWith(reopened, [&] {
        for (const Field& field : fields) {
            QWidget* control = reopened.findChild<QWidget*>(ControlName(field.id));
            QString shown;
            if (auto* box = qobject_cast<QComboBox*>(control))
                shown = box->currentText();
            else if (auto* check = qobject_cast<QCheckBox*>(control))
                shown = check->isChecked() ? QStringLiteral("on") : QString();
            else
                shown = qobject_cast<QLineEdit*>(control)->text();
            QVERIFY2(shown == field.value, field.key);
        }
    });
}

void MailSetupDialogTest::receiveMethodShowsOnlyItsServer_data() {
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("hidden");
    QTest::newRow("POP3") << "POP3" << Dlg::kIdPop3Server << Dlg::kIdImapServer;
    QTest::newRow("IMAP") << "IMAP" << Dlg::kIdImapServer << Dlg::kIdPop3Server;
}

void MailSetupDialogTest::receiveMethodShowsOnlyItsServer() {
    QFETCH(QString, protocol);
    QFETCH(int, shown);
    QFETCH(int, hidden);
    MailSettings settings;
    Dlg dialog(settings);
    ExecWith(dialog, [&] {
        Pick(&dialog, Dlg::kIdReceiveProtocol, protocol);
        QVERIFY(ShownOnItsPage(&dialog, shown));
        QVERIFY(!ShownOnItsPage(&dialog, hidden));
        QVERIFY(ShownOnItsPage(&dialog, Dlg::kIdSmtpServer));
    });
}

void MailSetupDialogTest::authMethodShowsOnlyItsFields_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<bool>("oauth");
    QTest::newRow("password") << "パスワード" << false;
    QTest::newRow("OAuth 2.0") << "OAuth 2.0" << true;
}

void MailSetupDialogTest::authMethodShowsOnlyItsFields() {
    QFETCH(QString, method);
    QFETCH(bool, oauth);
    MailSettings settings;
    settings.oauth2 = !oauth; // the dialog must follow the pick, not the stored method
    Dlg dialog(settings);
    ExecWith(dialog, [&] {
        Pick(&dialog, Dlg::kIdAuthMethod, method);
        for (int id : {Dlg::kIdPop3Pass, Dlg::kIdSmtpPass})
            QVERIFY2(ShownOnItsPage(&dialog, id) == !oauth, qPrintable(ControlName(id)));
        for (int id : {Dlg::kIdOAuthProvider, Dlg::kIdOAuthClientId, Dlg::kIdOAuthClientSecret,
                       Dlg::kIdSignIn})
            QVERIFY2(ShownOnItsPage(&dialog, id) == oauth, qPrintable(ControlName(id)));
        QVERIFY(ShownOnItsPage(&dialog, Dlg::kIdPop3Id)); // the log-in name serves both
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdOAuthTokenUrl)->isEnabled(), oauth);
    });
}

void MailSetupDialogTest::okRefusesAnIncompleteOAuth_data() {
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<QString>("tokenUrl");
    QTest::addColumn<QString>("message"); // empty: OK closes the dialog
    QTest::addColumn<int>("focus");
    const QString https = QStringLiteral("https:// で始まるURLを入力してください。");
    QTest::newRow("no client id") << "Google"
                                  << ""
                                  << ""
                                  << "OAuth 2.0のクライアントIDを入力してください。"
                                  << Dlg::kIdOAuthClientId;
    QTest::newRow("own provider without endpoints") << "その他（詳細で設定）"
                                                    << "client-1"
                                                    << "" << https << Dlg::kIdOAuthAuthUrl;
    QTest::newRow("plain HTTP endpoint")
        << "Microsoft"
        << "client-1"
        << "http://127.0.0.1/token" << https << Dlg::kIdOAuthTokenUrl;
    QTest::newRow("preset provider") << "Google"
                                     << "client-1"
                                     << "" << QString() << 0;
}

void MailSetupDialogTest::okRefusesAnIncompleteOAuth() {
    QFETCH(QString, provider);
    QFETCH(QString, clientId);
    QFETCH(QString, tokenUrl);
    QFETCH(QString, message);
    QFETCH(int, focus);
    MailSettings settings;
    Dlg dialog(settings);
    MessageRecorder messages;
    const int result = ExecWith(dialog, [&] {
        Pick(&dialog, Dlg::kIdAuthMethod, QStringLiteral("OAuth 2.0"));
        Pick(&dialog, Dlg::kIdOAuthProvider, provider);
        Type(&dialog, Dlg::kIdOAuthClientId, clientId);
        Type(&dialog, Dlg::kIdOAuthTokenUrl, tokenUrl);
        Click(&dialog, kIdOk);
        if (message.isEmpty())
            return;
        QCOMPARE(messages.texts, QStringList{message});
        // The refused field's page is up, with the focus on the field.
        QCOMPARE(dialog.focusWidget(), Control<QLineEdit>(&dialog, focus));
        QVERIFY(dialog.focusWidget()->isVisible());
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(result, int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(settings.oauth2, message.isEmpty()); // a refused OK takes nothing over
    if (message.isEmpty())
        QCOMPARE(settings.oauthProvider, std::string("google"));
}

// 自動設定 against a DNS server and a web server on loopback, with the CA file the user set on
// 詳細: the provider's configuration file, a domain whose mail Google handles (MX), and a domain
// nothing is known of (a message, nothing changed).
void MailSetupDialogTest::autoSetupFillsTheFields_data() {
    QTest::addColumn<QString>("zone");
    QTest::addColumn<bool>("serveFile");
    QTest::addColumn<QStringList>("shown"); // id=text of controls after 自動設定
    QTest::addColumn<QString>("source");    // the start of the line under the address
    const QString webHost = QStringLiteral("autoconfig.example.test A 127.0.0.1\n");
    QTest::newRow("configuration file") << webHost << true << QStringList{"1037=IMAP",
                                                                          "1038=imap.example.test",
                                                                          "1039=993",
                                                                          "1040=SSL/TLS",
                                                                          "1010=smtp.example.test",
                                                                          "1021=465",
                                                                          "1030=SSL/TLS",
                                                                          "1017=me",
                                                                          "1043=パスワード"}
                                        << "見つけた場所: https://autoconfig.example.test:";
    QTest::newRow("mail handled by Google")
        << "example.test MX 1 aspmx.l.google.com\n"
        << false << QStringList{"1037=IMAP",           "1038=imap.gmail.com",
                                "1010=smtp.gmail.com", "1017=me@example.test",
                                "1043=OAuth 2.0",      "1044=Google"}
        << "見つけた場所: MX";
    QTest::newRow("nothing found")
        << QString() << false << QStringList{"1037=POP3", "1038=", "1010=", "1017="}
        << "このアドレスのサーバーは見つかりませんでした";
}

void MailSetupDialogTest::autoSetupFillsTheFields() {
    QFETCH(QString, zone);
    QFETCH(bool, serveFile);
    QFETCH(QStringList, shown);
    QFETCH(QString, source);
    const TestCertificates& certs = TestCertificates::Shared();
    TempDir servers;
    TempDir::WriteFile(servers.path() / "zone.txt", zone.toStdString());
    std::filesystem::create_directories(servers.path() / "www" / "mail");
    if (serveFile)
        TempDir::WriteFile(servers.path() / "www" / "mail" / "config-v1.1.xml",
                           R"(<?xml version="1.0"?>
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

    MailSettings settings;
    settings.caFile = certs.caFile().string();
    CMailWorker worker;
    Dlg dialog(settings);
    dialog.SetMailWorker(&worker);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        Type(&dialog, Dlg::kIdSenderAddress, QStringLiteral("me@example.test"));
        Press(&dialog, Dlg::kIdAutoSetup);
        for (const QString& expected : shown) {
            const int id = expected.section(u'=', 0, 0).toInt();
            QWidget* control = dialog.findChild<QWidget*>(ControlName(id));
            const QString text = qobject_cast<QComboBox*>(control)
                                     ? qobject_cast<QComboBox*>(control)->currentText()
                                     : qobject_cast<QLineEdit*>(control)->text();
            QCOMPARE(QString::number(id) + u'=' + text, expected);
        }
        auto* line = Control<QLabel>(&dialog, Dlg::kIdSetupSource);
        QVERIFY(line->isVisible());
        QVERIFY2(line->text().remove(QChar(0x200B)).startsWith(source), qPrintable(line->text()));
        QCOMPARE(messages.texts.size(), source.contains(QStringLiteral("見つかりません")) ? 1 : 0);
        if (const QString shots = qEnvironmentVariable("KESTROVAMAIL_SHOTS"); !shots.isEmpty())
            dialog.grab().save(shots + "/mail-autosetup-" + QTest::currentDataTag() + ".png");
        Click(&dialog, kIdCancel);
    });
    qunsetenv(CDnsResolver::kServerVariable);
    qunsetenv(kHttpsPortVariable);
    // What 自動設定 found was taken over, as the connection tests take the fields over.
    QCOMPARE(settings.senderAddress, std::string("me@example.test"));
    QCOMPARE(settings.receiveProtocol == ReceiveProtocol::Imap, shown.contains("1037=IMAP"));
}

// サインイン… against the test authorization server, the test standing in for the browser the
// dialog opens: a sign-in that is approved, one whose consent is refused, and one that cannot
// start without a client id (the browser is not opened).
void MailSetupDialogTest::signInOpensTheBrowserAndSaysHowItEnded_data() {
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<QString>("consent"); // how the browser comes back: code=… or error=…
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("tokenSaved");
    QTest::newRow("approved") << "kestrova-test"
                              << "code="
                              << "サインインしました。" << true;
    QTest::newRow("consent refused") << "kestrova-test"
                                     << "error=access_denied"
                                     << "サインインできませんでした。" << false;
    QTest::newRow("no client id") << ""
                                  << ""
                                  << "サインインの前に" << false;
}

void MailSetupDialogTest::signInOpensTheBrowserAndSaysHowItEnded() {
    QFETCH(QString, clientId);
    QFETCH(QString, consent);
    QFETCH(QString, message);
    QFETCH(bool, tokenSaved);
    OAuthPeer auth;
    const std::string caFile = TestCertificates::Shared().caFile().string();
    BrowserStandIn browser(caFile, consent.toStdString());
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
        Type(&dialog, Dlg::kIdOAuthClientId, clientId);
        Press(&dialog, Dlg::kIdSignIn);
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts[0].startsWith(message), qPrintable(messages.texts[0]));
        if (clientId.isEmpty())
            QCOMPARE(dialog.focusWidget(), Control<QLineEdit>(&dialog, Dlg::kIdOAuthClientId));
    });
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(browser.opened(), !clientId.isEmpty());
    QCOMPARE(!oauthstore::LoadRefreshToken(m_home->folder()).empty(), tokenSaved);
}

// Every page, in Japanese and in English, fits a screen of 800 × 600 with every text whole.
// With KESTROVAMAIL_SHOTS naming a folder, each page is saved there as a picture to look at.
void MailSetupDialogTest::pagesFitASmallScreen_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("oauth");
    QTest::newRow("ja") << "ja" << false;
    QTest::newRow("ja, OAuth 2.0 and IMAP") << "ja" << true;
    QTest::newRow("en") << "en" << false;
    QTest::newRow("en, OAuth 2.0 and IMAP") << "en" << true;
}

void MailSetupDialogTest::pagesFitASmallScreen() {
    QFETCH(QString, language);
    QFETCH(bool, oauth);
    LocaleEnvironment locale;
    locale.lang = language == QStringLiteral("ja") ? "ja_JP.UTF-8" : "en_US.UTF-8";
    QCOMPARE(InstallUiTranslation(locale, {QStringLiteral(KM_TRANSLATIONS_DIR)}),
             language.toStdString());
    MailSettings settings;
    settings.oauth2 = oauth;
    settings.receiveProtocol = oauth ? ReceiveProtocol::Imap : ReceiveProtocol::Pop3;
    const QString shots = qEnvironmentVariable("KESTROVAMAIL_SHOTS");
    {
        Dlg dialog(settings);
        ExecWith(dialog, [&] {
            auto* list = Control<QListWidget>(&dialog, Dlg::kIdPageList);
            for (int page = 0; page < list->count(); ++page) {
                list->setCurrentRow(page);
                QApplication::processEvents();
                QVERIFY2(
                    dialog.width() <= 800 && dialog.height() <= 600,
                    qPrintable(QStringLiteral("%1 × %2").arg(dialog.width()).arg(dialog.height())));
                for (const QLabel* label : dialog.findChildren<QLabel*>()) {
                    if (label->isVisible() && !label->wordWrap() && !label->text().isEmpty())
                        QVERIFY2(label->width() >= label->sizeHint().width(),
                                 qPrintable(label->text()));
                }
                if (!shots.isEmpty())
                    dialog.grab().save(QStringLiteral("%1/mail-%2-%3-%4.png")
                                           .arg(shots, language, oauth ? "oauth" : "password")
                                           .arg(page));
            }
        });
    }
    locale.lang = "ja_JP.UTF-8";
    InstallUiTranslation(locale, {QStringLiteral(KM_TRANSLATIONS_DIR)});
}
