#pragma once
// What the frame grab needs of a running capture device. CCaptureGraph (USB) and NetworkCamera
// implement it over GStreamer; tests may stand in a source for cases a real device cannot
// produce.

#include "capture/CaptureFrame.h"

#include <chrono>
#include <cstdint>
#include <optional>

class IFrameSource {
public:
    virtual ~IFrameSource() = default;

    // Starts the stream: up to 3 attempts, each wait bounded. True when it is running.
    virtual bool RunGraph() = 0;
    // The header of the connected 24-bit format; false when no such format is connected.
    virtual bool ConnectedHeader(BitmapInfoHeader& header) const = 0;
    // Size in bytes of the latest frame (the connected format's image size before the first).
    virtual int32_t CurrentBufferSize() const = 0;
    // Copies the latest frame into dest (at most capacity bytes) and returns the number of
    // bytes copied; 0 when there is no frame yet or it does not match the connected format.
    // Safe to call while frames stream in on other threads.
    virtual int32_t CopyCurrentBuffer(uint8_t* dest, int32_t capacity) = 0;
    // Rebuilds the stream for a device that has stopped delivering new frames (the device
    // choice rules apply with both build switches off). True when a stream runs again.
    virtual bool Rebuild() = 0;
    // Frames delivered so far, for a source that counts them (nullopt: it does not; the grab
    // then compares frame contents to tell a fresh one). Safe from any thread.
    virtual std::optional<uint64_t> FramesDelivered() const { return std::nullopt; }
    // For a counting source: waits until more than seen frames were delivered, at most limit.
    virtual void WaitForFrameBeyond(uint64_t /*seen*/, std::chrono::milliseconds /*limit*/) {}
    // A grab wants decoded frames while it runs (true at its start, false at its end, paired):
    // a source that decodes only on demand starts at once with the next frame. Any thread.
    virtual void WantFrames(bool /*want*/) {}
};
