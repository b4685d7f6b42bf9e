#pragma once
// The live video path: finds the video input devices, lets the user pick one, builds a
// GStreamer pipeline source [-> jpegdec] -> videoconvert -> videoscale -> capsfilter (BGR, the
// requested size when the device offers it) -> appsink, runs it, keeps a copy of the latest
// frame for the grab and the preview, and opens the device settings dialog.
//
// The camera streams all the time (its exposure and white balance keep adjusting), but its
// pictures are decoded, converted and copied only while someone wants them: the preview while
// it is on screen, a grab while it runs, and the first picture of each stream (which tells the
// format). Between those, each buffer the camera hands over is counted and dropped, so a
// stalled or lost camera is still noticed.

#include "base/Settings.h"
#include "capture/Camera.h"
#include "capture/CaptureDevices.h"
#include "capture/CaptureFrame.h"
#include "capture/FrameSignal.h"
#include "capture/FrameSource.h"
#include "capture/GstHandles.h"
#include "capture/MotionTap.h"

#include <QImage>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ICaptureUi;
class IDeviceControls;

class CCaptureGraph final : public ICamera {
public:
    // Both are referenced for the object's life. settings is the live DEVICE section
    // (SELECT, WIDTH, HEIGHT), which BuildGraph reads and updates; the caller saves it.
    CCaptureGraph(CameraSettings& settings, ICaptureUi& ui);
    ~CCaptureGraph() override;
    CCaptureGraph(const CCaptureGraph&) = delete;
    CCaptureGraph& operator=(const CCaptureGraph&) = delete;

    // Tears down any graph and builds a new one for the chosen device. False when no device is
    // attached or the user cancelled the device dialog; true otherwise, also when the stream
    // did not start.
    bool BuildGraph(bool useFirstDevice, bool configureDevice);
    // Stops and releases the pipeline, then pauses so the device settles before it is opened
    // again (no pause when there was nothing to release); graphReady() is false from the start.
    void TearDownGraph();
    // Opens the device settings dialog (controls only) for the device of the graph.
    void ShowFilterProperties();

    // IFrameSource
    bool RunGraph() override;
    bool ConnectedHeader(BitmapInfoHeader& header) const override;
    int32_t CurrentBufferSize() const override;
    int32_t CopyCurrentBuffer(uint8_t* dest, int32_t capacity) override;
    bool Rebuild() override { return BuildGraph(false, false); }
    std::optional<uint64_t> FramesDelivered() const override { return m_frameSignal->Count(); }
    void WaitForFrameBeyond(uint64_t seen, std::chrono::milliseconds limit) override {
        m_frameSignal->WaitBeyond(seen, limit);
    }
    void WantFrames(bool want) override { m_frameSignal->Want(want); }
    // The preview is on screen (the window shown and not minimised): frames are decoded for
    // it. Off by default, as in the headless service. UI thread.
    void SetPreviewShown(bool shown) override;
    bool previewShown() const { return m_previewShown; }
    // The graph's frame count, for waiting on frames from another thread; lives as long as
    // any holder.
    std::shared_ptr<const CFrameSignal> frameSignal() const override { return m_frameSignal; }
    // True when Rebuild would have to ask the user: no device at all (a message), or more than
    // one to choose from (the device chooser).
    bool RebuildNeedsUser() const { return m_pinned.empty() && m_lister().size() != 1; }

    // The device to use whatever SELECT says (a display name or a /dev/video* path, from the
    // command line); empty: the usual choice. A pinned device that is not attached fails the
    // build with a message, and no other device is taken in its place.
    void SetPinnedDevice(std::string nameOrPath) { m_pinned = std::move(nameOrPath); }
    const std::string& pinnedDevice() const { return m_pinned; }
    // The devices attached now, as a build would list them.
    std::vector<CaptureDevice> ListDevices() const { return m_lister(); }
    // Index of the device whose display name or device path is nameOrPath (the last one when
    // several match), or -1.
    static int FindDevice(const std::vector<CaptureDevice>& devices,
                          const std::string& nameOrPath);
    // Display name of the device of the current (or last) graph.
    const std::string& deviceName() const { return m_device.name; }

    bool graphReady() const override { return m_graphReady; }
    // Display names (UTF-8) of the devices found by the last build, in list order.
    const std::vector<std::string>& deviceNames() const { return m_deviceNames; }
    // Frames decoded and delivered since the graph was built (the preview skips repeats with
    // it).
    uint64_t FrameCount() const override;
    // Buffers the device has handed over since the graph was built, decoded or not: what tells
    // a camera that streams from one that does not.
    uint64_t BuffersArrived() const;
    // The latest frame top-down, scaled (nearest pixel) to fit size with its aspect ratio kept,
    // as Format_RGB32; a null image before the first frame. Cheap enough for every frame.
    QImage PreviewImage(int width, int height) const override;

    // "Kestrova Mail - %s (%dx%d)": the name cut after 12 bytes of code page 932 (never
    // inside a character) followed by "..." when it is longer.
    static std::string WindowTitle(const std::string& deviceName, int width, int height);

    // For tests: the device list (default ListCaptureDevices), the pause after a teardown
    // (default 1000 ms) and the wait for each run attempt's state change (default 3000 ms).
    void SetDeviceLister(std::function<std::vector<CaptureDevice>()> lister);

    // Motion detection (MOTION, SENSITIVITY, MASK of the settings) starts with the next
    // build; handler hears of each event on the streaming thread. Pictures analysed so far in
    // the current graph (0 without detection).
    void SetMotionHandler(MotionTap::Handler handler) { m_motionHandler = std::move(handler); }
    uint64_t MotionFramesAnalysed() const;
    void SetTeardownPause(std::chrono::milliseconds pause) { m_teardownPause = pause; }
    void SetStateWait(std::chrono::milliseconds wait) { m_stateWait = wait; }

private:
    struct Stream; // the pipeline and what the streaming thread shares with the UI thread

    int ChooseIndex(bool useFirstDevice, bool configureDevice, int remembered, bool& cancelled);
    void BuildPipeline(const CaptureDevice& device);
    void ReadNegotiatedHeader();
    std::unique_ptr<IDeviceControls> ControlsFor(const CaptureDevice& device) const;

    CameraSettings& m_settings;
    ICaptureUi& m_ui;
    std::function<std::vector<CaptureDevice>()> m_lister;
    std::chrono::milliseconds m_teardownPause{1000};
    std::chrono::milliseconds m_stateWait{3000};

    std::vector<std::string> m_deviceNames;
    CaptureDevice m_device; // the device of the current graph
    std::string m_pinned;
    std::shared_ptr<CFrameSignal> m_frameSignal = std::make_shared<CFrameSignal>();
    std::unique_ptr<Stream> m_stream;
    bool m_graphReady = false;
    bool m_previewShown = false;
    MotionTap::Handler m_motionHandler;
};
