// Motion detection on an MJPEG camera served on loopback (tests/peers/camera_http_peer.py): the
// JPEG parts are read at 1/8 in grey a few times a second, and a change in part of the picture
// is an event while the stream is not decoded.

#include "capture/CaptureUi.h"
#include "capture/NetworkCamera.h"
#include "tests/support/CameraPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

using SilentUi = QuietCaptureUi;

bool WaitUntil(const std::function<bool()>& done) {
    for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(10ms))
        if (done())
            return true;
    return false;
}

} // namespace

TEST(MotionCamera, MjpegBallTurningWhiteIsOneEvent) {
    // The peer's still picture: a ball (about 2 % of 320 x 240) in the colour it is told.
    CameraPeer::Options options;
    options.kind = CameraPeer::Kind::Http;
    options.pattern = "ball";
    options.fps = 15;
    CameraPeer peer(options);
    SilentUi ui;
    NetworkCamera camera({CameraType::Mjpeg, peer.Url("/mjpeg"), "", "", ""}, ui);
    std::atomic<int> events{0};
    ASSERT_TRUE(camera.SetMotionTap(std::make_unique<MotionTap>(
        MotionParameters::Presets(MotionSensitivity::High), std::vector<MaskRect>{},
        [&](const MotionResult&) { ++events; })));
    std::string why;
    ASSERT_TRUE(camera.Open(why)) << why;
    EXPECT_FALSE(camera.SetMotionTap(nullptr)); // not while open

    ASSERT_TRUE(WaitUntil([&] { return camera.motionTap()->Analysed() >= 5; }));
    EXPECT_EQ(events.load(), 0);
    peer.SetColor("ffffff");
    ASSERT_TRUE(WaitUntil([&] { return events.load() > 0; }));
    const uint64_t seen = camera.motionTap()->Analysed();
    ASSERT_TRUE(WaitUntil([&] { return camera.motionTap()->Analysed() >= seen + 5; }));
    EXPECT_EQ(events.load(), 1);
    EXPECT_LE(camera.FrameCount(), 1u); // the first picture (the size), nothing decoded since
    camera.Close();
}
