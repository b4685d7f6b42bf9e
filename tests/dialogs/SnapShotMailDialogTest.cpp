// The snapshot mail dialog: the address list rules, and sending against real servers (dovecot
// for the POP3 log-in, aiosmtpd for the delivery) and scripted ones for the failures.

#include "dialogs/SnapShotMailDialog.h"

#include "app/service/MailWorker.h"
#include "tests/support/LoopbackListener.h"

#include "tests/dialogs/DialogTestSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace fs = std::filesystem;
using Dlg = CSnapMailDialog;

namespace {

const std::string kStem = "20261206154744";

std::vector<std::string> GoodPop3LogIn() {
    return {"S: +OK ready","C: CAPA", "S: -ERR", "C: USER camera", "S: +OK",    "C: PASS secret",
            "S: +OK",       "C: QUIT",        "S: +OK bye"};
}

// The one attachment of the mail: its file name and bytes.
void CheckAttachment(const ReceivedMail& mail, const std::string& name, const QByteArray& bytes) {
    TempDir out;
    const DecodedMail decoded = SmtpPeer::DecodeMail(mail.file, out.path());
    QCOMPARE(decoded.attachments.size(), size_t(1));
    QCOMPARE(QString::fromStdString(decoded.attachments[0].filename().string()),
             QString::fromStdString(name));
    QCOMPARE(QByteArray::fromStdString(TempDir::ReadFile(decoded.attachments[0])), bytes);
}

void AddAddress(QDialog* dialog, const QString& address) {
    auto* combo = Control<QComboBox>(dialog, Dlg::kIdAddressEntry);
    combo->lineEdit()->clear();
    TypeText(combo->lineEdit(), address);
    Click(dialog, Dlg::kIdAdd);
}

} // namespace

class SnapShotMailDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void addressListRules();
    void deliversThePictureToEveryListedAddress();
    void refusedAddressIsNamedAndTheOthersAreSent();
    void turnedPictureIsAttachedWhenRotationIsOn();
    void emptyListFailsTheSend();
    void missingPictureFailsTheSend();
    void wrongPop3PasswordStopsBeforeSmtp();
    void unreachableSmtpServer();
    void sendingCanBeCancelled();

private:
    struct SendOutcome {
        QStringList messages;
        bool stayedOpen = false;
    };
    // Opens the dialog, lists the addresses and presses the send button.
    // With a worker the sending runs there, behind the progress box.
    SendOutcome Send(const MailSettings& settings, int smtpPort, const QStringList& to,
                     CMailWorker* worker = nullptr) const;
    MailSettings Settings(int pop3Port) const;
    void WritePictures();

    std::unique_ptr<TempDir> m_home;
    QByteArray m_plain;
    QByteArray m_turned;
    // The snapshot as the grab gives it: names, and bytes once WritePictures has made them.
    Snapshot m_snapshot{kStem, {}, {kStem + ".jpg", nullptr}, {kStem + "r.jpg", nullptr}};
};

void SnapShotMailDialogTest::init() {
    m_home = std::make_unique<TempDir>();
    m_home->UseAsProgramFolder();
    m_snapshot.plain.jpeg = m_snapshot.turned.jpeg = nullptr;
}

MailSettings SnapShotMailDialogTest::Settings(int pop3Port) const {
    MailSettings settings;
    settings.pop3Server = "127.0.0.1";
    settings.pop3Port = pop3Port;
    settings.pop3Id = "camera";
    settings.pop3Pass = "secret";
    settings.apop = false; // USER/PASS, as the scripted server expects
    settings.smtpServer = "127.0.0.1";
    settings.smtpPort = 1; // not used by this dialog
    settings.senderName = "監視カメラ";
    settings.senderAddress = "camera@example.jp";
    return settings;
}

SnapShotMailDialogTest::SendOutcome
SnapShotMailDialogTest::Send(const MailSettings& settings, int smtpPort, const QStringList& to,
                             CMailWorker* worker) const {
    Dlg dialog(m_snapshot, settings);
    dialog.SetSmtpPort(smtpPort);
    dialog.SetMailWorker(worker);
    MessageRecorder messages;
    SendOutcome outcome;
    ExecWith(dialog, [&] {
        for (const QString& address : to)
            AddAddress(&dialog, address);
        Click(&dialog, Dlg::kIdSend);
        outcome.stayedOpen = dialog.isVisible();
    });
    outcome.messages = messages.texts;
    return outcome;
}

