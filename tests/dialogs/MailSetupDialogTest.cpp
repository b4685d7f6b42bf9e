// The mail settings dialog: taking the controls over (the protection choices with their
// by-port rule too), the address list with its limit and deletion, Cancel after add, and the
// connection tests against scripted servers and an empty port.

#include "dialogs/MailSetupDialog.h"

#include "app/MailWorker.h"
#include "tests/support/LoopbackListener.h"

#include "tests/dialogs/DialogTestSupport.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>

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

// Picks the entry of the combo box with that id as a user would, with the arrow keys; an entry
// already shown is picked by stepping away and back.
void Choose(QWidget* dialog, int id, const QString& text) {
    auto* box = Control<QComboBox>(dialog, id);
    const int target = box->findText(text);
    QVERIFY(target >= 0);
    if (box->currentIndex() == target)
        QTest::keyClick(box, target > 0 ? Qt::Key_Up : Qt::Key_Down);
    while (box->currentIndex() < target)
        QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > target)
        QTest::keyClick(box, Qt::Key_Up);
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
        Retype(&dialog, Dlg::kIdSmtpServer, QStringLiteral("smtp.example.jp"));
        Retype(&dialog, Dlg::kIdSmtpPort, QStringLiteral("587"));
        Retype(&dialog, Dlg::kIdPop3Server, QStringLiteral("pop.example.jp"));
        Retype(&dialog, Dlg::kIdPop3Port, QStringLiteral("1110"));
        Toggle(&dialog, Dlg::kIdApop);
        Retype(&dialog, Dlg::kIdPop3Id, QStringLiteral("kestrova"));
        Retype(&dialog, Dlg::kIdPop3Pass, QStringLiteral("p%ss"));
        Choose(&dialog, Dlg::kIdReceiveProtocol, QStringLiteral("IMAP"));
        Retype(&dialog, Dlg::kIdImapServer, QStringLiteral("imap.example.jp"));
        Retype(&dialog, Dlg::kIdImapPort, QStringLiteral("993"));
        Retype(&dialog, Dlg::kIdSenderName, QStringLiteral("監視カメラ"));
        Retype(&dialog, Dlg::kIdSenderAddress, QStringLiteral("camera@example.jp"));
        Toggle(&dialog, Dlg::kIdImageRotation);
        Retype(&dialog, Dlg::kIdCheckString, QStringLiteral("snap"));
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
    // "なし" is what port 110 shows: picking it still makes it the user's choice.
    QTest::newRow("picked stays picked")
        << ProtectionCase{byPort, "SSL/TLS", "587", "SSL/TLS", SecurityChoice::Tls}
        << ProtectionCase{byPort, "なし", "995", "なし", SecurityChoice::None}
        << ProtectionCase{byPort, "STARTTLS", "993", "STARTTLS", SecurityChoice::StartTls};
    QTest::newRow("stored choice ignores the port")
        << ProtectionCase{SecurityChoice::StartTls, "", "465", "STARTTLS", SecurityChoice::StartTls}
        << ProtectionCase{SecurityChoice::Tls, "", "110", "SSL/TLS", SecurityChoice::Tls}
        << ProtectionCase{SecurityChoice::None, "", "993", "なし", SecurityChoice::None};
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
    };
    const Side sides[] = {
        {smtp, Dlg::kIdSmtpSecurity, Dlg::kIdSmtpPort, &MailSettings::smtpSecurity},
        {pop3, Dlg::kIdPop3Security, Dlg::kIdPop3Port, &MailSettings::pop3Security},
        {imap, Dlg::kIdImapSecurity, Dlg::kIdImapPort, &MailSettings::imapSecurity}};
    const QString caFile = QStringLiteral("/home/太郎/証明書/ca.pem");
    MailSettings settings;
    for (const Side& side : sides)
        settings.*side.field = side.c.stored;
    Dlg dialog(settings);
    const int result = ExecWith(dialog, [&] {
        for (const Side& side : sides) {
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
        Choose(&dialog, Dlg::kIdReceiveProtocol, protocol);
        Retype(&dialog, Dlg::kIdImapServer, server);
        Retype(&dialog, Dlg::kIdImapPort, port);
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

#include "MailSetupDialogTest.moc"
