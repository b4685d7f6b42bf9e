#include "capture/FrameOps.h"

#include "base/PrivateFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

CaptureFrame RotateFrameClockwise(const CaptureFrame& frame) {
    const int width = frame.width();
    const int height = frame.height();
    const std::size_t stride = static_cast<std::size_t>(frame.stride());
    const std::size_t turnedStride = static_cast<std::size_t>(CaptureFrame::StrideFor(height));

    CaptureFrame turned;
    turned.header = frame.header;
    turned.header.width = height;
    turned.header.height = width;
    turned.header.sizeImage = static_cast<uint32_t>(turnedStride * width);
    turned.pixels.assign(turnedStride * width, 0);
    turned.byteCount = static_cast<int32_t>(turned.header.sizeImage);
    if (width <= 0 || height <= 0 || frame.pixels.size() < stride * height)
        return turned;

    // Output row m (memory order) is input column W - 1 - m, read from the bottom row up.
    for (int m = 0; m < width; ++m) {
        uint8_t* out = turned.pixels.data() + m * turnedStride;
        const uint8_t* in = frame.pixels.data() + 3 * static_cast<std::size_t>(width - 1 - m);
        for (int n = 0; n < height; ++n, out += 3, in += stride) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
    }
    return turned;
}

std::vector<uint8_t> BmpFileBytes(const CaptureFrame& frame) {
    constexpr uint32_t kFileHeaderSize = 14;
    constexpr uint32_t kPixelOffset = kFileHeaderSize + BitmapInfoHeader::kSize;
    const std::size_t pixelBytes =
        std::min(frame.pixels.size(), static_cast<std::size_t>(std::max(frame.byteCount, 0)));

    std::vector<uint8_t> bytes;
    bytes.reserve(kPixelOffset + pixelBytes);
    auto put = [&bytes](uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    put(0x4D42, 2); // "BM"
    put(static_cast<uint32_t>(pixelBytes) + kPixelOffset, 4);
    put(0, 2);
    put(0, 2);
    put(kPixelOffset, 4);
    const auto header = frame.header.Serialize();
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), frame.pixels.begin(), frame.pixels.begin() + pixelBytes);
    return bytes;
}

bool WriteBmpFile(const std::string& path, const CaptureFrame& frame) {
    const std::vector<uint8_t> bytes = BmpFileBytes(frame);
    std::unique_ptr<FILE, int (*)(FILE*)> file(OpenPrivateStream(path), &std::fclose);
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fclose(file.release()) == 0 && written;
}
