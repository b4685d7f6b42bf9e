#pragma once
// The adjustable settings of a capture device, as the device settings dialog shows them:
// V4L2 controls (brightness, contrast, exposure ...) read and written on the device node, or
// properties of a GStreamer element (the test pattern's "pattern").

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

typedef struct _GstElement GstElement;

struct DeviceControl {
    enum class Kind { Integer, Boolean, Menu };

    uint32_t id = 0;   // identifies the control towards its IDeviceControls
    std::string label; // UTF-8, as the device names it
    Kind kind = Kind::Integer;
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t step = 1;
    int32_t defaultValue = 0;
    int32_t value = 0;                                      // current value
    std::vector<std::pair<int32_t, std::string>> menuItems; // Menu: value and label
};

class IDeviceControls {
public:
    virtual ~IDeviceControls() = default;
    // The controls with their current values; empty when the device offers none.
    virtual std::vector<DeviceControl> Controls() = 0;
    // Sets one control; false when the device refused.
    virtual bool SetValue(uint32_t id, int32_t value) = 0;
};

// The V4L2 controls of a device node; the node stays open while the object lives. A node that
// cannot be opened offers no controls.
std::unique_ptr<IDeviceControls> MakeV4l2Controls(const std::string& devicePath);

// A property of an element offered as a control, with the label the dialog shows (empty: the
// property's name).
struct ElementProperty {
    std::string name;
    std::string label;
};

// Enum, integer and boolean properties of an element (held by reference while the object
// lives). Properties the element does not have are left out.
std::unique_ptr<IDeviceControls> MakeElementControls(GstElement* element,
                                                     std::vector<ElementProperty> properties);
