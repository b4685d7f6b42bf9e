#pragma once
// Where a camera's pictures reach motion detection: the buffers a source hands over are offered
// here before anything decodes them, and a few a second (the detector's rate) are read as a
// small luminance picture straight from the buffer: every n-th luma sample of a raw frame (Y of
// YUV, green of RGB), or for a JPEG its 1/8 decode to grey. The others cost one clock read.
// The rest of the pipeline stays idle while nobody wants frames.

#include "capture/LumaImage.h"
#include "capture/MotionDetector.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <gst/gst.h>
#include <mutex>
#include <string_view>
#include <vector>

class MotionTap {
public:
    // handler runs on the streaming thread when a motion event starts.
    using Handler = std::function<void(const MotionResult&)>;

    MotionTap(const MotionParameters& parameters, std::vector<MaskRect> mask, Handler handler);

    // A buffer at the source's end of the pipeline, with the caps of its pad (raw video of any
    // YUV, grey or RGB format, or image/jpeg). Streaming thread.
    void Offer(GstCaps* caps, GstBuffer* buffer);
    // A whole JPEG picture (an MJPEG part or a snapshot).
    void OfferJpeg(std::string_view jpeg);
    // The same with the picture's time given, for tests.
    void OfferJpeg(std::string_view jpeg, std::chrono::milliseconds time);
    // Whether a buffer offered now would be read (callers that must fetch caps first ask).
    bool Wants() const;

    // Pictures analysed and events started so far.
    uint64_t Analysed() const { return m_analysed.load(); }
    uint64_t Events() const { return m_events.load(); }

    // The luminance picture of a raw video buffer, every step-th sample; empty when the caps
    // are not raw video or the buffer cannot be mapped.
    static LumaImage RawLuma(GstCaps* caps, GstBuffer* buffer, int maxWidth = 160);

private:
    static std::chrono::milliseconds Now();
    void Judge(const LumaImage& luma, std::chrono::milliseconds time);

    mutable std::mutex m_mutex; // the detector: sources may offer from more than one thread
    MotionDetector m_detector;
    Handler m_handler;
    std::atomic<uint64_t> m_analysed{0};
    std::atomic<uint64_t> m_events{0};
};

// The tap a camera's settings ask for: none when MOTION is off; the sensitivity's preset and
// the mask (a mask that cannot be read is reported on stderr and counts as none).
std::unique_ptr<MotionTap> MakeMotionTap(const CameraSettings& settings, MotionTap::Handler handler);