void SnapShotMailDialogTest::WritePictures() {
    for (bool turned : {false, true}) {
        QImage image(turned ? 48 : 64, turned ? 64 : 48, QImage::Format_RGB888);
        image.fill(turned ? Qt::red : Qt::blue);
        QByteArray& bytes = turned ? m_turned : m_plain;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(image.save(&buffer, "JPG"));
        (turned ? m_snapshot.turned : m_snapshot.plain).jpeg =
            std::make_shared<const std::string>(bytes.toStdString());
    }
}

void SnapShotMailDialogTest::addressListRules() {
    MailSettings settings = Settings(1);
    settings.sendAddresses = {"zeta@example.jp", "alpha@example.jp", "mid@example.jp"};
    Dlg dialog(m_snapshot, settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("スナップショットメール送信"));
        auto* combo = Control<QComboBox>(&dialog, Dlg::kIdAddressEntry);
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(0), QStringLiteral("alpha@example.jp")); // sorted
        QCOMPARE(combo->itemText(2), QStringLiteral("zeta@example.jp"));
        QVERIFY(Rows(&dialog, Dlg::kIdAddressList).isEmpty());

        AddAddress(&dialog, QStringLiteral("no-at-sign"));
        QCOMPARE(combo->currentText(), QStringLiteral("no-at-sign")); // nothing happened
        AddAddress(&dialog, QString());
        QVERIFY(Rows(&dialog, Dlg::kIdAddressList).isEmpty());
        AddAddress(&dialog, QStringLiteral("a@example.jp"));
        QCOMPARE(combo->currentText(), QString());
        AddAddress(&dialog, QStringLiteral("a@example.jp"));
        combo->setCurrentIndex(combo->findText(QStringLiteral("mid@example.jp")));
        Click(&dialog, Dlg::kIdAdd);
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList),
                 (QStringList{"a@example.jp", "a@example.jp", "mid@example.jp"}));

        auto* list = Control<QTableWidget>(&dialog, Dlg::kIdAddressList);
        list->selectRow(0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list->visualItemRect(list->item(2, 0)).center());
        Click(&dialog, Dlg::kIdDelete);
        QCOMPARE(Rows(&dialog, Dlg::kIdAddressList), QStringList{"a@example.jp"});
        Click(&dialog, Dlg::kIdCancel);
    });
    QVERIFY(messages.texts.isEmpty());
}

void SnapShotMailDialogTest::deliversThePictureToEveryListedAddress() {
    // One mail per address, to it alone; an address listed twice (the domain in another case)
    // gets one.
    WritePictures();
    DovecotPeer dovecot("camera", "secret");
    SmtpPeer smtp;
    CMailWorker worker; // as in the program: the sending runs on the mail worker
    const SendOutcome sent = Send(Settings(dovecot.port()), smtp.port(),
                                  {"a@example.jp", "a@EXAMPLE.jp", "b@example.jp"}, &worker);
    QCOMPARE(sent.messages, QStringList{QStringLiteral("メールの送信を完了しました")});
    QVERIFY(sent.stayedOpen);
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    const auto mails = smtp.WaitForMessages(2);
    QCOMPARE(mails.size(), size_t(2));
    const std::vector<std::string> addresses = {"a@example.jp", "b@example.jp"};
    for (std::size_t i = 0; i < mails.size(); ++i) {
        QCOMPARE(mails[i].sender, std::string("camera@example.jp"));
        QCOMPARE(mails[i].recipients, std::vector<std::string>{addresses[i]});
        TempDir out;
        const DecodedMail decoded = SmtpPeer::DecodeMail(mails[i].file, out.path());
        QCOMPARE(decoded.headers.at("to"), addresses[i]);
        QCOMPARE(decoded.headers.count("message-id"), size_t(1));
        QVERIFY(decoded.defects.empty());
        QCOMPARE(decoded.headers.at("subject"), std::string("キャプチャ画像"));
        QVERIFY(decoded.headers.at("from").find("監視カメラ") != std::string::npos);
        // The same message as a reply: normal priority, the reply's layout.
        QCOMPARE(decoded.headers.at("x-priority"), std::string("3"));
        QCOMPARE(decoded.texts.size(), size_t(1));
        // "2026年12月6日(日)15時47分44秒現在の画像です。"
        const QString body = QString::fromStdString(decoded.texts[0]);
        QVERIFY2(
            QRegularExpression(QStringLiteral("^\\d{4}年\\d{1,2}月\\d{1,2}日\\([日月火水木金土]\\)"
                                              "\\d\\d時\\d\\d分\\d\\d秒現在の画像です。"))
                .match(body)
                .hasMatch(),
            qPrintable(body));
        CheckAttachment(mails[i], kStem + ".jpg", m_plain);
    }
    QCOMPARE(dovecot.MessageCount(), 0);
}

