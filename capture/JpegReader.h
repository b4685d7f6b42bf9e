#pragma once
// JPEG pictures read back into frames, with libjpeg-turbo's DCT scaling: a picture decoded at
// 1/2, 1/4 or 1/8 of its size costs a fraction of a full decode, which is what makes a smaller
// copy of a reply picture (or a small picture to look at) cheap.

#include "capture/CaptureFrame.h"
#include "capture/LumaImage.h"

#include <optional>
#include <string_view>

// jpeg as a frame (bottom-up BGR rows, as grabbed), scaled by 1/scaleDenominator (1, 2, 4 or 8;
// the size rounded up as libjpeg rounds it). nullopt for a picture the library cannot read or a
// denominator it does not take.
std::optional<CaptureFrame> DecodeJpeg(std::string_view jpeg, int scaleDenominator = 1);

// jpeg's luminance alone (rows top-down), scaled as above: what motion detection looks at. A
// colour picture's colour planes are not decoded, so at 1/8 this costs little more than
// reading the file. nullopt as for DecodeJpeg.
std::optional<LumaImage> DecodeJpegLuma(std::string_view jpeg, int scaleDenominator = 8);
