// What a camera costs while nobody looks: process CPU time (user + system, getrusage) over wall
// time while the program waits with a camera at 1280 x 720 and 30 frames/s, for the raw test
// pattern ("テストパターン", YUY2) and the JPEG one ("テストパターン (JPEG)"). Four figures each,
// measured one after the other in this process:
//   bare     the same source and caps into a fakesink: what the camera itself costs (the peer);
//   headless the headless service, started without its check timer;
//   decoding the same service made to decode every frame, as it did before frames were
//            decoded on demand (for the record);
//   tray     the main window minimised into the tray;
//   shown    the main window shown, its preview live (for the record: frames are decoded).
// Goal: headless and tray within 1.1 x bare.
//
// Run: QT_QPA_PLATFORM=offscreen build/bench/standby/bench_standby [seconds per figure]

#include "app/runtime/HeadlessService.h"
#include "capture/CaptureDevices.h"
#include "capture/GstHandles.h"
#include "mail/text/TextCodec.h"
#include "tests/support/TempDir.h"
#include "window/MainWindow.h"

#include "bench/CpuShare.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr double kGoal = 1.1;

void RunEvents(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Percent of one core over `seconds` of the event loop.
double Share(double seconds) {
    return CpuShare(seconds, RunEvents);
}

// The device's source and its own elements, the size fixed, into a fakesink.
double BareShare(const CaptureDevice& device, double seconds) {
    std::string description = device.sourceFactory;
    for (const auto& [name, value] : device.sourceProperties)
        description += " " + name + "=" + value;
    description += " ! " + device.sourceChain + " ! " +
                   DeliveredMediaType(device.caps.get()) + ",width=" + std::to_string(kWidth) +
                   ",height=" + std::to_string(kHeight) + " ! fakesink";
    GstElementPtr pipeline = AdoptFloating(gst_parse_launch(description.c_str(), nullptr));
    if (!pipeline)
        return -1;
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const double share = Share(seconds);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return share;
}

void WriteDeviceIni(const TempDir& home, const std::string& name) {
    TempDir::WriteFile(home.path() / "device.ini",
                       text::Utf8ToSjis("[DEVICE]\r\nSELECT=" + name +
                                        "\r\nWIDTH=" + std::to_string(kWidth) +
                                        "\r\nHEIGHT=" + std::to_string(kHeight) + "\r\n"));
}

struct HeadlessShares {
    double waiting = -1;
    double decodingAll = -1;
};

HeadlessShares HeadlessShare(const std::string& name, double seconds) {
    TempDir home;
    WriteDeviceIni(home, name);
    CHeadlessService::Options options;
    options.folder = home.folder();
    options.device = name;
    options.echoToStandardError = false;
    options.teardownPauseMs = 0;
    CHeadlessService service(options);
    if (!service.Start(false) || !service.graph().graphReady())
        return {};
    HeadlessShares shares;
    shares.waiting = Share(seconds);
    service.graph().SetPreviewShown(true); // what nothing in the service does
    shares.decodingAll = Share(seconds);
    return shares;
}

struct WindowShares {
    double shown = -1;
    double tray = -1;
};

WindowShares WindowShare(const std::string& name, double seconds) {
    TempDir home;
    WriteDeviceIni(home, name);
    MainWindow::Options options;
    options.folder = home.folder();
    options.device = name;
    options.teardownPauseMs = 0;
    MainWindow window(options);
    if (!window.Initialise() || !window.graph().graphReady())
        return {};
    WindowShares shares;
    window.show();
    shares.shown = Share(seconds);
    window.showMinimized(); // into the tray
    shares.tray = Share(seconds);
    window.Exit();
    return shares;
}

void PrintRow(const char* what, double share, double bare) {
    std::printf("  %-10s %5.1f %% of one core   %5.2f x bare\n", what, share, share / bare);
}

} // namespace

int main(int argc, char* argv[]) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    EnableTestPattern(true);

    bool met = true;
    for (const CaptureDevice& device : {MakeTestPatternDevice(), MakeJpegTestPatternDevice()}) {
        const double bare = BareShare(device, seconds);
        const HeadlessShares headless = HeadlessShare(device.name, seconds);
        const WindowShares window = WindowShare(device.name, seconds);
        if (bare <= 0 || headless.waiting < 0 || window.tray < 0) {
            std::fprintf(stderr, "%s did not start\n", device.name.c_str());
            return 1;
        }
        std::printf("%s, %d x %d at 30 frames/s, %.0f s each\n", device.name.c_str(), kWidth,
                    kHeight, seconds);
        PrintRow("bare", bare, bare);
        PrintRow("headless", headless.waiting, bare);
        PrintRow("decoding", headless.decodingAll, bare);
        PrintRow("tray", window.tray, bare);
        PrintRow("shown", window.shown, bare);
        met = met && headless.waiting <= kGoal * bare && window.tray <= kGoal * bare;
    }
    std::printf("goal: headless and tray within %.1f x bare: %s\n", kGoal, met ? "met" : "NOT met");
    return met ? 0 : 2;
}
