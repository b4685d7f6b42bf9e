// The capture graph on real GStreamer sources: device choice, the frames it keeps, the title,
// a pipeline that never starts, and frames decoded only while someone wants them.
#include "capture/CaptureGraph.h"

#include "capture/FrameGrabber.h"
#include "tests/capture/RecordingCaptureUi.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A test pattern that hands over BGR as it is, so that colours arrive exact.
CaptureDevice Pattern(const std::string& name, const std::string& pattern = "smpte") {
    CaptureDevice device = MakeTestPatternDevice();
    device.sourceChain.clear();
    device.name = name;
    device.sortKey = name;
    device.sourceProperties.emplace_back("pattern", pattern);
    return device;
}

// A device on the given source element; appsrc never delivers a buffer, so the pipeline never
// prerolls.
CaptureDevice Stuck(const std::string& name, const std::string& factory = "appsrc") {
    CaptureDevice device;
    device.name = name;
    device.sourceFactory = factory;
    return device;
}

class CaptureGraphTest : public ::testing::Test {
protected:
    CaptureGraphTest() {
        m_graph.SetTeardownPause(0ms);
        m_graph.SetStateWait(2000ms);
        m_graph.SetPreviewShown(true); // frames decoded as for the visible preview
    }

    // Polls until done, at most 10 s.
    static bool WaitUntil(const std::function<bool()>& done) {
        for (auto end = std::chrono::steady_clock::now() + 10s;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(5ms))
            if (done())
                return true;
        return false;
    }
    // Waits until the device has handed over `more` buffers beyond the ones seen now.
    bool WaitForBuffers(uint64_t more) {
        const uint64_t target = m_graph.BuffersArrived() + more;
        return WaitUntil([&] { return m_graph.BuffersArrived() >= target; });
    }

    void UseDevices(std::vector<CaptureDevice> devices) {
        m_graph.SetDeviceLister([devices] { return devices; });
    }

    bool WaitForFrames(uint64_t count) {
        return WaitUntil([&] { return m_graph.FrameCount() >= count; });
    }

    // The latest frame, checked against its header.
    CaptureFrame LatestFrame() {
        CaptureFrame frame;
        EXPECT_TRUE(m_graph.ConnectedHeader(frame.header));
        frame.pixels.resize(static_cast<std::size_t>(m_graph.CurrentBufferSize()));
        frame.byteCount = m_graph.CopyCurrentBuffer(frame.pixels.data(),
                                                    static_cast<int32_t>(frame.pixels.size()));
        EXPECT_EQ(frame.byteCount, static_cast<int32_t>(frame.header.sizeImage));
        return frame;
    }

    // Pixel (x, y) in picture terms (y down from the top) of a bottom-up frame: B, G, R.
    static const uint8_t* Pixel(const CaptureFrame& frame, int x, int y) {
        const int row = frame.height() - 1 - y;
        return frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride() + 3 * x;
    }

    CameraSettings m_settings;
    RecordingCaptureUi m_ui;
    CCaptureGraph m_graph{m_settings, m_ui};
};

TEST_F(CaptureGraphTest, TestPatternDeliversBottomUpBgrFramesOfTheRequestedSize) {
    UseDevices({MakeTestPatternDevice()});
    m_settings.width = 640;
    m_settings.height = 480;
    ASSERT_TRUE(m_graph.BuildGraph(true, false));
    EXPECT_TRUE(m_graph.graphReady());
    EXPECT_TRUE(m_ui.choices.empty());
    EXPECT_EQ(m_settings.address, "テストパターン");
    ASSERT_TRUE(WaitForFrames(2));
    EXPECT_GT(m_ui.framesAnnounced.load(), 0);

    const CaptureFrame frame = LatestFrame();
    EXPECT_EQ(frame.header.width, 640);
    EXPECT_EQ(frame.header.height, 480);
    EXPECT_EQ(frame.header.bitCount, 24);
    EXPECT_EQ(frame.header.sizeImage, 640u * 3 * 480);
    // SMPTE bars: the top-left bar is grey-white, the bottom-left block is dark blue.
    const uint8_t* topLeft = Pixel(frame, 5, 5);
    EXPECT_GT(topLeft[0], 150);
    EXPECT_NEAR(topLeft[0], topLeft[2], 8);
    EXPECT_NEAR(topLeft[1], topLeft[2], 8);
    const uint8_t* bottomLeft = Pixel(frame, 5, 475);
    EXPECT_GT(bottomLeft[0], bottomLeft[2] + 30); // blue stands in the first byte

    // The preview image is top-down and fitted into the area.
    const QImage preview = m_graph.PreviewImage(320, 240);
    ASSERT_EQ(preview.size(), QSize(320, 240));
    EXPECT_EQ(qRed(preview.pixel(2, 2)), topLeft[2]);
    EXPECT_EQ(qBlue(preview.pixel(2, 237)), bottomLeft[0]);
}

