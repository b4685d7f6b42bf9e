#include "capture/CaptureFrame.h"

#include <cstddef>

namespace {

template <typename T> void PutLittleEndian(uint8_t*& out, T value) {
    auto v = static_cast<uint32_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        *out++ = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

std::array<uint8_t, BitmapInfoHeader::kSize> BitmapInfoHeader::Serialize() const {
    std::array<uint8_t, kSize> bytes{};
    uint8_t* out = bytes.data();
    PutLittleEndian(out, size);
    PutLittleEndian(out, width);
    PutLittleEndian(out, height);
    PutLittleEndian(out, planes);
    PutLittleEndian(out, bitCount);
    PutLittleEndian(out, compression);
    PutLittleEndian(out, sizeImage);
    PutLittleEndian(out, xPelsPerMeter);
    PutLittleEndian(out, yPelsPerMeter);
    PutLittleEndian(out, clrUsed);
    PutLittleEndian(out, clrImportant);
    return bytes;
}

CaptureFrame CaptureFrame::Blank(int width, int height) {
    CaptureFrame frame;
    frame.header.width = width;
    frame.header.height = height;
    frame.header.sizeImage = static_cast<uint32_t>(StrideFor(width) * height);
    frame.pixels.assign(frame.header.sizeImage, 0);
    frame.byteCount = static_cast<int32_t>(frame.header.sizeImage);
    return frame;
}
