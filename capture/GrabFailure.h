#pragma once
// Why a reply picture was not made, for the line the user sees: no camera, no usable frame, or
// a file the system would not write (with its error number).

#include <string>

struct GrabFailure {
    enum class Kind {
        None,       // the picture was written
        NoCamera,   // no capture stream to grab from
        NoPicture,  // the stream gave no usable frame (format, memory, a stalled device)
        NotWritten, // the JPEG file could not be written
        Cancelled,  // the grab was called off (the program is closing)
    };
    Kind kind = Kind::None;
    int systemError = 0; // errno of the failed write; 0 when the system gave none
    std::string folder;  // where the picture was to be written
};