TEST_F(CaptureGraphTest, RedStaysRedInTheThirdByteAndRowsArePadded) {
    CaptureDevice device = Pattern("Red camera", "red");
    device.caps.reset(); // any size
    UseDevices({device});
    m_settings.width = 123; // 369 bytes of pixels, 372 with the padding
    m_settings.height = 77;
    ASSERT_TRUE(m_graph.BuildGraph(true, false));
    ASSERT_TRUE(WaitForFrames(1));
    const CaptureFrame frame = LatestFrame();
    ASSERT_EQ(frame.width(), 123);
    ASSERT_EQ(frame.height(), 77);
    EXPECT_EQ(frame.header.sizeImage, 372u * 77);
    for (int y : {0, 38, 76}) {
        for (int x : {0, 61, 122}) {
            const uint8_t* p = Pixel(frame, x, y);
            EXPECT_EQ(p[0], 0);
            EXPECT_EQ(p[1], 0);
            EXPECT_EQ(p[2], 255);
        }
        const uint8_t* padding = Pixel(frame, 123, y);
        EXPECT_EQ(padding[0] | padding[1] | padding[2], 0);
    }
}

TEST_F(CaptureGraphTest, SizeTheDeviceDoesNotOfferFallsBackButStaysInTheTitle) {
    UseDevices({Pattern("Cam")});
    m_settings.width = 123;
    m_settings.height = 77;
    ASSERT_TRUE(m_graph.BuildGraph(true, false));
    ASSERT_TRUE(WaitForFrames(1));
    BitmapInfoHeader header;
    ASSERT_TRUE(m_graph.ConnectedHeader(header));
    EXPECT_EQ(header.width, 320); // the test pattern's own size
    EXPECT_EQ(header.height, 240);
    EXPECT_EQ(m_settings.width, 123);
    EXPECT_EQ(m_settings.height, 77);
    ASSERT_FALSE(m_ui.titles.empty());
    EXPECT_EQ(m_ui.titles.back(), "Kestrova Mail - Cam (123x77)");
}

TEST_F(CaptureGraphTest, ConfigureOffersSizesAndControlsAndStoresTheChosenSize) {
    UseDevices({Pattern("Cam")});
    m_ui.configureAnswer = FrameSize{160, 120};
    ASSERT_TRUE(m_graph.BuildGraph(false, true));
    ASSERT_EQ(m_ui.setups.size(), 1u);
    EXPECT_EQ(m_ui.setups[0].frameSizes.size(), 5u);
    ASSERT_EQ(m_ui.controlLists[0].size(), 1u);
    EXPECT_EQ(m_ui.controlLists[0][0].label, "パターン");
    EXPECT_EQ(m_settings.width, 160);
    EXPECT_EQ(m_settings.height, 120);
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(LatestFrame().width(), 160);
    EXPECT_EQ(m_ui.titles.back(), "Kestrova Mail - Cam (160x120)");
}

TEST_F(CaptureGraphTest, ConfigureCancelledReadsTheRealSizeBack) {
    UseDevices({Pattern("Cam")});
    m_settings.width = 123; // not offered: the device's own size is what it delivers
    m_settings.height = 77;
    ASSERT_TRUE(m_graph.BuildGraph(false, true));
    EXPECT_EQ(m_settings.width, 320);
    EXPECT_EQ(m_settings.height, 240);
}

TEST_F(CaptureGraphTest, PropertiesActOnTheRunningDevice) {
    UseDevices({Pattern("Cam")});
    ASSERT_TRUE(m_graph.BuildGraph(true, false));
    m_ui.onControls = [](IDeviceControls* controls) {
        ASSERT_NE(controls, nullptr);
        const DeviceControl pattern = controls->Controls().at(0);
        for (const auto& [value, label] : pattern.menuItems)
            if (label == "blue")
                controls->SetValue(pattern.id, value);
    };
    m_graph.ShowFilterProperties();
    ASSERT_EQ(m_ui.setups.size(), 1u);
    EXPECT_TRUE(m_ui.setups[0].frameSizes.empty()); // no size choice here
    const uint64_t seen = m_graph.FrameCount();
    ASSERT_TRUE(WaitForFrames(seen + 3));
    const CaptureFrame frame = LatestFrame();
    EXPECT_EQ(Pixel(frame, 10, 10)[0], 255);
    EXPECT_EQ(Pixel(frame, 10, 10)[2], 0);
}

