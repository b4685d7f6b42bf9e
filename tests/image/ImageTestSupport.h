#pragma once
// Helpers shared by the image tests: frames addressed in picture coordinates, a JPEG decoder,
// local-time values and the offscreen Qt application that text drawing needs.

#include "capture/CaptureFrame.h"

#include <cstdint>
#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <vector>

struct Bgr {
    uint8_t b = 0, g = 0, r = 0;
    bool operator==(const Bgr&) const = default;
};

// Byte offset of picture pixel (x, y), y counted from the top, in a bottom-up frame.
std::size_t PixelOffset(const CaptureFrame& frame, int x, int y);
Bgr PixelAt(const CaptureFrame& frame, int x, int y);
void SetPixel(CaptureFrame& frame, int x, int y, Bgr color);
void Fill(CaptureFrame& frame, Bgr color);
// Pseudo-random pixels and padding bytes, the same for the same seed.
void FillNoise(CaptureFrame& frame, uint32_t seed);

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // rows top-down, 3 bytes per pixel, no padding
    bool ok = false;

    Bgr At(int x, int y) const {
        const uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return Bgr{p[2], p[1], p[0]};
    }
};
DecodedJpeg DecodeJpeg(const std::string& bytes);
DecodedJpeg DecodeJpegFile(const std::string& path);
// Success when path holds a JPEG file of that size.
::testing::AssertionResult IsJpegOfSize(const std::string& path, int width, int height);

// 2024-01-31 09:05:07 style local time, weekday filled in.
std::tm MakeTime(int year, int month, int day, int hour, int minute, int second);

// Creates the offscreen QGuiApplication once; fonts and QPainter text need it.
void EnsureGuiApplication();
