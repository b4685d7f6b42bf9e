#pragma once
// JPEG pictures of captured frames, encoded with libjpeg (6b interface) in memory; a file only
// where one is asked for.

#include "capture/CaptureFrame.h"

#include <memory>
#include <optional>
#include <string>

// An encoded picture and the name it travels under (the file name it would have had).
struct JpegPicture {
    std::string fileName;
    std::shared_ptr<const std::string> jpeg;
};

// frame as JPEG bytes, with libjpeg's defaults and the given quality (0-100, passed to the
// library unchanged; JPEG_QUALITY). The top row of the picture (the last row in memory) comes
// first. nullopt when the frame is inconsistent or the library fails (memory).
std::optional<std::string> EncodeJpeg(const CaptureFrame& frame, int quality);

// EncodeJpeg written as a file at path (created private; an existing file is replaced). True
// when the file was completely written and closed; false when it cannot be encoded, opened or
// written (a partly written file may then stay behind). On failure *systemError (when given)
// gets the errno of the failed open, write or close, or 0 when the encoder failed.
bool WriteJpegFile(const std::string& path, const CaptureFrame& frame, int quality,
                   int* systemError = nullptr);