// Both kinds of camera: raw frames that need converting, JPEG pictures that need decoding.
class IdleGraphTest : public CaptureGraphTest,
                      public ::testing::WithParamInterface<CaptureDevice (*)()> {
protected:
    void SetUp() override {
        m_graph.SetPreviewShown(false); // nobody looks, as in the headless service
        m_settings.width = 320;
        m_settings.height = 240;
    }
    // Decoded frames over the next buffers the camera hands over.
    uint64_t DecodedOver(uint64_t buffers) {
        const uint64_t before = m_graph.FrameCount();
        EXPECT_TRUE(WaitForBuffers(buffers));
        return m_graph.FrameCount() - before;
    }
};

TEST_P(IdleGraphTest, FramesAreDecodedOnlyWhileAGrabOrTheShownPreviewWantsThem) {
    UseDevices({GetParam()()});
    ASSERT_TRUE(m_graph.BuildGraph(true, false));
    ASSERT_TRUE(WaitForFrames(1)); // the first one tells the format
    DecodedOver(3); // frames in flight from the start
    EXPECT_EQ(DecodedOver(15), 0u) << "idle";

    CFrameGrabber grabber(m_graph);
    GrabRequest request;
    request.graphReady = true;
    const uint64_t beforeGrab = m_graph.FrameCount();
    const auto grabbed = grabber.GrabFreshFrame(request, CFrameGrabber::WaitPolicy::Reply);
    ASSERT_TRUE(grabbed);
    EXPECT_EQ(grabbed->frame.width(), 320);
    EXPECT_EQ(grabber.lastRebuildCount(), 0);
    EXPECT_GT(m_graph.FrameCount(), beforeGrab);
    DecodedOver(3); // a frame that passed before the grab ended
    EXPECT_EQ(DecodedOver(15), 0u) << "idle after the grab";

    m_graph.SetPreviewShown(true); // the window is shown again
    EXPECT_GE(DecodedOver(6), 4u) << "preview";
    m_graph.SetPreviewShown(false);
    DecodedOver(3);
    EXPECT_EQ(DecodedOver(15), 0u) << "hidden again";
    EXPECT_EQ(m_ui.streamsLost.load(), 0);
}

