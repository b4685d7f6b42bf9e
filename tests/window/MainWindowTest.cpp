// The main window driven offscreen with the test pattern as camera and a temporary program
// folder: start-up order, menu commands, tray menu, minimise/restore, close box, saving.

#include "app/settings/SettingsStore.h"
#include "window/CommandIds.h"
#include "window/IconButton.h"
#include "window/KestrovaMailApp.h"
#include "window/MainWindow.h"
#include "window/PreviewGrid.h"
#include "window/PreviewWidget.h"
#include "window/TrayIcon.h"
#include "dialogs/MessageBoxes.h"
#include "mail/text/TextCodec.h"
#include "tests/support/TempDir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QPointer>
#include <QRegularExpression>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Answers every modal dialog that opens while it lives, once each: records its class name and
// then runs the handler (default: reject). A dialog that is still modal after its answer (the
// answer may be queued, or the dialog may be about to close) is not answered again.
class ModalAnswerer {
public:
    using Handler = std::function<void(QWidget* dialog)>;
    explicit ModalAnswerer(Handler handler = {}) : m_handler(std::move(handler)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(20);
    }
    QStringList seen;

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || std::find(m_answered.begin(), m_answered.end(), modal) != m_answered.end())
            return;
        m_answered.emplace_back(modal);
        seen << QString::fromLatin1(modal->metaObject()->className());
        if (m_handler)
            m_handler(modal);
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    }
    Handler m_handler;
    QTimer m_timer;
    std::vector<QPointer<QWidget>> m_answered; // a destroyed dialog's entry turns null
};

void WriteDeviceIni(const TempDir& home, const std::string& select) {
    TempDir::WriteFile(
        home.path() / "device.ini",
        text::Utf8ToSjis("[DEVICE]\r\nSELECT=" + select + "\r\nWIDTH=320\r\nHEIGHT=240\r\n"));
}

std::unique_ptr<MainWindow> MakeWindow(const TempDir& home) {
    MainWindow::Options options;
    options.folder = home.folder();
    options.teardownPauseMs = 0;
    return std::make_unique<MainWindow>(options);
}

bool WaitForFrames(const CCaptureGraph& graph, uint64_t more, int timeoutMs = 5000) {
    const uint64_t start = graph.FrameCount();
    return QTest::qWaitFor([&] { return graph.FrameCount() >= start + more; }, timeoutMs);
}

// A camera for the previews: a 640 x 480 picture fitted into the box asked for, a new frame
// each time it is counted.
PreviewSource FakeCamera() {
    auto frames = std::make_shared<uint64_t>(0);
    return {[](int w, int h) {
                QImage frame(640, 480, QImage::Format_RGB32);
                frame.fill(Qt::darkGreen);
                return frame.scaled(w, h, Qt::KeepAspectRatio);
            },
            [frames] { return ++*frames; }};
}

bool WaitForBuffers(const CCaptureGraph& graph, uint64_t more, int timeoutMs = 5000) {
    const uint64_t start = graph.BuffersArrived();
    return QTest::qWaitFor([&] { return graph.BuffersArrived() >= start + more; }, timeoutMs);
}

} // namespace

