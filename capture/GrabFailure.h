#pragma once
// Why a reply picture was not made, for the line the user sees: no camera, or no usable frame.

struct GrabFailure {
    enum class Kind {
        None,      // the picture was made
        NoCamera,  // no capture stream to grab from
        NoPicture, // no usable frame (format, memory, a stalled device) or no JPEG of it
        Cancelled, // the grab was called off (the program is closing)
    };
    Kind kind = Kind::None;
};
