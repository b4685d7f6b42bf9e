// The main window with cameras of the fake device provider: started with no camera at all
// (the window opens with a notice, checks run, the camera is taken up when it comes) and a
// camera unplugged and plugged in again (logged once, the preview follows).

#include "app/settings/SettingsStore.h"
#include "dialogs/MessageBoxes.h"
#include "mail/text/TextCodec.h"
#include "tests/capture/FakeDeviceProvider.h"
#include "tests/support/TempDir.h"
#include "window/CommandIds.h"
#include "window/IconButton.h"
#include "window/MainWindow.h"
#include "window/PreviewWidget.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QtTest>
#include <memory>

namespace {

constexpr const char* kCamera = "Desk Cam";

std::unique_ptr<MainWindow> StartWindow(const TempDir& home) {
    TempDir::WriteFile(home.path() / "device.ini",
                       text::Utf8ToSjis(std::string("[DEVICE]\r\nSELECT=") + kCamera +
                                        "\r\nWIDTH=320\r\nHEIGHT=240\r\n"));
    MainWindow::Options options;
    options.folder = home.folder();
    options.teardownPauseMs = 0;
    options.cameraRetry = std::chrono::milliseconds(100);
    auto window = std::make_unique<MainWindow>(options);
    window->show();
    return window;
}

int LogLinesWith(MainWindow& window, const QString& part) {
    return window.logView()->toPlainText().count(part);
}

} // namespace

class CameraComingAndGoingTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        qunsetenv("KESTROVAMAIL_TEST_PATTERN");
        EnableTestPattern(false);
        InstallFakeCameras({{kCamera, "/dev/video3", "usb-3", "ball",
                             "video/x-raw, width=(int)320, height=(int)240"}});
        SetMessageBoxHook([this](QWidget*, const QString& text, MessageKind) {
            m_messages << text;
            return true;
        });
        m_messages.clear();
    }
    void cleanup() { SetMessageBoxHook({}); }

    void withoutACameraTheWindowOpensChecksMailAndTakesTheCameraUpWhenItComes() {
        VanishFakeCamera(kCamera);
        TempDir home;
        auto window = StartWindow(home);
        QVERIFY(window->Initialise());
        QVERIFY(m_messages.isEmpty()); // no "no device" box, no end
        QVERIFY(window->preview()->notice().contains("--test-pattern"));
        QVERIFY(window->flags().graphReady); // checks run (their grabs fail, requests stay)
        QVERIFY(window->mailTimer().isActive());
        QCOMPARE(LogLinesWith(*window, "映像入力デバイスがありません"), 1);
        // Every setting stays reachable, and the check button checks.
        for (int id : {ids::kMailSettings, ids::kAppSettings, ids::kTimeTextSettings})
            QVERIFY(window->action(id)->isEnabled());
        window->button(ids::kMailCheckButton)->click();
        QTRY_VERIFY(window->logView()->toPlainText().contains("POP3サーバーが設定されていません"));

        ReturnFakeCamera(kCamera);
        QTRY_VERIFY_WITH_TIMEOUT(window->graph().graphReady(), 10000);
        QVERIFY(window->preview()->notice().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(window->preview()->shownFrames() > 0, 10000);
        QCOMPARE(window->settings().device.cameras[0].address, std::string(kCamera));
    }

    void anUnpluggedCameraIsLoggedOnceAndTakenUpAgainWhenItReturns() {
        TempDir home;
        auto window = StartWindow(home);
        QVERIFY(window->Initialise());
        QTRY_VERIFY_WITH_TIMEOUT(window->preview()->shownFrames() > 0, 10000);

        VanishFakeCamera(kCamera);
        QTRY_VERIFY_WITH_TIMEOUT(!window->graph().graphReady(), 10000);
        QVERIFY(!window->preview()->notice().isEmpty());
        QVERIFY(window->preview()->image().isNull()); // no old frame stays on screen
        QTest::qWait(500);                            // several looks for it meanwhile
        QCOMPARE(LogLinesWith(*window, "使えなくなりました"), 1);
        QVERIFY(window->flags().graphReady); // checks go on

        ReturnFakeCamera(kCamera);
        QTRY_VERIFY_WITH_TIMEOUT(LogLinesWith(*window, "撮影を再開しました") == 1, 10000);
        QVERIFY(window->graph().graphReady());
        QVERIFY(window->preview()->notice().isEmpty());
        QCOMPARE(LogLinesWith(*window, "使えなくなりました"), 1);
        QVERIFY(m_messages.isEmpty());
    }

private:
    QStringList m_messages;
};

QTEST_MAIN(CameraComingAndGoingTest)
#include "CameraComingAndGoingTest.moc"
