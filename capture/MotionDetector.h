#pragma once
// Motion detection on a small luminance picture: a camera spends most of its life waiting, so
// the detector looks at a few frames a second (MotionParameters::framesPerSecond) of a picture
// of about 160 x 120 (a JPEG decoded at 1/8, or every n-th luma sample of a raw frame), never at
// full frames. No GStreamer here: the caller feeds pictures and their times, so tests can
// simulate hours in milliseconds.
//
// How a frame is judged:
//  1. Brightness: the median of frame / background over the unmasked pixels is the frame's
//     gain (a light switched on, a cloud, the camera's exposure). The background is scaled by
//     it before comparing, so a change of the whole picture's brightness is not motion. The
//     median, not the mean, so that a large moving object does not pass for a light. A change
//     of three quarters of the picture or more at once (a lamp in a dark room, where black
//     gives no gain to judge; night mode; a turned camera) is a new scene: the background is
//     learnt again from that frame.
//  2. A pixel has changed when it differs from the scaled background by more than
//     pixelThreshold levels; a frame moves when the changed pixels are at least
//     minimumSharePercent of the unmasked picture.
//  3. An event starts when frames have moved without a break for minimumDurationMs; it goes on
//     while movement goes on and ends after quietTimeMs without any, and only then can a new
//     one start (one event per movement, not one per frame).
//  4. The background (fixed point, 8 fractional bits) follows each frame by adaptationPercent
//     of the difference, so a parked car or a moved chair becomes scenery in a few seconds.

#include "base/Settings.h"
#include "capture/LumaImage.h"
#include "capture/MotionMask.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// The numbers behind a sensitivity (the advanced page shows and changes them).
struct MotionParameters {
    int pixelThreshold = 25;         // levels (0-255) a pixel must differ by to count as changed
    double minimumSharePercent = 3;  // changed share of the unmasked picture that is movement
    int minimumDurationMs = 600;     // movement must last this long to start an event
    int quietTimeMs = 5000;          // stillness that ends an event; a new one only after it
    int adaptationPercent = 5;       // how far the background follows each analysed frame
    int framesPerSecond = 5;         // frames analysed per second

    // low:    threshold 35, share 6 %, 1,000 ms: a person crossing, not leaves or rain.
    // medium: threshold 25, share 3 %,   600 ms.
    // high:   threshold 15, share 1 %,   400 ms: a cat at the far side of a yard.
    // All: 5 frames/s, background 5 % per frame (about 4 s to take in a change), quiet 5 s.
    static MotionParameters Presets(MotionSensitivity sensitivity);
    // Empty when every number is in range; otherwise which one is not.
    std::string Check() const;
};

struct MotionResult {
    bool analysed = false;     // false for the first frame (it becomes the background) or a bad one
    double changedPercent = 0; // share of the unmasked picture that changed
    double gain = 1;           // the frame's brightness against the background
    bool moving = false;       // an event is going on
    bool eventStarted = false; // this frame started an event
};

class MotionDetector {
public:
    using Clock = std::chrono::steady_clock;

    // Parameters out of range are replaced by the medium preset (see MotionParameters::Check).
    explicit MotionDetector(const MotionParameters& parameters = MotionParameters::Presets(
                                MotionSensitivity::Medium),
                            std::vector<MaskRect> mask = {});

    // Whether a frame at `time` should be analysed, so a caller skips decoding the others.
    bool Wants(std::chrono::milliseconds time) const;
    // Judges one picture taken at `time` (milliseconds on any steady clock). A picture of a new
    // size starts the background again; an empty or inconsistent one is not analysed.
    MotionResult Analyse(const LumaImage& image, std::chrono::milliseconds time);
    // Forgets the background and any event (a new stream).
    void Reset();

    const MotionParameters& Parameters() const { return m_parameters; }

private:
    void BuildMask(int width, int height);
    void Learn(const LumaImage& image);

    MotionParameters m_parameters;
    std::vector<MaskRect> m_maskRects;
    std::vector<uint8_t> m_counted;     // 1 where a pixel is outside every mask rectangle
    int m_countedPixels = 0;
    std::vector<uint16_t> m_background; // luma x 256
    int m_width = 0;
    int m_height = 0;

    std::optional<std::chrono::milliseconds> m_lastAnalysed;
    std::optional<std::chrono::milliseconds> m_runStart; // first frame of the current movement
    std::optional<std::chrono::milliseconds> m_lastMoved;
    bool m_inEvent = false;
};
