#include "capture/LatestFrame.h"

#include <algorithm>
#include <cstring>
#include <gst/video/video.h>

namespace {

class VideoFrameGuard {
public:
    VideoFrameGuard(GstVideoInfo* info, GstBuffer* buffer)
        : m_mapped(gst_video_frame_map(&m_frame, info, buffer, GST_MAP_READ)) {}
    ~VideoFrameGuard() {
        if (m_mapped)
            gst_video_frame_unmap(&m_frame);
    }
    VideoFrameGuard(const VideoFrameGuard&) = delete;
    VideoFrameGuard& operator=(const VideoFrameGuard&) = delete;

    bool mapped() const { return m_mapped; }
    const GstVideoFrame& frame() const { return m_frame; }

private:
    GstVideoFrame m_frame{};
    bool m_mapped;
};

} // namespace

BitmapInfoHeader LatestFrame::HeaderFor(int width, int height) {
    BitmapInfoHeader header;
    header.width = width;
    header.height = height;
    header.sizeImage = static_cast<uint32_t>(CaptureFrame::StrideFor(width) * height);
    return header;
}

bool LatestFrame::Store(GstSample* sample) {
    GstVideoInfo info;
    GstCaps* caps = sample ? gst_sample_get_caps(sample) : nullptr;
    GstBuffer* buffer = sample ? gst_sample_get_buffer(sample) : nullptr;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR)
        return false;
    VideoFrameGuard frame(&info, buffer);
    if (!frame.mapped())
        return false;

    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    const int srcStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame.frame(), 0);
    const auto* src = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame.frame(), 0));
    const int dstStride = CaptureFrame::StrideFor(width);
    const std::size_t rowBytes = static_cast<std::size_t>(3 * width);
    m_work.resize(static_cast<std::size_t>(dstStride) * height);
    for (int y = 0; y < height; ++y) {
        uint8_t* dst = m_work.data() + static_cast<std::size_t>(height - 1 - y) * dstStride;
        std::memcpy(dst, src + static_cast<std::size_t>(y) * srcStride, rowBytes);
        std::fill(dst + rowBytes, dst + dstStride, 0);
    }
    std::lock_guard lock(m_mutex);
    m_latest.swap(m_work); // m_work keeps the older frame's memory for the next one
    m_header = HeaderFor(width, height);
    m_hasHeader = true;
    return true;
}

void LatestFrame::SetSizeIfUnknown(int width, int height) {
    if (width <= 0 || height <= 0)
        return;
    std::lock_guard lock(m_mutex);
    if (!m_hasHeader) {
        m_header = HeaderFor(width, height);
        m_hasHeader = true;
    }
}

void LatestFrame::Clear() {
    std::lock_guard lock(m_mutex);
    m_latest.clear();
    m_header = {};
    m_hasHeader = false;
}

bool LatestFrame::ConnectedHeader(BitmapInfoHeader& header) const {
    std::lock_guard lock(m_mutex);
    if (!m_hasHeader)
        return false;
    header = m_header;
    return true;
}

int32_t LatestFrame::CurrentBufferSize() const {
    std::lock_guard lock(m_mutex);
    if (!m_latest.empty())
        return static_cast<int32_t>(m_latest.size());
    return m_hasHeader ? static_cast<int32_t>(m_header.sizeImage) : 0;
}

int32_t LatestFrame::CopyCurrentBuffer(uint8_t* dest, int32_t capacity) const {
    if (!dest || capacity <= 0)
        return 0;
    std::lock_guard lock(m_mutex);
    if (m_latest.empty() || m_latest.size() != m_header.sizeImage)
        return 0;
    const auto count = std::min(m_latest.size(), static_cast<std::size_t>(capacity));
    std::memcpy(dest, m_latest.data(), count);
    return static_cast<int32_t>(count);
}

QImage LatestFrame::PreviewImage(int width, int height) const {
    if (width <= 0 || height <= 0)
        return {};
    std::lock_guard lock(m_mutex);
    const int srcWidth = m_header.width;
    const int srcHeight = m_header.height;
    if (m_latest.empty() || srcWidth <= 0 || srcHeight <= 0)
        return {};
    // Fit into width x height with the frame's aspect ratio.
    int outWidth = width;
    int outHeight = static_cast<int>(static_cast<int64_t>(srcHeight) * width / srcWidth);
    if (outHeight > height) {
        outHeight = height;
        outWidth = static_cast<int>(static_cast<int64_t>(srcWidth) * height / srcHeight);
    }
    outWidth = std::max(outWidth, 1);
    outHeight = std::max(outHeight, 1);

    QImage image(outWidth, outHeight, QImage::Format_RGB32);
    std::vector<int> columnOffset(static_cast<std::size_t>(outWidth));
    for (int x = 0; x < outWidth; ++x)
        columnOffset[static_cast<std::size_t>(x)] = 3 * (x * srcWidth / outWidth);
    const int stride = CaptureFrame::StrideFor(srcWidth);
    for (int y = 0; y < outHeight; ++y) {
        const int srcRow = srcHeight - 1 - y * srcHeight / outHeight; // rows are bottom-up
        const uint8_t* src = m_latest.data() + static_cast<std::size_t>(srcRow) * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < outWidth; ++x) {
            const uint8_t* p = src + columnOffset[static_cast<std::size_t>(x)];
            out[x] = qRgb(p[2], p[1], p[0]);
        }
    }
    return image;
}
