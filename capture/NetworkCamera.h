#pragma once
// A camera on the network, over GStreamer: an RTSP stream (over TCP, H.264 or H.265), an MJPEG
// stream over HTTP(S) (multipart/x-mixed-replace), or a JPEG snapshot address fetched once per
// picture.
//
// A waiting camera costs what receiving its stream costs. RTSP: the compressed access units
// since the last key frame are kept, and only while someone wants frames are they decoded
// (the kept ones first, so that the decoder has its references, then the live ones); frames
// decoded from the kept units were taken before the want and do not move the frame count.
// MJPEG: every JPEG part is received and dropped unless wanted. Snapshot: nothing runs between
// pictures; while frames are wanted the address is fetched one picture after another.
//
// The user name and password go to the GStreamer elements as properties, never inside the URL,
// and appear in no message. A source that stops answering is reported once through
// ICaptureUi::StreamLost (from a GStreamer or camera thread); the caller opens it again.

#include "base/Settings.h"
#include "capture/Camera.h"
#include "capture/LatestFrame.h"
#include "capture/MotionTap.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class CCancelSignal;
class ICaptureUi;

struct NetworkCameraSpec {
    CameraType type = CameraType::Rtsp;
    std::string url;      // rtsp(s):// or http(s)://, without user name or password
    std::string user;     // empty: no log-in
    std::string password;
    std::string caFile;   // PEM file of the authorities trusted for HTTPS; empty: the system's
};

class NetworkCamera final : public ICamera {
public:
    static constexpr std::chrono::milliseconds kOpenWait{5000};
    // A stream that delivers nothing for this long is lost.
    static constexpr std::chrono::milliseconds kStallLimit{5000};

    // ui is referenced for the object's life.
    NetworkCamera(NetworkCameraSpec spec, ICaptureUi& ui);
    ~NetworkCamera() override;
    NetworkCamera(const NetworkCamera&) = delete;
    NetworkCamera& operator=(const NetworkCamera&) = delete;

    // Connects and waits (at most openWait) for the first picture, or for RTSP its first key
    // frame, which tells the format. False with a short reason (no password in it) when the
    // address is unfit, the server does not answer, refuses the log-in or its certificate is
    // not trusted. Raising cancel (from another thread) ends the wait at once (false).
    bool Open(std::string& why, const CCancelSignal* cancel = nullptr);
    // Stops every stream and thread of the camera; no callback runs once it returns.
    void Close();

    // IFrameSource
    bool RunGraph() override;
    bool ConnectedHeader(BitmapInfoHeader& header) const override;
    int32_t CurrentBufferSize() const override;
    int32_t CopyCurrentBuffer(uint8_t* dest, int32_t capacity) override;
    bool Rebuild() override;
    std::optional<uint64_t> FramesDelivered() const override { return m_frameSignal->Count(); }
    void WaitForFrameBeyond(uint64_t seen, std::chrono::milliseconds limit) override {
        m_frameSignal->WaitBeyond(seen, limit);
    }
    void WantFrames(bool want) override { m_frameSignal->Want(want); }

    // ICamera
    QImage PreviewImage(int width, int height) const override {
        return m_latest.PreviewImage(width, height);
    }
    uint64_t FrameCount() const override { return m_decoded.load(); }
    void SetPreviewShown(bool shown) override;
    std::shared_ptr<const CFrameSignal> frameSignal() const override { return m_frameSignal; }
    bool graphReady() const override { return m_session != nullptr; }

    const NetworkCameraSpec& spec() const { return m_spec; }
    // Motion detection for the streams opened from now on (null: none). MJPEG: a few JPEG
    // parts a second are decoded at 1/8 in grey. RTSP and snapshots are not analysed yet.
    // False, and nothing changed, while the camera is open.
    bool SetMotionTap(std::unique_ptr<MotionTap> tap);
    const MotionTap* motionTap() const { return m_motion.get(); }
    // For tests and the benchmark: the bounded waits.
    void SetOpenWait(std::chrono::milliseconds wait) { m_openWait = wait; }
    void SetStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }

    // Why the spec cannot be opened (an unfit URL, user name or password), or empty when it
    // can. Never repeats the password.
    static std::string CheckSpec(const NetworkCameraSpec& spec);
    // text with every occurrence of secret replaced by "****" (an empty secret: unchanged).
    static std::string Redact(std::string text, const std::string& secret);

    struct Session; // one open stream and what its threads share

private:
    NetworkCameraSpec m_spec;
    ICaptureUi& m_ui;
    std::shared_ptr<CFrameSignal> m_frameSignal = std::make_shared<CFrameSignal>();
    LatestFrame m_latest;
    std::atomic<uint64_t> m_decoded{0};
    std::unique_ptr<MotionTap> m_motion; // before m_session: a session points to it
    std::unique_ptr<Session> m_session;
    std::chrono::milliseconds m_openWait = kOpenWait;
    std::chrono::milliseconds m_stallLimit = kStallLimit;
    bool m_previewShown = false;
};
