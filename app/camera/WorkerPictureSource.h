#pragma once
// The reply picture for a check cycle on the mail worker. The capture graph stays on the
// user-interface thread: every call the frame grab makes of it is queued there and awaited
// with a bound, while the waiting between frames happens on the worker and ends at once on
// cancel. A graph that would need the user (the device chooser, or no device at all) to be
// rebuilt is not rebuilt: the grab fails, so the cycle sends nothing and keeps its requests,
// and no dialog opens because of the worker.

#include "app/camera/ServiceInterfaces.h"
#include "capture/FrameGrabber.h"
#include "capture/FrameSignal.h"
#include "capture/FrameSource.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CCancelSignal;
class QObject;

class CWorkerPictureSource final : public IReplyPictureSource {
public:
    // How long one call on the user-interface thread may take (starting a stream takes up to
    // three attempts of 3 s each).
    static constexpr std::chrono::milliseconds kCallLimit{15000};

    struct UiSide {
        QObject* context;                     // lives on the user-interface thread
        IFrameSource* graph;                  // used on that thread only
        std::function<bool()> rebuildNeedsUser; // true when a rebuild would ask the user
        std::function<GrabRequest()> makeRequest;
        // The graph's frame count, waited on from the worker directly (null: compare frames).
        std::shared_ptr<const CFrameSignal> frames;
    };

    CWorkerPictureSource(UiSide ui, const CCancelSignal& cancel);

    bool GrabReplyPicture(bool rotate, JpegPicture& picture, GrabFailure& why) override;

private:
    // The graph as the grab on the worker sees it.
    class Proxy final : public IFrameSource {
    public:
        explicit Proxy(CWorkerPictureSource& owner) : m_owner(owner) {}
        bool RunGraph() override;
        bool ConnectedHeader(BitmapInfoHeader& header) const override;
        int32_t CurrentBufferSize() const override;
        int32_t CopyCurrentBuffer(uint8_t* dest, int32_t capacity) override;
        bool Rebuild() override;
        std::optional<uint64_t> FramesDelivered() const override;
        void WaitForFrameBeyond(uint64_t seen, std::chrono::milliseconds limit) override;
        void WantFrames(bool want) override;

    private:
        CWorkerPictureSource& m_owner;
    };

    template <class Result> Result OnUi(std::function<Result()> fn, Result failed);

    UiSide m_ui;
    const CCancelSignal& m_cancel;
    Proxy m_proxy;
    CFrameGrabber m_grabber;
    std::atomic<bool> m_aborted{false};
};

// The cameras of a check cycle on the mail worker, one CWorkerPictureSource each, in the order of
// the settings.
class CWorkerCameras final : public IReplyCameras {
public:
    struct Camera {
        std::string name;
        CWorkerPictureSource::UiSide ui;
    };
    CWorkerCameras(std::vector<Camera> cameras, const CCancelSignal& cancel);

    std::size_t CameraCount() const override { return m_sources.size(); }
    std::string CameraName(std::size_t camera) const override { return m_names.at(camera); }
    bool GrabReplyPicture(std::size_t camera, bool rotate, JpegPicture& picture,
                          GrabFailure& why) override;

private:
    std::vector<std::string> m_names;
    std::vector<std::unique_ptr<CWorkerPictureSource>> m_sources;
};
