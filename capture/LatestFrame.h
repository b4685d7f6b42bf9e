#pragma once
// The latest decoded frame of a stream, kept for the grab and the preview: bottom-up BGR rows
// padded to 4 bytes, with its header. A streaming thread stores frames; any thread reads them.
// Every camera (the USB graph and the network sources) keeps its pictures here.

#include "capture/CaptureFrame.h"

#include <QImage>
#include <cstdint>
#include <gst/gst.h>
#include <mutex>
#include <vector>

class LatestFrame {
public:
    // Copies a BGR sample in (streaming thread). False when it is no mappable BGR frame.
    bool Store(GstSample* sample);
    // The size the stream will deliver, known before its first frame (from negotiated caps);
    // ignored once a header is known.
    void SetSizeIfUnknown(int width, int height);
    // Forgets the frame and its header (a new stream).
    void Clear();

    bool ConnectedHeader(BitmapInfoHeader& header) const;
    // Bytes of the latest frame, or the header's image size before the first; 0 with neither.
    int32_t CurrentBufferSize() const;
    // Copies the frame into dest (at most capacity bytes); 0 when there is none.
    int32_t CopyCurrentBuffer(uint8_t* dest, int32_t capacity) const;
    // The frame top-down, scaled (nearest pixel) to fit width x height with its aspect ratio
    // kept, as Format_RGB32; a null image before the first frame.
    QImage PreviewImage(int width, int height) const;

    static BitmapInfoHeader HeaderFor(int width, int height);

private:
    mutable std::mutex m_mutex; // guards the members below but m_work
    BitmapInfoHeader m_header;
    bool m_hasHeader = false;
    std::vector<uint8_t> m_latest;
    std::vector<uint8_t> m_work; // the storing thread's buffer for the next frame
};
