#pragma once
// Whole-frame operations on a CaptureFrame: the 90-degree turn and the BMP file form used for
// the snapshot preview ("snap.tmp").

#include "capture/CaptureFrame.h"

#include <cstdint>
#include <string>
#include <vector>

// Turns the picture by 90 degrees clockwise. The result is H wide and W high in the same layout
// (bottom-up rows, B,G,R, rows padded to a multiple of 4 bytes with zeros); its header is the
// input's with width and height exchanged and sizeImage = new stride × W. Picture pixel
// (x', y') of the result is pixel (y', H - 1 - x') of the input.
CaptureFrame RotateFrameClockwise(const CaptureFrame& frame);

// The complete BMP file of the frame: 14-byte file header ("BM", byteCount + 54, 0, 0, 54),
// the frame's 40-byte header unchanged, then the first byteCount pixel bytes.
std::vector<uint8_t> BmpFileBytes(const CaptureFrame& frame);

// Writes BmpFileBytes(frame) to path, replacing an existing file. False when the file cannot
// be created or written completely.
bool WriteBmpFile(const std::string& path, const CaptureFrame& frame);
