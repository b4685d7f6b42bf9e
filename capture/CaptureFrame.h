#pragma once
// One grabbed picture in the layout of a 24-bit device-independent bitmap: a 40-byte
// BITMAPINFOHEADER and rows stored bottom-up, each padded to a multiple of 4 bytes, every pixel
// blue, green, red.

#include <array>
#include <cstdint>
#include <vector>

struct BitmapInfoHeader {
    static constexpr int kSize = 40;

    uint32_t size = kSize;
    int32_t width = 0;
    int32_t height = 0; // positive: rows bottom-up
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0; // uncompressed RGB
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;

    // The 40 bytes as they stand in a BMP file (little-endian).
    std::array<uint8_t, kSize> Serialize() const;
};

struct CaptureFrame {
    BitmapInfoHeader header;
    std::vector<uint8_t> pixels;
    int32_t byteCount = 0; // pixel bytes the grabber reported for its buffer

    int width() const { return header.width; }
    int height() const { return header.height; }
    int stride() const { return StrideFor(header.width); }

    // Bytes in one row of a 24-bit picture `width` pixels wide, padded to a multiple of 4.
    static constexpr int StrideFor(int width) { return (3 * width + 3) & ~3; }
    // A black frame of the given size with a consistent header.
    static CaptureFrame Blank(int width, int height);
};
