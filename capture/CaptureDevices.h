#pragma once
// The video input devices the program can open: the cameras GStreamer's device monitor finds
// ("Video/Source"), one entry per physical device in a stable order, and the synthetic test
// pattern when it has been asked for.

#include "capture/GstHandles.h"

#include <string>
#include <vector>

struct FrameSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

struct CaptureDevice {
    std::string name;       // display name (UTF-8), what SELECT stores
    std::string sortKey;    // stable key the list is ordered by (device path, else name)
    std::string devicePath; // V4L2 node (/dev/videoN) when known, for the device's controls
    GstDevicePtr device;    // the monitor's device; null for a synthetic source
    // A synthetic source: element factory and properties ("name", "value" as gst-launch reads
    // them). Used when device is null.
    std::string sourceFactory;
    std::vector<std::pair<std::string, std::string>> sourceProperties;
    // A synthetic source's own elements after the source element, as gst-launch reads them
    // (what a camera's driver would do: a caps filter for YUY2, then jpegenc); empty: none.
    std::string sourceChain;
    // What the device can deliver; null means "anything".
    GstCapsPtr caps;
    bool testPattern = false;
};

// Display names of the synthetic devices: the test pattern as a camera sends raw frames
// (YUY2), and as one sends JPEG pictures.
inline constexpr const char* kTestPatternName = "テストパターン";
inline constexpr const char* kJpegTestPatternName = "テストパターン (JPEG)";

// Switches the synthetic test pattern device on for this process (from main() for
// --test-pattern). The environment variable KESTROVAMAIL_TEST_PATTERN=1 does the same.
void EnableTestPattern(bool on = true);
bool TestPatternEnabled();

// The synthetic test pattern devices: videotestsrc, live, a fixed set of frame sizes at 30
// frames/s in YUY2; the JPEG one passes them through jpegenc, so the graph decodes them.
CaptureDevice MakeTestPatternDevice();
CaptureDevice MakeJpegTestPatternDevice();

// Every attached video input device, sorted by sortKey, one entry per physical device, then
// both test patterns when enabled.
std::vector<CaptureDevice> ListCaptureDevices();

// The device node path (/dev/videoN) among a device's properties, when its provider tells it;
// empty otherwise.
std::string DevicePathOf(const GstStructure* props);

// Creates the device's source element (a floating reference, as factories return it); null on
// failure.
GstElement* CreateSourceElement(const CaptureDevice& device);
// Creates the bin of the device's sourceChain (a floating reference); null when it has none or
// the description cannot be made.
GstElement* CreateSourceChain(const CaptureDevice& device);

// What the pipeline takes from a device with these caps: "video/x-raw" when it offers raw video
// (or anything), else "image/jpeg" when it offers JPEG pictures, which the pipeline decodes.
const char* DeliveredMediaType(const GstCaps* caps);

// The frame sizes the caps name for the delivered media type: discrete sizes as they are, ranges as
// the usual sizes that fall inside them. Sorted by width, then height, without repeats.
std::vector<FrameSize> FrameSizesOf(const GstCaps* caps);

// True when the device can deliver frames of exactly width x height (null caps: any size).
bool OffersFrameSize(const GstCaps* caps, int width, int height);
