// The main window with its mail work on the worker: real dovecot and aiosmtpd, silent servers
// on loopback, the test pattern as camera. Closing never waits on a server, the timer never
// starts a second cycle, log lines keep their order, and a grab that would need the device
// chooser sends nothing.

#include "capture/CaptureDevices.h"
#include "mail/text/TextCodec.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "window/CommandIds.h"
#include "window/MainWindow.h"
#include "window/TrayIcon.h"

#include <QLabel>
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QtTest>
#include <memory>

namespace {

std::string Request(const std::string& from) {
    static int serial = 0;
    return "From: " + from + "\r\nTo: camera@example.com\r\nSubject: cap\r\nMessage-ID: <" +
           std::to_string(++serial) + "@example.com>\r\n\r\nplease\r\n";
}

// A camera whose frames move (a ball), or one that stalls after three frames so that the grab
// finds no fresh frame and wants to rebuild; two of them make that rebuild need the chooser.
std::vector<CaptureDevice> Cameras(bool moving, int count) {
    std::vector<CaptureDevice> devices;
    for (int i = 0; i < count; ++i) {
        CaptureDevice device = MakeTestPatternDevice();
        device.name += std::to_string(i);
        device.sourceProperties.emplace_back("pattern", "ball");
        if (!moving)
            device.sourceProperties.emplace_back("num-buffers", "3");
        devices.push_back(device);
    }
    return devices;
}

struct Window {
    Window(const TempDir& home, bool moving = true, int cameras = 1, int helloPort = 0) {
        TempDir::WriteFile(home.path() / "device.ini",
                           text::Utf8ToSjis("[DEVICE]\r\nSELECT=" + Cameras(moving, 1)[0].name +
                                            "\r\nWIDTH=320\r\nHEIGHT=240\r\n"));
        MainWindow::Options options;
        options.folder = home.folder();
        options.teardownPauseMs = 0;
        options.helloPort = static_cast<uint16_t>(helloPort ? helloPort : UnusedLoopbackPort());
        window = std::make_unique<MainWindow>(options);
        window->graph().SetDeviceLister([moving, cameras] { return Cameras(moving, cameras); });
    }
    // Points the mail settings at the servers; the POP3 log-in is camera/secret.
    void Servers(int pop3Port, int smtpPort) {
        MailSettings& mail = window->settings().mail;
        mail.pop3Server = mail.smtpServer = "127.0.0.1";
        mail.pop3Port = pop3Port;
        mail.smtpPort = smtpPort;
        mail.pop3Id = "camera";
        mail.pop3Pass = "secret";
        mail.senderAddress = "camera@example.com";
        mail.senderCheck = SenderCheck::Off; // the test's requests carry no signature
    }
    // Reads the mailbox over IMAP instead, with the same log-in.
    void Imap(int imapPort, int smtpPort) {
        Servers(UnusedLoopbackPort(), smtpPort);
        MailSettings& mail = window->settings().mail;
        mail.receiveProtocol = ReceiveProtocol::Imap;
        mail.imapServer = "127.0.0.1";
        mail.imapPort = imapPort;
    }
    void Tick() { QMetaObject::invokeMethod(&window->mailTimer(), "timeout", Qt::DirectConnection); }
    // Closes the program as "終了" does and returns how long the window took to go.
    qint64 CloseMs() {
        QElapsedTimer timer;
        timer.start();
        window->Exit();
        window.reset();
        return timer.elapsed();
    }
    std::unique_ptr<MainWindow> window;
};

} // namespace

class MailWorkTest : public QObject {
    Q_OBJECT

private slots:
    void closingDuringASilentSmtpWaitEndsAtOnceAndKeepsTheRequest() {
        TempDir home;
        DovecotPeer dovecot("camera", "secret", {Request("taro@example.com")});
        LoopbackListener silentSmtp, silentHello; // connections stand; nobody ever answers
        Window w(home, true, 1, silentHello.port());
        QVERIFY(w.window->Initialise());
        w.Servers(dovecot.port(), silentSmtp.port());
        w.window->RunCommand(ids::kMailCheckButton);
        QVERIFY(w.window->mailCheckRunning());
        // The event loop runs meanwhile: the grab's calls on the graph are served by it.
        QTRY_VERIFY_WITH_TIMEOUT(silentSmtp.HasPendingConnection(), 15000);
        QVERIFY(w.window->isEnabled()); // the window is not waiting
        QVERIFY(w.CloseMs() < 1000);
        QCOMPARE(dovecot.MessageCount(), 1);
        QVERIFY(std::filesystem::exists(home.path() / "setup.ini")); // saved on the way out
    }

    void closingAtRandomMomentsAlwaysEnds() {
        LoopbackListener silentPop3;
        for (int round = 0; round < 100; ++round) {
            TempDir home;
            Window w(home);
            QVERIFY(w.window->Initialise());
            w.Servers(silentPop3.port(), UnusedLoopbackPort());
            w.window->RunCommand(ids::kMailCheckButton);
            QTest::qWait(QRandomGenerator::global()->bounded(30));
            QVERIFY2(w.CloseMs() < 1000, qPrintable(QString::number(round)));
        }
    }

    void aSecondCheckIsRefusedWhileOneRuns() {
        TempDir home;
        LoopbackListener silentPop3; // each cycle waits for a greeting that never comes
        Window w(home);
        QVERIFY(w.window->Initialise());
        w.Servers(silentPop3.port(), UnusedLoopbackPort());
        w.window->RunCommand(ids::kMailCheckButton);
        QTRY_VERIFY_WITH_TIMEOUT(silentPop3.HasPendingConnection(), 5000);
        QCOMPARE(silentPop3.AcceptWaiting(), 1);
        // The timer's tick and the button while the check runs.
        QMetaObject::invokeMethod(&w.window->mailTimer(), "timeout", Qt::DirectConnection);
        w.window->RunCommand(ids::kMailCheckButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.window->mailCheckRunning(), 20000);
        QTest::qWait(300);
        QCOMPARE(silentPop3.AcceptWaiting(), 0); // no second cycle followed
    }

