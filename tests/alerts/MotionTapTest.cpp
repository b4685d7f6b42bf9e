// Motion detection fed by real cameras: the capture graph's gate hands a few buffers a second
// to the detector, read straight from the raw or JPEG buffer without decoding the stream.

#include "capture/CaptureGraph.h"
#include "capture/MotionTap.h"
#include "tests/capture/RecordingCaptureUi.h"

#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& done) {
    for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(10ms))
        if (done())
            return true;
    return false;
}

struct BufferUnref {
    void operator()(GstBuffer* buffer) const { gst_buffer_unref(buffer); }
};

} // namespace

// The test patterns' bouncing ball (a sixteenth of a 160 x 120 picture) over YUY2 and JPEG, as
// a USB camera hands them over: events, a few pictures a second, none decoded for it.
TEST(MotionTap, CaptureGraphSeesTheBallWithoutDecodingFrames) {
    for (CaptureDevice device : {MakeTestPatternDevice(), MakeJpegTestPatternDevice()}) {
        SCOPED_TRACE(device.name);
        device.sourceProperties.emplace_back("pattern", "ball");
        CameraSettings settings;
        settings.motion = true;
        settings.width = 160;
        settings.height = 120;
        RecordingCaptureUi ui;
        CCaptureGraph graph(settings, ui);
        graph.SetTeardownPause(0ms);
        std::atomic<int> events{0};
        graph.SetMotionHandler([&](const MotionResult&) { ++events; });
        graph.SetDeviceLister([device] { return std::vector<CaptureDevice>{device}; });
        ASSERT_TRUE(graph.BuildGraph(true, false));
        ASSERT_TRUE(WaitUntil([&] { return events.load() > 0; }));
        EXPECT_EQ(events.load(), 1); // the ball keeps moving: one event
        const uint64_t buffers = graph.BuffersArrived();
        const uint64_t analysed = graph.MotionFramesAnalysed();
        EXPECT_GE(analysed, 3u);
        EXPECT_LT(analysed * 4, buffers); // about 5 of 30 a second
        EXPECT_LE(graph.FrameCount(), 1u); // the first frame (the format), nothing more
    }
}

// SMPTE bars hold a patch of snow at the bottom, which high sensitivity sees; masked, the
// picture is still.
TEST(MotionTap, StillPatternWithItsSnowMaskedGivesNoEvent) {
    for (CaptureDevice device : {MakeTestPatternDevice(), MakeJpegTestPatternDevice()}) {
        SCOPED_TRACE(device.name);
        CameraSettings settings;
        settings.motion = true;
        settings.sensitivity = MotionSensitivity::High;
        settings.mask = "0,70,100,30";
        RecordingCaptureUi ui;
        CCaptureGraph graph(settings, ui);
        graph.SetTeardownPause(0ms);
        std::atomic<int> events{0};
        graph.SetMotionHandler([&](const MotionResult&) { ++events; });
        graph.SetDeviceLister([device] { return std::vector<CaptureDevice>{device}; });
        ASSERT_TRUE(graph.BuildGraph(true, false));
        ASSERT_TRUE(WaitUntil([&] { return graph.MotionFramesAnalysed() >= 8; }));
        EXPECT_EQ(events.load(), 0);
    }
}

TEST(MotionTap, MotionOffMakesNoTapAndABadMaskIsNone) {
    CameraSettings settings;
    EXPECT_FALSE(MakeMotionTap(settings, nullptr));
    settings.motion = true;
    settings.mask = "0,0,200,10";
    EXPECT_TRUE(MakeMotionTap(settings, nullptr));
}

// The luma of raw buffers in the formats cameras hand over: Y of YUV, green of RGB, at the
// step that brings 320 samples down to 160.
TEST(MotionTap, RawBuffersGiveTheirLuma) {
    gst_init(nullptr, nullptr);
    struct Case {
        GstVideoFormat format;
        bool readable;
    };
    const Case cases[] = {{GST_VIDEO_FORMAT_YUY2, true}, {GST_VIDEO_FORMAT_UYVY, true},
                          {GST_VIDEO_FORMAT_I420, true}, {GST_VIDEO_FORMAT_NV12, true},
                          {GST_VIDEO_FORMAT_GRAY8, true}, {GST_VIDEO_FORMAT_BGR, true},
                          {GST_VIDEO_FORMAT_RGBx, true}, {GST_VIDEO_FORMAT_GRAY16_LE, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(gst_video_format_to_string(c.format));
        GstVideoInfo info;
        ASSERT_TRUE(gst_video_info_set_format(&info, c.format, 320, 240));
        std::unique_ptr<GstBuffer, BufferUnref> buffer(gst_buffer_new_allocate(nullptr, info.size, nullptr));
        GstVideoFrame frame;
        ASSERT_TRUE(gst_video_frame_map(&frame, &info, buffer.get(), GST_MAP_WRITE));
        // Component 0 (Y, or R) 10, every other 200 except the luma one (Y, or G) where x
        // is below half: 90 there.
        const bool rgb = GST_VIDEO_INFO_IS_RGB(&info);
        for (guint comp = 0; comp < GST_VIDEO_FRAME_N_COMPONENTS(&frame); ++comp) {
            auto* data = static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, comp));
            const int stride = GST_VIDEO_FRAME_COMP_STRIDE(&frame, comp);
            const int pstride = GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, comp);
            const int width = GST_VIDEO_FRAME_COMP_WIDTH(&frame, comp);
            const int depthBytes = int(GST_VIDEO_FRAME_COMP_DEPTH(&frame, comp) + 7) / 8;
            const bool luma = comp == (rgb ? 1u : 0u);
            for (int y = 0; y < GST_VIDEO_FRAME_COMP_HEIGHT(&frame, comp); ++y)
                for (int x = 0; x < width; ++x)
                    std::fill_n(data + y * stride + x * pstride, depthBytes,
                                uint8_t(luma ? (x < width / 2 ? 90 : 10) : 200));
        }
        gst_video_frame_unmap(&frame);
        std::shared_ptr<GstCaps> caps(gst_video_info_to_caps(&info), gst_caps_unref);
        const LumaImage luma = MotionTap::RawLuma(caps.get(), buffer.get());
        if (!c.readable) {
            EXPECT_TRUE(luma.pixels.empty());
            continue;
        }
        ASSERT_EQ(luma.width, 160);
        ASSERT_EQ(luma.height, 120);
        EXPECT_EQ(luma.pixels[5 * 160 + 10], 90);
        EXPECT_EQ(luma.pixels[100 * 160 + 150], 10);
    }
}
