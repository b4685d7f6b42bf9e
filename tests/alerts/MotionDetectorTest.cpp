// Motion detection on synthetic scenes at the analysed rate: a textured picture with sensor
// noise, lights, moving objects and masks, over simulated time.

#include "capture/JpegReader.h"
#include "capture/JpegWriter.h"
#include "capture/LumaImage.h"
#include "capture/MotionDetector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

namespace {

using std::chrono::milliseconds;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kNoiseSigma = 4;

// An object: a rectangle brighter than the scene by `contrast`, from (x0, y) at t0 moving
// `speed` pixels a second to the right until t1.
struct Mover {
    int64_t t0 = 0;
    int64_t t1 = 0;
    int x0 = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int speed = 0;
    int contrast = 80;
};

struct Scene {
    std::vector<Mover> movers;
    int64_t lightAt = -1;    // the light goes up by lightPercent here
    int lightPercent = 40;
    int64_t rampFrom = -1;   // or slowly, over rampMs (a cloud)
    int64_t rampMs = 0;
    bool dark = false;       // a dark room (luma 4..13) until lightAt, then lit (40..170)
};

// The scene at time t (ms), luma 40..170 in a texture so that brightness changes differ per
// pixel, with Gaussian noise.
LumaImage Render(const Scene& scene, int64_t t, std::mt19937& random, int width = kWidth,
                 int height = kHeight) {
    std::normal_distribution<double> noise(0.0, kNoiseSigma);
    double light = 1.0;
    if (scene.lightAt >= 0 && t >= scene.lightAt && !scene.dark)
        light = 1.0 + scene.lightPercent / 100.0;
    if (scene.rampFrom >= 0 && t >= scene.rampFrom)
        light = 1.0 + scene.lightPercent / 100.0 *
                          std::min(1.0, double(t - scene.rampFrom) / double(scene.rampMs));
    LumaImage image{width, height, std::vector<uint8_t>(size_t(width) * size_t(height))};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int texture = ((x * 160 / width) * 7 + (y * 120 / height) * 13) % 131;
            double v = 40 + texture;
            if (scene.dark && (scene.lightAt < 0 || t < scene.lightAt))
                v = 4 + texture % 10;
            for (const Mover& m : scene.movers) {
                if (t < m.t0 || t >= m.t1)
                    continue;
                // Positions in the 160 x 120 frame of reference, scaled to this picture.
                const int left = (m.x0 + int(m.speed * (t - m.t0) / 1000)) * width / kWidth;
                const int top = m.y * height / kHeight;
                if (x >= left && x < left + m.width * width / kWidth && y >= top &&
                    y < top + m.height * height / kHeight)
                    v += m.contrast;
            }
            image.pixels[size_t(y) * size_t(width) + size_t(x)] =
                uint8_t(std::clamp(std::lround(v * light + noise(random)), 0L, 255L));
        }
    return image;
}

// Times (ms) at which events started over `durationMs` at the parameters' frame rate.
std::vector<int64_t> EventTimes(const MotionParameters& parameters, const Scene& scene,
                                int64_t durationMs, std::vector<MaskRect> mask = {}) {
    MotionDetector detector(parameters, std::move(mask));
    std::mt19937 random(7);
    std::vector<int64_t> events;
    const int64_t interval = 1000 / parameters.framesPerSecond;
    for (int64_t t = 0; t <= durationMs; t += interval)
        if (detector.Analyse(Render(scene, t, random), milliseconds(t)).eventStarted)
            events.push_back(t);
    return events;
}

const MotionSensitivity kAll[] = {MotionSensitivity::Low, MotionSensitivity::Medium,
                                  MotionSensitivity::High};

// A quarter of the picture (80 x 60) crossing from the left edge at 20 px/s for 4 s.
Mover QuarterCrossing(int64_t t0) { return {t0, t0 + 4000, 0, 30, 80, 60, 20, 80}; }

} // namespace

TEST(MotionDetector, StillScenesGiveNoEvent) {
    struct Case {
        const char* name;
        Scene scene;
        int64_t durationMs;
    };
    const Case cases[] = {
        {"sensor noise for ten minutes", {}, 10 * 60 * 1000},
        {"light switched on (+40 %)", {.movers = {}, .lightAt = 10000}, 30000},
        {"light switched off (-40 %)", {.movers = {}, .lightAt = 10000, .lightPercent = -40}, 30000},
        {"cloud (+40 % over 3 s)", {.movers = {}, .rampFrom = 10000, .rampMs = 3000}, 30000},
        {"lamp in a dark room", {.movers = {}, .lightAt = 10000, .dark = true}, 30000},
    };
    for (const Case& c : cases)
        for (MotionSensitivity s : kAll) {
            SCOPED_TRACE(testing::Message() << c.name << ", sensitivity " << int(s));
            EXPECT_TRUE(EventTimes(MotionParameters::Presets(s), c.scene, c.durationMs).empty());
        }
}

