#include "capture/LumaImage.h"

namespace {

int SampledCount(int size, int step) { return (size + step - 1) / step; }

} // namespace

int LumaStepFor(int width, int maxWidth) {
    if (width <= 0 || maxWidth <= 0)
        return 1;
    return (width + maxWidth - 1) / maxWidth;
}

LumaImage SampleLuma(const CaptureFrame& frame, int step) {
    LumaImage luma;
    const int width = frame.width();
    const int height = frame.height();
    const std::size_t stride = static_cast<std::size_t>(frame.stride());
    if (step < 1 || width <= 0 || height <= 0 ||
        frame.pixels.size() < stride * static_cast<std::size_t>(height))
        return luma;
    luma.width = SampledCount(width, step);
    luma.height = SampledCount(height, step);
    luma.pixels.resize(static_cast<std::size_t>(luma.width) * static_cast<std::size_t>(luma.height));
    uint8_t* out = luma.pixels.data();
    for (int y = 0; y < height; y += step) {
        // Picture row y is memory row height - 1 - y.
        const uint8_t* row = frame.pixels.data() + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; x += step) {
            const uint8_t* bgr = row + 3 * static_cast<std::size_t>(x);
            *out++ = static_cast<uint8_t>((29 * bgr[0] + 150 * bgr[1] + 77 * bgr[2] + 128) >> 8);
        }
    }
    return luma;
}

LumaImage SampleLumaPlane(const uint8_t* data, int width, int height, int rowStride,
                          int pixelStride, int step) {
    LumaImage luma;
    if (!data || step < 1 || width <= 0 || height <= 0 || pixelStride < 1 ||
        rowStride < (width - 1) * pixelStride + 1)
        return luma;
    luma.width = SampledCount(width, step);
    luma.height = SampledCount(height, step);
    luma.pixels.resize(static_cast<std::size_t>(luma.width) * static_cast<std::size_t>(luma.height));
    uint8_t* out = luma.pixels.data();
    for (int y = 0; y < height; y += step) {
        const uint8_t* row = data + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowStride);
        for (int x = 0; x < width; x += step)
            *out++ = row[static_cast<std::size_t>(x) * static_cast<std::size_t>(pixelStride)];
    }
    return luma;
}