// Stands in for the desktop's browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_messages.clear();
        SetMessageBoxHook([this](QWidget*, const QString& text, MessageKind) {
            m_messages << text;
            return true;
        });
    }
    void cleanup() { SetMessageBoxHook({}); }

    void firstRunOpensDeviceMailAndApplicationDialogsInOrder() {
        TempDir home;
        auto window = MakeWindow(home);
        ModalAnswerer answerer([](QWidget* modal) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->accept();
        });
        QVERIFY(window->Initialise());
        // Two cameras (the test pattern sends raw frames or JPEG pictures): which one first.
        QCOMPARE(answerer.seen, (QStringList{"CDeviceSelectDialog", "CDeviceSettingsDialog",
                                             "CMailSetupDialog", "AppConfigDialog"}));
        QCOMPARE(window->settings().device.cameras[0].address, std::string("テストパターン"));
        QVERIFY(window->flags().graphReady);
        // Settings are saved at the end of the start-up.
        QVERIFY(std::filesystem::exists(home.path() / "setup.ini"));
        QVERIFY(std::filesystem::exists(home.path() / "device.ini"));
    }

    void startWritesTheStartLineAndShowsTheLiveTestPattern() {
        TempDir home;
        WriteDeviceIni(home, "テストパターン");
        auto window = MakeWindow(home);
        window->show();
        ModalAnswerer answerer;
        QVERIFY(window->Initialise());
        QVERIFY(answerer.seen.isEmpty()); // a known device: no dialogs
        QVERIFY(window->logView()->toPlainText().contains("KestrovaMailを開始しました。"));
        QVERIFY(!window->log().text().empty());
        QVERIFY(window->mailTimer().isActive());
        QCOMPARE(window->mailTimer().interval(), ids::kMailCheckIntervalMs);
        // The 14-byte name is cut after 12 bytes.
        QCOMPARE(window->windowTitle(), QString("Kestrova Mail - テストパター... (320x240)"));
        QVERIFY(QTest::qWaitFor([&] { return window->preview()->shownFrames() > 2; }, 5000));
        QVERIFY(m_messages.isEmpty());
    }

    void menuBarHasEveryItemWithItsCommandId() {
        TempDir home;
        auto window = MakeWindow(home);
        const std::pair<int, const char*> items[] = {
            {ids::kSnapshot, "スナップショット(&P)"},
            {ids::kExit, "終了(&X)"},
            {ids::kAppSettings, "アプリケーション設定(&A)"},
            {ids::kMailSettings, "メール設定(&M)"},
            {ids::kTimeTextSettings, "日時表示設定(&T)"},
            {ids::kChangeDevice, "変更(&C)"},
            {ids::kDeviceSettings, "設定(&S)"},
            {ids::kDeviceProperties, "プロパティ(&P)"},
            {ids::kHomePage, "ｾﾞﾝﾄﾘﾎﾞのﾎｰﾑﾍﾟｰｼﾞ(&H)"},
            {ids::kAbout, "バージョン情報(&A)"},
        };
        for (const auto& [id, label] : items) {
            QAction* action = window->action(id);
            QVERIFY2(action, label);
            QCOMPARE(action->text(), QString::fromUtf8(label));
            QCOMPARE(action->data().toInt(), id);
        }
        for (int id :
             {ids::kSnapshotButton, ids::kChangeDeviceButton, ids::kMailSetupButton,
              ids::kMailCheckButton, ids::kDeviceSetupButton, ids::kDevicePropertiesButton})
            QVERIFY(window->button(id) != nullptr);
        QCOMPARE(window->button(ids::kChangeDeviceButton)->toolTip(), QString("入力機器変更"));
        QCOMPARE(window->button(ids::kDevicePropertiesButton)->toolTip(),
                 QString("入力プロパティ"));
    }

    void menuCommandsReachTheirActions() {
        TempDir home;
        WriteDeviceIni(home, "テストパターン");
        auto window = MakeWindow(home);
        window->show();
        QVERIFY(window->Initialise());

        // Each dialog command opens its dialog; the mail and date/time dialogs raise uiBusy
        // while they are open, the application dialog does not.
        const struct {
            int id;
            const char* dialog;
            bool busy;
        } dialogs[] = {
            {ids::kAppSettings, "AppConfigDialog", false},
            {ids::kMailSettings, "CMailSetupDialog", true},
            {ids::kMailSetupButton, "CMailSetupDialog", true},
            {ids::kTimeTextSettings, "CTimeTextSetupDialog", true},
            {ids::kDeviceSettings, "CDeviceSettingsDialog", true},
            {ids::kDeviceSetupButton, "CDeviceSettingsDialog", true},
            {ids::kDeviceProperties, "CDeviceSettingsDialog", false},
            {ids::kDevicePropertiesButton, "CDeviceSettingsDialog", false},
            {ids::kCameras, "CamerasDialog", true},
            {ids::kAbout, "AboutDialog", false},
        };
        for (const auto& c : dialogs) {
            bool busySeen = false;
            ModalAnswerer answerer([&](QWidget* modal) {
                busySeen = window->flags().uiBusy;
                qobject_cast<QDialog*>(modal)->reject();
            });
            if (c.id == ids::kAbout || c.id == ids::kAppSettings || c.id == ids::kMailSettings ||
                c.id == ids::kTimeTextSettings || c.id == ids::kDeviceSettings ||
                c.id == ids::kDeviceProperties || c.id == ids::kCameras)
                window->action(c.id)->trigger();
            else
                window->button(c.id)->click();
            QCOMPARE(answerer.seen, QStringList{c.dialog});
            QCOMPARE(busySeen, c.busy);
            QVERIFY(!window->flags().uiBusy);
        }
        QVERIFY(window->isVisible()); // shown again after the About box

        // Changing the device with one device attached rebuilds without asking.
        {
            window->graph().SetDeviceLister(
                [] { return std::vector<CaptureDevice>{MakeTestPatternDevice()}; });
            ModalAnswerer answerer;
            window->action(ids::kChangeDevice)->trigger();
            QVERIFY(answerer.seen.isEmpty());
            QVERIFY(window->flags().graphReady);
            window->graph().SetDeviceLister({});
        }

        // The snapshot goes through the snapshot dialog with a 14-digit stem.
        std::string stem;
        bool busyDuringDialog = false;
        window->SetSnapshotDialogRunner([&](const Snapshot& s) {
            stem = s.stem;
            busyDuringDialog = window->flags().uiBusy;
            return std::string();
        });
        window->action(ids::kSnapshot)->trigger();
        QCOMPARE(int(stem.size()), 14);
        QVERIFY(busyDuringDialog);
        QVERIFY(!window->flags().uiBusy);
        QVERIFY(!std::filesystem::exists(home.path() / "snap.tmp"));

        // The home page opens in the browser.
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        window->action(ids::kHomePage)->trigger();
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.opened.size(), 1);

        // The mail check button without a POP3 server says what is missing in the log.
        // The check runs on the mail worker; its line arrives through the event loop.
        window->button(ids::kMailCheckButton)->click();
        QTRY_VERIFY(window->logView()->toPlainText().count('\n') >= 2);

        // "終了(&X)" closes the window.
        window->action(ids::kExit)->trigger();
        QVERIFY(!window->isVisible());
    }

    void snapshotSavedThroughTheSnapshotDialogLeavesOnlyTheSavedPicture() {
        TempDir home;
        home.UseAsProgramFolder();
        WriteDeviceIni(home, "テストパターン");
        auto window = MakeWindow(home);
        window->show();
        QVERIFY(window->Initialise());
        TempDir target;
        const QString savePath = QString::fromStdString((target.path() / "mine.jpg").string());
        ModalAnswerer answerer([&](QWidget* modal) {
            if (auto* chooser = qobject_cast<QFileDialog*>(modal)) {
                // selectFile leaves the name field alone while it has the focus, and whether
                // it has it yet is a race: type the path into the field instead.
                chooser->findChild<QLineEdit*>("fileNameEdit")->setText(savePath);
                QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
            } else if (auto* save = modal->findChild<QPushButton*>("id1")) {
                QMetaObject::invokeMethod(save, &QPushButton::click, Qt::QueuedConnection);
            }
        });
        window->button(ids::kSnapshotButton)->click();
        QCOMPARE(answerer.seen, (QStringList{"CSnapShotDialog", "QFileDialog"}));
        const std::string saved = TempDir::ReadFile(savePath.toStdString());
        QVERIFY(saved.size() > 100);
        QCOMPARE(saved.substr(0, 2), std::string("\xFF\xD8")); // a JPEG
        for (const auto& entry : std::filesystem::directory_iterator(home.path())) {
            const std::string name = entry.path().filename().string();
            QVERIFY2(name.ends_with(".ini") || name == "log.txt", name.c_str());
        }
        QVERIFY(!window->flags().uiBusy);
    }

    void trayMenuTextsFollowTheWindow() {
        TempDir home;
        WriteDeviceIni(home, "テストパターン");
        auto window = MakeWindow(home);
        window->show();
        QVERIFY(window->Initialise());
        QMenu* menu = window->tray()->PrepareMenu();
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << (a->isSeparator() ? QString("-") : a->text());
        QCOMPARE(texts, (QStringList{"非表示(&S)", "-", "スナップショット(&P)", "-", "終了(&X)"}));
        QCOMPARE(window->tray()->icon()->toolTip(), QString("KestrovaMail"));

        window->ToggleWindow();
        QVERIFY(QTest::qWaitFor([&] { return window->isHidden(); }, 2000));
        QCOMPARE(window->tray()->PrepareMenu()->actions().first()->text(), QString("表示(&S)"));
    }

    void minimisingStopsDecodingForThePreviewAndRestoringResumesIt() {
        TempDir home;
        WriteDeviceIni(home, "テストパターン");
        auto window = MakeWindow(home);
        window->show();
        QVERIFY(window->Initialise());
        QVERIFY(WaitForFrames(window->graph(), 3));

        window->showMinimized();
        QVERIFY(QTest::qWaitFor([&] { return window->isHidden(); }, 2000));
        QVERIFY(WaitForBuffers(window->graph(), 3)); // a frame in flight has landed
        const uint64_t stopped = window->graph().FrameCount();
        QVERIFY(WaitForBuffers(window->graph(), 10)); // the camera streams on
        QCOMPARE(window->graph().FrameCount(), stopped);

        window->ToggleWindow(); // the tray's left click restores it
        QVERIFY(QTest::qWaitFor([&] { return window->isVisible(); }, 2000));
        QVERIFY(WaitForFrames(window->graph(), 3));
    }

    void closeBoxMinimisesWithCloseCancelButExitAlwaysEnds() {
        TempDir home;
        WriteDeviceIni(home, "テストパターン");
        auto window = MakeWindow(home);
        window->show();
        QVERIFY(window->Initialise());
        window->settings().app.closeCancel = true;
        window->close();
        QVERIFY(QTest::qWaitFor([&] { return window->isHidden(); }, 2000));
        QVERIFY(window->isMinimized());

        window->showNormal();
        window->RunCommand(ids::kTrayExit);
        QVERIFY(!window->isVisible());
        QVERIFY(!window->isMinimized());
    }

    void escapeAndEnterCloseNothing() {
        TempDir home;
        WriteDeviceIni(home, "テストパターン");
        auto window = MakeWindow(home);
        window->show();
        QVERIFY(window->Initialise());
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QTest::keyClick(window.get(), Qt::Key_Return);
        QVERIFY(window->isVisible());
    }

    void dialogChangesReachSetupIniAtExit() {
        TempDir home;
        WriteDeviceIni(home, "テストパターン");
        {
            auto window = MakeWindow(home);
            window->show();
            QVERIFY(window->Initialise());
            ModalAnswerer answerer([](QWidget* modal) {
                modal->findChild<QCheckBox*>("id1024")->setChecked(true); // log to a file
                modal->findChild<QCheckBox*>("id1025")->setChecked(true); // close box hides
                qobject_cast<QDialog*>(modal)->accept();
            });
            window->action(ids::kAppSettings)->trigger();
            QCOMPARE(answerer.seen, QStringList{"AppConfigDialog"});
            // Not saved yet: the application dialog changes memory only.
            Settings onDisk;
            LoadSettings(onDisk, home.folder(), m_sink);
            QVERIFY(!onDisk.app.logFile);
        }
        Settings onDisk;
        LoadSettings(onDisk, home.folder(), m_sink);
        QVERIFY(onDisk.app.logFile);
        QVERIFY(onDisk.app.closeCancel);
    }

    void windowGrowsAndThePreviewsWithIt_data() {
        QTest::addColumn<int>("cameras");
        QTest::newRow("one camera") << 1;
        QTest::newRow("two cameras") << 2;
        QTest::newRow("five cameras") << 5;
    }
    void windowGrowsAndThePreviewsWithIt() {
        QFETCH(int, cameras);
        TempDir home;
        auto window = MakeWindow(home);
        std::vector<PreviewGrid::Camera> list;
        for (int i = 0; i < cameras; ++i)
            list.push_back({QString("camera %1").arg(i + 1), FakeCamera()});
        window->previewGrid()->SetCameras(std::move(list));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QSize first = window->size();
        // The first size is the smallest, and it is what the window always had below its menu.
        QVERIFY(window->centralWidget()->width() >= MainWindow::kMinimumWidth);
        QVERIFY(window->centralWidget()->height() >= MainWindow::kMinimumHeight);
        if (cameras == 1) {
            QVERIFY(window->preview()->width() >= CPreviewWidget::kWidth);
            QVERIFY(window->preview()->height() >= CPreviewWidget::kHeight);
        }
        const QSize button = window->button(ids::kSnapshotButton)->size();
        std::vector<QSize> before;
        for (int i = 0; i < cameras; ++i)
            before.push_back(window->previewGrid()->preview(i)->image().size());

        window->resize(first * 2);
        QTRY_COMPARE(window->size(), first * 2);
        for (int i = 0; i < cameras; ++i) {
            const QSize after = window->previewGrid()->preview(i)->image().size();
            QVERIFY(after.width() > before[size_t(i)].width() * 3 / 2);
            QVERIFY(after.height() > before[size_t(i)].height() * 3 / 2);
            QVERIFY(std::abs(after.width() * 3 - after.height() * 4) <= 4); // aspect kept
            QCOMPARE(window->previewGrid()->nameLabel(i)->text(), QString("camera %1").arg(i + 1));
        }
        QCOMPARE(window->button(ids::kSnapshotButton)->size(), button);

        window->resize(first / 2);
        QTRY_COMPARE(window->size(), first); // never smaller than at first
    }

    void logWrapsLongLinesWithoutSidewaysScrolling() {
        TempDir home;
        auto window = MakeWindow(home);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->log().AddLog("KestrovaMail has started; it checks the mailbox once a minute and "
                             "answers every request whose subject is the check string.");
        std::string japanese;
        for (int i = 0; i < 8; ++i)
            japanese += "空白のない日本語の行";
        window->log().AddLog(japanese);
        window->log().AddLog("https://example.com/" + std::string(120, 'x')); // no break at all
        QPlainTextEdit* view = window->logView();
        QTRY_VERIFY(view->document()->blockCount() >= 3);
        QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(!view->horizontalScrollBar()->isVisible());
        QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
        for (QTextBlock block = view->document()->firstBlock(); block.isValid();
             block = block.next()) {
            if (block.text().size() > 50)
                QVERIFY2(block.layout()->lineCount() > 1, qPrintable(block.text()));
        }
    }

    void statusLineTellsTheNextCheckAndTheLastReply() {
        TempDir home;
        WriteDeviceIni(home, "テストパターン");
        auto window = MakeWindow(home);
        window->show();
        QVERIFY(window->Initialise());
        // POP3: the check timer's next tick.
        QVERIFY(QRegularExpression("^次のチェック: \\d\\d:\\d\\d$")
                    .match(window->nextCheckLabel()->text()).hasMatch());
        const QSize size = window->size();
        const struct {
            QDateTime when;
            QString reply;
            QString shown;
        } cases[] = {
            {QDateTime(QDate(2026, 12, 8), QTime(9, 5)), "09:04 alice@example.com",
             "次のチェック: 09:05 最後の返信: 09:04 alice@example.com"},
            {QDateTime(), "", "次のチェック: 新着時 最後の返信: なし"},
            // What the mail side passes on from a mail stays one line.
            {QDateTime(), "bob\r\nBcc: eve\t!", "次のチェック: 新着時 最後の返信: bob Bcc: eve !"},
            {QDateTime(), QString(400, u'x'), "次のチェック: 新着時 最後の返信: " + QString(400, u'x')},
        };
        for (const auto& c : cases) {
            window->SetNextCheck(c.when);
            window->SetLastReply(c.reply);
            QCOMPARE(window->nextCheckLabel()->text() + " " + window->lastReplyLabel()->text(),
                     c.shown);
        }
        QTest::qWait(50);
        QCOMPARE(window->size(), size); // a long reply does not widen the window
    }

    void snapshotAsksWhichCameraOnlyWhenThereAreSeveral() {
        TempDir home;
        WriteDeviceIni(home, "テストパターン");
        auto window = MakeWindow(home);
        window->show();
        QVERIFY(window->Initialise());
        int grabs = 0;
        window->SetSnapshotDialogRunner([&](const Snapshot&) { return ++grabs, std::string(); });
        CameraSettings garden, door;
        garden.name = "庭";
        door.name = "玄関";
        const struct {
            std::vector<CameraSettings> cameras;
            int choose; // -1: cancel
            QStringList offered; // empty: not asked
            int grabs;
        } cases[] = {
            {{}, 0, {}, 1},
            {{garden}, 0, {}, 1},
            {{garden, door}, 1, {"庭", "玄関"}, 1},
            {{garden, door}, -1, {"庭", "玄関"}, 0},
        };
        for (const auto& c : cases) {
            window->settings().device.cameras = c.cameras;
            grabs = 0;
            QStringList offered;
            ModalAnswerer answerer([&](QWidget* modal) {
                auto* list = modal->findChild<QComboBox*>();
                for (int i = 0; i < list->count(); ++i)
                    offered << list->itemText(i);
                list->setCurrentIndex(std::max(c.choose, 0));
                c.choose < 0 ? qobject_cast<QDialog*>(modal)->reject()
                             : qobject_cast<QDialog*>(modal)->accept();
            });
            window->action(ids::kSnapshot)->trigger();
            QCOMPARE(offered, c.offered);
            QCOMPARE(grabs, c.grabs);
            if (c.grabs)
                QCOMPARE(window->snapshotCamera(), c.choose);
        }
    }

    void startupArgumentWaitsOutTheDelayOncePerExactArgument() {
        TempDir home;
        TempDir::WriteFile(home.path() / "setup.ini",
                           "[APPLICATION]\r\nSTARTUP_TIMER=1\r\nSTARTUP_DIALOG=off\r\n");
        const struct {
            QStringList arguments;
            int minimumMs;
            int maximumMs;
        } cases[] = {
            {{}, 0, 900},
            {{"Startup", "STARTUP"}, 0, 900}, // letter case differs: no delay
            {{"startup"}, 950, 5000},
            {{"startup", "startup"}, 1950, 8000}, // given twice, waited twice
        };
        for (const auto& c : cases) {
            CKestrovaMailApp app(c.arguments, home.folder());
            QElapsedTimer timer;
            timer.start();
            QVERIFY(app.WaitForStartup());
            QVERIFY2(timer.elapsed() >= c.minimumMs && timer.elapsed() <= c.maximumMs,
                     qPrintable(c.arguments.join(' ')));
        }
    }

    void startupCountdownCancelledEndsBeforeAnyWindow() {
        TempDir home;
        TempDir::WriteFile(home.path() / "setup.ini",
                           "[APPLICATION]\r\nSTARTUP_TIMER=30\r\nSTARTUP_DIALOG=on\r\n");
        ModalAnswerer answerer;
        CKestrovaMailApp app({"startup"}, home.folder());
        QVERIFY(!app.WaitForStartup());
        QCOMPARE(answerer.seen, QStringList{"CTimerDialog"});

        // No delay configured: no countdown whatever STARTUP_DIALOG says.
        TempDir::WriteFile(home.path() / "setup.ini",
                           "[APPLICATION]\r\nSTARTUP_TIMER=0\r\nSTARTUP_DIALOG=on\r\n");
        ModalAnswerer none;
        QVERIFY(CKestrovaMailApp({"startup"}, home.folder()).WaitForStartup());
        QVERIFY(none.seen.isEmpty());
    }

private:
    struct NullSink : IMessageSink {
        void ShowMessage(const std::string&) override {}
    } m_sink;
    QStringList m_messages;
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