TEST(MotionDetector, QuarterOfThePictureCrossingIsOneEventAfterTheMinimumDuration) {
    for (MotionSensitivity s : kAll) {
        SCOPED_TRACE(int(s));
        const MotionParameters p = MotionParameters::Presets(s);
        const std::vector<int64_t> events = EventTimes(p, {.movers = {QuarterCrossing(10000)}}, 40000);
        ASSERT_EQ(events.size(), 1u);
        // The first moving frame is at 10 s; the event when movement has lasted the minimum.
        EXPECT_GE(events[0], 10000 + p.minimumDurationMs);
        EXPECT_LE(events[0], 10000 + p.minimumDurationMs + 1000 / p.framesPerSecond);
    }
}

TEST(MotionDetector, ASecondMovementIsANewEventOnlyAfterTheQuietTime) {
    const MotionParameters p = MotionParameters::Presets(MotionSensitivity::Medium);
    // Crossings at 10 s, 16 s (2 s after the first ended: the same event) and 40 s (long after
    // the scene was quiet again).
    const Scene scene{.movers = {QuarterCrossing(10000), QuarterCrossing(16000),
                                 QuarterCrossing(40000)}};
    const std::vector<int64_t> events = EventTimes(p, scene, 60000);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], 10000 + p.minimumDurationMs);
    EXPECT_EQ(events[1], 40000 + p.minimumDurationMs);
}

TEST(MotionDetector, MaskedRegionsAreIgnored) {
    struct Case {
        const char* mask;
        size_t events;
    };
    // 40 x 60 moving inside the left half (0..80) for 2 s.
    const Scene scene{.movers = {{10000, 12000, 0, 30, 40, 60, 20, 80}}};
    const Case cases[] = {
        {"", 1},              // seen without a mask
        {"0,0,50,100", 0},    // the left half masked
        {"0,20,50,60;90,0,10,10", 0},
        {"50,0,50,100", 1},   // the other half masked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        const auto mask = ParseMotionMask(c.mask);
        ASSERT_TRUE(mask);
        EXPECT_EQ(EventTimes(MotionParameters::Presets(MotionSensitivity::High), scene, 30000, *mask)
                      .size(),
                  c.events);
    }
}

TEST(MotionDetector, SensitivitiesAreOrderedBySize) {
    struct Case {
        int size; // a square, moving 40 px/s for 3 s, 60 levels above the scene
        bool low, medium, high;
    };
    const Case cases[] = {
        {20, false, false, true}, // 2 % of the picture
        {28, false, true, true},  // 4 %
        {60, true, true, true},   // 19 %
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const Scene scene{.movers = {{10000, 13000, 0, 30, c.size, c.size, 40, 60}}};
        const bool expected[] = {c.low, c.medium, c.high};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(EventTimes(MotionParameters::Presets(kAll[i]), scene, 30000).size(),
                      expected[i] ? 1u : 0u)
                << "sensitivity " << i;
    }
}

TEST(MotionDetector, ParametersOutOfRangeFallBackToMedium) {
    MotionParameters p;
    p.framesPerSecond = 0; // would divide by zero
    EXPECT_FALSE(p.Check().empty());
    MotionDetector detector(p);
    EXPECT_EQ(detector.Parameters().framesPerSecond,
              MotionParameters::Presets(MotionSensitivity::Medium).framesPerSecond);
    // A picture whose pixels do not match its size is not analysed (nor read past its end).
    EXPECT_FALSE(detector.Analyse({160, 120, std::vector<uint8_t>(100)}, milliseconds(0)).analysed);
    EXPECT_FALSE(detector.Analyse({}, milliseconds(0)).analysed);
}

TEST(MotionDetector, WantsAFewFramesASecond) {
    MotionDetector detector(MotionParameters::Presets(MotionSensitivity::Medium));
    std::mt19937 random(1);
    int analysed = 0;
    for (int frame = 0; frame < 300; ++frame) { // 10 s at 30 frames/s
        const milliseconds t(frame * 1000 / 30);
        if (detector.Wants(t)) {
            detector.Analyse(Render({}, t.count(), random), t);
            ++analysed;
        }
    }
    EXPECT_EQ(analysed, 50);
}

