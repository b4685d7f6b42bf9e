// The device select and device settings dialogs, and the live preview, offscreen.
#include "window/PreviewWidget.h"
#include "capture/CaptureGraph.h"
#include "capture/CaptureUi.h"
#include "dialogs/DeviceSelectDialog.h"
#include "dialogs/DeviceSettingsDialog.h"
#include "dialogs/DialogSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <thread>

namespace {

// Runs action on the dialog once it is shown by exec().
void WhenShown(std::function<void(QDialog*)> action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

QComboBox* DeviceList(QDialog* dialog) {
    return dialog->findChild<QComboBox*>(ControlName(CDeviceSelectDialog::kIdDeviceList));
}

void PressOk(QDialog* dialog) {
    auto* ok = dialog->findChild<QPushButton*>(ControlName(kIdOk));
    QVERIFY(ok);
    ok->click();
}

// Device controls kept in memory.
class MemoryControls final : public IDeviceControls {
public:
    std::vector<DeviceControl> controls;
    std::vector<std::pair<uint32_t, int32_t>> writes;

    std::vector<DeviceControl> Controls() override { return controls; }
    bool SetValue(uint32_t id, int32_t value) override {
        writes.emplace_back(id, value);
        for (DeviceControl& c : controls)
            if (c.id == id)
                c.value = value;
        return true;
    }
};

// Counts the queued calls delivered to an object.
class MetaCallCounter final : public QObject {
public:
    int calls = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall)
            ++calls;
        return false;
    }
};

class NullCaptureUi final : public ICaptureUi {
public:
    std::atomic<CPreviewWidget*> preview{nullptr};
    void ShowMessage(const std::string&) override {}
    std::optional<int> ChooseDevice(const std::vector<std::string>&, int) override { return {}; }
    bool ConfigureDevice(const DeviceSetup&, FrameSize&) override { return false; }
    void ShowProperties(const DeviceSetup&) override {}
    void SetTitle(const std::string&) override {}
    void FrameArrived() override {
        if (CPreviewWidget* widget = preview.load())
            widget->AnnounceFrame();
    }
};

} // namespace

class CaptureDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void selectKeepsInsertionOrder() {
        std::optional<int> result;
        WhenShown([](QDialog* dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("デバイス選択"));
            QComboBox* list = DeviceList(dialog);
            QVERIFY(list);
            QCOMPARE(list->count(), 3);
            QCOMPARE(list->itemText(0), QStringLiteral("B カメラ"));
            QCOMPARE(list->itemText(1), QStringLiteral("A カメラ"));
            QCOMPARE(list->itemText(2), QStringLiteral("C カメラ"));
            QCOMPARE(list->currentIndex(), 0);
            QVERIFY(dialog->findChild<QLabel*>()->text() ==
                    QStringLiteral("映像入力デバイスを選択してください。"));
            list->setCurrentIndex(2);
            PressOk(dialog);
        });
        result = CDeviceSelectDialog::Choose(nullptr, {"B カメラ", "A カメラ", "C カメラ"}, -1);
        QCOMPARE(result, std::optional<int>(2));
    }

    void selectInitialIndex() {
        struct Case {
            int initial;
            int shown; // current index on opening, and what OK returns
        } cases[] = {{-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, -1}, {7, -1}};
        for (const Case& c : cases) {
            int shown = -2;
            WhenShown([&shown](QDialog* dialog) {
                shown = DeviceList(dialog)->currentIndex();
                PressOk(dialog);
            });
            const std::optional<int> result =
                CDeviceSelectDialog::Choose(nullptr, {"A", "B", "C"}, c.initial);
            QCOMPARE(shown, c.shown);
            QCOMPARE(result, std::optional<int>(c.shown));
        }
    }

    void selectEscapeCancels() {
        CDeviceSelectDialog dialog;
        dialog.AddDeviceName("A");
        dialog.AddDeviceName("B");
        QCOMPARE(dialog.DeviceCount(), 2);
        dialog.SetInitialSelection(1);
        WhenShown([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(dialog.SelectedIndex(), -1); // unchanged by Cancel
        // Only an OK button: the close box and Escape cancel.
        QVERIFY(!dialog.findChild<QPushButton*>(ControlName(kIdCancel)));
    }

    void settingsNothingToSet() {
        DeviceSetup setup{"Cam", {}, nullptr};
        FrameSize size{352, 288};
        CDeviceSettingsDialog dialog(setup, &size);
        QVERIFY(!dialog.HasSettings());
        auto* label = dialog.findChild<QLabel*>(QStringLiteral("nothingToSet"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("設定できる項目はありません"));
        QCOMPARE(dialog.SelectedSize(), size); // OK keeps the request

        MemoryControls none;
        CDeviceSettingsDialog properties(DeviceSetup{"Cam", {{640, 480}}, &none}, nullptr);
        QVERIFY(!properties.HasSettings()); // sizes are not offered without a size to choose
        QVERIFY(properties.findChild<QLabel*>(QStringLiteral("nothingToSet")));
    }

    void settingsSizeAndControls() {
        MemoryControls controls;
        DeviceControl brightness;
        brightness.id = 7;
        brightness.label = "Brightness";
        brightness.minimum = 0;
        brightness.maximum = 255;
        brightness.value = 128;
        controls.controls = {brightness};
        DeviceSetup setup{"Cam", {{320, 240}, {352, 288}, {640, 480}}, &controls};
        FrameSize size{352, 288};

        WhenShown([](QDialog* dialog) {
            QVERIFY(!dialog->findChild<QLabel*>(QStringLiteral("nothingToSet")));
            auto* sizes = dialog->findChild<QComboBox*>(QStringLiteral("frameSize"));
            QVERIFY(sizes);
            QCOMPARE(sizes->currentIndex(), 1);
            sizes->setCurrentIndex(2);
            auto* spin = dialog->findChild<QSpinBox*>();
            QVERIFY(spin);
            spin->setValue(200); // applies at once
            PressOk(dialog);
        });
        QVERIFY(CDeviceSettingsDialog::Configure(nullptr, setup, size));
        QCOMPARE(size, (FrameSize{640, 480}));
        QCOMPARE(controls.controls[0].value, 200);

        // Cancel puts the control back and leaves the size alone.
        WhenShown([](QDialog* dialog) {
            dialog->findChild<QSpinBox*>()->setValue(10);
            dialog->reject();
        });
        QVERIFY(!CDeviceSettingsDialog::Configure(nullptr, setup, size));
        QCOMPARE(size, (FrameSize{640, 480}));
        QCOMPARE(controls.controls[0].value, 200);
    }

    void previewShowsTheLatestFrame() {
        CameraSettings settings;
        settings.width = 640;
        settings.height = 480;
        NullCaptureUi ui;
        CPreviewWidget preview;
        ui.preview = &preview;
        CCaptureGraph graph(settings, ui);
        graph.SetTeardownPause(std::chrono::milliseconds(0));
        CaptureDevice device = MakeTestPatternDevice();
        device.sourceChain.clear(); // BGR as it is: the green arrives exact
        device.sourceProperties.emplace_back("pattern", "green");
        graph.SetDeviceLister([device] { return std::vector<CaptureDevice>{device}; });
        preview.SetGraph(&graph);
        preview.show();
        graph.SetPreviewShown(true);
        QVERIFY(graph.BuildGraph(true, false));
        QTRY_VERIFY_WITH_TIMEOUT(preview.shownFrames() >= 3, 10000);
        QCOMPARE(preview.image().size(), QSize(320, 240));
        const QRgb pixel = preview.image().pixel(160, 120);
        QCOMPARE(qGreen(pixel), 255);
        QCOMPARE(qRed(pixel), 0);

        // Announcements pile up while the UI thread is busy: one refresh is queued for all.
        ui.preview = nullptr;
        QCoreApplication::processEvents();
        MetaCallCounter counter;
        preview.installEventFilter(&counter);
        std::thread announcer([&preview] {
            for (int i = 0; i < 100; ++i)
                preview.AnnounceFrame();
        });
        announcer.join();
        QCoreApplication::processEvents();
        QCOMPARE(counter.calls, 1);
        preview.AnnounceFrame(); // and the next one queues again
        QCoreApplication::processEvents();
        QCOMPARE(counter.calls, 2);
        graph.TearDownGraph();
    }
};

QTEST_MAIN(CaptureDialogsTest)
#include "CaptureDialogsTest.moc"