TEST_P(IdleGraphTest, ACameraThatStopsWhileNobodyLooksIsNoticed) {
    CaptureDevice device = GetParam()();
    device.sourceProperties.emplace_back("num-buffers", "20"); // then the end of its stream
    UseDevices({device});
    ASSERT_TRUE(m_graph.BuildGraph(true, false));
    ASSERT_TRUE(WaitUntil([&] { return m_ui.streamsLost.load() == 1; }));
    EXPECT_EQ(m_graph.BuffersArrived(), 20u);
    EXPECT_LE(m_graph.FrameCount(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Cameras, IdleGraphTest,
                         ::testing::Values(&MakeTestPatternDevice, &MakeJpegTestPatternDevice),
                         [](const ::testing::TestParamInfo<CaptureDevice (*)()>& info) {
                             return info.index == 0 ? "Raw" : "Jpeg";
                         });

TEST_F(CaptureGraphTest, RunGraphIsBoundedOnAPipelineThatCannotStart) {
    UseDevices({Stuck("Stuck")});
    m_graph.SetStateWait(200ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(m_graph.BuildGraph(true, false)); // a device was chosen: true regardless
    EXPECT_FALSE(m_graph.RunGraph());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(m_graph.graphReady());
    BitmapInfoHeader header;
    EXPECT_FALSE(m_graph.ConnectedHeader(header));
    uint8_t buffer[16];
    EXPECT_EQ(m_graph.CopyCurrentBuffer(buffer, sizeof buffer), 0);
    EXPECT_EQ(m_graph.CurrentBufferSize(), 0);
    m_graph.TearDownGraph();
    EXPECT_FALSE(m_graph.graphReady());
}

TEST_F(CaptureGraphTest, MissingSourceElementIsNotACrash) {
    UseDevices({Stuck("Gone", "no-such-source-element")});
    EXPECT_TRUE(m_graph.BuildGraph(true, false));
    EXPECT_FALSE(m_graph.RunGraph());
    EXPECT_TRUE(m_graph.PreviewImage(320, 240).isNull());
}

TEST_F(CaptureGraphTest, NoDeviceShowsTheMessageAndFails) {
    UseDevices({});
    EXPECT_FALSE(m_graph.BuildGraph(true, false));
    EXPECT_EQ(m_ui.messages, std::vector<std::string>{"映像入力デバイスが見つかりませんでした"});
    EXPECT_FALSE(m_graph.graphReady());
    EXPECT_TRUE(m_ui.titles.empty());
}

// Device choice: which device is bound and when the dialog is asked.
struct ChoiceCase {
    const char* what;
    std::vector<std::string> names;
    std::string select;
    bool useFirst, configure;
    std::vector<std::optional<int>> answers;
    bool result;
    int dialogs;        // times the dialog was shown
    int preselected;    // preselection of the first dialog
    std::string chosen; // SELECT afterwards
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.what;
}

class DeviceChoiceTest : public CaptureGraphTest,
                         public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(DeviceChoiceTest, ChoosesAsTheRulesSay) {
    const ChoiceCase& c = GetParam();
    std::vector<CaptureDevice> devices;
    for (const std::string& name : c.names)
        devices.push_back(Pattern(name));
    UseDevices(devices);
    m_settings.address = c.select;
    m_ui.choiceAnswers.assign(c.answers.begin(), c.answers.end());
    m_ui.configureAnswer.reset();

    EXPECT_EQ(m_graph.BuildGraph(c.useFirst, c.configure), c.result) << c.what;
    EXPECT_EQ(m_graph.deviceNames(), c.names) << c.what;
    ASSERT_EQ(static_cast<int>(m_ui.choices.size()), c.dialogs) << c.what;
    if (c.dialogs > 0) {
        EXPECT_EQ(m_ui.choices[0].names, c.names);
        EXPECT_EQ(m_ui.choices[0].preselected, c.preselected) << c.what;
    }
    EXPECT_EQ(m_settings.address, c.chosen) << c.what;
    EXPECT_EQ(m_graph.graphReady(), c.result) << c.what;
}

// what, names, SELECT, useFirst, configure, dialog answers, result, dialogs, preselected, chosen
const ChoiceCase kChoiceCases[] = {
    {"one device, first run", {"A"}, "", false, true, {}, true, 0, 0, "A"},
    {"one device, change button", {"A"}, "A", false, false, {}, true, 0, 0, "A"},
    {"saved device detached at start-up", {"A", "B"}, "X", true, false, {}, true, 0, 0, "A"},
    {"saved device attached at start-up", {"A", "B"}, "B", true, false, {}, true, 0, 0, "B"},
    {"change button preselects current", {"A", "B"}, "B", false, false, {0}, true, 1, 1, "A"},
    {"settings button keeps current", {"A", "B"}, "B", false, true, {}, true, 0, 0, "B"},
    {"first run with two devices", {"A", "B"}, "", false, true, {1}, true, 1, 0, "B"},
    {"cancel", {"A", "B"}, "A", false, false, {std::nullopt}, false, 1, 0, "A"},
    {"OK without selection asks again", {"A", "B"}, "", false, false, {-1, 1}, true, 2, 0, "B"},
    // same name twice: the later one
    {"same name", {"Cam", "Cam", "Z"}, "Cam", false, false, {std::nullopt}, false, 1, 1, "Cam"},
};

INSTANTIATE_TEST_SUITE_P(Rules, DeviceChoiceTest, ::testing::ValuesIn(kChoiceCases),
                         [](const ::testing::TestParamInfo<ChoiceCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

TEST_F(CaptureGraphTest, SameNameTwiceBindsTheLaterDevice) {
    UseDevices({Pattern("Cam", "red"), Pattern("Cam", "blue")});
    m_settings.address = "Cam";
    m_settings.width = 160;
    m_settings.height = 120;
    ASSERT_TRUE(m_graph.BuildGraph(true, false));
    ASSERT_TRUE(WaitForFrames(1));
    const CaptureFrame frame = LatestFrame();
    EXPECT_EQ(Pixel(frame, 0, 0)[0], 255); // blue
}

TEST(WindowTitle, NameCutAfterTwelveCodePageBytes) {
    struct Case {
        const char* name;
        const char* shown;
    } cases[] = {
        {"ABCDEFGHIJKL", "ABCDEFGHIJKL"},            // 12 bytes: whole
        {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKL..."}, // 20 bytes: cut
        {"ABCDEFGHIJあ", "ABCDEFGHIJあ"},            // 12 bytes with a double-byte one
        {"ABCDEFGHIJKあ", "ABCDEFGHIJK..."},         // no half character
        {"USB カメラ HD 720p", "USB カメラ H..."},   // 4 + 6 + 2
        {"ｶﾒﾗABCDEFGHIJ", "ｶﾒﾗABCDEFGHI..."},        // half-width kana: one byte each
        {"テストパターン", "テストパター..."},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CCaptureGraph::WindowTitle(c.name, 352, 288),
                  std::string("Kestrova Mail - ") + c.shown + " (352x288)")
            << c.name;
}

} // namespace