    void aCycleAnswersWithItsLogLinesInOrder() {
        TempDir home;
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        DovecotPeer dovecot("camera", "secret",
                            {Request("a@example.com"), Request("b@example.com")});
        Window w(home);
        QVERIFY(w.window->Initialise());
        w.Servers(dovecot.port(), smtp.port());
        w.window->RunCommand(ids::kMailCheckButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.window->mailCheckRunning(), 20000);
        const QString log = w.window->logView()->toPlainText();
        const qsizetype a = log.indexOf("送信完了<a@example.com>");
        const qsizetype b = log.indexOf("送信完了<b@example.com>");
        const qsizetype done = log.indexOf("メールチェック完了");
        QVERIFY2(a >= 0 && a < b && b < done, qPrintable(log));
        QCOMPARE(dovecot.MessageCount(), 0);
        // The status line names the last reply.
        QVERIFY2(w.window->lastReplyLabel()->text().endsWith(" b@example.com"),
                 qPrintable(w.window->lastReplyLabel()->text()));
    }

    void aGrabThatWouldNeedTheDeviceChooserSendsNothing() {
        TempDir home;
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        DovecotPeer dovecot("camera", "secret", {Request("a@example.com")});
        Window w(home, /*moving=*/false, /*cameras=*/2);
        QVERIFY(w.window->Initialise());
        QTRY_VERIFY(w.window->cameraKeeper().losses() >= 1); // its three frames are over
        w.Servers(dovecot.port(), smtp.port());
        w.window->RunCommand(ids::kMailCheckButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.window->mailCheckRunning(), 20000);
        QVERIFY(QApplication::activeModalWidget() == nullptr); // no chooser opened
        QCOMPARE(smtp.Messages().size(), size_t(0));
        QCOMPARE(dovecot.MessageCount(), 1);
    }

    void aLastingCauseIsCarriedByTitleAndTooltipUntilItIsOver() {
        TempDir home;
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        DovecotPeer dovecot("camera", "secret", {Request("a@example.com")});
        Window w(home);
        QVERIFY(w.window->Initialise());
        const QString title = w.window->windowTitle();
        auto check = [&w] {
            w.window->RunCommand(ids::kMailCheckButton);
            QTRY_VERIFY_WITH_TIMEOUT(!w.window->mailCheckRunning(), 20000);
        };
        w.Servers(UnusedLoopbackPort(), smtp.port()); // nobody at the POP3 port
        check();
        check();
        QCOMPARE(w.window->windowTitle(), title + QStringLiteral(" [エラー: POP3サーバ]"));
        QCOMPARE(w.window->tray()->icon()->toolTip(),
                 QStringLiteral("KestrovaMail - エラー: POP3サーバ"));
        const QString log = w.window->logView()->toPlainText();
        QCOMPARE(log.count(QStringLiteral("接続が拒否されました")), 1);

        w.Servers(dovecot.port(), smtp.port());
        check();
        QCOMPARE(w.window->windowTitle(), title);
        QCOMPARE(w.window->tray()->icon()->toolTip(), QStringLiteral("KestrovaMail"));
        QVERIFY(w.window->logView()->toPlainText().contains(
            QString::fromUtf8(CFaultNotices::kPop3Over)));
        QCOMPARE(dovecot.MessageCount(), 0);
    }

    void imapAnswersWhileIdlingStepsAsideForTheButtonAndComesBackAfterADrop() {
        TempDir home;
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        DovecotPeer dovecot("camera", "secret", {}, {.imap = true});
        Window w(home);
        QVERIFY(w.window->Initialise());
        w.Imap(dovecot.port(), smtp.port());
        w.Tick(); // the session starts
        dovecot.AddMessage(Request("a@example.com"));
        QTRY_COMPARE_WITH_TIMEOUT(smtp.Messages().size(), size_t(1), 10000);
        w.window->RunCommand(ids::kMailCheckButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            w.window->logView()->toPlainText().contains(QStringLiteral("メールチェック完了")), 10000);
        dovecot.DropConnections();
        dovecot.AddMessage(Request("b@example.com"));
        QTRY_COMPARE_WITH_TIMEOUT(smtp.Messages().size(), size_t(2), 15000);
        QTRY_COMPARE(dovecot.MessageCount(), 0);
        QVERIFY(w.CloseMs() < 1000); // the idling session does not hold the window
    }

    void imapWithoutIdleIsPolledAtEveryTick() {
        TempDir home;
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        DovecotPeer dovecot("camera", "secret", {Request("a@example.com")},
                            {.imap = true, .noIdle = true});
        Window w(home);
        QVERIFY(w.window->Initialise());
        w.Imap(dovecot.port(), smtp.port());
        w.Tick();
        QTRY_COMPARE_WITH_TIMEOUT(smtp.Messages().size(), size_t(1), 10000);
        dovecot.AddMessage(Request("b@example.com"));
        QTest::qWait(1500);
        QCOMPARE(smtp.Messages().size(), size_t(1)); // nobody tells; the next tick finds it
        w.Tick();
        QTRY_COMPARE_WITH_TIMEOUT(smtp.Messages().size(), size_t(2), 10000);
    }
};

QTEST_MAIN(MailWorkTest)
#include "MailWorkTest.moc"
