#include "capture/MotionTap.h"

#include "capture/GstHandles.h"
#include "capture/JpegReader.h"

#include <gst/video/video.h>
#include <memory>

namespace {

// Unmaps a mapped video frame at the end of the scope.
class VideoFrameMapGuard {
public:
    VideoFrameMapGuard(const GstVideoInfo& info, GstBuffer* buffer)
        : m_info(info), m_mapped(gst_video_frame_map(&m_frame, &m_info, buffer, GST_MAP_READ)) {}
    ~VideoFrameMapGuard() {
        if (m_mapped)
            gst_video_frame_unmap(&m_frame);
    }
    VideoFrameMapGuard(const VideoFrameMapGuard&) = delete;
    VideoFrameMapGuard& operator=(const VideoFrameMapGuard&) = delete;

    bool mapped() const { return m_mapped; }
    GstVideoFrame& frame() { return m_frame; }

private:
    GstVideoInfo m_info;
    GstVideoFrame m_frame{};
    bool m_mapped;
};

} // namespace

MotionTap::MotionTap(const MotionParameters& parameters, std::vector<MaskRect> mask, Handler handler)
    : m_detector(parameters, std::move(mask)), m_handler(std::move(handler)) {}

std::chrono::milliseconds MotionTap::Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

bool MotionTap::Wants() const {
    std::lock_guard lock(m_mutex);
    return m_detector.Wants(Now());
}

void MotionTap::Judge(const LumaImage& luma, std::chrono::milliseconds time) {
    if (luma.pixels.empty())
        return;
    MotionResult result;
    {
        std::lock_guard lock(m_mutex);
        result = m_detector.Analyse(luma, time);
    }
    ++m_analysed;
    if (result.eventStarted) {
        ++m_events;
        if (m_handler)
            m_handler(result);
    }
}

LumaImage MotionTap::RawLuma(GstCaps* caps, GstBuffer* buffer, int maxWidth) {
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps))
        return {};
    const GstVideoFormatInfo* format = info.finfo;
    // Y of YUV and grey; green of RGB, which carries most of the luminance.
    int component = 0;
    if (GST_VIDEO_FORMAT_INFO_IS_RGB(format))
        component = 1;
    else if (!GST_VIDEO_FORMAT_INFO_IS_YUV(format) && !GST_VIDEO_FORMAT_INFO_IS_GRAY(format))
        return {};
    if (GST_VIDEO_FORMAT_INFO_DEPTH(format, static_cast<guint>(component)) != 8 ||
        GST_VIDEO_FORMAT_INFO_IS_TILED(format))
        return {};
    VideoFrameMapGuard map(info, buffer);
    if (!map.mapped())
        return {};
    GstVideoFrame& frame = map.frame();
    const int width = GST_VIDEO_FRAME_COMP_WIDTH(&frame, component);
    const int height = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, component);
    return SampleLumaPlane(static_cast<const uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, component)),
                           width, height, GST_VIDEO_FRAME_COMP_STRIDE(&frame, component),
                           GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, component),
                           LumaStepFor(width, maxWidth));
}

void MotionTap::Offer(GstCaps* caps, GstBuffer* buffer) {
    const std::chrono::milliseconds now = Now();
    {
        std::lock_guard lock(m_mutex);
        if (!m_detector.Wants(now))
            return;
    }
    const GstStructure* structure = caps ? gst_caps_get_structure(caps, 0) : nullptr;
    if (!structure)
        return;
    if (gst_structure_has_name(structure, "image/jpeg")) {
        GstBufferMapGuard map(buffer, GST_MAP_READ);
        if (map.mapped())
            OfferJpeg(std::string_view(reinterpret_cast<const char*>(map.info().data),
                                       map.info().size),
                      now);
        return;
    }
    Judge(RawLuma(caps, buffer), now);
}

void MotionTap::OfferJpeg(std::string_view jpeg) { OfferJpeg(jpeg, Now()); }

void MotionTap::OfferJpeg(std::string_view jpeg, std::chrono::milliseconds time) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_detector.Wants(time))
            return;
    }
    // A picture the decoder cannot read is skipped: the next one comes soon.
    if (const std::optional<LumaImage> luma = DecodeJpegLuma(jpeg, 8))
        Judge(*luma, time);
}

std::unique_ptr<MotionTap> MakeMotionTap(const CameraSettings& settings, MotionTap::Handler handler) {
    if (!settings.motion)
        return nullptr;
    std::string why;
    std::optional<std::vector<MaskRect>> mask = ParseMotionMask(settings.mask, &why);
    if (!mask) {
        g_printerr("motion: the mask of camera \"%s\" is not used: %s\n", settings.name.c_str(),
                   why.c_str());
        mask.emplace();
    }
    return std::make_unique<MotionTap>(MotionParameters::Presets(settings.sensitivity),
                                       std::move(*mask), std::move(handler));
}
