#include "capture/CaptureDevices.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

std::atomic<bool> g_testPatternRequested{false};

constexpr const char* kRawVideo = "video/x-raw";
constexpr const char* kJpeg = "image/jpeg";

// Sizes offered from a width/height range: the usual capture sizes.
constexpr FrameSize kCommonSizes[] = {{160, 120},  {176, 144},  {320, 240},  {352, 288},
                                      {640, 480},  {800, 600},  {1024, 768}, {1280, 720},
                                      {1280, 960}, {1920, 1080}};

// The frame sizes of the test patterns: a handful, like a simple webcam.
constexpr FrameSize kTestPatternSizes[] = {
    {160, 120}, {320, 240}, {352, 288}, {640, 480}, {1280, 720}};
// What a camera's driver hands over: YUY2 at 30 frames/s, or that encoded as JPEG.
constexpr const char* kTestPatternRaw = R"(capsfilter caps="video/x-raw,format=YUY2,framerate=30/1")";
constexpr const char* kTestPatternJpeg =
    R"(capsfilter caps="video/x-raw,format=YUY2,framerate=30/1" ! jpegenc)";

GstCapsPtr TestPatternCaps(const char* mediaType) {
    GstCaps* caps = gst_caps_new_empty();
    for (const FrameSize& size : kTestPatternSizes)
        gst_caps_append_structure(caps, gst_structure_new(mediaType, "width", G_TYPE_INT,
                                                          size.width, "height", G_TYPE_INT,
                                                          size.height, nullptr));
    return AdoptCaps(caps);
}

CaptureDevice TestPatternDevice(const char* name, const char* chain, const char* mediaType) {
    EnsureGstInitialized();
    CaptureDevice device;
    device.name = name;
    device.sortKey = name;
    device.sourceFactory = "videotestsrc";
    device.sourceProperties = {{"is-live", "true"}};
    device.sourceChain = chain;
    device.caps = TestPatternCaps(mediaType);
    device.testPattern = true;
    return device;
}

std::string StringProperty(const GstStructure* props, const char* key) {
    if (!props)
        return {};
    const char* value = gst_structure_get_string(props, key);
    return value ? value : std::string();
}

// What identifies the physical device: one camera may be offered by more than one provider.
std::string PhysicalKeyOf(const GstStructure* props, const std::string& path,
                          const std::string& name) {
    for (const char* key : {"device.bus_path", "api.v4l2.cap.bus_info", "device.bus-path"}) {
        std::string value = StringProperty(props, key);
        if (!value.empty())
            return value;
    }
    return path.empty() ? name : path;
}

bool InRange(const GValue* value, int v) {
    if (G_VALUE_HOLDS_INT(value))
        return g_value_get_int(value) == v;
    if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        int step = std::max(1, gst_value_get_int_range_step(value));
        int lo = gst_value_get_int_range_min(value);
        return v >= lo && v <= gst_value_get_int_range_max(value) && (v - lo) % step == 0;
    }
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            if (InRange(gst_value_list_get_value(value, i), v))
                return true;
    }
    return false;
}

void AddValueSizes(const GValue* widthValue, const GValue* heightValue,
                   std::vector<FrameSize>& sizes) {
    if (G_VALUE_HOLDS_INT(widthValue) && G_VALUE_HOLDS_INT(heightValue)) {
        sizes.push_back({g_value_get_int(widthValue), g_value_get_int(heightValue)});
        return;
    }
    for (const FrameSize& size : kCommonSizes)
        if (InRange(widthValue, size.width) && InRange(heightValue, size.height))
            sizes.push_back(size);
}

} // namespace

std::string DevicePathOf(const GstStructure* props) {
    // v4l2 and pipewire name it differently.
    for (const char* key : {"device.path", "api.v4l2.path", "object.path"}) {
        std::string value = StringProperty(props, key);
        if (value.rfind("/dev/", 0) == 0)
            return value;
    }
    return {};
}

void EnableTestPattern(bool on) {
    g_testPatternRequested = on;
}

bool TestPatternEnabled() {
    if (g_testPatternRequested)
        return true;
    const char* env = std::getenv("KESTROVAMAIL_TEST_PATTERN");
    return env && std::strcmp(env, "1") == 0;
}

CaptureDevice MakeTestPatternDevice() {
    return TestPatternDevice(kTestPatternName, kTestPatternRaw, kRawVideo);
}

