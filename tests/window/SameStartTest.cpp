// The window and the headless service start through one runtime: from the same program folder
// and cameras they write the same start lines, in the same order.

#include "app/camera/CameraKeeper.h"
#include "app/runtime/HeadlessService.h"
#include "app/runtime/ServiceStart.h"
#include "dialogs/MessageBoxes.h"
#include "mail/text/TextCodec.h"
#include "tests/capture/FakeDeviceProvider.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/support/TempDir.h"
#include "window/MainWindow.h"

#include <QtTest>
#include <filesystem>

namespace {

constexpr const char* kCamera = "Shelf Cam";

void Prepare(const TempDir& home, bool setupIniUnreadable) {
    TempDir::WriteFile(home.path() / "device.ini",
                       text::Utf8ToSjis(std::string("[DEVICE]\r\nSELECT=") + kCamera +
                                        "\r\nWIDTH=320\r\nHEIGHT=240\r\n"));
    if (setupIniUnreadable) // a folder in its place
        std::filesystem::create_directory(home.path() / "setup.ini");
}

QStringList Lines(const ActivityLog& log) {
    QStringList lines;
    for (const std::string& message : MessagesOf(log.text()))
        lines << QString::fromStdString(message);
    return lines;
}

QStringList WindowStartLines(const TempDir& home) {
    MainWindow::Options options;
    options.folder = home.folder();
    options.teardownPauseMs = 0;
    MainWindow window(options);
    if (!window.Initialise())
        return {"(no start)"};
    return Lines(window.log());
}

QStringList ServiceStartLines(const TempDir& home) {
    CHeadlessService::Options options;
    options.folder = home.folder();
    options.echoToStandardError = false;
    options.teardownPauseMs = 0;
    CHeadlessService service(options);
    if (!service.Start(false))
        return {"(no start)"};
    return Lines(service.log());
}

} // namespace

class SameStartTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        qunsetenv("KESTROVAMAIL_TEST_PATTERN");
        EnableTestPattern(false);
        InstallFakeCameras({{kCamera, "/dev/video5", "usb-5", "ball",
                             "video/x-raw, width=(int)320, height=(int)240"}});
        SetMessageBoxHook([this](QWidget*, const QString& text, MessageKind) {
            m_messages << text;
            return true;
        });
        m_messages.clear();
    }
    void cleanup() { SetMessageBoxHook({}); }

    void windowAndServiceWriteTheSameStartLines_data() {
        QTest::addColumn<bool>("setupIniUnreadable");
        QTest::addColumn<bool>("cameraThere");
        // What each line begins with (a pattern), in order.
        QTest::addColumn<QStringList>("expected");
        const QString start = QRegularExpression::escape(QString::fromUtf8(kStartLine));
        const QString noCamera =
            QRegularExpression::escape(QString::fromUtf8(CCameraKeeper::kNoCameraLine));
        const QString cannotRead = "ERROR : 設定ファイル (.*) を読み込めません";
        const QString cannotWrite = "ERROR : 設定ファイル (.*) に書き込めません";
        // No account in these folders: both say how to set one up.
        const QString noAccount = QRegularExpression::escape(QString::fromUtf8(kNoAccountLine));
        QTest::newRow("camera there") << false << true << QStringList{start, noAccount};
        QTest::newRow("no camera") << false << false << QStringList{start, noAccount, noCamera};
        QTest::newRow("setup.ini unreadable")
            << true << true << QStringList{start, cannotRead, noAccount, cannotWrite};
        QTest::newRow("setup.ini unreadable, no camera")
            << true << false
            << QStringList{start, cannotRead, noAccount, noCamera, cannotWrite};
    }

    void windowAndServiceWriteTheSameStartLines() {
        QFETCH(bool, setupIniUnreadable);
        QFETCH(bool, cameraThere);
        QFETCH(QStringList, expected);
        if (cameraThere)
            ReturnFakeCamera(kCamera);
        else
            VanishFakeCamera(kCamera);

        // One folder, so that the lines naming it are the same.
        TempDir home;
        Prepare(home, setupIniUnreadable);
        const QStringList window = WindowStartLines(home);
        Prepare(home, setupIniUnreadable);
        const QStringList service = ServiceStartLines(home);
        QCOMPARE(service, window);
        QCOMPARE(window.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(window[i].contains(QRegularExpression("^" + expected[i])),
                     qPrintable(window.join('\n')));
        QVERIFY(m_messages.isEmpty());
    }

private:
    QStringList m_messages;
};

QTEST_MAIN(SameStartTest)
#include "SameStartTest.moc"
