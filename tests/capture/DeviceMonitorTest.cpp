// Devices found through GStreamer's device monitor: order, one entry per physical device, and
// a graph built on one of them.
#include "capture/CaptureDevices.h"
#include "capture/CaptureGraph.h"
#include "capture/DeviceWatch.h"
#include "tests/capture/FakeDeviceProvider.h"
#include "tests/capture/RecordingCaptureUi.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

constexpr const char* kSizes = "video/x-raw, width=(int)320, height=(int)240;"
                               " video/x-raw, width=(int)640, height=(int)480";

std::vector<std::string> Names(const std::vector<CaptureDevice>& devices) {
    std::vector<std::string> names;
    for (const CaptureDevice& device : devices)
        names.push_back(device.name);
    return names;
}

// Builds the graph on the monitored devices and copies its first frame.
std::vector<uint8_t> FirstFrame(CCaptureGraph& graph, BitmapInfoHeader& header) {
    graph.SetTeardownPause(std::chrono::milliseconds(0));
    EXPECT_TRUE(graph.BuildGraph(true, false));
    for (int i = 0; i < 1000 && graph.FrameCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(graph.ConnectedHeader(header));
    std::vector<uint8_t> pixels(header.sizeImage);
    pixels.resize(static_cast<std::size_t>(
        std::max(0, graph.CopyCurrentBuffer(pixels.data(), static_cast<int32_t>(pixels.size())))));
    return pixels;
}

} // namespace

TEST(DeviceMonitor, StableOrderOneEntryPerPhysicalDevice) {
    EnableTestPattern(false);
    InstallFakeCameras({
        {"Zeta Cam", "/dev/video0", "pci-0000:00:14.0-usb-0:1:1.0", "red", kSizes},
        {"Alpha Cam", "/dev/video4", "pci-0000:00:14.0-usb-0:2:1.0", "blue", kSizes},
        {"Zeta Cam", "/dev/video1", "pci-0000:00:14.0-usb-0:1:1.0", "green", kSizes},
        {"Capture Card", "/dev/video2", "pci-0000:03:00.0", "white", kSizes},
    });
    const std::vector<CaptureDevice> devices = ListCaptureDevices();
    // Sorted by device node, the second node of the first camera left out.
    EXPECT_EQ(Names(devices), (std::vector<std::string>{"Zeta Cam", "Capture Card", "Alpha Cam"}));
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].devicePath, "/dev/video0");
    EXPECT_EQ(FrameSizesOf(devices[0].caps.get()),
              (std::vector<FrameSize>{{320, 240}, {640, 480}}));
    EXPECT_EQ(Names(ListCaptureDevices()), Names(devices)); // the same again

    EnableTestPattern(true);
    const std::vector<std::string> withPatterns = Names(ListCaptureDevices());
    ASSERT_EQ(withPatterns.size(), devices.size() + 2);
    EXPECT_EQ(withPatterns[devices.size()], "テストパターン");
    EXPECT_EQ(withPatterns.back(), "テストパターン (JPEG)");
    EnableTestPattern(false);
}

TEST(DeviceMonitor, GraphRunsOnAMonitoredDevice) {
    EnableTestPattern(false);
    InstallFakeCameras({
        {"Red Cam", "/dev/video0", "usb-1", "red", kSizes},
        {"Blue Cam", "/dev/video2", "usb-2", "blue", kSizes},
    });
    CameraSettings settings;
    settings.address = "Blue Cam";
    settings.width = 640;
    settings.height = 480;
    RecordingCaptureUi ui;
    CCaptureGraph graph(settings, ui);
    BitmapInfoHeader header;
    const std::vector<uint8_t> pixels = FirstFrame(graph, header);
    EXPECT_EQ(graph.deviceNames(), (std::vector<std::string>{"Red Cam", "Blue Cam"}));
    EXPECT_TRUE(ui.choices.empty());
    EXPECT_EQ(header.width, 640);
    ASSERT_EQ(pixels.size(), header.sizeImage);
    EXPECT_EQ(pixels[0], 255); // blue
    EXPECT_EQ(pixels[2], 0);
    EXPECT_EQ(ui.titles.back(), "Kestrova Mail - Blue Cam (640x480)");
}

TEST(DeviceMonitor, JpegOnlyCameraIsDecoded) {
    EnableTestPattern(false);
    InstallFakeCameras({{"MJPEG Cam", "/dev/video0", "usb-1", "red",
                         "image/jpeg, width=(int)640, height=(int)480;"
                         " image/jpeg, width=(int)1280, height=(int)720"}});
    CameraSettings settings;
    settings.width = 1280;
    settings.height = 720;
    RecordingCaptureUi ui;
    CCaptureGraph graph(settings, ui);
    BitmapInfoHeader header;
    const std::vector<uint8_t> pixels = FirstFrame(graph, header);
    EXPECT_EQ(header.width, 1280);
    EXPECT_EQ(header.height, 720);
    ASSERT_GE(pixels.size(), 3u);
    EXPECT_LT(pixels[0], 30); // red, give or take the JPEG
    EXPECT_LT(pixels[1], 30);
    EXPECT_GT(pixels[2], 200);
}

TEST(DeviceMonitor, UnpluggedCameraLeavesTheListAndItsStreamFailsOnce) {
    EnableTestPattern(false);
    InstallFakeCameras({{"Red Cam", "/dev/video0", "usb-1", "red", kSizes},
                        {"Blue Cam", "/dev/video2", "usb-2", "blue", kSizes}});
    // A running watch keeps the provider started; the list follows its devices.
    CDeviceWatch watch([](CDeviceWatch::Change, const std::string&, const std::string&) {});
    ASSERT_TRUE(watch.watching());
    CameraSettings settings;
    settings.address = "Blue Cam";
    RecordingCaptureUi ui;
    CCaptureGraph graph(settings, ui);
    BitmapInfoHeader header;
    FirstFrame(graph, header);

    VanishFakeCamera("Blue Cam");
    for (int i = 0; i < 500 && ui.streamsLost == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ui.streamsLost, 1);
    EXPECT_EQ(CCaptureGraph::FindDevice(ListCaptureDevices(), "Blue Cam"), -1);
    EXPECT_EQ(CCaptureGraph::FindDevice(ListCaptureDevices(), "/dev/video0"), 0);

    ReturnFakeCamera("Blue Cam");
    EXPECT_EQ(CCaptureGraph::FindDevice(ListCaptureDevices(), "/dev/video2"), 1);
    EXPECT_EQ(ui.streamsLost, 1);
}
