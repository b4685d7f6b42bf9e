#pragma once
// What the window and the core need of any camera, USB or network: the frame source for the
// grab, plus the preview and the frame count.

#include "capture/FrameSignal.h"
#include "capture/FrameSource.h"

#include <QImage>
#include <cstdint>
#include <memory>

class ICamera : public IFrameSource {
public:
    // The latest frame top-down, scaled to fit width x height; null before the first frame.
    virtual QImage PreviewImage(int width, int height) const = 0;
    // Frames decoded and delivered since the stream was opened.
    virtual uint64_t FrameCount() const = 0;
    // The preview is on screen: frames are decoded for it. UI thread.
    virtual void SetPreviewShown(bool shown) = 0;
    // The frame count and the wants, for waiting on frames from another thread; it lives as
    // long as any holder and outlives reopenings of the stream.
    virtual std::shared_ptr<const CFrameSignal> frameSignal() const = 0;
    // A stream is open: grabs may be tried.
    virtual bool graphReady() const = 0;
};