TEST(MotionDetector, LumaIsSampledNotConverted) {
    // A 5 x 3 frame: picture pixel (x, y) is blue x, green 10 y, red 0 (bottom-up in memory).
    CaptureFrame frame = CaptureFrame::Blank(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            uint8_t* bgr = frame.pixels.data() + (2 - y) * frame.stride() + 3 * x;
            bgr[0] = uint8_t(100 * x / 4);
            bgr[1] = uint8_t(100 * y);
        }
    const auto luma = [](int b, int g) { return uint8_t((29 * b + 150 * g + 128) >> 8); };
    const LumaImage sampled = SampleLuma(frame, 2);
    EXPECT_EQ(sampled.width, 3);
    EXPECT_EQ(sampled.height, 2);
    EXPECT_EQ(sampled.pixels, (std::vector<uint8_t>{luma(0, 0), luma(50, 0), luma(100, 0),
                                                    luma(0, 200), luma(50, 200), luma(100, 200)}));
    // YUY2: Y at every other byte; 4 x 2 pixels, rows of 10 bytes (padded).
    const uint8_t yuy2[] = {1, 0, 2, 0, 3, 0, 4, 0, 9, 9, 5, 0, 6, 0, 7, 0, 8, 0, 9, 9};
    const LumaImage plane = SampleLumaPlane(yuy2, 4, 2, 10, 2, 2);
    EXPECT_EQ(plane.width, 2);
    EXPECT_EQ(plane.height, 1);
    EXPECT_EQ(plane.pixels, (std::vector<uint8_t>{1, 3}));
    EXPECT_EQ(LumaStepFor(1280), 8);
    EXPECT_EQ(LumaStepFor(640), 4);
    EXPECT_EQ(LumaStepFor(100), 1);
    EXPECT_TRUE(SampleLuma(CaptureFrame{}, 2).pixels.empty());
    EXPECT_TRUE(SampleLumaPlane(yuy2, 4, 2, 5, 2, 2).pixels.empty()); // rows shorter than a row
}

// The real path of a JPEG camera: 1280 x 720 frames encoded, decoded at 1/8 straight to grey.
TEST(MotionDetector, JpegFramesDecodedAtOneEighthToGrey) {
    const MotionParameters p = MotionParameters::Presets(MotionSensitivity::Medium);
    const Scene scene{.movers = {QuarterCrossing(2000)}};
    MotionDetector detector(p);
    std::mt19937 random(3);
    std::vector<int64_t> events;
    for (int64_t t = 0; t <= 12000; t += 200) {
        const LumaImage grey = Render(scene, t, random, 1280, 720);
        CaptureFrame frame = CaptureFrame::Blank(1280, 720);
        for (int y = 0; y < 720; ++y)
            for (int x = 0; x < 1280; ++x)
                std::fill_n(frame.pixels.begin() + (719 - y) * frame.stride() + 3 * x, 3,
                            grey.pixels[size_t(y) * 1280 + size_t(x)]);
        const std::optional<std::string> jpeg = EncodeJpeg(frame, 50);
        ASSERT_TRUE(jpeg);
        const std::optional<LumaImage> luma = DecodeJpegLuma(*jpeg, 8);
        ASSERT_TRUE(luma);
        ASSERT_EQ(luma->width, 160);
        ASSERT_EQ(luma->height, 90);
        if (t == 0) {
            // The same picture as the colour decode at 1/8, and as sampling the frame.
            const std::optional<CaptureFrame> colour = DecodeJpeg(*jpeg, 8);
            ASSERT_TRUE(colour);
            const LumaImage fromColour = SampleLuma(*colour, 1);
            ASSERT_EQ(fromColour.pixels.size(), luma->pixels.size());
            for (size_t i = 0; i < luma->pixels.size(); ++i)
                ASSERT_NEAR(luma->pixels[i], fromColour.pixels[i], 2) << i;
        }
        if (detector.Analyse(*luma, milliseconds(t)).eventStarted)
            events.push_back(t);
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], 2000 + p.minimumDurationMs);
    EXPECT_FALSE(DecodeJpegLuma("not a picture"));
    EXPECT_FALSE(DecodeJpegLuma(""));
    EXPECT_FALSE(DecodeJpegLuma(std::string("\xff\xd8\xff", 3))); // a start, then nothing
}