void SnapShotMailDialogTest::refusedAddressIsNamedAndTheOthersAreSent() {
    WritePictures();
    ScriptedServer pop3(GoodPop3LogIn());
    SmtpPeer smtp({.refusedRecipients = {"gone@example.jp"}});
    QCOMPARE(Send(Settings(pop3.port()), smtp.port(), {"gone@example.jp", "b@example.jp"}).messages,
             QStringList{QStringLiteral("メールの送信に失敗しました\ngone@example.jp")});
    const auto mails = smtp.WaitForMessages(1);
    QCOMPARE(mails.size(), size_t(1));
    QCOMPARE(mails[0].recipients, std::vector<std::string>{"b@example.jp"});
}

void SnapShotMailDialogTest::turnedPictureIsAttachedWhenRotationIsOn() {
    WritePictures();
    ScriptedServer pop3(GoodPop3LogIn());
    SmtpPeer smtp;
    MailSettings settings = Settings(pop3.port());
    settings.imageRotation = true;
    Dlg dialog(m_snapshot, settings);
    dialog.SetSmtpPort(smtp.port());
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        AddAddress(&dialog, QStringLiteral("a@example.jp"));
        QCOMPARE(dialog.Send(), Dlg::SendResult::Sent);
    });
    QCOMPARE(pop3.Mismatch(), std::string());
    const auto mails = smtp.WaitForMessages(1);
    QCOMPARE(mails.size(), size_t(1));
    CheckAttachment(mails[0], kStem + "r.jpg", m_turned);
}

void SnapShotMailDialogTest::emptyListFailsTheSend() {
    WritePictures();
    ScriptedServer pop3(GoodPop3LogIn());
    SmtpPeer smtp;
    QCOMPARE(Send(Settings(pop3.port()), smtp.port(), {}).messages,
             QStringList{QStringLiteral("メールの送信に失敗しました")});
    QCOMPARE(pop3.Mismatch(), std::string()); // logged in first, logged out after
    QVERIFY(smtp.Messages().empty());
}

void SnapShotMailDialogTest::missingPictureFailsTheSend() {
    ScriptedServer pop3(GoodPop3LogIn());
    SmtpPeer smtp;
    QCOMPARE(Send(Settings(pop3.port()), smtp.port(), {"a@example.jp"}).messages,
             QStringList{QStringLiteral("メールの送信に失敗しました")});
    QVERIFY(smtp.Messages().empty());
}

void SnapShotMailDialogTest::wrongPop3PasswordStopsBeforeSmtp() {
    WritePictures();
    DovecotPeer dovecot("camera", "other password");
    LoopbackListener smtp;
    QCOMPARE(Send(Settings(dovecot.port()), smtp.port(), {"a@example.jp"}).messages,
             QStringList{QStringLiteral("POP3サーバの接続に失敗しました。")});
    QVERIFY(!smtp.HasPendingConnection());
}

void SnapShotMailDialogTest::unreachableSmtpServer() {
    WritePictures();
    ScriptedServer pop3(GoodPop3LogIn());
    QCOMPARE(Send(Settings(pop3.port()), UnusedLoopbackPort(), {"a@example.jp"}).messages,
             QStringList{QStringLiteral("SMTPサーバへの接続に失敗しました。")});
    QCOMPARE(pop3.Mismatch(), std::string());
}

// While a silent mailbox is awaited the progress box shows; its キャンセル ends the wait at
// once, with no outcome box, and the dialog stays open for another try.
void SnapShotMailDialogTest::sendingCanBeCancelled() {
    WritePictures();
    LoopbackListener silent;
    CMailWorker worker;
    QTimer canceller;
    bool cancelled = false;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (progress && silent.HasPendingConnection() && !cancelled) {
            cancelled = true;
            progress->cancel();
        }
    });
    canceller.start(20);
    const SendOutcome sent = Send(Settings(silent.port()), 1, {"a@example.jp"}, &worker);
    QVERIFY(cancelled);
    QVERIFY(sent.messages.isEmpty());
    QVERIFY(sent.stayedOpen);
    QTRY_VERIFY_WITH_TIMEOUT(worker.Idle(), 100);
}

QTEST_MAIN(SnapShotMailDialogTest)
#include "SnapShotMailDialogTest.moc"
