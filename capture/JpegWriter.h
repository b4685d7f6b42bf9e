#pragma once
// JPEG files of captured frames, written with libjpeg (6b interface).

#include "capture/CaptureFrame.h"

#include <string>

// Writes frame as a JPEG file at path with libjpeg's defaults and the given quality (0-100,
// passed to the library unchanged; JPEG_QUALITY). The top row of the picture (the last row in
// memory) comes first. An existing file is replaced. True when the file was completely written
// and closed; false when it cannot be opened or the library reports an error (a partly written
// file may then stay behind). Never ends the process. On failure *systemError (when given) gets
// the errno of the failed open, write or close, or 0 when the library failed on its own.
bool WriteJpegFile(const std::string& path, const CaptureFrame& frame, int quality,
                   int* systemError = nullptr);
