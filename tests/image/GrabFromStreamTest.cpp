// The grabber on a real GStreamer stream (videotestsrc through CCaptureGraph).
#include "capture/CaptureGraph.h"
#include "capture/CaptureUi.h"
#include "capture/FrameGrabber.h"
#include "tests/image/ImageTestSupport.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class SilentUi : public ICaptureUi {
public:
    void ShowMessage(const std::string&) override {}
    std::optional<int> ChooseDevice(const std::vector<std::string>&, int) override { return 0; }
    bool ConfigureDevice(const DeviceSetup&, FrameSize&) override { return true; }
    void ShowProperties(const DeviceSetup&) override {}
    void SetTitle(const std::string&) override {}
};

class GrabFromStream : public ::testing::Test {
protected:
    // frames: how many the source delivers before it stops (0: no end).
    void Build(const std::string& pattern, int frames = 0) {
        CaptureDevice device = MakeTestPatternDevice();
        device.sourceProperties.emplace_back("pattern", pattern);
        if (frames > 0)
            device.sourceProperties.emplace_back("num-buffers", std::to_string(frames));
        m_graph.SetDeviceLister([device] { return std::vector<CaptureDevice>{device}; });
        m_graph.SetTeardownPause(0ms);
        ASSERT_TRUE(m_graph.BuildGraph(true, false));
        m_request.graphReady = m_graph.graphReady();
        for (auto end = std::chrono::steady_clock::now() + 10s;
             m_graph.FrameCount() < static_cast<uint64_t>(std::max(frames, 2)) &&
             std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(10ms);
        m_request.setUiBusy = [this](bool busy) { m_busy = busy; };
    }

    TempDir m_dir;
    CameraSettings m_settings; // 352 × 288
    SilentUi m_ui;
    CCaptureGraph m_graph{m_settings, m_ui};
    GrabRequest m_request;
    bool m_busy = false;
};

TEST_F(GrabFromStream, MovingPictureGivesAFreshStampedReplyAtOnce) {
    EnsureGuiApplication();
    Build("snow");
    m_request.timeText.showText = true;
    CFrameGrabber grabber(m_graph);
    JpegPicture picture;
    ASSERT_TRUE(grabber.GrabReplyPicture(false, m_request, picture));
    EXPECT_FALSE(m_busy);
    EXPECT_LE(grabber.lastPollCount(), 3);
    EXPECT_EQ(grabber.lastRebuildCount(), 0);
    EXPECT_TRUE(fs::is_empty(m_dir.path())) << "nothing written";
    EXPECT_EQ(DecodeJpeg(*picture.jpeg).width, 352);
}

TEST_F(GrabFromStream, StillPictureIsAnsweredWithTheNextFrame) {
    Build("white"); // every frame byte-identical, as from a camera facing a still scene
    CFrameGrabber grabber(m_graph);
    JpegPicture picture;
    ASSERT_TRUE(grabber.GrabReplyPicture(true, m_request, picture));
    EXPECT_LE(grabber.lastPollCount(), 2);
    EXPECT_EQ(grabber.lastRebuildCount(), 0);
    const DecodedJpeg jpeg = DecodeJpeg(*picture.jpeg);
    ASSERT_TRUE(jpeg.ok);
    EXPECT_EQ(jpeg.width, 288);
    EXPECT_GT(jpeg.At(10, 10).r, 240);
}

TEST_F(GrabFromStream, StreamThatStopsIsRebuiltAndAnswersWithAFrameOfTheNewStream) {
    Build("white", 3); // three frames, then nothing more, as from a stalled device
    // Shortened pause after the rebuild: the schedule is counted in polls, not in seconds.
    CFrameGrabber grabber(m_graph, {}, [](std::chrono::milliseconds ms) {
        std::this_thread::sleep_for(ms / 20);
    });
    JpegPicture picture;
    ASSERT_TRUE(grabber.GrabReplyPicture(false, m_request, picture));
    EXPECT_EQ(grabber.lastRebuildCount(), 1);
    EXPECT_EQ(grabber.lastPollCount(), CFrameGrabber::kPollsBeforeRebuild + 2); // then a frame
    EXPECT_TRUE(m_graph.graphReady());
    EXPECT_EQ(DecodeJpeg(*picture.jpeg).height, 288);
}

} // namespace
