#pragma once
// Small luminance pictures for motion detection, taken cheaply: every n-th sample of a frame
// in both directions, never a full conversion. (JPEG sources: DecodeJpegLuma in JpegReader.h,
// which decodes at 1/8 straight to grey.)

#include "capture/CaptureFrame.h"

#include <cstdint>
#include <vector>

// 8-bit luminance, rows top-down without padding: pixels.size() == width * height.
struct LumaImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// The step that brings a picture `width` wide down to at most maxWidth samples (1 or more).
int LumaStepFor(int width, int maxWidth = 160);

// Every step-th pixel of a grabbed frame (bottom-up BGR), turned top-down, its luma
// (BT.601 weights, integer). Empty for an empty frame or a step below 1.
LumaImage SampleLuma(const CaptureFrame& frame, int step);

// Every step-th sample of a luma plane in memory, rows top-down: `pixelStride` bytes from one
// pixel's Y to the next (1 for GRAY8, I420 and NV12, 2 for YUY2 at offset 0, UYVY at offset 1:
// pass data + 1), `rowStride` bytes between rows. Empty for a bad size or step.
LumaImage SampleLumaPlane(const uint8_t* data, int width, int height, int rowStride,
                          int pixelStride, int step);