CaptureDevice MakeJpegTestPatternDevice() {
    return TestPatternDevice(kJpegTestPatternName, kTestPatternJpeg, kJpeg);
}

std::vector<CaptureDevice> ListCaptureDevices() {
    EnsureGstInitialized();
    std::vector<CaptureDevice> devices;

    GstDeviceMonitorPtr monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    std::vector<std::pair<std::string, CaptureDevice>> found; // physical key, device
    // Not started: the providers are probed, or, while a device watch runs, asked for the
    // devices they announced; starting and stopping here would stop that watch's providers.
    {
        GList* list = gst_device_monitor_get_devices(monitor.get());
        for (GList* item = list; item; item = item->next) {
            GstDevicePtr gstDevice = AdoptDevice(GST_DEVICE(item->data));
            item->data = nullptr;
            gchar* displayName = gst_device_get_display_name(gstDevice.get());
            GstStructure* props = gst_device_get_properties(gstDevice.get());
            CaptureDevice device;
            device.name = displayName ? displayName : "";
            g_free(displayName);
            device.devicePath = DevicePathOf(props);
            std::string physical = PhysicalKeyOf(props, device.devicePath, device.name);
            device.sortKey = device.devicePath.empty() ? physical : device.devicePath;
            if (props)
                gst_structure_free(props);
            if (device.name.empty())
                continue;
            device.caps = AdoptCaps(gst_device_get_caps(gstDevice.get()));
            device.device = std::move(gstDevice);
            found.emplace_back(std::move(physical), std::move(device));
        }
        g_list_free(list);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.second.sortKey < b.second.sortKey;
    });
    // One entry per physical device: a camera with several nodes, or seen by more than one
    // provider, keeps the entry that sorts first.
    std::set<std::string> seen;
    for (auto& [physical, device] : found)
        if (seen.insert(physical).second)
            devices.push_back(std::move(device));
    if (TestPatternEnabled()) {
        devices.push_back(MakeTestPatternDevice());
        devices.push_back(MakeJpegTestPatternDevice());
    }
    return devices;
}

GstElement* CreateSourceElement(const CaptureDevice& device) {
    EnsureGstInitialized();
    if (device.device)
        return gst_device_create_element(device.device.get(), nullptr);
    GstElement* element = gst_element_factory_make(device.sourceFactory.c_str(), nullptr);
    if (!element)
        return nullptr;
    for (const auto& [name, value] : device.sourceProperties)
        gst_util_set_object_arg(G_OBJECT(element), name.c_str(), value.c_str());
    return element;
}

GstElement* CreateSourceChain(const CaptureDevice& device) {
    if (device.sourceChain.empty())
        return nullptr;
    EnsureGstInitialized();
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(device.sourceChain.c_str(), TRUE, &error);
    if (error) {
        g_printerr("capture: %s: %s\n", device.sourceChain.c_str(), error->message);
        g_clear_error(&error);
    }
    return bin;
}

const char* DeliveredMediaType(const GstCaps* caps) {
    if (!caps || gst_caps_is_any(caps))
        return kRawVideo;
    bool jpeg = false;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        if (gst_structure_has_name(s, kRawVideo))
            return kRawVideo;
        jpeg = jpeg || gst_structure_has_name(s, kJpeg);
    }
    return jpeg ? kJpeg : kRawVideo;
}

std::vector<FrameSize> FrameSizesOf(const GstCaps* caps) {
    std::vector<FrameSize> sizes;
    if (!caps || gst_caps_is_any(caps))
        return sizes;
    const char* mediaType = DeliveredMediaType(caps);
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        if (!gst_structure_has_name(s, mediaType))
            continue;
        const GValue* width = gst_structure_get_value(s, "width");
        const GValue* height = gst_structure_get_value(s, "height");
        if (width && height)
            AddValueSizes(width, height, sizes);
    }
    std::sort(sizes.begin(), sizes.end(), [](const FrameSize& a, const FrameSize& b) {
        return a.width != b.width ? a.width < b.width : a.height < b.height;
    });
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

bool OffersFrameSize(const GstCaps* caps, int width, int height) {
    if (!caps || gst_caps_is_any(caps))
        return width > 0 && height > 0;
    const char* mediaType = DeliveredMediaType(caps);
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        if (!gst_structure_has_name(s, mediaType))
            continue;
        const GValue* w = gst_structure_get_value(s, "width");
        const GValue* h = gst_structure_get_value(s, "height");
        if (w && h && InRange(w, width) && InRange(h, height))
            return true;
    }
    return false;
}
